#include "support/pause_counting_clock.h"

namespace tenlo::testing {

LineCost CostOf(std::uint64_t bytes, std::uint64_t frames, const PauseCountingClock& clock) {
    // 10 bits a byte at 38400 baud.
    constexpr double byte = 10.0 / 38400;
    const std::uint64_t pauses = clock.pauses;
    const std::uint64_t outside = bytes - pauses - frames;
    LineCost cost;
    cost.minimum = static_cast<double>(bytes) * byte + static_cast<double>(pauses) * 1e-3;
    cost.tight = static_cast<double>(outside) * byte + static_cast<double>(pauses) * 1e-3;
    cost.slept = static_cast<double>(outside) * byte + static_cast<double>(clock.pauseNanos) * 1e-9;
    return cost;
}

}  // namespace tenlo::testing
