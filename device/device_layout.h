#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tenlo {

// How one memory is shown in a hex grid.
struct GridFormat {
    std::int32_t cellDigits = 0;
    std::int32_t cellBits = 0;
    std::uint32_t baseAddress = 0;
    std::int32_t addressDigits = 0;
    std::int32_t addressStep = 0;
    std::int32_t showAscii = 0;
    std::int32_t addressColumnWidth = 0;
    std::int32_t cellColumnWidth = 0;
    std::int32_t asciiColumnWidth = 0;
    std::int32_t cellsPerRow = 0;

    bool operator==(const GridFormat&) const = default;
};

// One chip's memories. Sizes and addresses count cells of the memory concerned, never bytes.
struct DeviceLayout {
    std::string name;
    std::uint16_t deviceId = 0;  // revision bits zero; 0 when the chip has none
    std::int32_t pinCount = 0;   // dsPIC30F only
    std::uint32_t programWidth = 0;
    std::uint32_t dataWidth = 0;
    std::uint32_t configWidth = 0;
    std::uint32_t programStart = 0;
    std::uint32_t programSize = 0;
    std::uint32_t configStart = 0;
    std::uint32_t configCount = 0;
    std::uint32_t dataSize = 0;
    std::uint32_t dataStart = 0;
    GridFormat programGrid;
    GridFormat configGrid;
    GridFormat dataGrid;

    bool operator==(const DeviceLayout&) const = default;
};

enum class Memory : std::uint8_t { Program, Config, Data };

// Cell size in bytes for a memory of the given bit width: 1 below 9 bits, 4 above 16, else 2.
constexpr std::size_t CellSizeForWidth(std::uint32_t width) {
    if (width < 9) {
        return 1;
    }
    return width > 16 ? 4 : 2;
}

// All ones in the used bits: 0x3FFF for 14 bits, 0 for width 0, every bit from 32 on.
constexpr std::uint32_t BlankValueForWidth(std::uint32_t width) {
    return width >= 32 ? 0xFFFFFFFFu : (std::uint32_t{1} << width) - 1u;
}

constexpr std::uint32_t WidthOf(const DeviceLayout& layout, Memory memory) {
    switch (memory) {
        case Memory::Program:
            return layout.programWidth;
        case Memory::Config:
            return layout.configWidth;
        case Memory::Data:
            return layout.dataWidth;
    }
    return 0;
}

constexpr std::uint32_t CountOf(const DeviceLayout& layout, Memory memory) {
    switch (memory) {
        case Memory::Program:
            return layout.programSize;
        case Memory::Config:
            return layout.configCount;
        case Memory::Data:
            return layout.dataSize;
    }
    return 0;
}

// The device address of a cell of a memory: the index in program memory, from the
// configuration start in configuration memory, from the data start (0 but on the dsPIC30F) in
// data memory.
constexpr std::uint32_t CellAddress(const DeviceLayout& layout, Memory memory, std::size_t index) {
    const auto i = static_cast<std::uint32_t>(index);
    switch (memory) {
        case Memory::Config:
            return layout.configStart + i;
        case Memory::Data:
            return layout.dataStart + i;
        case Memory::Program:
            break;
    }
    return i;
}

// A device address (CellAddress) as the chip's HEX files and its maker's tools give it: a
// PIC18 program word by its first byte (2 a word), a dsPIC30F instruction by the program
// counter (2 an instruction) and its configuration registers 2 apart from their start. Every
// other address is that already (mid-range words, data bytes, PIC18 configuration bytes).
constexpr std::uint32_t FileAddress(const DeviceLayout& layout, Memory memory,
                                    std::uint32_t address) {
    const bool pic18 = layout.programWidth == 16;
    const bool dsPic30 = layout.programWidth == 24;
    if (memory == Memory::Program && (pic18 || dsPic30)) {
        return 2 * address;
    }
    if (memory == Memory::Config && dsPic30 && address >= layout.configStart) {
        return layout.configStart + 2 * (address - layout.configStart);
    }
    return address;
}

}  // namespace tenlo
