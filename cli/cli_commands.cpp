// The commands of tenlo-cli: each prepares the device and the line, runs its job and tells
// the outcome.

#include <filesystem>
#include <system_error>
#include <vector>

#include "cli/cli_session.h"
#include "hexfile/image_hex.h"
#include "jobs/calibration.h"
#include "jobs/firmware_update.h"
#include "link/port_advice.h"

namespace tenlo::cli {

namespace {

// Whether two names lead to one file (the second may be empty: no file).
bool SamePath(const std::string& a, const std::string& b) {
    if (b.empty()) {
        return false;
    }
    std::error_code error;
    if (std::filesystem::equivalent(a, b, error)) {
        return true;
    }
    const auto resolved = [](const std::string& name) {
        std::error_code ignored;
        const std::filesystem::path path = std::filesystem::absolute(name, ignored);
        const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, ignored);
        return ignored ? path.lexically_normal() : canonical;
    };
    return resolved(a) == resolved(b);
}

// The updater's status lines go to the terminal; its one message is kept for the caller.
class CUpdateView final : public IFirmwareUpdateView {
  public:
    CUpdateView(std::FILE* err, bool quiet) : err_(err), quiet_(quiet) {}
    void ShowStatus(const std::string& text) override {
        if (!quiet_ && !text.empty()) {
            std::fprintf(err_, "%s\n", text.c_str());
            std::fflush(err_);
        }
    }
    void ShowMessage(const std::string& text, unsigned /*type*/) override { message = text; }

    std::string message;

  private:
    std::FILE* err_;
    bool quiet_;
};

}  // namespace

int CCliSession::Devices() {
    std::fprintf(env_.out, "%5s  %-13s %-20s %8s %7s %6s  %s\n", "index", "name", "family",
                 "program", "config", "data", "menu");
    for (const CatalogueEntry& e : CatalogueEntries()) {
        std::fprintf(env_.out, "%5d  %-13s %-20s %8u %7u %6u  %s\n", e.index,
                     std::string(e.name).c_str(), FamilyLabel(e.family), e.programSize,
                     e.configCount, e.dataSize, e.inMenu ? "yes" : "no");
    }
    return ToInt(ExitCode::Success);
}

int CCliSession::Ping() {
    if (const Failure f = Connect(); f != Failure::None) {
        return ToInt(ExitCodeFor(f));
    }
    Say("programmer answered on %s\n", port_.Name().c_str());
    return ToInt(ExitCode::Success);
}

int CCliSession::Version() {
    if (const Failure f = Connect(); f != Failure::None) {
        return ToInt(ExitCodeFor(f));
    }
    std::uint8_t bytes[4] = {};
    if (const jobs::Outcome o = jobs::ReadFirmwareVersion(*link_, port_.Name(), bytes); !o.Ok()) {
        const DeviceLayout none;
        return Fail(DescribeOutcome(o, RenderFacts{none, false, "reading the firmware version"}));
    }
    std::fprintf(env_.out, "%s\n", FormatFirmwareVersion(bytes).c_str());
    return ToInt(ExitCode::Success);
}

