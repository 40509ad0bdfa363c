#include "sim/in_process_backend.h"

#include "link/port_names.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <deque>
#include <string>
#include <vector>

namespace tenlo::sim {

namespace {

using Duration = IClock::Duration;

// A port name the operating system would take for a COM port.
bool IsComName(const std::string& name) {
    return ComPortNumber(name).has_value();
}

// What the backend and its handle share: the handle may outlive the backend object.
struct Line {
    std::shared_ptr<CVirtualProgrammer> programmer;
    IClock& clock;
    bool lineRate;
    std::atomic<bool> inUse{false};

    Line(std::shared_ptr<CVirtualProgrammer> p, IClock& c, bool rate)
        : programmer(std::move(p)), clock(c), lineRate(rate) {}
};

class InProcessHandle final : public IPortHandle {
  public:
    explicit InProcessHandle(std::shared_ptr<Line> line) : line_(std::move(line)) {
        settings_.baud = kProgrammerBaud;
    }
    ~InProcessHandle() override { line_->inUse = false; }

    InProcessHandle(const InProcessHandle&) = delete;
    InProcessHandle& operator=(const InProcessHandle&) = delete;

    bool GetSettings(CommSettings& out) override {
        if (Broken()) {
            return false;
        }
        out = settings_;
        return true;
    }
    bool ApplySettings(const CommSettings& settings) override {
        if (Broken()) {
            return false;
        }
        settings_ = settings;
        return true;
    }
    bool SetQueueSizes(std::size_t, std::size_t) override { return !Broken(); }
    bool Purge() override {
        if (Broken()) {
            return false;
        }
        replies_.clear();
        return true;
    }
    bool SetTimeouts(std::chrono::milliseconds readTotal,
                     std::chrono::milliseconds writeTotal) override {
        readTimeout_ = readTotal;
        writeTimeout_ = writeTotal;
        return !Broken();
    }

    long Write(const std::uint8_t* data, std::size_t count) override {
        if (data == nullptr && count != 0) {
            return -1;
        }
        const Duration byteTime = ByteTime(kProgrammerBaud);
        std::vector<std::uint8_t> out;
        for (std::size_t i = 0; i < count; ++i) {
            // A write returns as soon as the driver has the byte; the byte reaches the firmware
            // one byte time after the line is free, and its replies queue up behind it.
            Duration arrival = line_->clock.Now();
            if (line_->lineRate) {
                arrival = std::max(arrival, inFree_) + byteTime;
                inFree_ = arrival;
            }
            out.clear();
            const bool broken = line_->lineRate
                                    ? line_->programmer->Receive(data[i], arrival, out) ==
                                          CVirtualProgrammer::Intake::Broken
                                    : !line_->programmer->Transfer(&data[i], 1, out);
            if (broken) {
                replies_.clear();
                return -1;
            }
            for (std::uint8_t b : out) {
                Duration ready{0};
                if (line_->lineRate) {
                    ready = std::max(arrival, outFree_) + byteTime;
                    outFree_ = ready;
                }
                replies_.push_back({b, ready});
            }
        }
        return static_cast<long>(count);
    }

    long Read(std::uint8_t* data, std::size_t count) override {
        if (Broken()) {
            return -1;
        }
        if (data == nullptr && count != 0) {
            return -1;
        }
        IClock& clock = line_->clock;
        const Duration deadline = clock.Now() + readTimeout_;
        std::size_t got = 0;
        while (got < count && !replies_.empty()) {
            const Pending next = replies_.front();
            const Duration now = clock.Now();
            if (next.ready <= now) {
                data[got++] = next.byte;
                replies_.pop_front();
                continue;
            }
            if (next.ready > deadline) {
                break;
            }
            clock.SleepUntil(next.ready);
        }
        if (got < count) {
            // Nothing more will come before the time-out: the firmware only ever answers.
            clock.SleepUntil(deadline);
        }
        return static_cast<long>(got);
    }

    long BytesWaiting() override {
        if (Broken()) {
            return -1;
        }
        const Duration now = line_->clock.Now();
        return static_cast<long>(std::count_if(replies_.begin(), replies_.end(),
                                               [&](const Pending& p) { return p.ready <= now; }));
    }

    bool SetDtr(bool) override { return false; }
    bool SetRts(bool) override { return false; }
    bool SetBreak(bool) override { return false; }
    bool GetCts(bool&) override { return false; }

  private:
    struct Pending {
        std::uint8_t byte;
        Duration ready;
    };

    bool Broken() const { return line_->programmer->Disconnected(); }

    std::shared_ptr<Line> line_;
    CommSettings settings_;
    std::chrono::milliseconds readTimeout_{1000};
    std::chrono::milliseconds writeTimeout_{1000};
    std::deque<Pending> replies_;
    Duration inFree_{0};
    Duration outFree_{0};
};

class InProcessBackend final : public IPortBackend {
  public:
    explicit InProcessBackend(std::shared_ptr<Line> line) : line_(std::move(line)) {}

    std::unique_ptr<IPortHandle> Open(const std::string& deviceName) override {
        if (!IsComName(deviceName) || line_->programmer == nullptr) {
            return nullptr;
        }
        bool expected = false;
        if (!line_->inUse.compare_exchange_strong(expected, true)) {
            return nullptr;  // busy, as a port opened without sharing
        }
        return std::make_unique<InProcessHandle>(line_);
    }

  private:
    std::shared_ptr<Line> line_;
};

}  // namespace

std::shared_ptr<IPortBackend> MakeInProcessBackend(std::shared_ptr<CVirtualProgrammer> programmer,
                                                   IClock& clock, bool lineRate) {
    return std::make_shared<InProcessBackend>(
        std::make_shared<Line>(std::move(programmer), clock, lineRate));
}

SimulatedProgrammer SimulateProgrammer(std::unique_ptr<IChipModel> chip, IClock& clock,
                                       FaultPlan faults) {
    SimulatedProgrammer simulated;
    simulated.programmer = std::make_shared<CVirtualProgrammer>(std::move(chip), std::move(faults));
    simulated.backend = MakeInProcessBackend(simulated.programmer, clock);
    return simulated;
}

std::optional<SimulatedProgrammer> SimulateChip(std::string_view chip, IClock& clock,
                                                FaultPlan faults) {
    std::unique_ptr<IChipModel> model = CreateChip(chip);
    if (!model) {
        return std::nullopt;
    }
    return SimulateProgrammer(std::move(model), clock, std::move(faults));
}

std::string NoModelText(std::string_view chip) {
    return "--simulate: the virtual programmer has no model of \"" + std::string(chip) + "\"";
}

}  // namespace tenlo::sim
