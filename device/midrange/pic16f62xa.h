#pragma once

#include "device/midrange/pic16f84a.h"

namespace tenlo {

// PIC16F627A/628A/648A: Begin Programming (internally timed, no end command) for every write,
// with a wait of its own for data memory; erases by plain bulk erase commands.
class CPic16F62xA : public CPic16F84A {
  public:
    CPic16F62xA(CProgrammerLink& link, DeviceOptions* options, IProgressDisplay* progress,
                const DeviceLayout& layout, const MidRangeParams& params);

  protected:
    bool EraseProgramStep() override;
    bool EraseDataStep() override;
    bool PrepareProgramWrite() override;
    bool PrepareDataWrite() override;
};

}  // namespace tenlo
