#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>

namespace tenlo {

// One time source for every wait the system makes: the protocol's 1 ms pauses, the JDM
// driver's waits and the simulator's line-rate emulation. Tests substitute VirtualClock so
// whole operations run in virtual time.
class IClock {
  public:
    using Duration = std::chrono::nanoseconds;

    virtual ~IClock() = default;
    // Monotonic time since an arbitrary epoch.
    virtual Duration Now() = 0;
    virtual void SleepFor(Duration d) = 0;
    // Sleeps until Now() reaches deadline; at once when it already has. A pause measured from
    // an event that has already happened loses nothing to the work done since.
    virtual void SleepUntil(Duration deadline) {
        const Duration now = Now();
        if (deadline > now) {
            SleepFor(deadline - now);
        }
    }
};

// The steady clock. On POSIX it sleeps with clock_nanosleep on absolute deadlines, with the
// calling thread's timer slack cut to the least, so a 1 ms pause stays close to 1 ms; on
// Windows through SleepUntilCoarse, so the 1 ms pause is waited awake.
class RealClock final : public IClock {
  public:
    Duration Now() override;
    void SleepFor(Duration d) override;
    void SleepUntil(Duration deadline) override;
};

// The process-wide real clock.
IClock& SystemClock();

// How far from a deadline a sleep counted in whole milliseconds stops and the rest is waited
// awake: a millisecond sleep may end up to a timer tick late, or, in some C++ libraries,
// truncate and come back before its time.
inline constexpr IClock::Duration kCoarseSleepMargin = std::chrono::milliseconds(2);

// SleepUntil for a system whose only sleep counts whole milliseconds (Windows' Sleep):
// sleepMs(n) while more than kCoarseSleepMargin remains, then relax() in a loop until now()
// reaches the deadline. Whatever sleepMs really does, early or late, it never returns before
// the deadline. RealClock takes this path on Windows; it is a template so that every build
// and its tests can run it.
template <class Now, class SleepMs, class Relax>
void SleepUntilCoarse(IClock::Duration deadline, Now now, SleepMs sleepMs, Relax relax) {
    for (IClock::Duration left = deadline - now(); left > kCoarseSleepMargin;
         left = deadline - now()) {
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(left - kCoarseSleepMargin);
        sleepMs(static_cast<unsigned>(std::max<std::chrono::milliseconds::rep>(ms.count(), 1)));
    }
    while (now() < deadline) {
        relax();
    }
}

// Time that moves only when someone sleeps. Safe to share between threads.
class VirtualClock final : public IClock {
  public:
    Duration Now() override { return Duration(now_.load()); }
    void SleepFor(Duration d) override {
        if (d.count() > 0) {
            now_.fetch_add(d.count());
        }
    }
    void Advance(Duration d) { SleepFor(d); }

  private:
    std::atomic<Duration::rep> now_{0};
};

}  // namespace tenlo
