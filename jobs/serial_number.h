#pragma once

#include <cstdint>
#include <vector>

#include "device/device.h"
#include "device/memory_image.h"

namespace tenlo::jobs {

// Where a production run writes each chip's serial number.
enum class SerialWhere : std::uint8_t {
    Eeprom,       // bytes in data memory, most significant first
    Retlw,        // RETLW instructions in program memory, one byte each, most significant
                  // first: the lookup table a mid-range program reads with CALL
    IdLocations,  // the user ID locations, one nibble each, most significant first
};

struct SerialPlacement {
    SerialWhere where = SerialWhere::Eeprom;
    std::uint32_t address = 0;  // Eeprom: data byte; Retlw: program word
    unsigned bytes = 0;         // Eeprom, Retlw: 1 to 8
};

// Why a placement does not fit the chip.
enum class SerialMisfit : std::uint8_t {
    None,
    NoDataMemory,    // eeprom, on a chip without data EEPROM
    NoRetlw,         // retlw, on a chip that is no PIC12/PIC16 (its RETLW reads no table word)
    NoIdLocations,   // id, on a chip whose user ID locations this programmer does not write
    BeyondMemory,    // the cells run past the memory's end (size: its cells)
    CellNotWritten,  // a write leaves the cell as the chip has it: its calibration word, kept
                     // (cell: its device address)
};

// The cells a placement sets on a chip, and how.
struct SerialCells {
    SerialMisfit misfit = SerialMisfit::None;
    Memory memory = Memory::Data;
    std::vector<std::size_t> cells;  // most significant first
    unsigned bitsPerCell = 8;
    std::uint32_t opcode = 0;  // ORed into every cell: the RETLW instruction
    std::uint32_t size = 0;    // BeyondMemory
    std::uint32_t cell = 0;    // CellNotWritten

    bool Ok() const { return misfit == SerialMisfit::None; }
    // The largest number the cells hold.
    std::uint64_t Largest() const;
};

// Where the placement lands on the device's chip under its current options.
SerialCells PlaceSerial(const SerialPlacement& placement, const CDevice& device);

// Puts the number (at most Largest()) into the image's cells.
void WriteSerial(const SerialCells& cells, std::uint64_t number, CMemoryImage& image);

}  // namespace tenlo::jobs
