#include "link/clock.h"

#include <cerrno>
#include <ctime>
#if defined(_WIN32)
#include <thread>
#endif

namespace tenlo {

IClock::Duration RealClock::Now() {
    return std::chrono::duration_cast<Duration>(
        std::chrono::steady_clock::now().time_since_epoch());
}

void RealClock::SleepFor(Duration d) {
    if (d.count() <= 0) {
        return;
    }
#if defined(_WIN32)
    std::this_thread::sleep_for(d);
#else
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(d.count() / 1000000000);
    ts.tv_nsec = static_cast<long>(d.count() % 1000000000);
    // Relative sleep restarted with the remainder so a signal cannot shorten a protocol pause.
    while (clock_nanosleep(CLOCK_MONOTONIC, 0, &ts, &ts) == EINTR) {
    }
#endif
}

IClock& SystemClock() {
    static RealClock clock;
    return clock;
}

}  // namespace tenlo
