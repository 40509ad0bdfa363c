#include "device/device.h"

#include <string>
#include <system_error>
#include <utility>

namespace tenlo {

namespace {
// How long the calling thread blocks between two rounds of message pumping.
constexpr std::chrono::milliseconds kPollInterval{5};
}  // namespace

CDevice::CDevice(CProgrammerLink& link, DeviceOptions* options, IProgressDisplay* progress)
    : link_(&link), options_(options), progress_(progress) {
    if (progress_ != nullptr) {
        progress_->SetRange(100);
    }
}

CDevice::~CDevice() {
    // Run... never returns with a worker alive; this only guards against misuse.
    if (worker_.joinable()) {
        worker_.join();
    }
}

const DeviceOptions& CDevice::Options() const {
    static const DeviceOptions kNone{};
    return options_ != nullptr ? *options_ : kNone;
}

void CDevice::ShowProgress(std::string_view text) {
    place_ = {std::string(text), false, std::nullopt, {}};
    if (progress_ != nullptr) {
        progress_->Open();
        progress_->SetPosition(0);
        progress_->SetText(text);
    }
    if (mainWindow_ != nullptr) {
        mainWindow_->Disable();
    }
    PumpMessages();
}

void CDevice::SetProgress(int percent) {
    if (progress_ != nullptr) {
        progress_->SetPosition(percent);
    }
    PumpMessages();
}

void CDevice::SetProgressText(std::string_view text) {
    place_ = {std::string(text), false, std::nullopt, {}};
    if (progress_ != nullptr) {
        progress_->SetText(text);
    }
    PumpMessages();
}

void CDevice::StartVerifyPass(std::string_view text) {
    SetProgressText(text);
    place_.verifying = true;
}

void CDevice::CloseProgress() {
    if (progress_ != nullptr) {
        progress_->Close();
    }
    if (mainWindow_ != nullptr) {
        mainWindow_->Enable();
        mainWindow_->BringToFront();
    }
    PumpMessages();
}

void CDevice::Finish(bool result) {
    CloseProgress();
    SignalDone(result);
}

void CDevice::SignalDone(bool result) {
    result_ = result ? 1 : 0;
    {
        std::lock_guard lock(mutex_);
        done_ = true;
        signalled_ = true;
    }
    changed_.notify_all();
}

int CDevice::Percent(std::uint64_t done, std::uint64_t total) {
    return total == 0 ? 0 : static_cast<int>(100 * done / total);
}

CDevice::Step CDevice::ForEachBlock(
    std::size_t total, std::size_t block,
    const std::function<Step(std::size_t start, std::size_t count)>& step) {
    if (block == 0) {
        return Step::Fail;
    }
    for (std::size_t start = 0; start < total; start += block) {
        const std::size_t count = total - start < block ? total - start : block;
        AtCell(start);
        const Step outcome = step(start, count);
        if (outcome != Step::Next) {
            return outcome;
        }
        SetProgress(Percent(start, total));
    }
    return Step::Next;
}

void CDevice::FinishCompare(Step outcome, CompareResult& out) {
    switch (outcome) {
        case Step::Next:
            ReportMatch(out);
            Finish(true);
            break;
        case Step::Stop:
            Finish(true);
            break;
        case Step::Fail:
            ClearResult(out);
            Finish(false);
            break;
    }
}

bool CDevice::Accepts(CellSpan buffer, Memory memory) const {
    return buffer.CellSize() == CellSizeForWidth(WidthOf(layout_, memory)) &&
           buffer.Count() >= CountOf(layout_, memory);
}

namespace {
std::size_t Slot(Memory memory) {
    return static_cast<std::size_t>(memory);
}
}  // namespace

bool CDevice::RunRead(Memory memory, CellSpan target) {
    static constexpr void (CDevice::*kBodies[])() = {&CDevice::ReadProgram, &CDevice::ReadConfig,
                                                     &CDevice::ReadData};
    static constexpr CellSpan CDevice::*kTargets[] = {
        &CDevice::readProgramTarget_, &CDevice::readConfigTarget_, &CDevice::readDataTarget_};
    if (!Accepts(target, memory)) {
        return false;
    }
    this->*kTargets[Slot(memory)] = target;
    return RunOperation(kBodies[Slot(memory)]);
}

bool CDevice::RunWrite(Memory memory, CellSpan source) {
    static constexpr void (CDevice::*kBodies[])() = {&CDevice::WriteProgram, &CDevice::WriteConfig,
                                                     &CDevice::WriteData};
    if (!Accepts(source, memory)) {
        return false;
    }
    Source(memory) = source;
    return RunOperation(kBodies[Slot(memory)]);
}

bool CDevice::RunCompare(Memory memory, CellSpan source, CompareResult& result) {
    static constexpr void (CDevice::*kBodies[])() = {
        &CDevice::CompareProgram, &CDevice::CompareConfig, &CDevice::CompareData};
    ClearResult(result);
    if (!Accepts(source, memory)) {
        return false;
    }
    Source(memory) = source;
    compareResult_ = &result;
    const bool ok = RunOperation(kBodies[Slot(memory)]);
    compareResult_ = nullptr;
    return ok;
}

CellSpan& CDevice::Source(Memory memory) {
    static constexpr CellSpan CDevice::*kSources[] = {
        &CDevice::programSource_, &CDevice::configSource_, &CDevice::dataSource_};
    return this->*kSources[Slot(memory)];
}

std::vector<WrittenCell> CDevice::WrittenCells(Memory memory) const {
    const std::uint32_t mask = BlankValueForWidth(WidthOf(layout_, memory));
    std::vector<WrittenCell> cells(CountOf(layout_, memory));
    for (std::size_t i = 0; i < cells.size(); ++i) {
        cells[i] = {i, mask, 0, false};
    }
    return cells;
}

bool CDevice::RunErase() {
    return RunOperation(&CDevice::Erase);
}

void CDevice::ReadDeviceId() {
    Finish(false);
}

void CDevice::ReadCalibrationBody() {
    Finish(false);
}

void CDevice::WriteCalibrationBody() {
    Finish(false);
}

bool CDevice::RunReadCalibration(CalibrationValues& out) {
    if (!CalibrationLocation()) {
        return false;
    }
    calibrationIo_ = {};
    if (!RunOperation(&CDevice::ReadCalibrationBody)) {
        return false;
    }
    out = calibrationIo_;
    return true;
}

bool CDevice::RunWriteCalibration(const CalibrationValues& values) {
    if (!CalibrationLocation()) {
        return false;
    }
    calibrationIo_ = values;
    return RunOperation(&CDevice::WriteCalibrationBody);
}

bool CDevice::RunReadDeviceId(std::uint16_t& word) {
    const std::optional<DeviceIdPlace> place = DeviceIdLocation();
    if (!place) {
        return false;
    }
    deviceIdRead_ = 0;
    if (!RunOperation(&CDevice::ReadDeviceId)) {
        return false;
    }
    word = static_cast<std::uint16_t>(deviceIdRead_ & place->bits);
    return true;
}

void CDevice::WorkerMain(void (CDevice::*body)()) {
    try {
        (this->*body)();
    } catch (...) {
        // A body must not throw (an allocation may); the operation has then failed.
    }
    bool signalled = false;
    {
        std::lock_guard lock(mutex_);
        signalled = signalled_;
    }
    if (!signalled) {
        // A body that returned without Finish would leave the caller waiting for ever.
        CloseProgress();
        SignalDone(false);
    }
    {
        std::lock_guard lock(mutex_);
        ended_ = true;
    }
    changed_.notify_all();
}

bool CDevice::PumpUntil(const std::function<bool()>& pred,
                        std::optional<std::chrono::milliseconds> limit) {
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        PumpMessages();
        std::unique_lock lock(mutex_);
        if (changed_.wait_for(lock, kPollInterval, pred)) {
            return true;
        }
        if (limit && std::chrono::steady_clock::now() - start >= *limit) {
            return false;
        }
    }
}

