#pragma once

#include <cstdint>
#include <span>

#include "device/midrange/pic16f87xa.h"

namespace tenlo {

// PIC16F818/819: rows of 4 programmed by the externally timed cycle. Their programming cycle
// cannot set bits, so the user ID row is erased before it is written.
class CPic16F81x : public CPic16F87xA {
  public:
    CPic16F81x(CProgrammerLink& link, DeviceOptions* options, IProgressDisplay* progress,
               const DeviceLayout& layout, const MidRangeParams& params);

  protected:
    // Their data EEPROM takes the program-only cycle, ended by End Programming.
    bool PrepareDataWrite() override;
    bool WriteIdRow(std::span<const std::uint16_t> ids) override;
};

}  // namespace tenlo
