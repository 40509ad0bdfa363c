#include "jobs/production_run.h"

#include <thread>
#include <vector>

namespace tenlo::jobs {

void RunOnEachPort(std::size_t count, const std::function<void(std::size_t)>& work) {
    std::vector<std::thread> threads;
    threads.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        threads.emplace_back(work, i);
    }
    for (std::thread& t : threads) {
        t.join();
    }
}

CProductionRun::CProductionRun(std::optional<SerialSettings> serial, std::string logPath)
    : serial_(std::move(serial)), logPath_(std::move(logPath)) {
    if (!serial_) {
        return;
    }
    CSerialAllocator::VerifiedRecord verified;
    if (!logPath_.empty()) {
        verified = [path = logPath_](std::uint64_t n) { return LogShowsSerialOk(path, n); };
    }
    numbers_ = std::make_unique<CSerialAllocator>(serial_->file, serial_->start, serial_->step,
                                                  std::move(verified));
}

bool CProductionRun::CChipNumber::BeforeWrite(Memory memory, CMemoryImage& image) {
    if (memory != cells_.memory || number_) {
        return true;
    }
    number_ = run_.numbers_->Take(port_, cells_.Largest(), failure_);
    if (!number_) {
        return false;
    }
    WriteSerial(cells_, *number_, image);
    return true;
}

CProductionRun::Recorded CProductionRun::ChipDone(const LogRow& row, const CChipNumber* number,
                                                  bool verified) {
    Recorded r;
    if (!logPath_.empty()) {
        r.logged = AppendLogRow(logPath_, row, r.logError);
    }
    if (number != nullptr && number->Number() && numbers_) {
        // A row that did not reach the log cannot vouch for the chip after a crash; the number
        // is kept all the same, since the chip holds it: a gap rather than a repeat.
        if (verified) {
            numbers_->Keep(*number->Number(), r.serial);
        } else {
            numbers_->GiveBack(*number->Number(), r.serial);
        }
    }
    return r;
}

}  // namespace tenlo::jobs
