#pragma once

#include <cstdint>
#include <span>

#include "device/midrange/pic16f84a.h"

namespace tenlo {

// PIC16F873A/874A/876A/877A and the base of the other row-writing families: program memory is
// written a latch row at a time (blank rows are stepped over) and then read back whole; the
// user IDs go as one row and the configuration word alone, each verified.
class CPic16F87xA : public CPic16F84A {
  public:
    static constexpr std::size_t kUserIdCount = 4;

    CPic16F87xA(CProgrammerLink& link, DeviceOptions* options, IProgressDisplay* progress,
                const DeviceLayout& layout, const MidRangeParams& params);

  protected:
    // For the families that program their rows with the externally timed cycle.
    CPic16F87xA(CProgrammerLink& link, DeviceOptions* options, IProgressDisplay* progress,
                const DeviceLayout& layout, const MidRangeParams& params, bool timedCycle);

    void WriteProgram() override;
    void WriteConfig() override;
    bool EraseAllStep() override;
    bool EraseProgramStep() override;
    bool EraseDataStep() override;
    bool PrepareProgramWrite() override;
    // Data EEPROM bytes go by Begin Erase/Programming, internally timed: the program-only
    // cycle these chips would need an End Programming for, which the byte sequence has none of.
    bool PrepareDataWrite() override;
    // One row: its words into the latches, one programming cycle, on to the next row.
    bool WriteProgramBlock(std::span<const std::uint16_t> words) override;

    // The four user IDs at 0x2000, then read back.
    virtual bool WriteIdRow(std::span<const std::uint16_t> ids);
    // The configuration word at the address, then read back.
    virtual bool WriteConfigWordVerified(std::uint16_t value);
    // The user IDs into the latches of 0x2000 to 0x2003 again, the address left on 0x2007.
    bool LoadIdLatches(std::span<const std::uint16_t> ids);

    // Programs what the latches hold: Begin Programming with its wait here; the families whose
    // chips want an explicit end switch to the externally timed cycle.
    bool ProgramCycle();

  private:
    const bool timedCycle_;
};

}  // namespace tenlo
