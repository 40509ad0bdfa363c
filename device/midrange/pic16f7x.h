#pragma once

#include <cstdint>

#include "device/midrange/pic16f84a.h"

namespace tenlo {

// PIC16F73/74/76/77: two write latches, so program and configuration memory are written a word
// pair at a time; the chip erase is slow and the host waits it out.
class CPic16F7x : public CPic16F84A {
  public:
    static constexpr int kEraseWaitRepeats = 9;

    CPic16F7x(CProgrammerLink& link, DeviceOptions* options, IProgressDisplay* progress,
              const DeviceLayout& layout, const MidRangeParams& params);

  protected:
    void WriteProgram() override;
    void WriteConfig() override;
    bool EraseAllStep() override;
    bool EraseProgramStep() override;

    // Loads both latches of the pair at the address, programs them in one cycle, and leaves the
    // address on the next pair.
    virtual bool WritePair(std::uint16_t first, std::uint16_t second);
};

}  // namespace tenlo
