#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "hexfile/prog_hex_reader.h"

namespace tenlo {

// The updater's reader for the programmer's own firmware: a 1024-word 14-bit chip. Program
// bytes lie below 0x800, configuration bytes at 0x4000 to 0x400F (8 words from 0x2000); any
// other address, data EEPROM included, fails the load. Cells start at 0x3FFF.
class CFirmwareHexReader : public CProgHexReader {
  public:
    static constexpr uint32_t kProgramWords = 1024;
    static constexpr uint32_t kConfigWords = 8;

    // The spans must hold exactly 1024 and 8 words, else Load fails.
    CFirmwareHexReader(std::span<uint16_t> program, std::span<uint16_t> config);

    static HexLayout Layout();
};

}  // namespace tenlo
