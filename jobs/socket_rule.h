#pragma once

#include <cstdint>

namespace tenlo::jobs {

// A data line that no chip drives reads as all zeros or all ones, whatever is asked of it: an
// ID word read that way says the socket is empty (or the chip sits the wrong way round, or
// the lines are miswired), never which chip is there. bits: the bits of the word that exist.
constexpr bool ReadsAsEmptySocket(std::uint32_t word, std::uint32_t bits) {
    return (word & bits) == 0 || (word & bits) == bits;
}

}  // namespace tenlo::jobs
