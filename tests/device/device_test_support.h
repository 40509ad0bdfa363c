#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "device/device.h"
#include "device/device_ui.h"
#include "link/clock.h"
#include "link/port_backend.h"
#include "link/ui_interfaces.h"

namespace tenlo::testing {

// Records every progress call as a line: "range 100", "open", "pos 40", "text ...", "close".
class RecordingProgress : public IProgressDisplay {
  public:
    void SetRange(int upper) override { Add("range " + std::to_string(upper)); }
    bool Open() override {
        Add("open");
        return true;
    }
    void SetPosition(int position) override { Add("pos " + std::to_string(position)); }
    void SetText(std::string_view text) override { Add("text " + std::string(text)); }
    void Close() override { Add("close"); }

    std::vector<std::string> Events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    std::vector<int> Positions() const;
    std::vector<std::string> Texts() const;
    void Clear() {
        std::lock_guard lock(mutex_);
        events_.clear();
    }

  private:
    void Add(std::string event) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
    }
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
};

class RecordingWindow : public IMainWindow {
  public:
    void Enable() override { Add("enable"); }
    void Disable() override { Add("disable"); }
    void BringToFront() override { Add("front"); }

    std::vector<std::string> Events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    // Whether the window ends up enabled (it starts enabled).
    bool Enabled() const;

  private:
    void Add(std::string event) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
    }
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
};

class RecordingErrorBox : public IErrorBox {
  public:
    int ShowMessage(const std::string& caption, const std::string& text, unsigned type) override {
        std::lock_guard lock(mutex_);
        shown.push_back({caption, text, type});
        return kIdOk;
    }
    struct Box {
        std::string caption;
        std::string text;
        unsigned type;
    };
    std::vector<Box> Shown() const {
        std::lock_guard lock(mutex_);
        return shown;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<Box> shown;
};

// The bytes that crossed the line, in each direction.
struct WireLog {
    std::mutex mutex;
    std::vector<std::uint8_t> written;
    std::uint64_t readCount = 0;

    std::vector<std::uint8_t> Written() {
        std::lock_guard lock(mutex);
        return written;
    }
    std::uint64_t Read() {
        std::lock_guard lock(mutex);
        return readCount;
    }
    void Clear() {
        std::lock_guard lock(mutex);
        written.clear();
        readCount = 0;
    }
};

// A port backend that passes everything to another one and logs the bytes both ways.
std::shared_ptr<IPortBackend> MakeRecordingBackend(std::shared_ptr<IPortBackend> inner,
                                                   std::shared_ptr<WireLog> log);

// The real clock, counting the link's 1 ms pauses (one per framed byte) and what they really
// took. For the benchmarks, which compare an operation's time with the protocol's own minimum.
class PauseCountingClock : public IClock {
  public:
    Duration Now() override { return SystemClock().Now(); }
    void SleepFor(Duration d) override {
        if (d != std::chrono::milliseconds(1)) {
            SystemClock().SleepFor(d);
            return;
        }
        const Duration start = Now();
        SystemClock().SleepFor(d);
        ++pauses;
        pauseNanos += static_cast<std::uint64_t>((Now() - start).count());
    }
    std::atomic<std::uint64_t> pauses{0};
    std::atomic<std::uint64_t> pauseNanos{0};
};

// The protocol's own time for what crossed the line, in seconds. minimum: every byte (both
// ways) at the line rate plus 1 ms a pause; that counts a framed byte and its answer on top of
// the pause they travel in. tight: the pauses plus only the bytes outside them (every pause
// follows one framed host byte, every frame is answered by one byte). slept: tight with each
// pause as long as the system's sleep really made it, the share of the time the host itself
// cannot shorten.
struct LineCost {
    double minimum = 0;
    double tight = 0;
    double slept = 0;
};
LineCost CostOf(std::uint64_t bytes, std::uint64_t frames, const PauseCountingClock& clock);

}  // namespace tenlo::testing
