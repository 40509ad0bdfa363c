#include "cli/cli_session.h"

#include <cstdarg>
#include <filesystem>
#include <span>

#include "cli/interrupt_guard.h"
#include "device/progress_texts.h"
#include "hexfile/hex_file_writer.h"
#include "hexfile/image_hex.h"
#include "hexfile/prog_hex_reader.h"
#include "jdm/firmware_update.h"

namespace tenlo::cli {

namespace {

std::string Hex(std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

int DigitsForWidth(std::uint32_t width) {
    return static_cast<int>((width + 3) / 4);
}

const char* MemoryName(Memory memory) {
    switch (memory) {
        case Memory::Program:
            return "program memory";
        case Memory::Config:
            return "configuration memory";
        case Memory::Data:
            return "data memory";
    }
    return "memory";
}

bool Contains(const MemorySet& set, Memory memory) {
    switch (memory) {
        case Memory::Program:
            return set.program;
        case Memory::Config:
            return set.config;
        case Memory::Data:
            return set.data;
    }
    return false;
}

std::uint32_t DeviceAddress(const DeviceLayout& layout, Memory memory, std::size_t index) {
    const auto i = static_cast<std::uint32_t>(index);
    switch (memory) {
        case Memory::Config:
            return layout.configStart + i;
        case Memory::Data:
            return layout.dataStart + i;  // 0 but on the dsPIC30F
        case Memory::Program:
            break;
    }
    return i;
}

std::span<std::byte> WritableBytes(CMemoryImage& image, Memory memory) {
    return std::as_writable_bytes(image.Bytes(memory));
}

// A program file that sets a cell the chip does not have, told by that cell and by what the
// chip has instead: most often the file was built for a bigger chip or a near relative.
std::string OtherChipText(const std::string& file, const DeviceLayout& layout,
                          std::uint32_t byteAddress, bool separateData) {
    const std::string& chip = layout.name;
    const std::string lead = file + " does not fit the " + chip + ": it sets ";
    const std::string tail = "; the file may have been built for another chip";
    const std::optional<HexPlace> place =
        HexAddressMap(ToHexLayout(layout), !separateData).PlaceBeyond(byteAddress);
    if (!place) {
        return lead + "byte address " + Hex(byteAddress, 4) + ", where no memory of a " + chip +
               " lies" + tail;
    }
    std::string cell;
    std::string has;
    switch (place->region) {
        case HexRegion::Program:
            cell = "program word " + Hex(place->cell, 4);
            has = "its program memory ends at " + Hex(layout.programSize - 1, 4);
            break;
        case HexRegion::Config: {
            const std::string unit = layout.configWidth <= 8 ? "byte" : "word";
            cell = "configuration " + unit + " " + Hex(layout.configStart + place->cell, 4);
            has = layout.configCount == 0
                      ? "it has none"
                      : "its configuration " + unit + "s are " + Hex(layout.configStart, 4) +
                            " to " + Hex(layout.configStart + layout.configCount - 1, 4);
            break;
        }
        case HexRegion::Data:
            cell = "data EEPROM byte " + Hex(place->cell, 4);
            has = layout.dataSize == 0 ? "it has no data EEPROM"
                                       : "its data EEPROM ends at " + Hex(layout.dataSize - 1, 4);
            break;
    }
    return lead + cell + ", which the " + chip + " does not have (" + has + ")" + tail;
}

// A program file reader that remembers which memories the file fed and where it stopped.
class CTrackingProgReader final : public CProgHexReader {
  public:
    CTrackingProgReader(const HexLayout& layout, HexBuffers target, bool microchipLayout)
        : CProgHexReader(layout, target, microchipLayout), map_(layout, microchipLayout) {}

    MemorySet seen;
    std::optional<std::uint32_t> rejected;

  protected:
    bool BeginLoad() override {
        seen = {};
        rejected.reset();
        return CProgHexReader::BeginLoad();
    }
    bool StoreByte(uint8_t byte, uint32_t address) override {
        if (!CProgHexReader::StoreByte(byte, address)) {
            rejected = address;
            return false;
        }
        if (const std::optional<HexPlace> place = map_.Locate(address); place && !place->filler) {
            switch (place->region) {
                case HexRegion::Program:
                    seen.program = true;
                    break;
                case HexRegion::Config:
                    seen.config = true;
                    break;
                case HexRegion::Data:
                    seen.data = true;
                    break;
            }
        }
        return true;
    }

  private:
    HexAddressMap map_;
};

class CTrackingDataReader final : public CDataHexReader {
  public:
    explicit CTrackingDataReader(std::span<std::uint8_t> data) : CDataHexReader(data) {}
    std::optional<std::uint32_t> rejected;

  protected:
    bool BeginLoad() override {
        rejected.reset();
        return CDataHexReader::BeginLoad();
    }
    bool StoreByte(uint8_t byte, uint32_t address) override {
        if (!CDataHexReader::StoreByte(byte, address)) {
            rejected = address;
            return false;
        }
        return true;
    }
};

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

struct CCliSession::LoadedFiles {
    std::unique_ptr<CMemoryImage> image;
    MemorySet provided;
};

CCliSession::CCliSession(const CliOptions& options, CliEnvironment& env)
    : options_(options),
      env_(env),
      errorBox_(env.err),
      progress_(env.err, env.errIsTerminal && !options.quiet && !options.trace),
      trace_(env.err),
      sayTo_(env.out) {}

CCliSession::~CCliSession() {
    // The device holds the link; it goes first.
    device_.reset();
    link_.reset();
}

int CCliSession::Run() {
    const std::optional<PortChoice> port = ParsePortArgument(options_.port);
    if (!port) {
        return Fail(Failure::BadArguments,
                    "--port takes COMn or a device path, not \"" + options_.port + "\"");
    }
    port_ = CCliPort(*port, env_);
    if (port_.IsPath()) {
        errorBox_.SetPortAlias("COM1", port_.Path());
    }
    const int code = Dispatch();
    if (options_.trace) {
        trace_.Finish();
    }
    errorBox_.Flush();
    std::fflush(env_.out);
    std::fflush(env_.err);
    return code;
}

int CCliSession::Dispatch() {
    switch (options_.command) {
        case Command::Devices:
            return Devices();
        case Command::Ping:
            return Ping();
        case Command::Version:
            return Version();
        case Command::Read:
            return Read();
        case Command::Write:
            return Write();
        case Command::Verify:
            return Verify();
        case Command::Erase:
            return Erase();
        case Command::Id:
            return Id();
        case Command::UpdateFirmware:
            return UpdateFirmware();
        case Command::None:
            break;
    }
    return Fail(Failure::BadArguments, "no command given");
}

int CCliSession::Fail(Failure failure, const std::string& line) {
    // What the serial layer said about it belongs to the same failure: one line for both.
    std::string text = line;
    for (const std::string& said : errorBox_.TakeLines()) {
        text += " (" + said + ")";
    }
    PrintFailureLine(env_.err, text);
    return ToInt(ExitCodeFor(failure));
}

void CCliSession::Say(const char* format, ...) {
    if (options_.quiet) {
        return;
    }
    va_list args;
    va_start(args, format);
    std::vfprintf(sayTo_, format, args);
    va_end(args);
    std::fflush(sayTo_);
}

bool CCliSession::PingProgrammer(int attempts) {
    for (int i = 0; i < attempts; ++i) {
        if (link_->Ping()) {
            return true;
        }
    }
    return false;
}

Failure CCliSession::PrepareDevice() {
    index_ = FindCatalogueIndex(options_.device);
    if (index_ < 0) {
        Fail(Failure::UnknownDevice, UnknownDeviceText(options_.device));
        return Failure::UnknownDevice;
    }
    entry_ = CatalogueEntryAt(index_);
    link_ = std::make_unique<CProgrammerLink>(&errorBox_, port_.Backend(), env_.clock);
    link_->SetStopFlag(&CInterruptGuard::Flag());
    deviceOptions_.keepCalibration = options_.keepCalibration ? 1 : 0;
    deviceOptions_.skipCalibrationCompare = options_.compareCalibration ? 0 : 1;
    device_ = CreateDevice(index_, *link_, &deviceOptions_, &progress_);
    if (!device_) {
        Fail(Failure::FamilyNotAvailable, FamilyUnavailableText(*entry_));
        return Failure::FamilyNotAvailable;
    }
    device_->SetErrorBox(&errorBox_);
    device_->SetErrorCaption(kProgramName);
    hexLayout_ = ToHexLayout(device_->Layout());
    return Failure::None;
}

Failure CCliSession::Connect() {
    if (!link_) {
        link_ = std::make_unique<CProgrammerLink>(&errorBox_, port_.Backend(), env_.clock);
        link_->SetStopFlag(&CInterruptGuard::Flag());
    }
    if (options_.trace) {
        link_->SetTraceWindow(&trace_);
    }
    link_->Connect(ProgrammerPortDefinition(port_.Number()));
    if (!link_->IsConnected()) {
        Fail(Failure::PortNotOpened, "cannot open the serial port " + port_.Name() +
                                         port_.Searched() +
                                         ": check --port, that the port exists and that no "
                                         "other program holds it");
        return Failure::PortNotOpened;
    }
    if (!PingProgrammer(2)) {
        if (Interrupted()) {
            ReportInterrupted(Doing::Reading, "connecting to the programmer");
            return Failure::Interrupted;
        }
        Fail(Failure::NoProgrammer, "no programmer answers on " + port_.Name() +
                                        ": check that the Ravonite is plugged in and powered "
                                        "and that --port names its port");
        return Failure::NoProgrammer;
    }
    // A first ping lost on the way is no failure of what follows.
    link_->ClearFailure();
    if (device_) {
        device_->Initialize();
    }
    return Failure::None;
}

Failure CCliSession::ChooseMemories(const std::optional<MemorySet>& provided, MemorySet& chosen) {
    const DeviceLayout& layout = device_->Layout();
    const MemorySet has{layout.programSize > 0, layout.configCount > 0, layout.dataSize > 0};
    if (options_.memories) {
        const MemorySet wanted = *options_.memories;
        for (Memory m : {Memory::Program, Memory::Config, Memory::Data}) {
            if (Contains(wanted, m) && !Contains(has, m)) {
                Fail(Failure::BadArguments, layout.name + " has no " + MemoryName(m));
                return Failure::BadArguments;
            }
        }
        chosen = wanted;
        return Failure::None;
    }
    if (!options_.dataFile.empty() && !has.data) {
        Fail(Failure::BadArguments, "--data: " + layout.name + " has no data memory");
        return Failure::BadArguments;
    }
    chosen = provided ? (has & *provided) : has;
    if (chosen.Empty()) {
        Fail(Failure::BadArguments,
             options_.programFile + " holds nothing for " + layout.name +
                 "'s memories; name them with --memories to use blank cells");
        return Failure::BadArguments;
    }
    return Failure::None;
}

Failure CCliSession::LoadFiles(LoadedFiles& files) {
    const DeviceLayout& layout = device_->Layout();
    files.image = std::make_unique<CMemoryImage>(layout);
    CMemoryImage& image = *files.image;
    const bool separateData = !options_.dataFile.empty();

    CTrackingProgReader program(
        hexLayout_,
        {WritableBytes(image, Memory::Program), WritableBytes(image, Memory::Config),
         WritableBytes(image, Memory::Data)},
        !separateData);
    if (!program.Open(options_.programFile)) {
        return FileNotOpened(program, options_.programFile);
    }
    if (!program.Load()) {
        std::string why = " (a malformed record, a bad checksum or an unknown record type)";
        if (program.rejected) {
            const std::uint32_t at = *program.rejected;
            // A byte with a place in the chip was refused for its value: a pad byte not 0, or
            // an ID location of a PIC18 that is not blank.
            const std::optional<HexPlace> place =
                HexAddressMap(hexLayout_, !separateData).Locate(at);
            const bool dataInside =
                separateData &&
                HexAddressMap(hexLayout_, true).Locate(at).value_or(HexPlace{}).region ==
                    HexRegion::Data;
            if (!place && !dataInside) {
                Fail(Failure::FileNotHex,
                     OtherChipText(options_.programFile, layout, at, separateData));
                return Failure::FileNotHex;
            }
            if (place && place->fillerValue == 0xFF) {
                why = ": byte address " + Hex(at, 4) +
                      " is an ID location, which is never written: the file may only hold it "
                      "blank (0xFF)";
            } else if (place) {
                why = ": byte address " + Hex(at, 4) +
                      " pads a cell and must be 0, as no data goes there";
            } else {
                why = ": byte address " + Hex(at, 4) +
                      " lies outside its memories (data EEPROM inside the program file: leave "
                      "out --data to take it from there)";
            }
        }
        Fail(Failure::FileNotHex,
             options_.programFile + " is not a valid HEX file for " + layout.name + why);
        return Failure::FileNotHex;
    }
    if (const Failure f = CheckFileEnded(program, options_.programFile); f != Failure::None) {
        return f;
    }
    files.provided = program.seen;

    if (separateData) {
        CTrackingDataReader data(image.Bytes(Memory::Data));
        if (!data.Open(options_.dataFile)) {
            return FileNotOpened(data, options_.dataFile);
        }
        if (!data.Load()) {
            std::string why = " (a malformed record, a bad checksum or an unknown record type)";
            if (data.rejected) {
                why = ": address " + Hex(*data.rejected, 4) + " is beyond its " +
                      std::to_string(layout.dataSize) + " bytes of data memory";
            }
            Fail(Failure::FileNotHex,
                 options_.dataFile + " is not a valid data HEX file for " + layout.name + why);
            return Failure::FileNotHex;
        }
        if (const Failure f = CheckFileEnded(data, options_.dataFile); f != Failure::None) {
            return f;
        }
        files.provided.data = true;
    }
    return Failure::None;
}

bool CCliSession::Interrupted() const {
    return CInterruptGuard::Interrupted() ||
           (link_ && link_->FirstFailure().fault == LinkFault::Stopped);
}

int CCliSession::ReportInterrupted(Doing doing, const std::string& what) {
    const char* consequence = doing == Doing::Writing   ? "the chip may be partly written"
                              : doing == Doing::Erasing ? "the chip may be partly erased"
                                                        : "the chip was not changed";
    return Fail(Failure::Interrupted, "interrupted while " + what + ": " + consequence);
}

Failure CCliSession::FileNotOpened(const CHexFileReader& reader, const std::string& path) {
    if (reader.NotARegularFile()) {
        Fail(Failure::FileNotOpened,
             path + " is not a regular file (a folder, a named pipe or a device): name a HEX file");
    } else {
        Fail(Failure::FileNotOpened,
             "cannot open " + path + ": check the name and that it is readable");
    }
    return Failure::FileNotOpened;
}

Failure CCliSession::CheckFileEnded(const CHexFileReader& reader, const std::string& path) {
    // The GUI takes such a file as complete; from a script, a copy or a download cut short
    // would wipe the chip and write a part of the program.
    if (reader.EndRecordSeen()) {
        return Failure::None;
    }
    std::error_code ec;
    if (std::filesystem::file_size(path, ec) == 0 && !ec) {
        Fail(Failure::FileNotHex, path + " is empty: it is no HEX file");
    } else {
        Fail(Failure::FileNotHex, path + " ends without an end record: is it complete?");
    }
    return Failure::FileNotHex;
}

int CCliSession::ReportFailedOperation(Doing doing, const std::string& what,
                                       std::optional<Memory> memory) {
    if (Interrupted()) {
        return ReportInterrupted(doing, what);
    }
    const LinkFailure failure = link_->FirstFailure();
    std::string phase = what;
    std::string where;
    if (device_) {
        const CDevice::Place& place = device_->LastPlace();
        if (place.phase == kTextVerifyProgram) {
            phase = "verifying program memory after writing it";
        }
        if (memory && place.cell) {
            where = " at " + Hex(DeviceAddress(device_->Layout(), *memory, *place.cell), 4);
        }
    }
    std::string cause = DescribeLinkFailure(failure);
    if (failure.fault == LinkFault::None) {
        cause = "the programmer answered every command, but the chip did not do it";
    } else if (failure.fault == LinkFault::LineBroken ||
               (failure.fault == LinkFault::NoAnswer && !PingProgrammer(1))) {
        cause = "the programmer stopped answering on " + port_.Name() + " (" + cause + ")";
    }
    const char* consequence = doing == Doing::Writing   ? "; the chip may be partly written"
                              : doing == Doing::Erasing ? "; the chip may be partly erased"
                                                        : "";
    const char* again = doing == Doing::Writing   ? "write"
                        : doing == Doing::Erasing ? "erase"
                                                  : "try";
    return Fail(Failure::LineFailed, phase + " failed" + where + ": " + cause + consequence +
                                         ": check the cable, its power and that nothing else "
                                         "uses the port, then " +
                                         again + " again");
}

int CCliSession::ReportWriteFailure(Memory memory, const CMemoryImage& wanted) {
    const std::string what = std::string("writing ") + MemoryName(memory);
    // Only when the programmer answered every frame (or said itself that a word did not
    // program) did the chip refuse the data; anything else is the line's doing.
    const LinkFault fault = link_->FirstFailure().fault;
    if (Interrupted() || (fault != LinkFault::None && fault != LinkFault::NotProgrammed)) {
        return ReportFailedOperation(Doing::Writing, what, memory);
    }
    link_->ClearFailure();
    const DeviceLayout& layout = device_->Layout();
    if (const CDevice::Place& place = device_->LastPlace(); !place.chipSaid.empty()) {
        const std::string where =
            place.cell ? " at " + Hex(DeviceAddress(layout, memory, *place.cell), 4) : "";
        return Fail(Failure::Mismatch, what + " failed" + where + ": the chip answered, but " +
                                           place.chipSaid +
                                           " (a chip that cannot finish a write?)");
    }
    // The programmer answers, so the chip refused the data: find out where and why.
    CMemoryImage chip(layout);
    if (!device_->RunRead(memory, chip.Cells(memory))) {
        return ReportFailedOperation(Doing::Reading,
                                     std::string("reading back ") + MemoryName(memory), memory);
    }
    const int digits = DigitsForWidth(WidthOf(layout, memory));
    const std::vector<WrittenCell> cells = device_->WrittenCells(memory);
    for (const WrittenCell& cell : cells) {
        const std::uint32_t have = chip.Get(memory, cell.index) & cell.mask;
        const std::uint32_t want = cell.Expected(wanted.Get(memory, cell.index));
        if (!cell.replaced && (want & ~have) != 0) {
            // After --erase, erasing again cannot help: the cell kept its bits through it.
            const std::string advice =
                options_.erase ? "; the erase did not clear it (a cell that will not erase?)"
                               : "; erase it first (the erase command, or write --erase)";
            return Fail(Failure::Mismatch, what + " failed: the chip is not blank: " +
                                               Hex(DeviceAddress(layout, memory, cell.index), 4) +
                                               " holds " + Hex(have, digits) +
                                               " where the file has " + Hex(want, digits) +
                                               ", and programming can only clear bits" + advice);
        }
    }
    for (const WrittenCell& cell : cells) {
        const std::uint32_t have = chip.Get(memory, cell.index) & cell.mask;
        const std::uint32_t want = cell.Expected(wanted.Get(memory, cell.index));
        if (have != want) {
            return Fail(Failure::Mismatch, what + " failed: verification failed at " +
                                               Hex(DeviceAddress(layout, memory, cell.index), 4) +
                                               ": chip " + Hex(have, digits) + ", file " +
                                               Hex(want, digits) +
                                               " (a cell that will not program?)");
        }
    }
    return Fail(Failure::LineFailed,
                what +
                    " failed: the programmer reported an error although the chip holds the "
                    "file's data; check the cable and try again");
}

int CCliSession::Devices() {
    std::fprintf(env_.out, "%5s  %-13s %-20s %8s %7s %6s  %-4s  %s\n", "index", "name", "family",
                 "program", "config", "data", "menu", "available");
    for (const CatalogueEntry& e : CatalogueEntries()) {
        const bool available = FamilyAvailable(e.index);
        std::fprintf(env_.out, "%5d  %-13s %-20s %8u %7u %6u  %-4s  %s\n", e.index,
                     std::string(e.name).c_str(), FamilyLabel(e.family), e.programSize,
                     e.configCount, e.dataSize, e.inMenu ? "yes" : "no", available ? "yes" : "no");
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
    if (!link_->GetVersion(bytes)) {
        return ReportFailedOperation(Doing::Reading, "reading the firmware version");
    }
    std::fprintf(env_.out, "%s\n", FormatFirmwareVersion(bytes).c_str());
    return ToInt(ExitCode::Success);
}

int CCliSession::Read() {
    MemorySet chosen;
    if (const Failure f = PrepareDevice(); f != Failure::None) {
        return ToInt(ExitCodeFor(f));
    }
    if (const Failure f = ChooseMemories(std::nullopt, chosen); f != Failure::None) {
        return ToInt(ExitCodeFor(f));
    }
    if (const Failure f = Connect(); f != Failure::None) {
        return ToInt(ExitCodeFor(f));
    }
    if (const Failure f = CheckChipInSocket(); f != Failure::None) {
        return ToInt(ExitCodeFor(f));
    }
    const DeviceLayout& layout = device_->Layout();
    CMemoryImage image(layout);
    if (chosen.program && !device_->RunReadProgram(image.Program())) {
        return ReportFailedOperation(Doing::Reading, "reading program memory", Memory::Program);
    }
    if (chosen.config && !device_->RunReadConfig(image.Config())) {
        return ReportFailedOperation(Doing::Reading, "reading configuration memory",
                                     Memory::Config);
    }
    if (chosen.data && !device_->RunReadData(image.Data())) {
        return ReportFailedOperation(Doing::Reading, "reading data memory", Memory::Data);
    }

    HexWriteOptions hexOptions;
    hexOptions.microchipLayout = options_.dataOutFile.empty();
    const HexConstBuffers buffers{std::as_bytes(image.Bytes(Memory::Program)),
                                  std::as_bytes(image.Bytes(Memory::Config)),
                                  std::as_bytes(image.Bytes(Memory::Data))};
    if (options_.outFile.empty()) {
        // The HEX text owns standard output; the rest goes beside it.
        sayTo_ = env_.err;
        const std::optional<std::string> text = ProgramHexText(hexLayout_, buffers, hexOptions);
        if (!text) {
            return Fail(Failure::FileNotWritten, "cannot make the HEX text of what was read");
        }
        std::fputs(text->c_str(), env_.out);
        std::fflush(env_.out);
    } else if (!SaveProgramHex(options_.outFile, hexLayout_, buffers, hexOptions)) {
        return Fail(Failure::FileNotWritten, "cannot write " + options_.outFile +
                                                 ": check that its folder exists and is writable");
    }
    if (!options_.dataOutFile.empty() &&
        !SaveDataHex(options_.dataOutFile, std::as_bytes(image.Bytes(Memory::Data)))) {
        return Fail(Failure::FileNotWritten, "cannot write " + options_.dataOutFile +
                                                 ": check that its folder exists and is writable");
    }
    Say("read %s of the %s\n", DescribeMemories(chosen).c_str(), layout.name.c_str());
    return ToInt(ExitCode::Success);
}

Failure CCliSession::PrepareFileJob(LoadedFiles& files, MemorySet& chosen) {
    Failure f = PrepareDevice();
    // Files are checked before a single byte goes to the programmer.
    if (f == Failure::None) {
        f = LoadFiles(files);
    }
    if (f == Failure::None) {
        f = ChooseMemories(files.provided, chosen);
    }
    if (f == Failure::None) {
        f = Connect();
    }
    if (f == Failure::None) {
        f = CheckChipInSocket();
    }
    return f;
}

int CCliSession::Write() {
    LoadedFiles files;
    MemorySet chosen;
    if (const Failure f = PrepareFileJob(files, chosen); f != Failure::None) {
        return ToInt(ExitCodeFor(f));
    }
    CMemoryImage& image = *files.image;
    if (options_.erase && !device_->RunErase()) {
        return ReportFailedOperation(Doing::Erasing, "erasing the " + device_->Layout().name);
    }
    // Program, then data, then configuration: the configuration word may protect the rest.
    if (chosen.program && !device_->RunWriteProgram(image.Program())) {
        return ReportWriteFailure(Memory::Program, image);
    }
    if (chosen.data && !device_->RunWriteData(image.Data())) {
        return ReportWriteFailure(Memory::Data, image);
    }
    if (chosen.config && !device_->RunWriteConfig(image.Config())) {
        return ReportWriteFailure(Memory::Config, image);
    }
    Say("wrote %s of the %s%s\n", DescribeMemories(chosen).c_str(), device_->Layout().name.c_str(),
        options_.erase ? " after erasing it" : "");
    return ToInt(ExitCode::Success);
}

int CCliSession::Verify() {
    LoadedFiles files;
    MemorySet chosen;
    if (const Failure f = PrepareFileJob(files, chosen); f != Failure::None) {
        return ToInt(ExitCodeFor(f));
    }
    const DeviceLayout& layout = device_->Layout();
    CMemoryImage& image = *files.image;
    bool mismatch = false;
    for (Memory memory : {Memory::Program, Memory::Config, Memory::Data}) {
        if (!Contains(chosen, memory)) {
            continue;
        }
        CompareResult result;
        if (!device_->RunCompare(memory, image.Cells(memory), result) || result.done == 0) {
            return ReportFailedOperation(Doing::Reading,
                                         std::string("comparing ") + MemoryName(memory), memory);
        }
        if (result.match == 0) {
            const int digits = DigitsForWidth(WidthOf(layout, memory));
            std::fprintf(env_.err, "%s: %s differs at %s: chip %s, file %s\n", kProgramName,
                         MemoryName(memory), Hex(result.address, 4).c_str(),
                         Hex(result.read, digits).c_str(), Hex(result.expected, digits).c_str());
            mismatch = true;
        } else {
            Say("%s matches\n", MemoryName(memory));
        }
    }
    return ToInt(mismatch ? ExitCode::Mismatch : ExitCode::Success);
}

int CCliSession::Erase() {
    if (const Failure f = PrepareDevice(); f != Failure::None) {
        return ToInt(ExitCodeFor(f));
    }
    if (const Failure f = Connect(); f != Failure::None) {
        return ToInt(ExitCodeFor(f));
    }
    if (const Failure f = CheckChipInSocket(); f != Failure::None) {
        return ToInt(ExitCodeFor(f));
    }
    if (!device_->RunErase()) {
        return ReportFailedOperation(Doing::Erasing, "erasing the " + device_->Layout().name);
    }
    if (options_.checkErased) {
        if (const int code = CheckErased(); code != ToInt(ExitCode::Success)) {
            return code;
        }
    }
    Say("erased the %s%s\n", device_->Layout().name.c_str(),
        options_.keepCalibration ? "" : " (calibration data not kept)");
    return ToInt(ExitCode::Success);
}

int CCliSession::CheckErased() {
    // The erase answers for program and data memory alone: an erased configuration word reads
    // back differently from chip to chip (bits it lacks, bits it keeps). The cells a write
    // sets are the ones an erase clears: a kept calibration word is not among them.
    const DeviceLayout& layout = device_->Layout();
    CMemoryImage chip(layout);
    std::optional<std::pair<Memory, std::size_t>> first;
    bool allZero = true;
    for (Memory memory : {Memory::Program, Memory::Data}) {
        if (chip.CellCount(memory) == 0) {
            continue;
        }
        if (!device_->RunRead(memory, chip.Cells(memory))) {
            return ReportFailedOperation(
                Doing::Reading,
                std::string("reading back ") + MemoryName(memory) + " after the erase", memory);
        }
        for (const WrittenCell& cell : device_->WrittenCells(memory)) {
            const std::uint32_t have = chip.Get(memory, cell.index) & cell.mask;
            allZero = allZero && have == 0;
            if (have != cell.mask && !first) {
                first = {memory, cell.index};
            }
        }
    }
    if (!first) {
        return ToInt(ExitCode::Success);
    }
    if (allZero) {
        // Nothing erases to zeros: no chip drove the data line.
        return Fail(Failure::NoChip, "erasing the " + layout.name +
                                         ": every cell reads back 0: no chip answers in the "
                                         "socket; check that it sits there the right way round");
    }
    const auto [memory, cell] = *first;
    const int digits = DigitsForWidth(WidthOf(layout, memory));
    return Fail(Failure::Mismatch, "the " + layout.name + " did not erase: " + MemoryName(memory) +
                                       " " + Hex(DeviceAddress(layout, memory, cell), 4) +
                                       " holds " + Hex(chip.Get(memory, cell), digits) +
                                       " where an erased chip has " +
                                       Hex(BlankValueForWidth(WidthOf(layout, memory)), digits) +
                                       " (a cell that will not erase?)");
}

int CCliSession::Id() {
    if (const Failure f = PrepareDevice(); f != Failure::None) {
        return ToInt(ExitCodeFor(f));
    }
    const std::optional<std::string> address = DeviceIdAddress();
    if (!address) {
        return Fail(Failure::BadArguments,
                    device_->Layout().name + " has no device ID word to read");
    }
    if (const Failure f = Connect(); f != Failure::None) {
        return ToInt(ExitCodeFor(f));
    }
    std::uint16_t word = 0;
    if (!ReadDeviceIdWord(word)) {
        return ReportFailedOperation(Doing::Reading, "reading the device ID");
    }
    return NameDeviceId(word, *address);
}

std::optional<std::string> CCliSession::DeviceIdAddress() const {
    if (dynamic_cast<const CDsPic30Device*>(device_.get()) != nullptr) {
        return Hex(CDsPic30Device::kDeviceIdAddress, 6);
    }
    if (dynamic_cast<const CPic18Device*>(device_.get()) != nullptr) {
        return Hex(CPic18Device::kDeviceIdAddress, 6);
    }
    if (const std::optional<DeviceIdWord> idWord = CatalogueDeviceIdWord(index_)) {
        return Hex(idWord->address, 4);
    }
    return std::nullopt;
}

bool CCliSession::ReadDeviceIdWord(std::uint16_t& word) {
    if (auto* dspic = dynamic_cast<CDsPic30Device*>(device_.get())) {
        return dspic->ReadDeviceId(word);
    }
    if (auto* pic18 = dynamic_cast<CPic18Device*>(device_.get())) {
        return pic18->ReadDeviceId(word);
    }
    const std::optional<DeviceIdWord> idWord = CatalogueDeviceIdWord(index_);
    CMemoryImage image(device_->Layout());
    if (!idWord || !device_->RunReadConfig(image.Config())) {
        return false;
    }
    word = static_cast<std::uint16_t>(image.Get(Memory::Config, idWord->configCell) & idWord->mask);
    return true;
}

Failure CCliSession::CheckChipInSocket() {
    // Chips without an ID word cannot be told apart: they are taken on trust, as before.
    if (options_.force || !DeviceIdAddress()) {
        return Failure::None;
    }
    std::uint16_t word = 0;
    if (!ReadDeviceIdWord(word)) {
        ReportFailedOperation(Doing::Reading, "reading the device ID");
        return Interrupted() ? Failure::Interrupted : Failure::LineFailed;
    }
    const std::optional<DeviceIdWord> idWord = CatalogueDeviceIdWord(index_);
    const std::uint16_t allOnes = idWord ? idWord->mask : 0xFFFF;
    const std::string& selected = device_->Layout().name;
    if (word == 0 || word == allOnes) {
        // A data line nobody drives reads as all zeros or all ones.
        Fail(Failure::NoChip, "no chip answers in the socket: the device ID reads " + Hex(word, 4) +
                                  "; check that the " + selected +
                                  " sits in it the right way round (--force skips this check)");
        return Failure::NoChip;
    }
    const std::vector<DeviceIdMatch> matches = IdentifyDeviceId(entry_->family, word);
    std::string named;
    for (const DeviceIdMatch& m : matches) {
        if (m.entry->index == index_) {
            return Failure::None;
        }
        named += (named.empty() ? "" : " or ") + std::string(m.entry->name);
    }
    if (named.empty()) {
        Fail(Failure::OtherChip, "the device ID " + Hex(word, 4) +
                                     " names no chip this program knows, not the " + selected +
                                     " selected: check --device and the chip in the socket, or "
                                     "give --force to go on anyway");
    } else {
        Fail(Failure::OtherChip, "the socket holds a " + named + " (device ID " + Hex(word, 4) +
                                     "), not the " + selected + " selected: choose --device " +
                                     std::string(matches.front().entry->name) +
                                     ", or give --force to go on anyway");
    }
    return Failure::OtherChip;
}

int CCliSession::NameDeviceId(std::uint16_t word, const std::string& address) {
    std::fprintf(env_.out, "device ID word %s at %s\n", Hex(word, 4).c_str(), address.c_str());
    const std::vector<DeviceIdMatch> matches = IdentifyDeviceId(entry_->family, word);
    bool selected = false;
    if (matches.empty()) {
        std::fprintf(env_.out, "it names no chip this program knows%s\n",
                     word == 0 ? " (an empty socket reads 0x0000)" : "");
    }
    for (const DeviceIdMatch& m : matches) {
        selected = selected || m.entry->index == index_;
        const std::string revision =
            m.entry->revisionMask != 0 ? ", revision " + std::to_string(m.revision) : "";
        std::fprintf(env_.out, "device ID %s%s: %s\n", Hex(m.entry->publishedId, 4).c_str(),
                     revision.c_str(), std::string(m.entry->name).c_str());
    }
    std::fprintf(env_.out, "%s the selected chip %s\n", selected ? "it is" : "it is not",
                 device_->Layout().name.c_str());

    // The catalogue's expected IDs are what the device ID check compares; say where they part
    // from what the chips carry, for the chips named here and the one selected.
    std::vector<const CatalogueEntry*> named;
    for (const DeviceIdMatch& m : matches) {
        named.push_back(m.entry);
    }
    if (!selected) {
        named.push_back(entry_);
    }
    for (const CatalogueEntry* entry : named) {
        if (entry->deviceId != 0 && entry->publishedId != 0 &&
            entry->deviceId != entry->publishedId) {
            std::fprintf(env_.out,
                         "note: the catalogue expects %s for %s where the chip carries %s; the "
                         "programmer's own device ID check uses the catalogue's value\n",
                         Hex(entry->deviceId, 4).c_str(), std::string(entry->name).c_str(),
                         Hex(entry->publishedId, 4).c_str());
        }
    }
    return ToInt(selected ? ExitCode::Success : ExitCode::Mismatch);
}

int CCliSession::UpdateFirmware() {
    CSerialPort port(&errorBox_, port_.Backend(), env_.clock);
    port.SetErrorCaption(kUpdaterErrorCaption);
    if (!OpenUpdaterPort(port, port_.Number())) {
        return Fail(Failure::PortNotOpened, "cannot open the serial port " + port_.Name() +
                                                ": check --port and that no other program "
                                                "holds it");
    }
    CUpdateView view(env_.err, options_.quiet);
    const std::string file =
        options_.firmwareFile.empty() ? std::string(kFirmwareFileName) : options_.firmwareFile;
    const FirmwareUpdateResult result = RunFirmwareUpdate(port, view, file);
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
            return Fail(Failure::FileNotHex,
                        view.message + " (the file is not valid HEX for the programmer's chip)");
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
