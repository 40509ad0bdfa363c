#pragma once

#include "device/midrange/pic16f87xa.h"

namespace tenlo {

// PIC16F913/914/916/917/946 and the 12F6xx/16F6xx parts built like them: rows of 4 or 8 words
// programmed by the externally timed cycle; erases by bulk erase commands, after which the
// firmware leaves its enhanced mode.
class CPic16F91x : public CPic16F87xA {
  public:
    CPic16F91x(CProgrammerLink& link, DeviceOptions* options, IProgressDisplay* progress,
               const DeviceLayout& layout, const MidRangeParams& params);

  protected:
    bool EraseAllStep() override;
    bool EraseProgramStep() override;
    bool EraseDataStep() override;
};

}  // namespace tenlo
