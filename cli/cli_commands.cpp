// The commands of tenlo-cli: each prepares the device and the line, runs its job and tells
// the outcome.

#include <vector>

#include "cli/cli_session.h"
#include "hexfile/image_hex.h"
#include "jobs/calibration.h"
#include "jobs/checksum.h"
#include "jobs/firmware_update.h"
#include "link/port_advice.h"

namespace tenlo::cli {

namespace {

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

int CCliSession::Ping() {
    if (const Failure f = Connect(); f != Failure::None) {
        return ToInt(ExitCodeFor(f));
    }
    record_.done = "a programmer answered";
    Say("programmer answered on %s\n", port_.Name().c_str());
    return ToInt(ExitCode::Success);
}

int CCliSession::Version() {
    if (const Failure f = Connect(); f != Failure::None) {
        return ToInt(ExitCodeFor(f));
    }
    std::uint8_t bytes[4] = {};
    if (const jobs::Outcome o = jobs::ReadFirmwareVersion(*link_, port_.Name(), bytes); !o.Ok()) {
        record_.report.emplace().outcome = o;
        const DeviceLayout none;
        return Fail(DescribeOutcome(o, RenderFacts{none, false, "reading the firmware version"}));
    }
    record_.version = FormatFirmwareVersion(bytes);
    record_.done = record_.version;
    if (!job_.collect) {
        std::fprintf(env_.out, "%s\n", record_.version.c_str());
    }
    return ToInt(ExitCode::Success);
}

int CCliSession::Read() {
    if (const Failure f = PrepareChipJob(); f != Failure::None) {
        return ToInt(ExitCodeFor(f));
    }
    const DeviceLayout& layout = device_->Layout();
    const MemorySet chosen = job_.prepared->chosen;
    CMemoryImage image(layout);
    jobs::JobContext context = Context();
    const jobs::Report r = jobs::Read(context, chosen, image);
    record_.report = r;
    record_.deviceId = r.deviceId;
    if (!r.Ok()) {
        return Report(r.outcome);
    }

    HexWriteOptions hexOptions;
    hexOptions.microchipLayout = options_.dataOutFile.empty();
    const std::string out = PortFileName(options_.outFile);
    if (out.empty()) {
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
    } else if (!SaveProgramHex(out, image, hexOptions)) {
        return Fail(Failure::FileNotWritten,
                    "cannot write " + out + ": check that its folder exists and is writable");
    } else {
        record_.files.push_back(out);
    }
    const std::string dataOut = PortFileName(options_.dataOutFile);
    if (!dataOut.empty()) {
        if (!SaveDataHex(dataOut, image)) {
            return Fail(Failure::FileNotWritten, "cannot write " + dataOut +
                                                     ": check that its folder exists and is "
                                                     "writable");
        }
        record_.files.push_back(dataOut);
    }
    record_.done = "read";
    // A checksum of memories half read would match nothing.
    std::string checksum;
    if (chosen.program && (chosen.config || layout.configCount == 0)) {
        record_.checksum = jobs::ImageChecksum(image, *device_);
        checksum = ", checksum " + Hex(*record_.checksum);
    }
    Say("read %s of the %s%s\n", DescribeMemories(chosen).c_str(), layout.name.c_str(),
        checksum.c_str());
    return ToInt(ExitCode::Success);
}

std::string CCliSession::PortFileName(const std::string& file) const {
    // Several ports read into files of their own: back.hex from COM5 into back-COM5.hex.
    if (file.empty() || options_.ports.size() < 2) {
        return file;
    }
    std::string tag = port_.Name();
    tag = tag.substr(tag.rfind('/') + 1);
    const std::size_t slash = file.rfind('/');
    const std::size_t dot = file.rfind('.');
    const std::size_t at =
        dot == std::string::npos || (slash != std::string::npos && dot < slash) ? file.size() : dot;
    return file.substr(0, at) + "-" + tag + file.substr(at);
}

int CCliSession::Write() {
    if (const Failure f = PrepareChipJob(); f != Failure::None) {
        return ToInt(ExitCodeFor(f));
    }
    // Each port writes a copy: its serial number goes into it.
    CMemoryImage image(device_->Layout());
    image.Assign(*job_.prepared->image);
    jobs::JobContext context = Context();
    if (job_.production != nullptr && job_.prepared->serial) {
        number_.emplace(*job_.production, *job_.prepared->serial, port_.Name());
        context.observer = &*number_;
    }
    jobs::WriteOptions write;
    write.eraseFirst = options_.erase;
    write.verify = options_.verify;
    write.readBack = options_.readBack;
    const jobs::Report r = jobs::Write(context, image, job_.prepared->chosen, write);
    record_.report = r;
    record_.deviceId = r.deviceId;
    if (number_) {
        record_.serial = number_->Number();
    }
    // What the chip should now hold: the file's checksum unless a serial number went in.
    record_.checksum = jobs::ImageChecksum(image, *device_);
    TellConfigNotes(r);
    if (r.outcome.cause == jobs::Cause::Declined && r.outcome.phase == jobs::Phase::None) {
        return Fail(Failure::Mismatch,
                    "nothing written: --strict refuses a configuration with a trap (--set "
                    "changes its fields; tenlo-cli config shows them)");
    }
    if (r.Ok()) {
        record_.done = options_.verify ? "written and verified" : "written";
        const std::string serial =
            record_.serial ? ", serial number " + std::to_string(*record_.serial) : "";
        Say("wrote %s of the %s%s%s%s, checksum %s\n",
            DescribeMemories(job_.prepared->chosen).c_str(), device_->Layout().name.c_str(),
            options_.erase ? " after erasing it" : "", options_.verify ? ", verified" : "",
            serial.c_str(), Hex(*record_.checksum).c_str());
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
    if (const Failure f = PrepareChipJob(); f != Failure::None) {
        return ToInt(ExitCodeFor(f));
    }
    const DeviceLayout& layout = device_->Layout();
    CMemoryImage image(layout);
    image.Assign(*job_.prepared->image);
    jobs::JobContext context = Context();
    jobs::CompareOptions compare;
    compare.compareKeptCalibration = options_.compareCalibration;
    compare.allMemories = true;
    const jobs::Report r = jobs::Compare(context, image, job_.prepared->chosen, compare);
    record_.report = r;
    record_.deviceId = r.deviceId;
    bool mismatch = false;
    for (const jobs::MemoryStep& step : r.steps) {
        const jobs::Outcome& o = step.outcome;
        if (o.cause == jobs::Cause::Mismatch) {
            const int digits = CellDigits(layout, step.memory);
            Fail(Failure::Mismatch, std::string(MemoryName(step.memory)) + " differs at " +
                                        Hex(FileAddress(layout, step.memory, *o.address)) +
                                        ": chip " + Hex(o.chipValue, digits) + ", file " +
                                        Hex(o.expectedValue, digits));
            mismatch = true;
        } else if (o.Ok()) {
            Say("%s matches\n", MemoryName(step.memory));
            if (step.memory == Memory::Config) {
                TellProtectionLeftOff(*job_.prepared->image);
            }
        } else {
            return Report(o);
        }
    }
    if (!r.Ok() && r.outcome.cause != jobs::Cause::Mismatch) {
        return Report(r.outcome);
    }
    if (!mismatch) {
        record_.done = "matches";
    }
    Say("file checksum %s\n", Hex(*job_.prepared->checksum).c_str());
    return ToInt(mismatch ? ExitCode::Mismatch : ExitCode::Success);
}

int CCliSession::Erase() {
    if (const Failure f = PrepareChipJob(); f != Failure::None) {
        return ToInt(ExitCodeFor(f));
    }
    jobs::JobContext context = Context();
    jobs::EraseOptions erase;
    erase.readBack = options_.checkErased;
    const jobs::Report r = jobs::Erase(context, erase);
    record_.report = r;
    record_.deviceId = r.deviceId;
    if (!r.Ok()) {
        return Report(r.outcome);
    }
    record_.done = options_.checkErased ? "erased and blank" : "erased";
    Say("erased the %s%s\n", device_->Layout().name.c_str(),
        options_.keepCalibration ? "" : " (calibration data not kept)");
    return ToInt(ExitCode::Success);
}

int CCliSession::Id() {
    // A chip without a device ID word was refused before any port was opened.
    if (const Failure f = PrepareChipJob(); f != Failure::None) {
        return ToInt(ExitCodeFor(f));
    }
    jobs::JobContext context = Context();
    const jobs::IdReading id = jobs::ReadDeviceId(context);
    if (!id.outcome.Ok()) {
        record_.report.emplace().outcome = id.outcome;
        return Report(id.outcome);
    }
    record_.deviceId = id.word;
    const ExitCode code = id.selected ? ExitCode::Success : ExitCode::Mismatch;
    if (job_.collect) {
        record_.done = "the selected chip";
        if (!id.selected) {
            record_.failure = Failure::OtherChip;
            record_.message = "not the selected " + device_->Layout().name;
        }
        return ToInt(code);
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
    return ToInt(code);
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
        bool wrote = false;
        const jobs::Outcome o = jobs::RestoreCalibration(context, values, &wrote);
        record_.report.emplace().outcome = o;
        if (!o.Ok()) {
            return Report(o);
        }
        const std::string what =
            "calibration word " + Hex(values.word) +
            (options_.bandGap ? " and band-gap " + std::to_string(*options_.bandGap) : "");
        record_.done = wrote ? "calibration written back" : "calibration already held";
        if (wrote) {
            Say("wrote %s back to the %s\n", what.c_str(), chip.c_str());
        } else {
            Say("the %s already holds %s: nothing was written\n", chip.c_str(), what.c_str());
        }
        return ToInt(ExitCode::Success);
    }
    const jobs::Outcome read = jobs::ReadCalibration(context, values);
    record_.report.emplace().outcome = read;
    if (!read.Ok()) {
        return Report(read);
    }
    record_.calibrationWord = values.word;
    std::string text = "calibration word " + Hex(values.word) + " at " + Hex(place->wordAddress);
    if (values.bandGap) {
        record_.bandGap = jobs::BandGapNumber(*values.bandGap, place->bandGapMask);
        text += ", band-gap " + std::to_string(*record_.bandGap);
    }
    record_.done = text;
    if (!job_.collect) {
        std::fprintf(env_.out, "%s\n", text.c_str());
    }
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
            record_.done = view.message;
            if (!options_.quiet && !job_.collect) {
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
