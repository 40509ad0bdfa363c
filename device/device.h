#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "device/device_layout.h"
#include "device/device_ui.h"
#include "device/memory_image.h"
#include "link/programmer_link.h"
#include "link/ui_interfaces.h"

namespace tenlo {

// The verdict of a compare. done 0: the comparison could not be carried out.
struct CompareResult {
    std::uint8_t done = 0;
    std::uint8_t match = 0;
    std::uint32_t address = 0;  // device address of the first mismatching cell
    std::uint32_t expected = 0;
    std::uint32_t read = 0;
};

// A cell that a write of its memory sets: the image's value with setBits added, in the bits of
// mask (the others are the chip's own or not implemented). A replaced cell is rewritten whole;
// the others are programmed, which can only clear bits.
struct WrittenCell {
    std::size_t index = 0;
    std::uint32_t mask = 0;
    std::uint32_t setBits = 0;
    bool replaced = false;

    std::uint32_t Expected(std::uint32_t imageValue) const { return (imageValue | setBits) & mask; }
};

// The two programmer options, owned by the main view and read when an operation runs.
struct DeviceOptions {
    std::uint8_t keepCalibration = 0;         // byte 0: keep calibration data on erase and write
    std::uint8_t skipCalibrationCompare = 0;  // byte 1: do not compare calibration data
};

// The chip the user has selected. The view calls the Run... operations on its own thread; each
// runs the matching body on a worker thread while the calling thread keeps pumping its messages,
// and returns only after the worker has ended.
class CDevice {
  public:
    static constexpr std::chrono::milliseconds kWorkerEndLimit{2000};
    static constexpr std::string_view kThreadStuckText = "Thread強制停止";

    CDevice(CProgrammerLink& link, DeviceOptions* options, IProgressDisplay* progress);
    virtual ~CDevice();
    CDevice(const CDevice&) = delete;
    CDevice& operator=(const CDevice&) = delete;

    // The fifteen operations, in their fixed order. The worker bodies (the nine reads, writes
    // and compares, and Erase) report through Finish; the view reaches them through Run....
    virtual bool Initialize() = 0;
    virtual void GetLayout(DeviceLayout& out) const = 0;

  protected:
    virtual void ReadProgram() = 0;
    virtual void WriteProgram() = 0;
    virtual void CompareProgram() = 0;
    virtual void WriteConfig() = 0;
    virtual void ReadConfig() = 0;
    virtual void CompareConfig() = 0;
    virtual void WriteData() = 0;
    virtual void ReadData() = 0;
    virtual void CompareData() = 0;

  public:
    virtual bool CheckDeviceId() = 0;

  protected:
    virtual void Erase() = 0;

  public:
    virtual bool EraseProgram() = 0;
    virtual bool EraseData() = 0;

    // Public calls. A buffer whose cell size or count does not fit the layout is refused: the
    // call returns false and nothing is sent. A compare returns true when it could be run; the
    // verdict is in the result.
    bool RunRead(Memory memory, CellSpan target);
    bool RunWrite(Memory memory, CellSpan source);
    bool RunCompare(Memory memory, CellSpan source, CompareResult& result);
    bool RunReadProgram(CellSpan target) { return RunRead(Memory::Program, target); }
    bool RunWriteProgram(CellSpan source) { return RunWrite(Memory::Program, source); }
    bool RunCompareProgram(CellSpan source, CompareResult& result) {
        return RunCompare(Memory::Program, source, result);
    }
    bool RunWriteConfig(CellSpan source) { return RunWrite(Memory::Config, source); }
    bool RunReadConfig(CellSpan target) { return RunRead(Memory::Config, target); }
    bool RunCompareConfig(CellSpan source, CompareResult& result) {
        return RunCompare(Memory::Config, source, result);
    }
    bool RunWriteData(CellSpan source) { return RunWrite(Memory::Data, source); }
    bool RunReadData(CellSpan target) { return RunRead(Memory::Data, target); }
    bool RunCompareData(CellSpan source, CompareResult& result) {
        return RunCompare(Memory::Data, source, result);
    }
    bool RunErase();

    // Whether a write reads back every cell it wrote and fails where one differs, as the
    // mid-range families do; a family whose write does not is read back by the write job.
    virtual bool WriteReadsBack() const { return false; }

    // The cells a write of memory sets under the current options, and what it puts in them:
    // every cell under the memory's width unless the family writes fewer.
    virtual std::vector<WrittenCell> WrittenCells(Memory memory) const;

    const DeviceLayout& Layout() const { return layout_; }
    bool LastResult() const { return result_ != 0; }

