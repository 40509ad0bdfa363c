#include "link/clock.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif
#if defined(__linux__)
#include <sys/prctl.h>
#endif

namespace tenlo {

namespace {

void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

#if !defined(_WIN32)
// The kernel may end a sleep up to the thread's timer slack (50 us by default) late, so that
// wake-ups can be batched; on a 1 ms protocol pause that is 5 % of every framed byte.
void KeepTimerSlackSmall() {
#if defined(__linux__)
    thread_local bool done = false;
    if (!done) {
        prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
        done = true;
    }
#endif
}

// A wake-up later than this is the scheduler's doing, not the timer's: it says nothing about
// how early to wake next time.
constexpr IClock::Duration kMaxLead = std::chrono::microseconds(150);
constexpr int kLeadSmoothing = 16;

void SleepAbsolute(IClock::Duration deadline) {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(deadline.count() / 1000000000);
    ts.tv_nsec = static_cast<long>(deadline.count() % 1000000000);
    // An absolute deadline: a signal that interrupts the sleep cannot shorten it.
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}
#endif

}  // namespace

IClock::Duration RealClock::Now() {
    // steady_clock is CLOCK_MONOTONIC, the clock SleepUntil's deadlines are measured on.
    return std::chrono::duration_cast<Duration>(
        std::chrono::steady_clock::now().time_since_epoch());
}

void RealClock::SleepFor(Duration d) {
    if (d.count() <= 0) {
        return;
    }
    SleepUntil(Now() + d);
}

void RealClock::SleepUntil(Duration deadline) {
#if defined(_WIN32)
    // The C++ library's sleep_until here counts whole milliseconds and truncates: a 1 ms
    // pause came back after a few microseconds.
    SleepUntilCoarse(
        deadline, [this] { return Now(); }, [](unsigned ms) { ::Sleep(ms); }, CpuRelax);
#else
    KeepTimerSlackSmall();
    // Even with no slack a sleep ends some tens of microseconds late (the timer interrupt, the
    // scheduler), and on a 1 ms pause that is several per cent of every framed byte. So sleep
    // until that much before the deadline, learning how late wake-ups come on this thread, and
    // wait out the rest awake: never short of the deadline, rarely far past it.
    thread_local Duration lead{0};
    const Duration target = deadline - lead;
    if (Now() < target) {
        SleepAbsolute(target);
        const Duration late = std::clamp(Now() - target, Duration::zero(), kMaxLead);
        lead += (late - lead) / kLeadSmoothing;
    }
    while (Now() < deadline) {
        CpuRelax();
    }
#endif
}

IClock& SystemClock() {
    static RealClock clock;
    return clock;
}

}  // namespace tenlo
