#include "device/midrange/pic16f84.h"

#include "device/midrange/verified_cell.h"

namespace tenlo {

CPic16F84::CPic16F84(CProgrammerLink& link, DeviceOptions* options, IProgressDisplay* progress,
                     const DeviceLayout& layout, const MidRangeParams& params)
    : CPic16F84A(link, options, progress, layout, params) {}

bool CPic16F84::WriteCellVerified(bool isProgram, std::uint16_t value) {
    auto& link = Link();
    const auto& p = params_;
    // The erase-and-program cycle: the 16F84 knows no other, and writing 0xFF as an erase
    // needs the erase half of it.
    const auto cycle = [&] { return link.IcspCommandWait(p.beginProgramming, p.programWait); };
    return ProgramCellVerified(link, isProgram ? p.loadDataProgram : p.loadDataData,
                               isProgram ? p.readDataProgram : p.readDataData,
                               isProgram ? kWordMask : 0xFF, value, p.retries, cycle) &&
           IncrementAddress(1);
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
