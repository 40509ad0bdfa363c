#pragma once

#include <atomic>
#include <csignal>

namespace tenlo::cli {

// Turns SIGINT and SIGTERM into a flag for as long as it lives: the first one asks the run to
// stop at the next command (the programmer link watches the flag), later ones change nothing,
// so a second Ctrl-C cannot cut the power-down short. The previous handlers come back when it
// goes.
class CInterruptGuard {
  public:
    CInterruptGuard();
    ~CInterruptGuard();
    CInterruptGuard(const CInterruptGuard&) = delete;
    CInterruptGuard& operator=(const CInterruptGuard&) = delete;

    // The flag the handler sets; for CProgrammerLink::SetStopFlag.
    static const std::atomic<bool>& Flag();
    static bool Interrupted() { return Flag().load(); }

  private:
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

}  // namespace tenlo::cli
