#pragma once

#include <cstdint>

#include "device/pic18/pic18_device.h"

namespace tenlo {

// PIC18F1220/1320/2220/2320/4220/4320: one panel (no multi-panel register), code memory
// selected without touching the configuration access, data bytes completed in a hold.
class CPic18F1220 : public CPic18Device {
  public:
    using CPic18Device::CPic18Device;

  protected:
    bool PrepareProgramWrite() override;
    bool SetMultiPanel(bool on) override;
    bool WriteDataByte(std::uint16_t address, std::uint8_t byte) override;
};

}  // namespace tenlo
