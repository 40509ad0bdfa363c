#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>

#include "link/clock.h"

namespace tenlo::testing {

// The real clock, counting the link's 1 ms pauses (one per framed byte) and what they really
// took. For the benchmarks, which compare an operation's time with the protocol's own minimum.
class PauseCountingClock : public IClock {
  public:
    Duration Now() override { return SystemClock().Now(); }
    void SleepFor(Duration d) override { SystemClock().SleepFor(d); }
    // The link's byte pauses are its only deadline sleeps; each ran from the byte's leaving
    // (1 ms before the deadline) to the wake-up.
    void SleepUntil(Duration deadline) override {
        SystemClock().SleepUntil(deadline);
        ++pauses;
        const Duration over = std::max(Now() - deadline, Duration::zero());
        pauseNanos += static_cast<std::uint64_t>((std::chrono::milliseconds(1) + over).count());
    }
    std::atomic<std::uint64_t> pauses{0};
    std::atomic<std::uint64_t> pauseNanos{0};
};

// The protocol's own time for what crossed the line, in seconds. minimum: every byte (both
// ways) at the line rate plus 1 ms a pause; that counts a framed byte and its answer on top of
// the pause they travel in. tight: the pauses plus only the bytes outside them (every pause
// follows one framed host byte, every frame is answered by one byte). slept: tight with each
// pause as long as the system's sleep really made it, the share of the time the host itself
// cannot shorten.
struct LineCost {
    double minimum = 0;
    double tight = 0;
    double slept = 0;
};
LineCost CostOf(std::uint64_t bytes, std::uint64_t frames, const PauseCountingClock& clock);

}  // namespace tenlo::testing
