#include "device/midrange/pic16f716.h"

namespace tenlo {

CPic16F716::CPic16F716(CProgrammerLink& link, DeviceOptions* options, IProgressDisplay* progress,
                       const DeviceLayout& layout, const MidRangeParams& params)
    : CPic16F84A(link, options, progress, layout, params) {}

bool CPic16F716::EraseAllStep() {
    return EraseProgramStep();
}

bool CPic16F716::EraseProgramStep() {
    const auto& p = params_;
    return EnterProgramMode() && LoadConfig(0x3FFF) &&
           Link().IcspCommandWait(p.chipErase, p.eraseWait) && ExitProgramMode();
}

bool CPic16F716::PrepareProgramWrite() {
    const auto& p = params_;
    return Link().SetWriteSequence(p.loadDataProgram, p.beginProgrammingOnly, p.endProgramming,
                                   p.readDataProgram, p.retries, p.programWait, true);
}

bool CPic16F716::PrepareConfigWrite() {
    return LoadConfig(0) && PrepareProgramWrite();
}

}  // namespace tenlo