int CCliSession::Read() {
    if (!options_.outFile.empty() && SamePath(options_.outFile, options_.dataOutFile)) {
        return Fail(Failure::BadArguments, "-o and --data-out both name " + options_.dataOutFile +
                                               ": the data would overwrite the program");
    }
    MemorySet chosen;
    Failure f = PrepareDevice();
    if (f == Failure::None) {
        f = ChooseMemories(std::nullopt, chosen);
    }
    if (f == Failure::None) {
        f = Connect();
    }
    if (f != Failure::None) {
        return ToInt(ExitCodeFor(f));
    }
    const DeviceLayout& layout = device_->Layout();
    CMemoryImage image(layout);
    jobs::JobContext context = Context();
    if (const jobs::Report r = jobs::Read(context, chosen, image); !r.Ok()) {
        return Report(r.outcome);
    }

    HexWriteOptions hexOptions;
    hexOptions.microchipLayout = options_.dataOutFile.empty();
    if (options_.outFile.empty()) {
        // The HEX text owns standard output; the rest goes beside it.
        sayTo_ = env_.err;
        const std::optional<std::string> text = ProgramHexText(image, hexOptions);
        if (!text) {
            return Fail(Failure::FileNotWritten, "cannot make the HEX text of what was read");
        }
        if (std::fputs(text->c_str(), env_.out) < 0 || std::fflush(env_.out) != 0 ||
            std::ferror(env_.out) != 0) {
            return Fail(Failure::FileNotWritten,
                        "cannot write the HEX text to standard output (a full disk or a closed "
                        "pipe?): what was read is lost");
        }
    } else if (!SaveProgramHex(options_.outFile, image, hexOptions)) {
        return Fail(Failure::FileNotWritten, "cannot write " + options_.outFile +
                                                 ": check that its folder exists and is writable");
    }
    if (!options_.dataOutFile.empty() && !SaveDataHex(options_.dataOutFile, image)) {
        return Fail(Failure::FileNotWritten, "cannot write " + options_.dataOutFile +
                                                 ": check that its folder exists and is writable");
    }
    Say("read %s of the %s\n", DescribeMemories(chosen).c_str(), layout.name.c_str());
    return ToInt(ExitCode::Success);
}

int CCliSession::Write() {
    LoadedFiles files;
    MemorySet chosen;
    if (const Failure f = PrepareFileJob(files, chosen); f != Failure::None) {
        return ToInt(ExitCodeFor(f));
    }
    jobs::JobContext context = Context();
    jobs::WriteOptions write;
    write.eraseFirst = options_.erase;
    write.readBack = options_.readBack;
    const jobs::Report r = jobs::Write(context, *files.image, chosen, write);
    TellConfigNotes(r);
    if (r.outcome.cause == jobs::Cause::Declined && r.outcome.phase == jobs::Phase::None) {
        return Fail(Failure::Mismatch,
                    "nothing written: --strict refuses a configuration with a trap (--set "
                    "changes its fields; tenlo-cli config shows them)");
    }
    if (r.Ok()) {
        Say("wrote %s of the %s%s\n", DescribeMemories(chosen).c_str(),
            device_->Layout().name.c_str(), options_.erase ? " after erasing it" : "");
        return ToInt(ExitCode::Success);
    }
    if (r.steps.empty() || r.outcome.phase == jobs::Phase::SocketCheck) {
        return Report(r.outcome, r.erased);
    }
    // A memory the chip refused does not stop the configuration: every failure has its line,
    // and the last one says how the command ended.
    int code = ToInt(ExitCode::Success);
    for (const jobs::MemoryStep& step : r.steps) {
        if (!step.outcome.Ok()) {
            code = Report(step.outcome, r.erased);
        }
    }
    return code;
}

int CCliSession::Verify() {
    LoadedFiles files;
    MemorySet chosen;
    if (const Failure f = PrepareFileJob(files, chosen); f != Failure::None) {
        return ToInt(ExitCodeFor(f));
    }
    const DeviceLayout& layout = device_->Layout();
    jobs::JobContext context = Context();
    jobs::CompareOptions compare;
    compare.compareKeptCalibration = options_.compareCalibration;
    compare.allMemories = true;
    const jobs::Report r = jobs::Compare(context, *files.image, chosen, compare);
    bool mismatch = false;
    for (const jobs::MemoryStep& step : r.steps) {
        const jobs::Outcome& o = step.outcome;
        if (o.cause == jobs::Cause::Mismatch) {
            const int digits = CellDigits(layout, step.memory);
            std::fprintf(env_.err, "%s: %s differs at %s: chip %s, file %s\n", kProgramName,
                         MemoryName(step.memory),
                         Hex(FileAddress(layout, step.memory, *o.address)).c_str(),
                         Hex(o.chipValue, digits).c_str(), Hex(o.expectedValue, digits).c_str());
            mismatch = true;
        } else if (o.Ok()) {
            Say("%s matches\n", MemoryName(step.memory));
            if (step.memory == Memory::Config) {
                TellProtectionLeftOff(*files.image);
            }
        } else {
            return Report(o);
        }
    }
    if (!r.Ok() && r.outcome.cause != jobs::Cause::Mismatch) {
        return Report(r.outcome);
    }
    return ToInt(mismatch ? ExitCode::Mismatch : ExitCode::Success);
}

