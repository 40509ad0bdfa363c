#include "device/midrange/pic16f84.h"

namespace tenlo {

CPic16F84::CPic16F84(CProgrammerLink& link, DeviceOptions* options, IProgressDisplay* progress,
                     const DeviceLayout& layout, const MidRangeParams& params)
    : CPic16F84A(link, options, progress, layout, params) {}

bool CPic16F84::WriteCellVerified(bool isProgram, std::uint16_t value) {
    auto& link = Link();
    const auto& p = params_;
    const std::uint8_t load = isProgram ? p.loadDataProgram : p.loadDataData;
    const std::uint8_t read = isProgram ? p.readDataProgram : p.readDataData;
    const std::uint16_t mask = isProgram ? kWordMask : 0xFF;
    // The erase-and-program cycle: the 16F84 knows no other, and writing 0xFF as an erase
    // needs the erase half of it.
    for (unsigned attempt = 0; attempt < p.retries; ++attempt) {
        std::uint16_t got = 0;
        if (!link.IcspLoad(load, value) ||
            !link.IcspCommandWait(p.beginProgramming, p.programWait) ||
            !link.IcspRead(read, &got)) {
            return false;
        }
        if ((got & mask) == (value & mask)) {
            return IncrementAddress(1);
        }
    }
    return false;
}

bool CPic16F84::EraseDataStep() {
    if (!EnterProgramMode()) {
        return false;
    }
    for (std::uint32_t i = 0; i < layout_.dataSize; ++i) {
        if (!WriteCellVerified(false, 0xFF)) {
            return false;
        }
    }
    return ExitProgramMode();
}

}  // namespace tenlo
