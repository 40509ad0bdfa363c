#pragma once

// A scripted programmer on the far side of the line. A Script lists what the host must do
// (frames, raw bytes out, bytes in) and also yields the peer's replies; the peer logs what
// really happened, pauses included, so a test compares the two transcripts.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "link/clock.h"
#include "link/port_backend.h"
#include "link/ui_interfaces.h"

namespace tenlo::test {

inline std::string Hex(std::uint8_t b) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", b);
    return text;
}

struct PeerState {
    std::vector<std::string> log;      // "> 14" written, "< A5" read, "1ms" pause, ...
    std::deque<std::uint8_t> replies;  // what reads return, in order
    std::vector<std::size_t> readSizes;
    int failWriteAt = -1;  // index of the write that fails (-1: none)
    int writes = 0;
    CommSettings current;
    std::vector<CommSettings> applied;
    bool destroyed = false;
    bool modemOk = true;
    bool cts = true;
    long extraWaiting = -1;  // BytesWaiting override (-1: the scripted replies)
};

class ScriptedPort final : public IPortHandle {
  public:
    explicit ScriptedPort(std::shared_ptr<PeerState> state) : s_(std::move(state)) {}
    ~ScriptedPort() override { s_->destroyed = true; }

    bool GetSettings(CommSettings& out) override {
        s_->log.push_back("get-settings");
        out = s_->current;
        return true;
    }
    bool ApplySettings(const CommSettings& settings) override {
        s_->log.push_back("apply-settings");
        s_->applied.push_back(settings);
        return true;
    }
    bool SetQueueSizes(std::size_t in, std::size_t out) override {
        s_->log.push_back("queues " + std::to_string(in) + " " + std::to_string(out));
        return true;
    }
    bool Purge() override {
        s_->log.push_back("purge");
        return true;
    }
    bool SetTimeouts(std::chrono::milliseconds r, std::chrono::milliseconds w) override {
        s_->log.push_back("timeouts " + std::to_string(r.count()) + " " +
                          std::to_string(w.count()));
        return true;
    }
    long Write(const std::uint8_t* data, std::size_t count) override {
        for (std::size_t i = 0; i < count; ++i) {
            if (s_->writes++ == s_->failWriteAt) {
                s_->log.push_back("> fail");
                return i == 0 ? -1 : static_cast<long>(i);
            }
            s_->log.push_back("> " + Hex(data[i]));
        }
        return static_cast<long>(count);
    }
    long Read(std::uint8_t* data, std::size_t count) override {
        s_->readSizes.push_back(count);
        std::size_t n = 0;
        while (n < count && !s_->replies.empty()) {
            data[n] = s_->replies.front();
            s_->replies.pop_front();
            s_->log.push_back("< " + Hex(data[n]));
            ++n;
        }
        if (n == 0) {
            s_->log.push_back("< timeout");
        }
        return static_cast<long>(n);
    }
    long BytesWaiting() override {
        return s_->extraWaiting >= 0 ? s_->extraWaiting : static_cast<long>(s_->replies.size());
    }
    bool SetDtr(bool on) override { return Line(on ? "dtr on" : "dtr off"); }
    bool SetRts(bool on) override { return Line(on ? "rts on" : "rts off"); }
    bool SetBreak(bool on) override { return Line(on ? "break on" : "break off"); }
    bool GetCts(bool& on) override {
        if (!Line("cts?")) {
            return false;
        }
        on = s_->cts;
        return true;
    }

  private:
    bool Line(const char* what) {
        s_->log.push_back(what);
        return s_->modemOk;
    }
    std::shared_ptr<PeerState> s_;
};

// Hands out one scripted port per Open and remembers the names asked for.
class ScriptedBackend final : public IPortBackend {
  public:
    std::unique_ptr<IPortHandle> Open(const std::string& deviceName) override {
        names.push_back(deviceName);
        if (refuse) {
            return nullptr;
        }
        state = std::make_shared<PeerState>();
        state->current = initial;
        return std::make_unique<ScriptedPort>(state);
    }
    std::vector<std::string> names;
    bool refuse = false;
    CommSettings initial;
    std::shared_ptr<PeerState> state;
};

// Virtual time that logs every pause into the peer's transcript.
class LoggingClock final : public IClock {
  public:
    Duration Now() override { return clock_.Now(); }
    void SleepFor(Duration d) override {
        if (log != nullptr) {
            log->push_back(d == std::chrono::milliseconds(1)
                               ? std::string("1ms")
                               : "sleep " + std::to_string(d.count()) + "ns");
        }
        clock_.SleepFor(d);
    }
    std::vector<std::string>* log = nullptr;

  private:
    VirtualClock clock_;
};

// What the host must do, and what the peer answers.
class Script {
  public:
    // A frame acknowledged with ack: every byte followed by its 1 ms pause.
    Script& Frame(std::initializer_list<std::uint8_t> bytes, std::uint8_t ack = 0xA5) {
        for (std::uint8_t b : bytes) {
            expected.push_back("> " + Hex(b));
            expected.push_back("1ms");
        }
        return In({ack});
    }
    Script& Out(std::initializer_list<std::uint8_t> bytes) {
        for (std::uint8_t b : bytes) {
            expected.push_back("> " + Hex(b));
        }
        return *this;
    }
    Script& In(std::initializer_list<std::uint8_t> bytes) {
        for (std::uint8_t b : bytes) {
            expected.push_back("< " + Hex(b));
            replies.push_back(b);
        }
        return *this;
    }
    std::vector<std::string> expected;
    std::deque<std::uint8_t> replies;
};

class RecordingTrace final : public ITraceSink {
  public:
    void Append(std::string_view part) override { text += part; }
    std::string text;
};

}  // namespace tenlo::test
