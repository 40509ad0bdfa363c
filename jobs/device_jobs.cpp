#include "jobs/device_jobs.h"

#include <algorithm>
#include <array>

#include "jobs/calibration.h"
#include "jobs/config_traps.h"
#include "jobs/socket_rule.h"

namespace tenlo::jobs {

namespace {

constexpr std::array<Memory, 3> kReadOrder{Memory::Program, Memory::Config, Memory::Data};
// The configuration last: it may protect what comes before it.
constexpr std::array<Memory, 3> kWriteOrder{Memory::Program, Memory::Data, Memory::Config};

// A command on the link failed: interrupted, or the line's failure as the link noted it.
Outcome LineOutcome(CProgrammerLink& link, const std::string& port, bool stopped) {
    Outcome o;
    o.port = port;
    o.link = link.FirstFailure();
    if (stopped) {
        o.cause = Cause::Interrupted;
    } else if (o.link.fault == LinkFault::None) {
        o.cause = Cause::NotDone;
    } else {
        o.cause = Cause::LineFailed;
        // One lost answer or a programmer gone from the line: a ping tells them apart.
        o.programmerSilent = o.link.fault == LinkFault::LineBroken ||
                             (o.link.fault == LinkFault::NoAnswer && !link.Ping());
    }
    return o;
}

// One job's hold on the link: the context's stop flag in place of the link's own, the link's
// failure record cleared so that what it notes is this job's, and the phases told to the
// observer.
class Run {
  public:
    explicit Run(JobContext& context) : c_(context), savedStop_(context.link.StopFlag()) {
        if (c_.stop != nullptr) {
            c_.link.SetStopFlag(c_.stop);
        }
        c_.link.ClearFailure();
    }
    ~Run() { c_.link.SetStopFlag(savedStop_); }
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    void Begin(Phase phase, std::optional<Memory> memory = std::nullopt) {
        if (c_.observer != nullptr) {
            c_.observer->PhaseBegins(phase, memory);
        }
    }

    // A device operation returned false: what the line and the device say about it.
    Outcome Failed(Phase phase, std::optional<Memory> memory) {
        Outcome o = LineOutcome(c_.link, c_.port, c_.Stopped());
        o.phase = phase;
        o.memory = memory;
        const CDevice::Place& place = c_.device.LastPlace();
        o.stillPowered = place.stillPowered;
        o.workDone = place.workDone;
        if (place.verifying && phase == Phase::Writing) {
            o.phase = Phase::WriteVerify;
        }
        // Work done whole and only the power-down failed: no cell to point at.
        if (memory && place.cell && !place.workDone) {
            o.address = CellAddress(c_.device.Layout(), *memory, *place.cell);
        }
        return o;
    }

    JobContext& Context() { return c_; }

