// The --json document, written field by field from the jobs' outcomes and the ports' records:
// nothing in it is read back from the text tenlo-cli prints. Its names are a promise to scripts
// (README): add to it, never rename.

#include "cli/run_json.h"

#include <algorithm>

#include "cli/config_command.h"
#include "cli/json_writer.h"
#include "cli/outcome_lines.h"
#include "device/catalogue.h"

namespace tenlo::cli {

namespace {

using jobs::Cause;
using jobs::Phase;

const char* CommandKey(Command command) {
    switch (command) {
        case Command::Devices:
            return "devices";
        case Command::Ping:
            return "ping";
        case Command::Version:
            return "version";
        case Command::Read:
            return "read";
        case Command::Write:
            return "write";
        case Command::Verify:
            return "verify";
        case Command::Erase:
            return "erase";
        case Command::Id:
            return "id";
        case Command::UpdateFirmware:
            return "update-firmware";
        case Command::Ports:
            return "ports";
        case Command::Checksum:
            return "checksum";
        case Command::Config:
            return "config";
        case Command::Calibration:
            return "calibration";
        case Command::None:
            break;
    }
    return nullptr;
}

const char* FailureKey(Failure failure) {
    switch (failure) {
        case Failure::None:
            return nullptr;
        case Failure::Mismatch:
            return "mismatch";
        case Failure::BadArguments:
            return "bad-arguments";
        case Failure::UnknownDevice:
            return "unknown-device";
        case Failure::PortNotOpened:
            return "port-not-opened";
        case Failure::NoProgrammer:
            return "no-programmer";
        case Failure::LineFailed:
            return "line-failed";
        case Failure::FileNotOpened:
            return "file-not-opened";
        case Failure::FileNotHex:
            return "file-not-hex";
        case Failure::FileNotWritten:
            return "file-not-written";
        case Failure::NoChip:
            return "no-chip";
        case Failure::OtherChip:
            return "other-chip";
        case Failure::Interrupted:
            return "interrupted";
        case Failure::SerialFile:
            return "serial-file";
        case Failure::SerialsUsedUp:
            return "serials-used-up";
    }
    return "failed";
}

const char* CauseKey(Cause cause) {
    switch (cause) {
        case Cause::None:
            return "ok";
        case Cause::NoChip:
            return "no-chip";
        case Cause::OtherChip:
            return "other-chip";
        case Cause::Mismatch:
            return "mismatch";
        case Cause::NotBlank:
            return "not-blank";
        case Cause::WillNotProgram:
            return "will-not-program";
        case Cause::WillNotErase:
            return "will-not-erase";
        case Cause::ChipBusy:
            return "chip-busy";
        case Cause::LineFailed:
            return "line-failed";
        case Cause::NotDone:
            return "not-done";
        case Cause::ProgrammerError:
            return "programmer-error";
        case Cause::Interrupted:
            return "interrupted";
        case Cause::Declined:
            return "declined";
        case Cause::NotCalibration:
            return "not-calibration";
        case Cause::NotRecorded:
            return "not-recorded";
    }
    return "failed";
}

const char* PhaseKey(Phase phase) {
    switch (phase) {
        case Phase::None:
            return nullptr;
        case Phase::SocketCheck:
            return "socket-check";
        case Phase::Reading:
            return "reading";
        case Phase::Erasing:
            return "erasing";
        case Phase::EraseReadBack:
            return "erase-read-back";
        case Phase::Writing:
            return "writing";
        case Phase::WriteVerify:
            return "write-verify";
        case Phase::WriteReadBack:
            return "write-read-back";
        case Phase::Comparing:
            return "comparing";
        case Phase::CalibrationRead:
            return "calibration-read";
        case Phase::CalibrationWrite:
            return "calibration-write";
    }
    return nullptr;
}

const char* MemoryKey(Memory memory) {
    switch (memory) {
        case Memory::Program:
            return "program";
        case Memory::Config:
            return "config";
        case Memory::Data:
            return "data";
    }
    return "program";
}

// The causes that name one cell: the chip's value and the one expected there.
bool ConcernsCell(const jobs::Outcome& o) {
    const bool cell = o.cause == Cause::Mismatch || o.cause == Cause::NotBlank ||
                      o.cause == Cause::WillNotProgram || o.cause == Cause::WillNotErase ||
                      o.cause == Cause::NotCalibration;
    return cell && o.memory && o.address;
}

void KeyOrNull(CJsonWriter& json, const char* key, const char* value) {
    json.Key(key);
    if (value == nullptr) {
        json.Null();
    } else {
        json.String(value);
    }
}

void TextOrNull(CJsonWriter& json, const char* key, const std::string& value) {
    KeyOrNull(json, key, value.empty() ? nullptr : value.c_str());
}

template <typename T>
void NumberOrNull(CJsonWriter& json, const char* key, const std::optional<T>& value) {
    json.Key(key);
    if (value) {
        json.Number(static_cast<std::int64_t>(*value));
    } else {
        json.Null();
    }
}

// Addresses as the chip's HEX files give them.
void Cell(CJsonWriter& json, const jobs::Outcome& o, const DeviceLayout& layout) {
    json.BeginObject();
    json.Key("memory").String(MemoryKey(*o.memory));
    json.Key("address").Number(FileAddress(layout, *o.memory, *o.address));
    json.Key("chipValue").Number(o.chipValue);
    json.Key("expectedValue").Number(o.expectedValue);
    json.EndObject();
}

void Memories(CJsonWriter& json, const jobs::Report& report, const DeviceLayout& layout) {
    json.Key("memories").BeginArray();
    for (const jobs::MemoryStep& step : report.steps) {
        const jobs::Outcome& o = step.outcome;
        json.BeginObject();
        json.Key("memory").String(MemoryKey(step.memory));
        json.Key("result").String(CauseKey(o.cause));
        KeyOrNull(json, "phase", o.Ok() ? nullptr : PhaseKey(o.phase));
        json.Key("cell");
        if (ConcernsCell(o)) {
            Cell(json, o, layout);
        } else {
            json.Null();
        }
        json.EndObject();
    }
    json.EndArray();
}

// The first cell that is not as it should be: the job's deciding outcome when it names one,
// else the first step's that does (a write goes on to the next memory after a refused one).
const jobs::Outcome* FirstDifference(const jobs::Report& report) {
    if (ConcernsCell(report.outcome)) {
        return &report.outcome;
    }
    for (const jobs::MemoryStep& step : report.steps) {
        if (ConcernsCell(step.outcome)) {
            return &step.outcome;
        }
    }
    return nullptr;
}

// An erase cut short between taking the calibration and putting it back: what it was, where
// it is recorded, and the command that puts it back.
void CalibrationAtRisk(CJsonWriter& json, const std::optional<jobs::CalibrationAtRisk>& risk) {
    json.Key("calibrationAtRisk");
    if (!risk) {
        json.Null();
        return;
    }
    json.BeginObject();
    json.Key("word").Number(risk->word);
    NumberOrNull(json, "bandGap", risk->bandGap);
    json.Key("journal").String(risk->journal);
    json.Key("recorded").Bool(risk->recorded);
    json.Key("restore").String(risk->restore);
    json.EndObject();
}

const char* ResultKey(const PortRecord& r) {
    if (r.code == ToInt(ExitCode::Success)) {
        return "ok";
    }
    if (r.code == ToInt(ExitCode::Interrupted)) {
        return "interrupted";
    }
    return r.failure == Failure::Mismatch || r.failure == Failure::OtherChip ? "mismatch"
                                                                             : "failed";
}

void Port(CJsonWriter& json, const PortRecord& r, const CliOptions& options) {
    json.BeginObject();
    json.Key("port").String(r.port);
    json.Key("exitCode").Number(r.code);
    json.Key("result").String(ResultKey(r));
    NumberOrNull(json, "deviceIdWord", r.deviceId);
    json.Key("deviceId");
    std::optional<NamedId> named;
    if (r.deviceId) {
        named = NameDeviceId(options.device, *r.deviceId);
        json.Number(named->id).Key("revision").Number(named->revision);
    } else {
        json.Null().Key("revision").Null();
    }
    json.Key("chipsNamed").BeginArray();
    if (named) {
        for (const std::string& chip : named->chips) {
            json.String(chip);
        }
    }
    json.EndArray();

    const DeviceLayout layout =
        CatalogueLayout(FindCatalogueIndex(options.device)).value_or(DeviceLayout{});
    const jobs::Report* report = r.report ? &*r.report : nullptr;
    if (report != nullptr) {
        Memories(json, *report, layout);
        json.Key("erased").Bool(report->erased);
    } else {
        json.Key("memories").BeginArray().EndArray().Key("erased").Bool(false);
    }
    json.Key("difference");
    if (const jobs::Outcome* cell = report != nullptr ? FirstDifference(*report) : nullptr) {
        Cell(json, *cell, layout);
    } else {
        json.Null();
    }
    const bool jobFailed = report != nullptr && !report->Ok();
    KeyOrNull(json, "failure", FailureKey(r.failure));
    KeyOrNull(json, "cause", jobFailed ? CauseKey(report->outcome.cause) : nullptr);
    KeyOrNull(json, "phase", jobFailed ? PhaseKey(report->outcome.phase) : nullptr);
    json.Key("programmerSilent").Bool(jobFailed && report->outcome.programmerSilent);
    json.Key("stillPowered").Bool(report != nullptr && report->outcome.stillPowered);
    CalibrationAtRisk(json, report != nullptr ? report->outcome.calibration : std::nullopt);
    if (report != nullptr) {
        TrapsJson(json, report->configTraps, report->protectionLeftOff);
    } else {
        TrapsJson(json, {}, {});
    }
    TextOrNull(json, "message", r.message);
    NumberOrNull(json, "checksum", r.checksum);
    NumberOrNull(json, "serial", r.serial);
    json.Key("files").BeginArray();
    for (const std::string& file : r.files) {
        json.String(file);
    }
    json.EndArray();
    TextOrNull(json, "firmwareVersion", r.version);
    json.Key("calibration");
    if (r.calibrationWord) {
        json.BeginObject().Key("word").Number(*r.calibrationWord);
        NumberOrNull(json, "bandGap", r.bandGap);
        json.EndObject();
    } else {
        json.Null();
    }
    json.Key("seconds").Fixed(r.seconds, 3);
    json.EndObject();
}

}  // namespace

std::string RunJson(const RunFacts& run) {
    CJsonWriter json;
    json.BeginObject();
    const CliOptions* o = run.options;
    KeyOrNull(json, "command", o != nullptr ? CommandKey(o->command) : nullptr);
    const bool onChip = o != nullptr && o->command != Command::Ping &&
                        o->command != Command::Version && o->command != Command::Devices &&
                        o->command != Command::Ports && o->command != Command::UpdateFirmware;
    TextOrNull(json, "chip", onChip ? o->device : std::string());
    const bool update = o != nullptr && o->command == Command::UpdateFirmware;
    TextOrNull(json, "file",
               o == nullptr ? std::string()
               : update     ? o->firmwareFile
                            : o->programFile);
    TextOrNull(json, "dataFile", o != nullptr ? o->dataFile : std::string());
    NumberOrNull(json, "checksum", run.checksum);
    json.Key("exitCode").Number(run.code);
    KeyOrNull(json, "failure", FailureKey(run.failure));
    TextOrNull(json, "message", run.message);
    json.Key("seconds").Fixed(run.seconds, 3);
    std::size_t succeeded = 0;
    json.Key("ports").BeginArray();
    if (run.ports != nullptr && o != nullptr) {
        for (const PortRecord& r : *run.ports) {
            Port(json, r, *o);
            succeeded += r.code == 0 ? 1 : 0;
        }
    }
    json.EndArray();
    json.Key("succeeded").Number(static_cast<std::int64_t>(succeeded));
    json.EndObject();
    return json.Text() + "\n";
}

std::string DevicesJson() {
    CJsonWriter json;
    json.BeginObject().Key("command").String("devices").Key("exitCode").Number(0);
    json.Key("devices").BeginArray();
    for (const CatalogueEntry& e : CatalogueEntries()) {
        json.BeginObject();
        json.Key("index").Number(e.index);
        json.Key("name").String(e.name);
        json.Key("family").String(FamilyLabel(e.family));
        json.Key("programWords").Number(e.programSize);
        json.Key("configCells").Number(e.configCount);
        json.Key("dataBytes").Number(e.dataSize);
        json.Key("deviceId").Number(e.deviceId);
        json.Key("inMenu").Bool(e.inMenu);
        json.EndObject();
    }
    json.EndArray().EndObject();
    return json.Text() + "\n";
}

bool AsksForJson(const std::vector<std::string>& args) {
    return std::find(args.begin(), args.end(), "--json") != args.end();
}

}  // namespace tenlo::cli
