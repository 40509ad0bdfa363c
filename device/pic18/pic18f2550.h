#pragma once

#include <cstdint>
#include <span>

#include "device/pic18/pic18_device.h"

namespace tenlo {

// PIC18F2550/4550: one 32-byte write buffer, configuration writes without the jump out of user
// memory, the erase chosen through both erase registers.
class CPic18F2550 : public CPic18Device {
  public:
    using CPic18Device::CPic18Device;

  protected:
    void WriteProgram() override;
    bool PrepareProgramWrite() override;
    bool WriteConfigPair(std::uint32_t address, std::uint8_t low, std::uint8_t high) override;
    bool WriteDataByte(std::uint16_t address, std::uint8_t byte) override;
    bool EraseChip() override;
};

}  // namespace tenlo
