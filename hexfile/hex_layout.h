#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace tenlo {

// What the HEX code needs to know of a chip: the memory widths and sizes, in cells. It is
// deliberately smaller than the device model's layout so that HEX reading and writing can be
// used (and tested) without the device library.
struct HexLayout {
    uint32_t programWidth = 14;  // bits per program word
    uint32_t programSize = 0;    // program words
    uint32_t configWidth = 14;   // bits per configuration cell
    uint32_t configStart = 0;    // device address of the first configuration cell
    uint32_t configCount = 0;    // configuration cells
    uint32_t dataSize = 0;       // data EEPROM bytes
};

// The core families differ only where Microchip's own tools place things in a HEX file.
enum class HexFamily { Other, Baseline12, MidRange14, Pic18, DsPic30 };

// Derived from the program word width: 12, 14, 16 and 24 bits name the four cores.
HexFamily FamilyOf(const HexLayout& layout);

// Bytes per cell by the width rule: below 9 bits 1, above 16 bits 4, otherwise 2.
constexpr uint32_t CellBytes(uint32_t width) {
    if (width < 9) {
        return 1;
    }
    return width > 16 ? 4 : 2;
}

// All ones in the used bits.
constexpr uint32_t BlankValue(uint32_t width) {
    if (width >= 32) {
        return 0xFFFFFFFFu;
    }
    return (uint32_t{1} << width) - 1;
}

// Raw cell buffers: cells in the host's byte order, as the memory image keeps them.
struct HexBuffers {
    std::span<std::byte> program;
    std::span<std::byte> config;
    std::span<std::byte> data;
};

struct HexConstBuffers {
    std::span<const std::byte> program;
    std::span<const std::byte> config;
    std::span<const std::byte> data;
};

enum class HexRegion { Program, Config, Data };

// Where one byte of a HEX file lands: byte `byteInCell` (0 = least significant) of cell `cell`.
// A filler byte carries no image bit; it exists because the file format has a slot there (the
// high byte of a 14-bit data EEPROM word, the upper half of a dsPIC 24-bit slot) and must be 0,
// or because the tools fill a memory the programmer does not write (the PIC18 ID locations),
// which is taken only when it holds the blank fillerValue, so nothing in the file is lost.
struct HexPlace {
    HexRegion region = HexRegion::Program;
    uint32_t cell = 0;
    uint32_t byteInCell = 0;
    bool filler = false;
    uint8_t fillerValue = 0;
};

// The PIC18 ID locations, which Microchip's tools emit blank with every program.
inline constexpr uint32_t kPic18IdStart = 0x200000;
inline constexpr uint32_t kPic18IdBytes = 8;

// Address mapping of a program file, by the chip's family as Microchip's tools (MPASM, gpasm,
// MPLAB, the pic30 tools) lay their files out, so that every file a toolchain makes lands in
// place. Byte address A is byte A mod P of program cell A div P below the program's end (P bytes
// a cell by the width rule), then configuration cells of C = (width + 7) / 8 bytes from config
// start x C; a 12-bit part's configuration word is also taken at word 0xFFF (byte 0x1FFE),
// where every Microchip tool puts it. The families differ from that:
//  - PIC18: the ID locations 0x200000-0x200007 are fillers that must be blank (0xFF).
//  - dsPIC30F: program-space address x is file byte 2x and each 24-bit slot takes 4 bytes, so
//    configuration register k sits in the low half of the slot at 0x1F00000 + 4k. The upper
//    half of a slot may be left out or be 0.
// Anything else is no memory of the chip.
//
// Data EEPROM rides in the program file only when asked for (microchipLayout, where the tools
// put it); otherwise it comes in a data file of its own, from address 0:
//  - 14-bit parts: EEPROM byte i is the low byte of word 0x2100 + i (file bytes 0x4200 + 2i);
//    the high byte must be 0.
//  - PIC18: EEPROM byte i at 0xF00000 + i.
//  - dsPIC30F: EEPROM (at 0x800000 minus its size) holds two data bytes in the low half of each
//    slot, from file byte 2 * (0x800000 - size), 0xFFF800 for 1 KiB.
class HexAddressMap {
  public:
    HexAddressMap(const HexLayout& layout, bool microchipLayout);

    // nullopt when the address lies outside every memory of the chip.
    std::optional<HexPlace> Locate(uint32_t address) const;
    // For an address Locate refuses: the memory and cell it would be on a chip of the same core
    // with larger memories, so that a file made for another chip can be told in the chip's own
    // terms (configuration word 0x2008, not byte 0x4010). nullopt where this core has no memory
    // at all (a 12-bit part above its configuration word's place in the file).
    std::optional<HexPlace> PlaceBeyond(uint32_t address) const;

    // File address of one byte of a cell; the writer's inverse of Locate. Without a place for
    // data EEPROM in the program file, DataAddress is the data file's address (the index).
    uint64_t ProgramAddress(uint32_t cell, uint32_t byteInCell) const;
    uint64_t ConfigAddress(uint32_t cell, uint32_t byteInCell) const;
    uint64_t DataAddress(uint32_t index) const;

    // File bytes per data EEPROM slot and how many of them carry data (the rest are fillers).
    uint32_t DataSlotBytes() const { return dataSlot_; }
    uint32_t DataBytesPerSlot() const { return dataPerSlot_; }
    // Same for configuration cells: the dsPIC30F Microchip layout pads 2 bytes to 4.
    uint32_t ConfigSlotBytes() const { return configSlot_; }

    const HexLayout& Layout() const { return layout_; }
    bool MicrochipLayout() const { return microchip_; }
    uint32_t ProgramCellBytes() const { return programBytes_; }
    uint32_t ConfigCellBytes() const { return configBytes_; }
    bool DataInProgramFile() const { return dataInFile_; }

  private:
    HexLayout layout_;
    bool microchip_;
    HexFamily family_;
    uint32_t programBytes_;  // P: file bytes per program cell
    uint32_t configBytes_;   // C: file bytes of a configuration cell
    uint32_t configSlot_;    // file bytes between consecutive configuration cells
    uint64_t configBase_;
    bool dataInFile_ = false;  // data EEPROM has a place in the program file
    uint64_t dataBase_ = 0;
    uint32_t dataSlot_ = 1;
    uint32_t dataPerSlot_ = 1;
};

// The 12-bit parts' configuration word sits at word 0xFFF in every Microchip file, whatever
// the chip's own configuration address.
inline constexpr uint32_t kBaselineConfigByteAddress = 0x1FFE;

}  // namespace tenlo
