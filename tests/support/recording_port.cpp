#include "support/recording_port.h"

namespace tenlo::test {

namespace {

class CRecordingPort final : public IPortHandle {
  public:
    explicit CRecordingPort(std::shared_ptr<RecordingLines> lines) : lines_(std::move(lines)) {}

    bool GetSettings(CommSettings& out) override {
        out = settings_;
        return true;
    }
    bool ApplySettings(const CommSettings& settings) override {
        settings_ = settings;
        return true;
    }
    bool SetQueueSizes(std::size_t, std::size_t) override { return true; }
    bool Purge() override { return true; }
    bool SetTimeouts(std::chrono::milliseconds, std::chrono::milliseconds) override { return true; }
    long Write(const std::uint8_t*, std::size_t) override { return -1; }
    long Read(std::uint8_t*, std::size_t) override { return -1; }
    long BytesWaiting() override { return 0; }

    bool SetDtr(bool on) override { return Log(LineCall::Dtr, on); }
    bool SetRts(bool on) override { return Log(LineCall::Rts, on); }
    bool SetBreak(bool on) override { return Log(LineCall::Break, on); }
    bool GetCts(bool& on) override {
        const bool level = lines_->cts ? lines_->cts(lines_->ctsReads) : false;
        if (!Log(LineCall::Cts, level)) {
            return false;
        }
        ++lines_->ctsReads;
        on = level;
        return true;
    }

  private:
    bool Log(LineCall::Kind kind, bool value) {
        if (lines_->failAfter && lines_->calls.size() >= *lines_->failAfter) {
            return false;
        }
        lines_->calls.push_back({kind, value});
        return true;
    }

    std::shared_ptr<RecordingLines> lines_;
    CommSettings settings_;
};

}  // namespace

std::unique_ptr<IPortHandle> CRecordingPortBackend::Open(const std::string&) {
    return std::make_unique<CRecordingPort>(lines);
}

std::vector<bool> LatchedBits(const std::vector<LineCall>& calls) {
    std::vector<bool> bits;
    bool dtr = false;
    bool rts = false;
    for (const LineCall& c : calls) {
        if (c.kind == LineCall::Dtr) {
            dtr = c.value;
        } else if (c.kind == LineCall::Rts) {
            if (rts && !c.value) {
                bits.push_back(dtr);
            }
            rts = c.value;
        }
    }
    return bits;
}

std::vector<LineCall> CommandCalls(unsigned code) {
    std::vector<LineCall> calls{{LineCall::Rts, false}, {LineCall::Dtr, false}};
    for (int bit = 0; bit < 6; ++bit) {
        calls.push_back({LineCall::Dtr, ((code >> bit) & 1) != 0});
        calls.push_back({LineCall::Rts, true});
        calls.push_back({LineCall::Rts, false});
    }
    calls.push_back({LineCall::Dtr, false});
    return calls;
}

}  // namespace tenlo::test
