#pragma once

#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "link/clock.h"
#include "sim/virtual_programmer.h"

namespace tenlo::sim {

// Serves a virtual programmer on a pseudo-terminal, as a Ravonite on a serial port: host bytes
// read from the master go through the firmware, replies are written back (paced at the line
// rate when asked). A disconnect fault closes the terminal, so the host's next I/O fails.
class CPtyServer {
  public:
    CPtyServer(std::shared_ptr<CVirtualProgrammer> programmer, IClock& clock, bool lineRate);
    ~CPtyServer();

    CPtyServer(const CPtyServer&) = delete;
    CPtyServer& operator=(const CPtyServer&) = delete;

    // Opens the pair, both ends raw. False with a message on failure.
    bool Open(std::string& error);
    // The terminal the host opens (/dev/pts/N).
    const std::string& PtyPath() const { return ptyPath_; }

    // Every byte that crosses the line is written to trace ("> " host, "< " firmware), one line
    // per burst; a host byte the firmware lost (line rate only) shows as "[NN lost]". nullptr:
    // no trace.
    void SetTrace(std::FILE* trace) { trace_ = trace; }

    // Serves until stopFd turns readable (the self-pipe of a signal handler) or it hangs up.
    // False on an unexpected I/O error of the terminal.
    bool Serve(int stopFd);

  private:
    struct Pending {
        std::uint8_t byte;
        IClock::Duration ready;
    };

    void Receive(const std::uint8_t* bytes, std::size_t count);
    bool Flush();
    void Hangup();
    void Trace(const char* direction, const std::uint8_t* bytes, std::size_t count,
               const std::vector<bool>* lost);

    std::shared_ptr<CVirtualProgrammer> programmer_;
    IClock& clock_;
    bool lineRate_;
    int master_ = -1;
    int slave_ = -1;  // held open so the master never sees a hang-up between host sessions
    std::string ptyPath_;
    std::deque<Pending> replies_;
    IClock::Duration inFree_{0};
    IClock::Duration outFree_{0};
    std::FILE* trace_ = nullptr;
};

// Makes link a symbolic link to target, creating its directory. A stale symbolic link is
// replaced; anything else already there is left alone and refused.
bool MakePortLink(const std::string& target, const std::string& link, std::string& error);

}  // namespace tenlo::sim
