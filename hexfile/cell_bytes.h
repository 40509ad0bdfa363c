#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>

#include "hexfile/hex_layout.h"

namespace tenlo::hexcells {

// Cell buffers keep the host's byte order; the file is always least significant byte first.
inline std::size_t Offset(uint32_t cellBytes, uint32_t cell, uint32_t byteInCell) {
    const uint32_t k =
        std::endian::native == std::endian::little ? byteInCell : cellBytes - 1 - byteInCell;
    return std::size_t{cell} * cellBytes + k;
}

inline void FillBlank(std::span<std::byte> buf, uint32_t width) {
    const uint32_t cellBytes = CellBytes(width);
    const uint32_t blank = BlankValue(width);
    const std::size_t cells = buf.size() / cellBytes;
    for (std::size_t c = 0; c < cells; ++c) {
        for (uint32_t k = 0; k < cellBytes; ++k) {
            buf[Offset(cellBytes, static_cast<uint32_t>(c), k)] =
                static_cast<std::byte>(blank >> (8 * k));
        }
    }
}

inline uint32_t Cell(std::span<const std::byte> buf, uint32_t cellBytes, uint32_t cell) {
    uint32_t v = 0;
    for (uint32_t k = 0; k < cellBytes; ++k) {
        v |= std::to_integer<uint32_t>(buf[Offset(cellBytes, cell, k)]) << (8 * k);
    }
    return v;
}

}  // namespace tenlo::hexcells
