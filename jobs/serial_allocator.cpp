#include "jobs/serial_allocator.h"

#include <charconv>
#include <limits>
#include <sstream>
#include <vector>

#include "jobs/durable_file.h"

namespace tenlo::jobs {

namespace {

bool ParseNumber(std::string_view text, std::uint64_t& value) {
    if (text.empty()) {
        return false;
    }
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

std::vector<std::string_view> Words(std::string_view line, std::size_t most) {
    std::vector<std::string_view> words;
    while (!line.empty() && words.size() + 1 < most) {
        const std::size_t space = line.find(' ');
        words.push_back(line.substr(0, space));
        if (space == std::string_view::npos) {
            return words;
        }
        line.remove_prefix(space + 1);
    }
    if (!line.empty()) {
        words.push_back(line);  // the last word takes the rest: a port path may hold blanks
    }
    return words;
}

}  // namespace

CSerialAllocator::CSerialAllocator(std::string path, std::uint64_t start, std::uint64_t step,
                                   VerifiedRecord verified)
    : path_(std::move(path)),
      start_(start),
      step_(step == 0 ? 1 : step),
      verified_(std::move(verified)) {
    memory_.next = start_;
}

std::string CSerialAllocator::Format(const State& state) {
    std::ostringstream text;
    text << state.next << '\n';
    for (const std::uint64_t n : state.free) {
        text << "free " << n << '\n';
    }
    for (const auto& [n, claim] : state.claimed) {
        text << "claimed " << n << ' ' << claim.pid << ' ' << claim.port << '\n';
    }
    return text.str();
}

bool CSerialAllocator::Parse(const std::string& text, std::uint64_t start, State& state,
                             int& badLine) {
    state = State{};
    state.next = start;
    std::istringstream in(text);
    std::string line;
    bool first = true;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const std::vector<std::string_view> w = Words(line, 4);
        std::uint64_t value = 0;
        long pid = 0;
        bool ok = false;
        if (first) {
            // The first line is the next number alone, as a user may write it to begin with.
            ok = w.size() == 1 && ParseNumber(w[0], state.next);
            first = false;
        } else if (w.size() == 2 && w[0] == "free") {
            ok = ParseNumber(w[1], value) && value < state.next;
            state.free.insert(value);
        } else if (w.size() == 4 && w[0] == "claimed") {
            std::uint64_t id = 0;
            ok = ParseNumber(w[1], value) && value < state.next && ParseNumber(w[2], id) &&
                 id <= static_cast<std::uint64_t>(std::numeric_limits<long>::max());
            pid = static_cast<long>(id);
            state.claimed[value] = Claim{pid, std::string(w[3])};
        }
        if (!ok) {
            badLine = number;
            return false;
        }
    }
    return true;
}

void CSerialAllocator::GiveBackInto(State& state, std::uint64_t number) const {
    state.claimed.erase(number);
    if (number >= state.next) {
        return;
    }
    state.free.insert(number);
    // Numbers given back from the top lower the next number again, so that a run whose last
    // chips failed leaves the file as if they had never been tried.
    while (!state.free.empty() && *state.free.rbegin() + step_ == state.next) {
        state.next = *state.free.rbegin();
        state.free.erase(std::prev(state.free.end()));
    }
}

void CSerialAllocator::Settle(State& state) const {
    const long self = ThisProcessId();
    std::vector<std::uint64_t> stale;
    for (const auto& [n, claim] : state.claimed) {
        const bool live = claim.pid == self ? mine_.count(n) > 0 : ProcessRuns(claim.pid);
        if (!live) {
            stale.push_back(n);
        }
    }
    for (const std::uint64_t n : stale) {
        if (verified_ && verified_(n)) {
            state.claimed.erase(n);
        } else {
            GiveBackInto(state, n);
        }
    }
}

bool CSerialAllocator::Update(const std::function<bool(State&)>& change, Failure& failure,
                              std::uint64_t forget) {
    std::lock_guard lock(mutex_);
    failure = Failure{};
    failure.path = path_;
    if (path_.empty()) {
        mine_.erase(forget);
        return change(memory_);
    }
    CLockedFile file;
    std::string text;
    if (!file.Open(path_, failure.error) || !file.ReadAll(text, failure.error)) {
        failure.problem = Problem::NotReadable;
        return false;
    }
    State state;
    if (!Parse(text, start_, state, failure.line)) {
        failure.problem = Problem::NotValid;
        return false;
    }
    Settle(state);
    const std::set<std::uint64_t> mineBefore = mine_;
    const bool ok = change(state);
    const std::string after = Format(state);
    if (after != text && !file.Replace(after, failure.error)) {
        failure.problem = Problem::NotWritten;
        mine_ = mineBefore;  // a claim the file never held is nobody's
        return false;
    }
    // Only once the file no longer holds the claim: while it does, the claim stays this
    // process's, or settled as stale it could be handed out again while its chip holds it.
    // Under the same lock, so that a port that takes the number next finds it its own.
    mine_.erase(forget);
    return ok;
}

std::optional<std::uint64_t> CSerialAllocator::Take(const std::string& port, std::uint64_t largest,
                                                    Failure& failure) {
    std::optional<std::uint64_t> taken;
    const bool ok = Update(
        [&](State& state) {
            if (!state.free.empty() && *state.free.begin() <= largest) {
                taken = *state.free.begin();
                state.free.erase(state.free.begin());
            } else if (state.next <= largest &&
                       state.next <= std::numeric_limits<std::uint64_t>::max() - step_) {
                taken = state.next;
                state.next += step_;
            } else {
                return false;
            }
            state.claimed[*taken] = Claim{ThisProcessId(), port};
            // Under the object's lock: another port settling claims meanwhile sees it as ours.
            mine_.insert(*taken);
            return true;
        },
        failure);
    if (!ok) {
        if (failure.problem == Problem::None) {
            failure.problem = Problem::Exhausted;
        }
        return std::nullopt;
    }
    return taken;
}

bool CSerialAllocator::Keep(std::uint64_t number, Failure& failure) {
    return Update(
        [&](State& state) {
            state.claimed.erase(number);
            return true;
        },
        failure, number);
}

bool CSerialAllocator::GiveBack(std::uint64_t number, Failure& failure) {
    return Update(
        [&](State& state) {
            GiveBackInto(state, number);
            return true;
        },
        failure, number);
}

bool CSerialAllocator::Read(State& state, Failure& failure) {
    return Update(
        [&](State& now) {
            state = now;
            return true;
        },
        failure);
}

}  // namespace tenlo::jobs
