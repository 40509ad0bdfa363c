#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>

namespace tenlo::jobs {

// Hands out the serial numbers of a production run: START, START + STEP, and so on, each to one
// chip, never two chips the same number, across the ports of a run and across runs that share
// the serial file, and whatever moment a run is killed at.
//
// A number is taken (claimed) just before the chip is written with it, and kept only once that
// chip verified and was recorded: a chip that failed gives its number back, and the next chip
// gets it. The file says this at every moment, rewritten whole through a side file and a
// rename under a lock:
//
//   1002                     the next number never handed out
//   free 1001                handed out and given back: the next chips get these first
//   claimed 1003 4711 COM6   on a chip being written by process 4711 on COM6
//
// A claim whose process no longer runs was cut short by a crash. Its chip is taken as
// verified when the run's record says so (the log row is written before the number is kept),
// else as never finished, and its number is given back: a chip nobody reported good does not
// hold a number.
class CSerialAllocator {
  public:
    enum class Problem : std::uint8_t {
        None,
        NotReadable,  // the file cannot be made, read or locked (error)
        NotValid,     // a line is not one this program writes (line)
        NotWritten,   // the new content could not be written or renamed (error)
        Exhausted,    // no number left up to the largest asked for
    };
    struct Failure {
        Problem problem = Problem::None;
        std::string path;
        int error = 0;
        int line = 0;
    };

    struct Claim {
        long pid = 0;
        std::string port;
    };
    struct State {
        std::uint64_t next = 0;
        std::set<std::uint64_t> free;
        std::map<std::uint64_t, Claim> claimed;
    };

    // Whether the run's record shows a chip verified with the number (the log).
    using VerifiedRecord = std::function<bool(std::uint64_t)>;

    // path empty: no file; the numbers of this run start at start. step 1 and up.
    CSerialAllocator(std::string path, std::uint64_t start, std::uint64_t step,
                     VerifiedRecord verified = {});

    // The lowest number free, up to largest (the most the chip's cells hold), for the chip on
    // port.
    std::optional<std::uint64_t> Take(const std::string& port, std::uint64_t largest,
                                      Failure& failure);
    // The chip holding a claimed number verified and was recorded: the number stays used.
    bool Keep(std::uint64_t number, Failure& failure);
    // The chip did not verify: the number goes back for the next chip.
    bool GiveBack(std::uint64_t number, Failure& failure);
    // The state as it is now, stale claims settled.
    bool Read(State& state, Failure& failure);

    // The file's text for a state, and a state from a file's text (empty text: start).
    static std::string Format(const State& state);
    static bool Parse(const std::string& text, std::uint64_t start, State& state, int& badLine);

  private:
    // Runs change on the state under the lock, stale claims settled first, and writes it back
    // when it changed; then the claim forget is no longer this object's.
    bool Update(const std::function<bool(State&)>& change, Failure& failure,
                std::uint64_t forget = kNone);
    static constexpr std::uint64_t kNone = ~std::uint64_t{0};
    void Settle(State& state) const;
    void GiveBackInto(State& state, std::uint64_t number) const;

    std::string path_;
    std::uint64_t start_;
    std::uint64_t step_;
    VerifiedRecord verified_;
    std::mutex mutex_;
    State memory_;  // without a file
    // The numbers this object claimed; a claim under this process's id that is not among them
    // was left by an earlier process of the same id.
    std::set<std::uint64_t> mine_;
};

}  // namespace tenlo::jobs
