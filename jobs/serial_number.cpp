#include "jobs/serial_number.h"

#include <algorithm>
#include <limits>

namespace tenlo::jobs {

namespace {

// RETLW k on the two mid-range cores: 1000 kkkk kkkk in 12 bits, 11 01xx kkkk kkkk in 14.
constexpr std::uint32_t kRetlw12 = 0x800;
constexpr std::uint32_t kRetlw14 = 0x3400;
// The 14-bit cores keep four user ID locations at 0x2000, the first configuration cells; only
// their low nibbles are meant to be read back (MPASM's __idlocs writes one digit in each).
constexpr std::uint32_t kMidRangeConfigStart = 0x2000;
constexpr std::size_t kUserIdLocations = 4;

}  // namespace

std::uint64_t SerialCells::Largest() const {
    const std::size_t bits = cells.size() * bitsPerCell;
    if (bits >= 64) {
        return std::numeric_limits<std::uint64_t>::max();
    }
    return (std::uint64_t{1} << bits) - 1;
}

SerialCells PlaceSerial(const SerialPlacement& placement, const CDevice& device) {
    const DeviceLayout& layout = device.Layout();
    SerialCells s;
    switch (placement.where) {
        case SerialWhere::Eeprom:
            s.memory = Memory::Data;
            if (layout.dataSize == 0) {
                s.misfit = SerialMisfit::NoDataMemory;
                return s;
            }
            break;
        case SerialWhere::Retlw:
            s.memory = Memory::Program;
            if (layout.programWidth != 12 && layout.programWidth != 14) {
                s.misfit = SerialMisfit::NoRetlw;
                return s;
            }
            s.opcode = layout.programWidth == 12 ? kRetlw12 : kRetlw14;
            break;
        case SerialWhere::IdLocations:
            s.memory = Memory::Config;
            s.bitsPerCell = 4;
            // The 12-bit cores keep theirs past program memory, where no memory of the image
            // reaches; PIC18 ID locations are never written; the dsPIC30F has none.
            if (layout.programWidth != 14 || layout.configStart != kMidRangeConfigStart ||
                layout.configCount < kUserIdLocations) {
                s.misfit = SerialMisfit::NoIdLocations;
                return s;
            }
            for (std::size_t i = 0; i < kUserIdLocations; ++i) {
                s.cells.push_back(i);
            }
            break;
    }
    if (placement.where != SerialWhere::IdLocations) {
        const std::uint32_t count = CountOf(layout, s.memory);
        if (placement.address >= count || placement.bytes > count - placement.address) {
            s.misfit = SerialMisfit::BeyondMemory;
            s.size = count;
            return s;
        }
        for (unsigned i = 0; i < placement.bytes; ++i) {
            s.cells.push_back(placement.address + i);
        }
    }
    const std::vector<WrittenCell> written = device.WrittenCells(s.memory);
    for (const std::size_t cell : s.cells) {
        const bool isWritten =
            std::any_of(written.begin(), written.end(),
                        [cell](const WrittenCell& w) { return w.index == cell; });
        if (!isWritten) {
            s.misfit = SerialMisfit::CellNotWritten;
            s.cell = CellAddress(layout, s.memory, cell);
            return s;
        }
    }
    return s;
}

void WriteSerial(const SerialCells& cells, std::uint64_t number, CMemoryImage& image) {
    const std::uint64_t digit = (std::uint64_t{1} << cells.bitsPerCell) - 1;
    std::size_t shift = cells.cells.size() * cells.bitsPerCell;
    for (const std::size_t cell : cells.cells) {
        shift -= cells.bitsPerCell;
        const auto value = static_cast<std::uint32_t>((number >> shift) & digit);
        image.Set(cells.memory, cell, cells.opcode | value);
    }
}

}  // namespace tenlo::jobs
