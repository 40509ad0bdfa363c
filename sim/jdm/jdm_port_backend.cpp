#include "sim/jdm/jdm_port_backend.h"

#include "link/port_names.h"

#include <cctype>

namespace tenlo::sim {

namespace {

class CJdmPortHandle final : public IPortHandle {
  public:
    CJdmPortHandle(std::shared_ptr<CJdmChip> chip, std::shared_ptr<bool> inUse)
        : chip_(std::move(chip)), inUse_(std::move(inUse)) {
        *inUse_ = true;
    }
    ~CJdmPortHandle() override {
        // Closing a port drops its modem lines and ends a break; results do not matter here.
        chip_->SetBreak(false);
        chip_->SetRts(false);
        chip_->SetDtr(false);
        *inUse_ = false;
    }
    CJdmPortHandle(const CJdmPortHandle&) = delete;
    CJdmPortHandle& operator=(const CJdmPortHandle&) = delete;

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

    // No UART behind this port: the programmer's firmware is what is being replaced.
    long Write(const std::uint8_t*, std::size_t) override { return -1; }
    long Read(std::uint8_t*, std::size_t) override { return -1; }
    long BytesWaiting() override { return 0; }

    bool SetDtr(bool on) override { return chip_->SetDtr(on); }
    bool SetRts(bool on) override { return chip_->SetRts(on); }
    bool SetBreak(bool on) override { return chip_->SetBreak(on); }
    bool GetCts(bool& on) override { return chip_->GetCts(on); }

  private:
    std::shared_ptr<CJdmChip> chip_;
    std::shared_ptr<bool> inUse_;
    CommSettings settings_;
};

}  // namespace

bool IsComPortName(const std::string& name) {
    return ComPortNumber(name).has_value();
}

CJdmPortBackend::CJdmPortBackend(std::shared_ptr<CJdmChip> chip)
    : chip_(std::move(chip)), inUse_(std::make_shared<bool>(false)) {}

std::unique_ptr<IPortHandle> CJdmPortBackend::Open(const std::string& deviceName) {
    if (!IsComPortName(deviceName) || *inUse_) {
        return nullptr;
    }
    return std::make_unique<CJdmPortHandle>(chip_, inUse_);
}

std::shared_ptr<CJdmPortBackend> MakeJdmSimulatorBackend(IClock& clock) {
    return std::make_shared<CJdmPortBackend>(std::make_shared<CJdmChip>(clock));
}

}  // namespace tenlo::sim
