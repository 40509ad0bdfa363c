#pragma once

#include <cstdint>

#include "link/programmer_link.h"

namespace tenlo {

// One cell written by the host itself rather than by the firmware's write sequence: load the
// value, run the family's programming cycle, read the cell back, and try again while it reads
// differently under mask, at most attempts times. True once it reads back right; the address is
// left where it was for the caller to move on.
template <typename Cycle>
bool ProgramCellVerified(CProgrammerLink& link, std::uint8_t load, std::uint8_t read,
                         std::uint16_t mask, std::uint16_t value, unsigned attempts,
                         Cycle&& cycle) {
    for (unsigned attempt = 0; attempt < attempts; ++attempt) {
        std::uint16_t got = 0;
        if (!link.IcspLoad(load, value) || !cycle() || !link.IcspRead(read, &got)) {
            return false;
        }
        if ((got & mask) == (value & mask)) {
            return true;
        }
    }
    return false;
}

}  // namespace tenlo
