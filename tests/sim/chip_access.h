#pragma once

#include <cstdint>

#include "sim/virtual_programmer.h"

namespace tenlo::sim::testing {

// A simulated chip's cell, read or set past its pins while a host may be talking to it.
// Reads 0xDEADBEEF where the chip has no such cell.
inline std::uint32_t PeekChip(CVirtualProgrammer& programmer, Space space, std::uint32_t address) {
    return programmer.With([&](CFirmwareEngine&, IChipModel& chip) {
        std::uint32_t value = 0xDEADBEEF;
        chip.Peek(space, address, value);
        return value;
    });
}

inline void PokeChip(CVirtualProgrammer& programmer, Space space, std::uint32_t address,
                     std::uint32_t value) {
    programmer.With([&](CFirmwareEngine&, IChipModel& chip) { chip.Poke(space, address, value); });
}

}  // namespace tenlo::sim::testing
