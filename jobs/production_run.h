#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "jobs/job_context.h"
#include "jobs/production_log.h"
#include "jobs/serial_allocator.h"
#include "jobs/serial_number.h"

namespace tenlo::jobs {

// Runs work(i) for each of count ports at once, one thread each, and returns when every one
// has ended. Each port has its own link, device and options inside work; a port that fails
// only ends its own thread. A stop flag the works share stops them all at their next command.
void RunOnEachPort(std::size_t count, const std::function<void(std::size_t)>& work);

struct SerialSettings {
    SerialPlacement placement;
    std::uint64_t start = 0;
    std::uint64_t step = 1;
    std::string file;  // empty: the numbers live for this run only
};

// What the ports of one production run share: the serial numbers and the log. Every call may
// come from any port's thread.
class CProductionRun {
  public:
    CProductionRun(std::optional<SerialSettings> serial, std::string logPath);

    const std::optional<SerialSettings>& Serial() const { return serial_; }
    const std::string& LogPath() const { return logPath_; }

    // One chip's serial number, hooked into the chip's write job (JobContext::observer). The
    // number is taken just before the write sends the memory that holds it, so that a chip
    // that fails before then takes none.
    class CChipNumber final : public IJobObserver {
      public:
        CChipNumber(CProductionRun& run, SerialCells cells, std::string port)
            : run_(run), cells_(std::move(cells)), port_(std::move(port)) {}

        bool BeforeWrite(Memory memory, CMemoryImage& image) override;

        const std::optional<std::uint64_t>& Number() const { return number_; }
        // Why no number was taken (the job ended Declined).
        const CSerialAllocator::Failure& Failure() const { return failure_; }
        // The cells did not hold the next number (Failure().problem is Exhausted).
        std::uint64_t Largest() const { return cells_.Largest(); }

      private:
        CProductionRun& run_;
        SerialCells cells_;
        std::string port_;
        std::optional<std::uint64_t> number_;
        CSerialAllocator::Failure failure_;
    };

    // How the end of a chip went on record.
    struct Recorded {
        bool logged = true;
        int logError = 0;
        CSerialAllocator::Failure serial;  // the number could not be kept or given back
    };
    // A chip has ended: its log row first (when a log is kept), then its number kept when it
    // verified and given back when it did not. A crash in between finds the row; a number is
    // never kept without it.
    Recorded ChipDone(const LogRow& row, const CChipNumber* number, bool verified);

  private:
    std::optional<SerialSettings> serial_;
    std::string logPath_;
    std::unique_ptr<CSerialAllocator> numbers_;
};

}  // namespace tenlo::jobs
