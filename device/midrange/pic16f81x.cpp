#include "device/midrange/pic16f81x.h"

namespace tenlo {

CPic16F81x::CPic16F81x(CProgrammerLink& link, DeviceOptions* options, IProgressDisplay* progress,
                       const DeviceLayout& layout, const MidRangeParams& params)
    : CPic16F87xA(link, options, progress, layout, params, true) {}

bool CPic16F81x::PrepareDataWrite() {
    const auto& p = params_;
    return Link().SetWriteSequence(p.loadDataData, p.beginProgrammingOnly, p.endProgramming,
                                   p.readDataData, p.retries, p.dataWait, false);
}

bool CPic16F81x::WriteIdRow(std::span<const std::uint16_t> ids) {
    const auto& p = params_;
    return Link().IcspTimedProgram(p.beginProgramming2, p.endProgramming, p.rowEraseWait) &&
           CPic16F87xA::WriteIdRow(ids);
}

}  // namespace tenlo