    // What the chip itself reported when it stopped a body, so that a caller does not mistake
    // it for a cell that will not program.
    enum class ChipReport : std::uint8_t {
        None,
        StillBusy,  // a write never ended: the chip stayed busy through every status read
    };
    // Where the last operation was when it ended: the progress text it showed last, whether it
    // was in the verify pass a write makes of its own, and, inside a loop over cells, the first
    // cell (an index into its memory) of the block it was on. A caller reads it after the
    // operation has returned, to say where a failure struck.
    struct Place {
        std::string phase;
        bool verifying = false;
        std::optional<std::size_t> cell;
        ChipReport chipSaid = ChipReport::None;
        // No power-down got through at the end, even sent again: the chip may still be
        // powered. workDone: the operation had done its work before that.
        bool stillPowered = false;
        bool workDone = false;
    };
    const Place& LastPlace() const { return place_; }

    // Where the chip carries its device ID word: the device address and the bits of the word
    // that hold the ID and the revision. Nothing for a chip that carries none.
    struct DeviceIdPlace {
        std::uint32_t address = 0;
        std::uint16_t bits = 0;
    };
    virtual std::optional<DeviceIdPlace> DeviceIdLocation() const { return std::nullopt; }
    // Reads the device ID word (revision bits included, cut to its bits) as the other
    // operations run: on a worker, programming mode entered and left. False for a chip without
    // one, or when the programmer did not answer.
    bool RunReadDeviceId(std::uint16_t& word);

    // The factory calibration a bulk erase takes with it, which erase and write put back while
    // calibration is kept: the oscillator calibration word (a RETLW k) and, where the chip has
    // them, the band-gap bits of the configuration word. Nothing for a chip without.
    struct CalibrationPlace {
        std::uint32_t wordAddress = 0;  // program word
        std::uint16_t bandGapMask = 0;  // bits of the configuration word; 0: none
        std::uint32_t configCell = 0;   // the configuration word, a configuration cell index
    };
    virtual std::optional<CalibrationPlace> CalibrationLocation() const { return std::nullopt; }
    struct CalibrationValues {
        std::uint16_t word = 0;
        std::optional<std::uint16_t> bandGap;  // in place, under bandGapMask
        bool operator==(const CalibrationValues&) const = default;
    };
    // Reads both, as the other operations run. False for a chip without calibration, or when
    // the programmer did not answer.
    bool RunReadCalibration(CalibrationValues& out);
    // Writes the word into its cell and, when given, the band-gap bits into the configuration
    // word (its other bits kept), each read back as written. A stop waits until it is done:
    // half a calibration is worse than none restored.
    bool RunWriteCalibration(const CalibrationValues& values);

    // The options record the device reads when an operation runs (the caller's).
    DeviceOptions* OptionsRecord() const { return options_; }
    void SetOptionsRecord(DeviceOptions* options) { options_ = options; }

    void SetMainWindow(IMainWindow* window) { mainWindow_ = window; }
    // Where "Thread強制停止" goes; none: it is not shown.
    void SetErrorBox(IErrorBox* box) { errorBox_ = box; }
    void SetErrorCaption(std::string caption) { errorCaption_ = std::move(caption); }
    // How long the caller waits for the worker to end after it signalled done before it says
    // so (and goes on waiting).
    void SetWorkerEndLimit(std::chrono::milliseconds limit) { workerEndLimit_ = limit; }

  protected:
    CProgrammerLink& Link() { return *link_; }
    const DeviceOptions& Options() const;
    CompareResult& CompareOut() { return compareResult_ != nullptr ? *compareResult_ : scratch_; }

    // Progress steps; each pumps the calling thread's messages.
    void ShowProgress(std::string_view text);
    void SetProgress(int percent);
    void SetProgressText(std::string_view text);
    void CloseProgress();
    // The last step of every body on every path. Families add their own steps (leaving
    // programming mode) and then call this.
    virtual void Finish(bool result);

    // Notes the cell a loop of a body is working on (ForEachBlock does it for its blocks).
    void AtCell(std::size_t cell) { place_.cell = cell; }
    void ChipSaid(ChipReport what) { place_.chipSaid = what; }
    // Notes whether the power-down that ends an operation got through, and whether the work
    // before it had been done; returns poweredDown. A family's Finish fails the operation when
    // it did not: a chip left powered is no success, whatever was written.
    bool NotePowerDown(bool poweredDown, bool workDone) {
        place_.stillPowered = !poweredDown;
        place_.workDone = workDone;
        return poweredDown;
    }
    // A write's own read-back of what it wrote begins: shown as text, noted in the place.
    void StartVerifyPass(std::string_view text);

    // The body of RunReadDeviceId: reads the word into DeviceIdRead() and finishes. A family
    // without a device ID word keeps this one, which fails at once.
    virtual void ReadDeviceId();
    std::uint16_t& DeviceIdRead() { return deviceIdRead_; }

