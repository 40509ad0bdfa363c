// The Windows way to a deadline (whole-millisecond sleeps, then awake), run here on sleeps that
// misbehave as Windows' do: RealClock takes it there.

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "link/clock.h"

namespace tenlo {
namespace {

using namespace std::chrono_literals;
using Duration = IClock::Duration;

// Time that moves only by the sleeps and spins of the wait under test.
struct FakeTime {
    Duration now{0};
    Duration spun{0};
    std::vector<unsigned> sleeps;

    template <class Sleep>
    void WaitUntil(Duration deadline, Sleep sleep) {
        SleepUntilCoarse(
            deadline, [this] { return now; },
            [this, sleep](unsigned ms) {
                sleeps.push_back(ms);
                now += sleep(ms);
            },
            [this] {
                now += 1us;
                spun += 1us;
            });
    }
};

TEST(CoarseSleep, AMillisecondSleepThatReturnsAtOnceStillWaitsTheWholePause) {
    // The C++ library's sleep on Windows truncated: 1 ms came back after a few microseconds.
    const auto truncating = [](unsigned) { return Duration(5us); };
    for (Duration pause : {Duration(1ms), Duration(1500us), Duration(10ms)}) {
        FakeTime t;
        t.now = 7ms;
        t.WaitUntil(t.now + pause, truncating);
        EXPECT_GE(t.now, 7ms + pause);
        EXPECT_LT(t.now, 7ms + pause + 2us);
    }
}

TEST(CoarseSleep, TheProtocolPauseIsWaitedAwakeLongWaitsAsleep) {
    const auto exact = [](unsigned ms) { return Duration(std::chrono::milliseconds(ms)); };
    FakeTime pause;
    pause.WaitUntil(1ms, exact);
    EXPECT_TRUE(pause.sleeps.empty()) << "a millisecond sleep could not end in time";
    EXPECT_EQ(pause.now, 1ms);

    FakeTime wait;
    wait.WaitUntil(50500us, exact);
    EXPECT_EQ(wait.now, 50500us);
    EXPECT_LE(wait.spun, kCoarseSleepMargin);
    EXPECT_GE(wait.sleeps.front(), 48u);
}

TEST(CoarseSleep, ASleepThatOverrunsByATickEndsAsSoonAsItWakes) {
    const auto late = [](unsigned ms) { return Duration(std::chrono::milliseconds(ms + 1)); };
    FakeTime t;
    t.WaitUntil(20ms, late);
    EXPECT_GE(t.now, 20ms);
    EXPECT_LE(t.now, 20ms + 1us) << "it overran: the margin is there for a tick's lateness";
}

}  // namespace
}  // namespace tenlo
