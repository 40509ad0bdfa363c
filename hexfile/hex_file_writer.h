#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "hexfile/hex_layout.h"

namespace tenlo {

struct HexWriteOptions {
    // Data EEPROM goes inside the program file, where Microchip's tools put it.
    bool microchipLayout = false;
    // Blank (all-ones) cells are normally left out: every reader here starts from blank cells,
    // so the file still loads back to the same image and stays small. Tools that do not start
    // from blank may want every cell written.
    bool writeBlankCells = false;
};

// Turns addressed bytes into Intel HEX records: 16 data bytes a record at most, never crossing
// a 16-byte boundary (so never a 64 KiB one), an extended linear address record wherever the
// upper 16 address bits change, the end record last.
class CHexFileWriter {
  public:
    static constexpr unsigned kBytesPerRecord = 16;

    void Put(uint64_t address, uint8_t byte) { bytes_.emplace_back(address, byte); }

    // The whole file; nullopt when an address is beyond 32 bits or given twice.
    std::optional<std::string> Finish();

  private:
    std::vector<std::pair<uint64_t, uint8_t>> bytes_;
};

// Program and configuration memory (and data EEPROM in the Microchip layout) as one file.
// nullopt when a buffer does not hold exactly the layout's cells.
std::optional<std::string> ProgramHexText(const HexLayout& layout, HexConstBuffers image,
                                          const HexWriteOptions& options = {});
// Data EEPROM as its own file, from address 0.
std::optional<std::string> DataHexText(std::span<const std::byte> data,
                                       const HexWriteOptions& options = {});

// Write the file at path; false when the text cannot be made or the file cannot be written.
bool SaveProgramHex(const std::string& path, const HexLayout& layout, HexConstBuffers image,
                    const HexWriteOptions& options = {});
bool SaveDataHex(const std::string& path, std::span<const std::byte> data,
                 const HexWriteOptions& options = {});

}  // namespace tenlo
