#pragma once

#include <cstdint>

#include "device/midrange/pic16f84a.h"

namespace tenlo {

// PIC16F84: the 16F84A's algorithms, but its data memory is erased by writing 0xFF into every
// byte, one verified cell at a time.
class CPic16F84 : public CPic16F84A {
  public:
    CPic16F84(CProgrammerLink& link, DeviceOptions* options, IProgressDisplay* progress,
              const DeviceLayout& layout, const MidRangeParams& params);

  protected:
    bool WriteCellVerified(bool isProgram, std::uint16_t value) override;
    bool EraseDataStep() override;
};

}  // namespace tenlo