  private:
    JobContext& c_;
    const std::atomic<bool>* savedStop_;
};

Outcome CellOutcome(Cause cause, Phase phase, Memory memory, std::uint32_t address,
                    std::uint32_t chip, std::uint32_t expected) {
    Outcome o;
    o.cause = cause;
    o.phase = phase;
    o.memory = memory;
    o.address = address;
    o.chipValue = chip;
    o.expectedValue = expected;
    return o;
}

// The calibration a bulk erase takes and the device puts back, when the user keeps it.
std::optional<CDevice::CalibrationPlace> KeptCalibration(JobContext& c) {
    const DeviceOptions* options = c.device.OptionsRecord();
    if (options == nullptr || options->keepCalibration == 0) {
        return std::nullopt;
    }
    return c.device.CalibrationLocation();
}

// Reads the calibration that is kept; NotCalibration when its word is no RETLW, which an erase
// or a write would keep as it is.
Outcome ReadKeptCalibration(Run& run, const CDevice::CalibrationPlace& place,
                            CDevice::CalibrationValues& values) {
    JobContext& c = run.Context();
    run.Begin(Phase::CalibrationRead, Memory::Program);
    if (!c.device.RunReadCalibration(values)) {
        return run.Failed(Phase::CalibrationRead, std::nullopt);
    }
    if (!IsRetlw(values.word)) {
        return CellOutcome(Cause::NotCalibration, Phase::CalibrationRead, Memory::Program,
                           place.wordAddress, values.word, 0x3400);
    }
    return {};
}

// Before an erase that keeps the calibration: the values read are appended to the journal,
// with the device ID and the port, so that an erase cut short before the put-back loses
// nothing. risk: what the outcome of a failed erase tells.
Outcome RecordCalibration(Run& run, std::optional<CalibrationAtRisk>& risk) {
    JobContext& c = run.Context();
    const std::optional<CDevice::CalibrationPlace> place = KeptCalibration(c);
    if (!place) {
        return {};
    }
    CDevice::CalibrationValues values;
    if (Outcome o = ReadKeptCalibration(run, *place, values); !o.Ok()) {
        return o;
    }
    CalibrationRecord record{std::string(c.chip.name), c.port, std::nullopt, values.word,
                             std::nullopt};
    if (values.bandGap) {
        record.bandGap = BandGapNumber(*values.bandGap, place->bandGapMask);
    }
    if (std::uint16_t id = 0; c.device.DeviceIdLocation()) {
        if (!c.device.RunReadDeviceId(id)) {
            return run.Failed(Phase::CalibrationRead, std::nullopt);
        }
        record.deviceId = id;
    }
    const std::filesystem::path journal = CalibrationJournalPath();
    risk = CalibrationAtRisk{values.word, record.bandGap, journal.string(), false,
                             RestoreCommand(record)};
    risk->recorded = AppendToJournal(journal, JournalLine(record));
    if (!risk->recorded) {
        Outcome o;
        o.cause = Cause::NotRecorded;
        o.phase = Phase::CalibrationRead;
        o.calibration = risk;
        return o;
    }
    return {};
}

// The whole chip is erased, the observer asked first and the calibration recorded.
Outcome EraseChip(Run& run) {
    JobContext& c = run.Context();
    if (c.observer != nullptr && !c.observer->BeforeErase(c.device)) {
        Outcome o;
        o.cause = Cause::Declined;
        o.phase = Phase::Erasing;
        return o;
    }
    std::optional<CalibrationAtRisk> risk;
    if (Outcome o = RecordCalibration(run, risk); !o.Ok()) {
        return o;
    }
    run.Begin(Phase::Erasing);
    if (!c.device.RunErase()) {
        Outcome o = run.Failed(Phase::Erasing, std::nullopt);
        // A stop alone waits for the put-back: only a line that failed can have lost it.
        const LinkFault fault = o.link.fault;
        if (o.cause != Cause::Interrupted ||
            (fault != LinkFault::None && fault != LinkFault::Stopped)) {
            o.calibration = risk;
        }
        return o;
    }
    return {};
}

// After an erase: every program and data cell a write sets is blank. The erase answers for
// these alone: an erased configuration word reads back differently from chip to chip (bits it
// lacks, bits it keeps), and a kept calibration word is not among the cells a write sets.
Outcome CheckErased(Run& run) {
    JobContext& c = run.Context();
    const DeviceLayout& layout = c.device.Layout();
    CMemoryImage chip(layout);
    std::optional<Outcome> first;
    bool allZero = true;
    for (Memory memory : {Memory::Program, Memory::Data}) {
        if (chip.CellCount(memory) == 0) {
            continue;
        }
        run.Begin(Phase::EraseReadBack, memory);
        if (!c.device.RunRead(memory, chip.Cells(memory))) {
            return run.Failed(Phase::EraseReadBack, memory);
        }
        for (const WrittenCell& cell : c.device.WrittenCells(memory)) {
            const std::uint32_t have = chip.Get(memory, cell.index) & cell.mask;
            allZero = allZero && have == 0;
            if (have != cell.mask && !first) {
                first = CellOutcome(Cause::WillNotErase, Phase::EraseReadBack, memory,
                                    CellAddress(layout, memory, cell.index),
                                    chip.Get(memory, cell.index),
                                    BlankValueForWidth(WidthOf(layout, memory)));
            }
        }
    }
    if (!first) {
        return {};
    }
    if (allZero) {
        // Nothing erases to zeros: no chip drove the data line.
        first->cause = Cause::NoChip;
    }
    return *first;
}

// A write returned false: the line's doing, or the chip's. Only when the programmer answered
// every frame (or said itself that a word did not program) did the chip refuse the data; the
// memory is then read back to find where and why.
Outcome DiagnoseWrite(Run& run, Memory memory, const CMemoryImage& wanted) {
    JobContext& c = run.Context();
    const LinkFault fault = c.link.FirstFailure().fault;
    if (c.Stopped() || (fault != LinkFault::None && fault != LinkFault::NotProgrammed)) {
        return run.Failed(Phase::Writing, memory);
    }
    const DeviceLayout& layout = c.device.Layout();
    const CDevice::Place place = c.device.LastPlace();
    if (place.chipSaid == CDevice::ChipReport::StillBusy) {
        Outcome o;
        o.cause = Cause::ChipBusy;
        o.phase = Phase::Writing;
        o.memory = memory;
        if (place.cell) {
            o.address = CellAddress(layout, memory, *place.cell);
        }
        return o;
    }
    c.link.ClearFailure();
    run.Begin(Phase::WriteReadBack, memory);
    CMemoryImage chip(layout);
    if (!c.device.RunRead(memory, chip.Cells(memory))) {
        return run.Failed(Phase::WriteReadBack, memory);
    }
    const std::vector<WrittenCell> cells = c.device.WrittenCells(memory);
    // A cell holding bits the write cannot clear is the first thing to mend: erasing it.
    for (const WrittenCell& cell : cells) {
        const std::uint32_t have = chip.Get(memory, cell.index) & cell.mask;
        const std::uint32_t want = cell.Expected(wanted.Get(memory, cell.index));
        if (!cell.replaced && (want & ~have) != 0) {
            return CellOutcome(Cause::NotBlank, Phase::Writing, memory,
                               CellAddress(layout, memory, cell.index), have, want);
        }
    }
    for (const WrittenCell& cell : cells) {
        const std::uint32_t have = chip.Get(memory, cell.index) & cell.mask;
        const std::uint32_t want = cell.Expected(wanted.Get(memory, cell.index));
        if (have != want) {
            return CellOutcome(Cause::WillNotProgram, Phase::Writing, memory,
                               CellAddress(layout, memory, cell.index), have, want);
        }
    }
    Outcome o;
    o.cause = Cause::ProgrammerError;
    o.phase = Phase::Writing;
    o.memory = memory;
    o.port = c.port;
    return o;
}

// While calibration is kept the chip holds its own calibration, not the image's: the compare
// leaves those cells out unless asked, by the options record the device reads, for the length
// of one job. The caller's record is not changed.
class CalibrationCompareScope {
  public:
    CalibrationCompareScope(CDevice& device, bool compareKept)
        : device_(device), saved_(device.OptionsRecord()) {
        if (saved_ != nullptr) {
            local_ = *saved_;
        }
        if (local_.keepCalibration != 0 && !compareKept) {
            local_.skipCalibrationCompare = 1;
        }
        device_.SetOptionsRecord(&local_);
    }
    ~CalibrationCompareScope() { device_.SetOptionsRecord(saved_); }
    CalibrationCompareScope(const CalibrationCompareScope&) = delete;
    CalibrationCompareScope& operator=(const CalibrationCompareScope&) = delete;

