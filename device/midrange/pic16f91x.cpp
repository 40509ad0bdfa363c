#include "device/midrange/pic16f91x.h"

namespace tenlo {

CPic16F91x::CPic16F91x(CProgrammerLink& link, DeviceOptions* options, IProgressDisplay* progress,
                       const DeviceLayout& layout, const MidRangeParams& params)
    : CPic16F87xA(link, options, progress, layout, params, true) {}

bool CPic16F91x::EraseAllStep() {
    // No chip erase here: program memory, then data memory.
    return CPic16F84A::EraseAllStep();
}

bool CPic16F91x::EraseProgramStep() {
    const auto& p = params_;
    return EnterProgramMode() && LoadConfig(0x3FFF) &&
           Link().IcspCommandWait(p.bulkEraseProgram, p.eraseWait) && Link().ExitEicsp();
}

bool CPic16F91x::EraseDataStep() {
    const auto& p = params_;
    return EnterProgramMode() && Link().IcspCommandWait(p.bulkEraseData, p.eraseWait) &&
           Link().ExitEicsp();
}

}  // namespace tenlo
