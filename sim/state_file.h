#pragma once

#include <string>

#include "hexfile/hex_layout.h"
#include "sim/chip_model.h"

namespace tenlo::sim {

// Chip contents as an Intel HEX file in Microchip's layout (what gpasm and MPLAB produce:
// program words at twice their address, configuration at 0x4000 / 0x300000 / 0x1F00000, the
// 12-bit configuration word at 0x1FFE, data EEPROM inside the file at 0x4200 / 0xF00000 /
// 0xFFF800), so a simulated chip can start from an assembled program and be inspected after.

// Finds the chip's memories by what Peek accepts: false when it recognises none. Peek addresses
// are cell indexes (PIC18 program words, dsPIC30F instructions), except the dsPIC30F
// configuration registers, which sit at their even byte addresses from 0xF80000.
bool ProbeLayout(const IChipModel& chip, HexLayout& layout);

// Pokes every cell the file mentions; the other cells keep what the chip has (its factory
// state: calibration words, device ID). False with a message when the file cannot be read, a
// record is malformed or an address lies outside the chip; the chip is then unchanged.
bool LoadChipState(IChipModel& chip, const std::string& path, std::string& error);

// Writes every cell of every memory, blank ones included.
bool SaveChipState(const IChipModel& chip, const std::string& path, std::string& error);

}  // namespace tenlo::sim