int CCliSession::Erase() {
    if (const Failure f = PrepareChipJob(); f != Failure::None) {
        return ToInt(ExitCodeFor(f));
    }
    jobs::JobContext context = Context();
    jobs::EraseOptions erase;
    erase.readBack = options_.checkErased;
    if (const jobs::Report r = jobs::Erase(context, erase); !r.Ok()) {
        return Report(r.outcome);
    }
    Say("erased the %s%s\n", device_->Layout().name.c_str(),
        options_.keepCalibration ? "" : " (calibration data not kept)");
    return ToInt(ExitCode::Success);
}

int CCliSession::Id() {
    if (const Failure f = PrepareDevice(); f != Failure::None) {
        return ToInt(ExitCodeFor(f));
    }
    if (!device_->DeviceIdLocation()) {
        return Fail(Failure::BadArguments,
                    device_->Layout().name + " has no device ID word to read");
    }
    if (const Failure f = Connect(); f != Failure::None) {
        return ToInt(ExitCodeFor(f));
    }
    jobs::JobContext context = Context();
    const jobs::IdReading id = jobs::ReadDeviceId(context);
    if (!id.outcome.Ok()) {
        return Report(id.outcome);
    }
    std::fprintf(env_.out, "device ID word %s at %s\n", Hex(id.word).c_str(),
                 Hex(id.address).c_str());
    if (id.matches.empty()) {
        std::fprintf(env_.out, "it names no chip this program knows%s\n",
                     id.word == 0 ? " (an empty socket reads 0x0000)" : "");
    }
    for (const DeviceIdMatch& m : id.matches) {
        const std::string revision =
            m.entry->revisionMask != 0 ? ", revision " + std::to_string(m.revision) : "";
        std::fprintf(env_.out, "device ID %s%s: %s\n", Hex(m.entry->publishedId).c_str(),
                     revision.c_str(), std::string(m.entry->name).c_str());
    }
    std::fprintf(env_.out, "%s the selected chip %s\n", id.selected ? "it is" : "it is not",
                 device_->Layout().name.c_str());

    // The catalogue's expected IDs are what the device ID check compares; say where they part
    // from what the chips carry, for the chips named here and the one selected.
    std::vector<const CatalogueEntry*> named;
    for (const DeviceIdMatch& m : id.matches) {
        named.push_back(m.entry);
    }
    if (!id.selected) {
        named.push_back(entry_);
    }
    for (const CatalogueEntry* entry : named) {
        if (entry->deviceId != 0 && entry->publishedId != 0 &&
            entry->deviceId != entry->publishedId) {
            std::fprintf(env_.out,
                         "note: the catalogue expects %s for %s where the chip carries %s; the "
                         "programmer's own device ID check uses the catalogue's value\n",
                         Hex(entry->deviceId).c_str(), std::string(entry->name).c_str(),
                         Hex(entry->publishedId).c_str());
        }
    }
    return ToInt(id.selected ? ExitCode::Success : ExitCode::Mismatch);
}

