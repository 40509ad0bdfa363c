#include "support/recording_backend.h"

#include <utility>

namespace tenlo::testing {

namespace {

class RecordingHandle : public IPortHandle {
  public:
    RecordingHandle(std::unique_ptr<IPortHandle> inner, std::shared_ptr<WireLog> log)
        : inner_(std::move(inner)), log_(std::move(log)) {}

    bool GetSettings(CommSettings& out) override { return inner_->GetSettings(out); }
    bool ApplySettings(const CommSettings& settings) override {
        return inner_->ApplySettings(settings);
    }
    bool SetQueueSizes(std::size_t input, std::size_t output) override {
        return inner_->SetQueueSizes(input, output);
    }
    bool Purge() override { return inner_->Purge(); }
    bool SetTimeouts(std::chrono::milliseconds readTotal,
                     std::chrono::milliseconds writeTotal) override {
        return inner_->SetTimeouts(readTotal, writeTotal);
    }
    long Write(const std::uint8_t* data, std::size_t count) override {
        const long n = inner_->Write(data, count);
        std::size_t total = 0;
        if (n > 0) {
            std::lock_guard lock(log_->mutex);
            log_->written.insert(log_->written.end(), data, data + n);
            total = log_->written.size();
        }
        if (n > 0 && log_->afterWrite) {
            log_->afterWrite(total);
        }
        return n;
    }
    long Read(std::uint8_t* data, std::size_t count) override {
        const long n = inner_->Read(data, count);
        if (n > 0) {
            std::lock_guard lock(log_->mutex);
            log_->readCount += static_cast<std::uint64_t>(n);
        }
        return n;
    }
    long BytesWaiting() override { return inner_->BytesWaiting(); }
    bool SetDtr(bool on) override { return inner_->SetDtr(on); }
    bool SetRts(bool on) override { return inner_->SetRts(on); }
    bool SetBreak(bool on) override { return inner_->SetBreak(on); }
    bool GetCts(bool& on) override { return inner_->GetCts(on); }

  private:
    std::unique_ptr<IPortHandle> inner_;
    std::shared_ptr<WireLog> log_;
};

class RecordingBackend : public IPortBackend {
  public:
    RecordingBackend(std::shared_ptr<IPortBackend> inner, std::shared_ptr<WireLog> log)
        : inner_(std::move(inner)), log_(std::move(log)) {}

    std::unique_ptr<IPortHandle> Open(const std::string& deviceName) override {
        auto handle = inner_->Open(deviceName);
        if (!handle) {
            return nullptr;
        }
        return std::make_unique<RecordingHandle>(std::move(handle), log_);
    }

  private:
    std::shared_ptr<IPortBackend> inner_;
    std::shared_ptr<WireLog> log_;
};

}  // namespace

std::shared_ptr<IPortBackend> MakeRecordingBackend(std::shared_ptr<IPortBackend> inner,
                                                   std::shared_ptr<WireLog> log) {
    return std::make_shared<RecordingBackend>(std::move(inner), std::move(log));
}

}  // namespace tenlo::testing
