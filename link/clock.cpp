#include "link/clock.h"

#include <cerrno>
#include <ctime>
#if defined(_WIN32)
#include <thread>
#endif
#if defined(__linux__)
#include <sys/prctl.h>
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
#if defined(__linux__)
    // The default timer slack of 50 us lets a 1 ms sleep run 5 to 15 % long, and the protocol
    // sleeps 1 ms after every framed byte: take the slack away, once per thread.
    thread_local const bool tightened = ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL) == 0;
    static_cast<void>(tightened);
#endif
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
