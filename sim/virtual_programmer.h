#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

#include "link/clock.h"
#include "sim/chip_model.h"
#include "sim/fault_plan.h"
#include "sim/firmware_engine.h"

namespace tenlo::sim {

// Time one byte takes on the line: a start bit, 8 data bits and a stop bit.
constexpr IClock::Duration ByteTime(std::uint32_t baud) {
    return IClock::Duration(std::chrono::nanoseconds(std::chrono::seconds(10)).count() / baud);
}
constexpr std::uint32_t kProgrammerBaud = 38400;

// A Ravonite with a chip in its socket: the firmware engine, the chip model and the faults,
// behind one lock. Transports (the in-process backend, the pty server) feed it host bytes;
// tests inspect it through With() while a host may be talking to it from another thread.
class CVirtualProgrammer {
  public:
    // A null chip is an empty socket (as the nochip fault).
    explicit CVirtualProgrammer(std::unique_ptr<IChipModel> chip, FaultPlan faults = {});

    CVirtualProgrammer(const CVirtualProgrammer&) = delete;
    CVirtualProgrammer& operator=(const CVirtualProgrammer&) = delete;

    // Runs f(engine, chip) under the lock and returns what it returns.
    template <class F>
    decltype(auto) With(F&& f) {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::forward<F>(f)(engine_, *chip_);
    }

    // Feeds host bytes and appends the replies. False once the line is broken (disconnect
    // fault): the byte that broke it and everything after it are lost.
    bool Transfer(const std::uint8_t* bytes, std::size_t count, std::vector<std::uint8_t>& out);

    // What became of a byte on a timed line.
    enum class Intake { Taken, Lost, Broken };
    // One host byte that reached the firmware at arrival on a line with line-rate timing, where
    // the firmware's handling time applies (CFirmwareEngine::kByteHandling): a byte that comes
    // too soon after a framed one is Lost. Broken as Transfer's false. heldUpTo: as for
    // CFirmwareEngine::Feed.
    Intake Receive(std::uint8_t byte, IClock::Duration arrival, std::vector<std::uint8_t>& out,
                   IClock::Duration heldUpTo = IClock::Duration::zero());

    bool Disconnected();

    // Unlocked access for single-threaded use (set-up before any host runs, the pty server).
    CFirmwareEngine& Engine() { return engine_; }
    IChipModel& Chip() { return *chip_; }
    std::mutex& Mutex() { return mutex_; }

    // The chip and faults after an empty socket has been filled in (construction detail).
    struct Socket;

  private:
    explicit CVirtualProgrammer(Socket socket);

    std::mutex mutex_;
    std::unique_ptr<IChipModel> chip_;
    CFirmwareEngine engine_;
};

}  // namespace tenlo::sim
