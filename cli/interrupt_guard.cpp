#include "cli/interrupt_guard.h"

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace tenlo::cli {

namespace {

// Lock-free, so setting it is safe in a signal handler.
std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

// The console control events, as wincon.h numbers them.
constexpr unsigned long kCtrlC = 0;
constexpr unsigned long kCtrlBreak = 1;
constexpr unsigned long kCtrlClose = 2;
// Windows ends a process whose window is being closed 5 s after the event at the latest; the
// power-down after the command under way takes a few milliseconds.
constexpr std::chrono::milliseconds kCloseHold{5000};

#if defined(_WIN32)
BOOL WINAPI OnConsoleControl(DWORD event) {
    const CInterruptGuard::ConsoleAnswer answer = CInterruptGuard::OnConsoleEvent(event);
    if (answer.hold.count() > 0) {
        // The run ends the process itself once the chip is powered down.
        ::Sleep(static_cast<DWORD>(answer.hold.count()));
    }
    return answer.handled ? TRUE : FALSE;
}
#else
extern "C" void OnInterrupt(int) {
    g_interrupted.store(true);
}
#endif

}  // namespace

CInterruptGuard::ConsoleAnswer CInterruptGuard::OnConsoleEvent(unsigned long event) {
    switch (event) {
        case kCtrlC:
        case kCtrlBreak:
            g_interrupted.store(true);
            return {true, {}};
        case kCtrlClose:
            g_interrupted.store(true);
            return {true, kCloseHold};
        default:
            return {};
    }
}

#if defined(_WIN32)
CInterruptGuard::CInterruptGuard() {
    g_interrupted.store(false);
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

CInterruptGuard::~CInterruptGuard() {
    ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
}
#else
CInterruptGuard::CInterruptGuard() {
    g_interrupted.store(false);
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a wait for the programmer's answer ends its poll early and goes on
    // waiting for the rest of its time-out, which is all it should do.
    sigaction(SIGINT, &action, &oldInt_);
    sigaction(SIGTERM, &action, &oldTerm_);
    sigaction(SIGHUP, &action, &oldHup_);
    sigaction(SIGQUIT, &action, &oldQuit_);
    // A write to a closed pipe then fails with EPIPE, which the output code already survives.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &oldPipe_);
}

CInterruptGuard::~CInterruptGuard() {
    sigaction(SIGINT, &oldInt_, nullptr);
    sigaction(SIGTERM, &oldTerm_, nullptr);
    sigaction(SIGHUP, &oldHup_, nullptr);
    sigaction(SIGQUIT, &oldQuit_, nullptr);
    sigaction(SIGPIPE, &oldPipe_, nullptr);
}
#endif

const std::atomic<bool>& CInterruptGuard::Flag() {
    return g_interrupted;
}

}  // namespace tenlo::cli
