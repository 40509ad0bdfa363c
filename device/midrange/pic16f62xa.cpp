#include "device/midrange/pic16f62xa.h"

namespace tenlo {

CPic16F62xA::CPic16F62xA(CProgrammerLink& link, DeviceOptions* options, IProgressDisplay* progress,
                         const DeviceLayout& layout, const MidRangeParams& params)
    : CPic16F84A(link, options, progress, layout, params) {}

bool CPic16F62xA::EraseProgramStep() {
    auto& link = Link();
    const auto& p = params_;
    // From configuration space the erase takes the user IDs along.
    return EnterProgramMode() && LoadConfig(0x3FFF) && link.IcspLoad(p.loadDataProgram, 0xFFFF) &&
           link.IcspCommandWait(p.bulkEraseProgram, p.eraseWait) && ExitProgramMode();
}

bool CPic16F62xA::EraseDataStep() {
    const auto& p = params_;
    return EnterProgramMode() && Link().IcspCommandWait(p.bulkEraseData, p.eraseWait) &&
           ExitProgramMode();
}

bool CPic16F62xA::PrepareProgramWrite() {
    const auto& p = params_;
    return Link().SetWriteSequence(p.loadDataProgram, p.beginProgramming, -1, p.readDataProgram,
                                   p.retries, p.programWait, true);
}

bool CPic16F62xA::PrepareDataWrite() {
    const auto& p = params_;
    return Link().SetWriteSequence(p.loadDataData, p.beginProgramming, -1, p.readDataData,
                                   p.retries, p.dataWait, false);
}

}  // namespace tenlo
