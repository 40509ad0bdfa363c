#pragma once

#include <cstdint>

#include "device/midrange/pic16f84a.h"

namespace tenlo {

// PIC16F54 and the base of the other 12-bit parts. Entering programming mode leaves the address
// on the configuration word, one increment before program word 0; there is no Load
// Configuration, and every programming cycle is ended by the host.
class CPic16F54 : public CPic16F84A {
  public:
    CPic16F54(CProgrammerLink& link, DeviceOptions* options, IProgressDisplay* progress,
              const DeviceLayout& layout, const MidRangeParams& params);

  protected:
    void WriteConfig() override;
    void CompareConfig() override;
    bool EraseAllStep() override;
    bool EraseProgramStep() override;
    bool PrepareProgramWrite() override;
    bool PrepareProgramRead() override;
    bool PrepareConfigWrite() override;
    bool PrepareConfigRead() override;

    // Loads, programs and reads back one word until it reads as written under mask, then moves
    // on.
    virtual bool WriteWordVerified(std::uint16_t value, std::uint16_t mask = kWordMask);

    // The bits a 12-bit word holds, for comparing program memory.
    std::uint16_t WordMask() const;
};

}  // namespace tenlo