    // The bodies of RunReadCalibration and RunWriteCalibration, on CalibrationIo(); a family
    // without calibration keeps these, which fail at once.
    virtual void ReadCalibrationBody();
    virtual void WriteCalibrationBody();
    CalibrationValues& CalibrationIo() { return calibrationIo_; }

    // Holds back the stop flag for as long as it lives: what it spans (the put-back of what an
    // erase took) runs to its end, and the stop comes after.
    class StopHeldBack {
      public:
        explicit StopHeldBack(CProgrammerLink& link) : link_(link), flag_(link.StopFlag()) {
            link_.SetStopFlag(nullptr);
        }
        ~StopHeldBack() { link_.SetStopFlag(flag_); }
        StopHeldBack(const StopHeldBack&) = delete;
        StopHeldBack& operator=(const StopHeldBack&) = delete;

      private:
        CProgrammerLink& link_;
        const std::atomic<bool>* flag_;
    };

    // 100 × done ÷ total in integer arithmetic; 0 for an empty memory.
    static int Percent(std::uint64_t done, std::uint64_t total);

    enum class Step : std::uint8_t { Next, Stop, Fail };
    // Runs step(start, count) over total cells in blocks (the last one may be short), setting
    // the progress to the share done before each block after it. Returns Next when every block
    // ran, else what the stopping step returned.
    Step ForEachBlock(std::size_t total, std::size_t block,
                      const std::function<Step(std::size_t start, std::size_t count)>& step);

    // Compares read against expected under mask; at the first difference fills out (done 1,
    // match 0, address = base + index, both values masked) and returns true. skip, when set,
    // names an index that is not compared.
    template <typename R, typename E>
    static bool ReportFirstDifference(std::span<R> read, std::span<E> expected, std::uint32_t mask,
                                      std::uint32_t base, CompareResult& out,
                                      std::ptrdiff_t skip = -1) {
        const std::size_t n = read.size() < expected.size() ? read.size() : expected.size();
        for (std::size_t i = 0; i < n; ++i) {
            if (static_cast<std::ptrdiff_t>(i) == skip) {
                continue;
            }
            const std::uint32_t r = static_cast<std::uint32_t>(read[i]) & mask;
            const std::uint32_t e = static_cast<std::uint32_t>(expected[i]) & mask;
            if (r != e) {
                out.done = 1;
                out.match = 0;
                out.address = base + static_cast<std::uint32_t>(i);
                out.expected = e;
                out.read = r;
                return true;
            }
        }
        return false;
    }
    static void ClearResult(CompareResult& out) { out = CompareResult{}; }
    // Ends a compare body by the outcome of its block loop: Next, all equal; Stop, the first
    // difference is in out; Fail, the comparison could not be carried out.
    void FinishCompare(Step outcome, CompareResult& out);
    // The cells of a buffer as T, cut to count (fewer when the buffer holds fewer).
    template <typename T>
    static std::span<T> CellsOf(CellSpan cells, std::size_t count) {
        const auto typed = cells.As<T>();
        return typed.first(count < typed.size() ? count : typed.size());
    }
    static void ReportMatch(CompareResult& out) {
        out = CompareResult{};
        out.done = 1;
        out.match = 1;
    }

    DeviceLayout layout_;

    // Buffers of the running operation; the caller keeps them alive until it returns.
    CellSpan readProgramTarget_;
    CellSpan readConfigTarget_;
    CellSpan readDataTarget_;
    CellSpan programSource_;
    CellSpan configSource_;
    CellSpan dataSource_;

  private:
    bool Accepts(CellSpan buffer, Memory memory) const;
    CellSpan& Source(Memory memory);
    bool RunOperation(void (CDevice::*body)());
    void WorkerMain(void (CDevice::*body)());
    // Pumps the caller's messages until pred holds or, when a limit is given, it passes.
    bool PumpUntil(const std::function<bool()>& pred,
                   std::optional<std::chrono::milliseconds> limit);
    void SignalDone(bool result);

    CProgrammerLink* link_;
    std::uint8_t result_ = 0;
    DeviceOptions* options_;
    std::thread worker_;
    CompareResult* compareResult_ = nullptr;
    CompareResult scratch_;
    IProgressDisplay* progress_;
    Place place_;
    std::uint16_t deviceIdRead_ = 0;
    CalibrationValues calibrationIo_;
    IMainWindow* mainWindow_ = nullptr;
    IErrorBox* errorBox_ = nullptr;
    std::string errorCaption_ = "Tenlo";
    std::chrono::milliseconds workerEndLimit_ = kWorkerEndLimit;

    // The done event (automatic reset) and the worker's end, both under mutex_.
    std::mutex mutex_;
    std::condition_variable changed_;
    bool done_ = false;
    bool signalled_ = false;
    bool ended_ = true;
    bool busy_ = false;
};

}  // namespace tenlo
