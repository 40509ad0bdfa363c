#include "cli/interrupt_guard.h"

namespace tenlo::cli {

namespace {

// Lock-free, so setting it is safe in a signal handler.
std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnInterrupt(int) {
    g_interrupted.store(true);
}

}  // namespace

CInterruptGuard::CInterruptGuard() {
    g_interrupted.store(false);
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a wait for the programmer's answer ends its poll early and goes on
    // waiting for the rest of its time-out, which is all it should do.
    sigaction(SIGINT, &action, &oldInt_);
    sigaction(SIGTERM, &action, &oldTerm_);
}

CInterruptGuard::~CInterruptGuard() {
    sigaction(SIGINT, &oldInt_, nullptr);
    sigaction(SIGTERM, &oldTerm_, nullptr);
}

const std::atomic<bool>& CInterruptGuard::Flag() {
    return g_interrupted;
}

}  // namespace tenlo::cli