  private:
    CDevice& device_;
    DeviceOptions* saved_;
    DeviceOptions local_;
};

// Compares one memory: None, Mismatch (in phase), or the failure.
Outcome CompareMemory(Run& run, Memory memory, CMemoryImage& image, Phase phase) {
    JobContext& c = run.Context();
    run.Begin(phase, memory);
    CompareResult result;
    if (!c.device.RunCompare(memory, image.Cells(memory), result) || result.done == 0) {
        return run.Failed(phase, memory);
    }
    if (result.match == 0) {
        return CellOutcome(Cause::Mismatch, phase, memory, result.address, result.read,
                           result.expected);
    }
    return {};
}

// A chip without a device ID word cannot tell an empty socket: a data line that no chip drives
// reads all zeros, which no chip holds in both program and configuration memory. Looked at after
// a read, a compare or a write of such a chip found only zeros or a difference (read: what the
// job read of the memories in it, else nothing): NoChip in phase, or the line's failure while
// reading the rest; None for a chip that answers.
Outcome EmptySocketWithoutId(Run& run, Phase phase, const CMemoryImage* read,
                             const MemorySet& inRead) {
    JobContext& c = run.Context();
    if (!c.checkSocket || c.device.DeviceIdLocation()) {
        return {};
    }
    CMemoryImage chip(c.device.Layout());
    for (const Memory memory : {Memory::Program, Memory::Config}) {
        const CMemoryImage* cells = read;
        if (read == nullptr || !inRead.Has(memory)) {
            if (!c.device.RunRead(memory, chip.Cells(memory))) {
                return run.Failed(phase, memory);
            }
            cells = &chip;
        }
        for (std::size_t i = 0; i < cells->CellCount(memory); ++i) {
            if (cells->Get(memory, i) != 0) {
                return {};
            }
        }
    }
    Outcome o;
    o.cause = Cause::NoChip;
    o.phase = phase;
    return o;
}

// Whether a write goes on to the next memory after this one failed.
bool WriteGoesOn(Memory memory, Cause cause) {
    const bool chipRefused =
        cause == Cause::WillNotProgram || cause == Cause::NotBlank || cause == Cause::ChipBusy;
    return memory == Memory::Data && chipRefused;
}

void Note(Report& report, MemoryStep step) {
    if (report.outcome.Ok() && !step.outcome.Ok()) {
        report.outcome = step.outcome;
    }
    report.steps.push_back(std::move(step));
}

// Every job on the chip begins with the socket check; false when that ended it.
bool SocketPasses(JobContext& context, Report& report) {
    report.outcome = CheckSocket(context, &report.deviceId);
    return report.Ok();
}

}  // namespace

bool MemorySet::Has(Memory memory) const {
    switch (memory) {
        case Memory::Program:
            return program;
        case Memory::Config:
            return config;
        case Memory::Data:
            return data;
    }
    return false;
}

MemorySet MemoriesOf(const DeviceLayout& layout) {
    return {layout.programSize > 0, layout.configCount > 0, layout.dataSize > 0};
}

bool JobContext::Stopped() const {
    return (stop != nullptr && stop->load()) || link.StopRequested() ||
           link.FirstFailure().fault == LinkFault::Stopped;
}

bool Report::Done(Memory memory) const {
    const MemoryStep* step = Step(memory);
    return step != nullptr && step->outcome.Ok();
}

const MemoryStep* Report::Step(Memory memory) const {
    const auto it = std::find_if(steps.begin(), steps.end(),
                                 [memory](const MemoryStep& s) { return s.memory == memory; });
    return it == steps.end() ? nullptr : &*it;
}

Outcome ReadFirmwareVersion(CProgrammerLink& link, const std::string& port,
                            std::uint8_t version[4]) {
    link.ClearFailure();
    if (link.GetVersion(version)) {
        return {};
    }
    return LineOutcome(link, port,
                       link.StopRequested() || link.FirstFailure().fault == LinkFault::Stopped);
}

Outcome SetUpDevice(CDevice& device, CProgrammerLink& link, const std::string& port) {
    link.ClearFailure();
    if (device.Initialize()) {
        return {};
    }
    Outcome o = LineOutcome(link, port, link.StopRequested());
    o.stillPowered = device.LastPlace().stillPowered;
    return o;
}

IdReading ReadDeviceId(JobContext& context) {
    Run run(context);
    IdReading r;
    const std::optional<CDevice::DeviceIdPlace> place = context.device.DeviceIdLocation();
    if (!place) {
        r.outcome.cause = Cause::NotDone;
        r.outcome.phase = Phase::SocketCheck;
        return r;
    }
    r.address = place->address;
    run.Begin(Phase::SocketCheck);
    if (!context.device.RunReadDeviceId(r.word)) {
        r.outcome = run.Failed(Phase::SocketCheck, std::nullopt);
        return r;
    }
    r.empty = ReadsAsEmptySocket(r.word, place->bits);
    r.matches = IdentifyDeviceId(context.chip.family, r.word);
    r.selected = std::any_of(r.matches.begin(), r.matches.end(), [&](const DeviceIdMatch& m) {
        return m.entry->index == context.chip.index;
    });
    return r;
}

Outcome CheckSocket(JobContext& context, std::optional<std::uint16_t>* read) {
    // Chips without an ID word cannot be told apart: they are taken on trust.
    if (!context.checkSocket || !context.device.DeviceIdLocation()) {
        return {};
    }
    const IdReading id = ReadDeviceId(context);
    if (read != nullptr && id.outcome.Ok()) {
        *read = id.word;
    }
    if (!id.outcome.Ok() || id.selected) {
        return id.outcome;
    }
    Outcome o;
    o.phase = Phase::SocketCheck;
    o.deviceId = id.word;
    if (id.empty) {
        o.cause = Cause::NoChip;
        return o;
    }
    for (const DeviceIdMatch& m : id.matches) {
        o.otherChips.emplace_back(m.entry->name);
    }
    if (context.questions != nullptr &&
        context.questions->GoOnWithOtherChip(std::string(context.chip.name), o.otherChips,
                                             id.word)) {
        return {};
    }
    o.cause = Cause::OtherChip;
    return o;
}

Report Read(JobContext& context, const MemorySet& memories, CMemoryImage& into) {
    Report report;
    if (!SocketPasses(context, report)) {
        return report;
    }
    Run run(context);
    for (Memory memory : kReadOrder) {
        if (!memories.Has(memory)) {
            continue;
        }
        run.Begin(Phase::Reading, memory);
        MemoryStep step{memory, {}};
        if (!context.device.RunRead(memory, into.Cells(memory))) {
            step.outcome = run.Failed(Phase::Reading, memory);
        }
        Note(report, step);
        if (!report.Ok()) {
            return report;
        }
    }
    const bool allZero = [&] {
        for (const Memory memory : {Memory::Program, Memory::Config}) {
            for (std::size_t i = 0; memories.Has(memory) && i < into.CellCount(memory); ++i) {
                if (into.Get(memory, i) != 0) {
                    return false;
                }
            }
        }
        return memories.program || memories.config;
    }();
    if (allZero) {
        report.outcome = EmptySocketWithoutId(run, Phase::Reading, &into, memories);
    }
    return report;
}

Report Erase(JobContext& context, const EraseOptions& options) {
    Report report;
    if (!SocketPasses(context, report)) {
        return report;
    }
    Run run(context);
    report.outcome = EraseChip(run);
    report.erased = report.Ok();
    if (report.erased && options.readBack) {
        report.outcome = CheckErased(run);
    }
    return report;
}

Report Write(JobContext& context, CMemoryImage& image, const MemorySet& memories,
             const WriteOptions& options) {
    Report report;
    if (!ConfigTrapsAccepted(context, image, memories, report) || !SocketPasses(context, report)) {
        return report;
    }
    Run run(context);
    if (options.eraseFirst) {
        report.outcome = EraseChip(run);
        if (!report.Ok()) {
            return report;
        }
        report.erased = true;
    } else if (const auto place = KeptCalibration(context); place && memories.program) {
        // The write keeps the word the chip holds: one an earlier erase lost is refused.
        CDevice::CalibrationValues values;
        report.outcome = ReadKeptCalibration(run, *place, values);
        if (!report.Ok()) {
            return report;
        }
    }
    for (Memory memory : kWriteOrder) {
        if (!memories.Has(memory)) {
            continue;
        }
        MemoryStep step{memory, {}};
        if (context.observer != nullptr && !context.observer->BeforeWrite(memory, image)) {
            step.outcome.cause = Cause::Declined;
            step.outcome.phase = Phase::Writing;
            step.outcome.memory = memory;
            Note(report, step);
            break;
        }
        run.Begin(Phase::Writing, memory);
        if (!context.device.RunWrite(memory, image.Cells(memory))) {
            step.outcome = DiagnoseWrite(run, memory, image);
        } else if (options.verify || (options.readBack && !context.device.WriteReadsBack())) {
            const CalibrationCompareScope kept(context.device, false);
            step.outcome = CompareMemory(run, memory, image, Phase::WriteVerify);
            if (step.outcome.cause == Cause::Mismatch) {
                step.outcome.cause = Cause::WillNotProgram;
            }
        }
        if (step.outcome.cause == Cause::NotBlank || step.outcome.cause == Cause::WillNotProgram) {
            if (Outcome empty = EmptySocketWithoutId(run, step.outcome.phase, nullptr, {});
                !empty.Ok()) {
                step.outcome = empty;
            }
        }
        const Cause cause = step.outcome.cause;
        Note(report, step);
        if (cause != Cause::None && !WriteGoesOn(memory, cause)) {
            break;
        }
    }
    return report;
}

Report Compare(JobContext& context, CMemoryImage& image, const MemorySet& memories,
               const CompareOptions& options) {
    Report report;
    if (!SocketPasses(context, report)) {
        return report;
    }
    Run run(context);
    const CalibrationCompareScope kept(context.device, options.compareKeptCalibration);
    bool socketLooked = false;
    for (Memory memory : kReadOrder) {
        if (!memories.Has(memory)) {
            continue;
        }
        MemoryStep step{memory, CompareMemory(run, memory, image, Phase::Comparing)};
        if (step.outcome.cause == Cause::Mismatch && !socketLooked) {
            socketLooked = true;
            if (Outcome empty = EmptySocketWithoutId(run, Phase::Comparing, nullptr, {});
                !empty.Ok()) {
                step.outcome = empty;
            }
        }
        const Cause cause = step.outcome.cause;
        Note(report, step);
        if (cause != Cause::None && !(cause == Cause::Mismatch && options.allMemories)) {
            break;
        }
    }
    return report;
}

Outcome ReadCalibration(JobContext& context, CDevice::CalibrationValues& values) {
    Report report;
    if (!SocketPasses(context, report)) {
        return report.outcome;
    }
    Run run(context);
    if (!context.device.CalibrationLocation()) {
        Outcome o;
        o.cause = Cause::NotDone;
        o.phase = Phase::CalibrationRead;
        return o;
    }
    run.Begin(Phase::CalibrationRead, Memory::Program);
    if (!context.device.RunReadCalibration(values)) {
        return run.Failed(Phase::CalibrationRead, std::nullopt);
    }
    return {};
}

Outcome RestoreCalibration(JobContext& context, const CDevice::CalibrationValues& values,
                           bool* wrote) {
    if (wrote != nullptr) {
        *wrote = false;
    }
    Report report;
    if (!SocketPasses(context, report)) {
        return report.outcome;
    }
    Run run(context);
    const std::optional<CDevice::CalibrationPlace> place = context.device.CalibrationLocation();
    if (!place) {
        Outcome o;
        o.cause = Cause::NotDone;
        o.phase = Phase::CalibrationWrite;
        return o;
    }
    // Programming only clears bits: a cell holding zeros where the value has ones is not blank,
    // and writing it would only garble what it holds. The chip is looked at before and after.
    const auto differs = [](std::uint16_t have, std::uint16_t want) {
        return (want & ~have) != 0 ? Cause::NotBlank : Cause::WillNotProgram;
    };
    const auto compare = [&](const CDevice::CalibrationValues& chip) -> Outcome {
        if (chip.word != values.word) {
            return CellOutcome(differs(chip.word, values.word), Phase::CalibrationWrite,
                               Memory::Program, place->wordAddress, chip.word, values.word);
        }
        if (values.bandGap && chip.bandGap != values.bandGap) {
            const std::uint16_t have = chip.bandGap.value_or(0);
            return CellOutcome(
                differs(have, *values.bandGap), Phase::CalibrationWrite, Memory::Config,
                CellAddress(context.device.Layout(), Memory::Config, place->configCell), have,
                *values.bandGap);
        }
        return {};
    };
    run.Begin(Phase::CalibrationWrite, Memory::Program);
    CDevice::CalibrationValues chip;
    if (!context.device.RunReadCalibration(chip)) {
        return run.Failed(Phase::CalibrationWrite, std::nullopt);
    }
    if (const Outcome o = compare(chip); o.Ok() || o.cause == Cause::NotBlank) {
        return o;
    }
    if (wrote != nullptr) {
        *wrote = true;  // from the first frame on: a write cut short may have changed the chip
    }
    if (!context.device.RunWriteCalibration(values)) {
        // Only a chip that answered every frame is read back to say why.
        const LinkFault fault = context.link.FirstFailure().fault;
        if (context.Stopped() || (fault != LinkFault::None && fault != LinkFault::NotProgrammed)) {
            return run.Failed(Phase::CalibrationWrite, std::nullopt);
        }
        context.link.ClearFailure();
    }
    if (!context.device.RunReadCalibration(chip)) {
        return run.Failed(Phase::CalibrationWrite, std::nullopt);
    }
    return compare(chip);
}

}  // namespace tenlo::jobs
