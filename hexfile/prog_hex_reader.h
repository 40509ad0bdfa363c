#pragma once

#include <cstddef>
#include <vector>

#include "hexfile/hex_file_reader.h"
#include "hexfile/hex_layout.h"

namespace tenlo {

// Loads a program file into program and configuration memory (and, in the Microchip layout,
// data EEPROM). Loading starts from blank cells: on success the program and configuration
// buffers (and the data buffer in the Microchip layout) are replaced whole, so cells the file
// does not mention end up blank. On failure the buffers are untouched.
class CProgHexReader : public CHexFileReader {
  public:
    // The buffers must hold exactly the layout's cells (by the width rule); the data buffer is
    // used only in the Microchip layout. They must outlive every Load.
    CProgHexReader(const HexLayout& layout, HexBuffers target, bool microchipLayout = false);

    // Whether the last successful load met a data EEPROM byte.
    bool DataSeen() const { return dataSeen_; }

  protected:
    bool StoreByte(uint8_t byte, uint32_t address) override;
    bool BeginLoad() override;
    void CommitLoad() override;

  private:
    HexAddressMap map_;
    HexBuffers target_;
    std::vector<std::byte> program_;
    std::vector<std::byte> config_;
    std::vector<std::byte> data_;
    bool dataSeen_ = false;
};

// Loads a data file: byte address A is data cell A, from 0 up to the buffer's size.
class CDataHexReader : public CHexFileReader {
  public:
    explicit CDataHexReader(std::span<std::byte> data) : target_(data) {}
    explicit CDataHexReader(std::span<uint8_t> data) : target_(std::as_writable_bytes(data)) {}

  protected:
    bool StoreByte(uint8_t byte, uint32_t address) override;
    bool BeginLoad() override;
    void CommitLoad() override;

  private:
    std::span<std::byte> target_;
    std::vector<std::byte> scratch_;
};

}  // namespace tenlo
