#pragma once

#include <atomic>
#include <chrono>
#if !defined(_WIN32)
#include <csignal>
#endif

namespace tenlo::cli {

// Turns the user's interrupt into a flag for as long as it lives: the first one asks the run to
// stop at the next command (the programmer link watches the flag), later ones change nothing,
// so a second Ctrl-C cannot cut the power-down short. On POSIX that is SIGINT and SIGTERM, and
// SIGHUP (the terminal closed) and SIGQUIT the same way, while SIGPIPE is ignored: a reader of
// our output that went away must not kill a write half done with the chip powered; the previous
// handlers come back when it goes. On Windows the console's control events (Ctrl-C, Ctrl-Break,
// closing the window), through a console control handler.
class CInterruptGuard {
  public:
    CInterruptGuard();
    ~CInterruptGuard();
    CInterruptGuard(const CInterruptGuard&) = delete;
    CInterruptGuard& operator=(const CInterruptGuard&) = delete;

    // The flag the handler sets; for CProgrammerLink::SetStopFlag.
    static const std::atomic<bool>& Flag();
    static bool Interrupted() { return Flag().load(); }

    // What the Windows console control handler does with an event (the CTRL_*_EVENT number).
    // handled false: not ours, the next handler (the system's: end the process) takes it. hold:
    // how long the handler keeps the process alive before it returns, for the events after
    // which Windows ends the process as soon as the handler returns. Every build compiles it.
    struct ConsoleAnswer {
        bool handled = false;
        std::chrono::milliseconds hold{0};
    };
    static ConsoleAnswer OnConsoleEvent(unsigned long event);

  private:
#if !defined(_WIN32)
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
    struct sigaction oldHup_ {};
    struct sigaction oldQuit_ {};
    struct sigaction oldPipe_ {};
#endif
};

}  // namespace tenlo::cli
