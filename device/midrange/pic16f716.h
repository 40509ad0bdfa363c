#pragma once

#include "device/midrange/pic16f84a.h"

namespace tenlo {

// PIC16F716: writes end each programming cycle with its own End Programming code, and a chip
// erase from configuration space clears the whole part (it has no data memory).
class CPic16F716 : public CPic16F84A {
  public:
    CPic16F716(CProgrammerLink& link, DeviceOptions* options, IProgressDisplay* progress,
               const DeviceLayout& layout, const MidRangeParams& params);

  protected:
    bool EraseAllStep() override;
    bool EraseProgramStep() override;
    bool PrepareProgramWrite() override;
    bool PrepareConfigWrite() override;
};

}  // namespace tenlo