bool CDevice::RunOperation(void (CDevice::*body)()) {
    if (busy_) {
        // Re-entered from a message pumped while an operation runs: one at a time.
        return false;
    }
    busy_ = true;
    result_ = 0;
    place_ = {};
    {
        std::lock_guard lock(mutex_);
        done_ = false;
        signalled_ = false;
        ended_ = false;
    }
    try {
        worker_ = std::thread([this, body] { WorkerMain(body); });
    } catch (const std::system_error&) {
        busy_ = false;  // no thread to be had: the operation never started
        return false;
    }

    // The done event; seeing it resets it.
    PumpUntil([this] { return done_; }, std::nullopt);
    {
        std::lock_guard lock(mutex_);
        done_ = false;
    }

    // The worker never gets killed: it may be in the middle of a command. Say that it is late
    // and keep waiting; every command it can still send ends within its own time-outs.
    if (!PumpUntil([this] { return ended_; }, workerEndLimit_)) {
        if (errorBox_ != nullptr) {
            errorBox_->ShowMessage(errorCaption_, std::string(kThreadStuckText), kMbOk);
        }
        PumpUntil([this] { return ended_; }, std::nullopt);
    }
    worker_.join();
    busy_ = false;
    return result_ != 0;
}

}  // namespace tenlo