int CCliSession::Calibration() {
    if (const Failure f = PrepareDevice(); f != Failure::None) {
        return ToInt(ExitCodeFor(f));
    }
    const std::optional<CDevice::CalibrationPlace> place = device_->CalibrationLocation();
    const std::string& chip = device_->Layout().name;
    if (!place) {
        return Fail(Failure::BadArguments,
                    "the " + chip + " has no calibration that an erase takes with it");
    }
    if (options_.bandGap && place->bandGapMask == 0) {
        return Fail(Failure::BadArguments, "the " + chip + " has no band-gap bits");
    }
    if (const Failure f = Connect(); f != Failure::None) {
        return ToInt(ExitCodeFor(f));
    }
    jobs::JobContext context = Context();
    CDevice::CalibrationValues values;
    if (options_.calibrationWord) {
        values.word = *options_.calibrationWord;
        if (options_.bandGap) {
            values.bandGap = jobs::BandGapBits(*options_.bandGap, place->bandGapMask);
        }
        if (const jobs::Outcome o = jobs::RestoreCalibration(context, values); !o.Ok()) {
            return Report(o);
        }
        Say("wrote calibration word %s%s back to the %s\n", Hex(values.word).c_str(),
            options_.bandGap ? (" and band-gap " + std::to_string(*options_.bandGap)).c_str() : "",
            chip.c_str());
        return ToInt(ExitCode::Success);
    }
    if (const jobs::Outcome o = jobs::ReadCalibration(context, values); !o.Ok()) {
        return Report(o);
    }
    std::fprintf(env_.out, "calibration word %s at %s", Hex(values.word).c_str(),
                 Hex(place->wordAddress).c_str());
    if (values.bandGap) {
        std::fprintf(env_.out, ", band-gap %u",
                     unsigned{jobs::BandGapNumber(*values.bandGap, place->bandGapMask)});
    }
    std::fprintf(env_.out, "\n");
    if (!jobs::IsRetlw(values.word)) {
        return Fail(Failure::Mismatch,
                    "the calibration word is no RETLW (0x34xx): it was lost; put it back with "
                    "calibration --set (" +
                        jobs::CalibrationJournalPath().string() +
                        " holds what earlier erases read)");
    }
    return ToInt(ExitCode::Success);
}

int CCliSession::UpdateFirmware() {
    CSerialPort port(&errorBox_, port_.Backend(), env_.clock);
    port.SetErrorCaption(kUpdaterErrorCaption);
    if (!OpenUpdaterPort(port, port_.Number())) {
        const std::string problem = PortOpenProblem(port.LastOpenFailure());
        return Fail(Failure::PortNotOpened,
                    !problem.empty() ? problem
                                     : "cannot open the serial port " + port_.Name() +
                                           ": check --port and that no other program holds it");
    }
    CUpdateView view(env_.err, options_.quiet);
    const std::string file =
        options_.firmwareFile.empty() ? std::string(kFirmwareFileName) : options_.firmwareFile;
    FirmwareFileProblem why;
    const FirmwareUpdateResult result = RunFirmwareUpdate(port, view, file, &why);
    port.Release();
    switch (result) {
        case FirmwareUpdateResult::Success:
            if (!options_.quiet) {
                std::fprintf(env_.out, "%s\n", view.message.c_str());
            }
            return ToInt(ExitCode::Success);
        case FirmwareUpdateResult::FileOpenFailed:
            return Fail(Failure::FileNotOpened, view.message +
                                                    " (check --file and the current "
                                                    "folder)");
        case FirmwareUpdateResult::FileReadFailed:
            return Fail(Failure::FileNotHex, FirmwareUpdateMessage(result, file) + " (" +
                                                 DescribeFirmwareFile(why) +
                                                 "; the programmer's chip was not touched)");
        case FirmwareUpdateResult::VerifyFailed:
            return Fail(Failure::Mismatch,
                        view.message + " (the programmer's chip does not hold the file)");
        case FirmwareUpdateResult::EraseFailed:
        case FirmwareUpdateResult::WriteFailed:
        case FirmwareUpdateResult::PortNotOpen:
        case FirmwareUpdateResult::Busy:
            break;
    }
    return Fail(Failure::LineFailed,
                view.message + " (check that " + port_.Name() +
                    " is a real serial port with modem lines and the JDM adapter is attached)");
}

}  // namespace tenlo::cli
