#include "cli/cli_session.h"

#include <cstdarg>

#include "cli/interrupt_guard.h"
#include "cli/ports_command.h"
#include "jobs/hex_files.h"
#include "link/port_advice.h"

namespace tenlo::cli {

CCliSession::CCliSession(const CliOptions& options, CliEnvironment& env)
    : options_(options),
      env_(env),
      errorBox_(env.err),
      questions_(env.err, options.strict),
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
    // What a command hands on through standard output is its product: lost there (a full disk,
    // a closed pipe), the command did not do its work. Status lines lost are no loss.
    const bool outputLost = std::fflush(env_.out) != 0 || std::ferror(env_.out) != 0;
    const bool product = options_.command == Command::Devices ||
                         options_.command == Command::Version || options_.command == Command::Id ||
                         options_.command == Command::Ports ||
                         options_.command == Command::Calibration ||
                         (options_.command == Command::Read && options_.outFile.empty());
    if (outputLost && product && code == ToInt(ExitCode::Success)) {
        return Fail(Failure::FileNotWritten,
                    "cannot write to standard output (a full disk or a closed pipe?): what the "
                    "command printed is lost");
    }
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
        case Command::Ports:
            return RunPortsCommand(options_, env_);
        case Command::Config:
            return Config();
        case Command::Calibration:
            return Calibration();
        case Command::None:
            break;
    }
    return Fail(Failure::BadArguments, "no command given");
}

int CCliSession::Fail(const FailureLine& line) {
    // What the serial layer said about it belongs to the same failure: one line for both.
    std::string text = line.text;
    for (const std::string& said : errorBox_.TakeLines()) {
        text += " (" + said + ")";
    }
    PrintFailureLine(env_.err, text);
    return ToInt(ExitCodeFor(line.failure));
}

int CCliSession::Fail(Failure failure, const std::string& line) {
    return Fail(FailureLine{failure, line});
}

int CCliSession::Report(const jobs::Outcome& outcome, bool erasedFirst) {
    return Fail(DescribeOutcome(outcome, RenderFacts{device_->Layout(), erasedFirst, {}}));
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

jobs::JobContext CCliSession::Context() {
    jobs::JobContext context(*device_, *entry_, *link_, port_.Name());
    context.checkSocket = !options_.force;
    context.questions = &questions_;
    return context;
}

Failure CCliSession::PrepareDevice() {
    // The name was checked before the session began.
    const int index = FindCatalogueIndex(options_.device);
    entry_ = CatalogueEntryAt(index);
    link_ = std::make_unique<CProgrammerLink>(&errorBox_, port_.Backend(), env_.clock);
    link_->SetStopFlag(&CInterruptGuard::Flag());
    deviceOptions_.keepCalibration = options_.keepCalibration ? 1 : 0;
    deviceOptions_.skipCalibrationCompare = options_.compareCalibration ? 0 : 1;
    device_ = CreateDevice(index, *link_, &deviceOptions_, &progress_);
    if (!device_) {
        Fail(Failure::UnknownDevice, UnknownDeviceText(options_.device));
        return Failure::UnknownDevice;
    }
    device_->SetErrorBox(&errorBox_);
    device_->SetErrorCaption(kProgramName);
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
        const std::string problem = PortOpenProblem(link_->LastOpenFailure());
        Fail(Failure::PortNotOpened,
             !problem.empty() ? problem
                              : "cannot open the serial port " + port_.Name() + port_.Searched() +
                                    ": check --port (tenlo-cli ports lists the ports "
                                    "present), that the port exists and that no other program "
                                    "holds it");
        return Failure::PortNotOpened;
    }
    if (!PingProgrammer(2)) {
        if (CInterruptGuard::Interrupted() || link_->FirstFailure().fault == LinkFault::Stopped) {
            Fail(InterruptedConnecting());
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
        const jobs::Outcome o = jobs::SetUpDevice(*device_, *link_, port_.Name());
        if (!o.Ok()) {
            const FailureLine line = DescribeOutcome(
                o, RenderFacts{device_->Layout(), false, "switching the socket off"});
            Fail(line);
            return line.failure;
        }
    }
    return Failure::None;
}

Failure CCliSession::PrepareChipJob() {
    Failure f = PrepareDevice();
    if (f == Failure::None) {
        f = Connect();
    }
    return f;
}

Failure CCliSession::ChooseMemories(const std::optional<MemorySet>& provided, MemorySet& chosen) {
    const DeviceLayout& layout = device_->Layout();
    const MemorySet has = jobs::MemoriesOf(layout);
    if (options_.memories) {
        const MemorySet wanted = *options_.memories;
        for (Memory m : {Memory::Program, Memory::Config, Memory::Data}) {
            if (wanted.Has(m) && !has.Has(m)) {
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
    const bool separateData = !options_.dataFile.empty();
    const jobs::FileOutcome program = jobs::LoadProgramFile(
        options_.programFile, *files.image,
        separateData ? jobs::ProgramLayout::Plain : jobs::ProgramLayout::Microchip, &questions_);
    if (!program.Ok()) {
        const FailureLine line = DescribeFileOutcome(program, layout, false);
        Fail(line);
        return line.failure;
    }
    files.provided = program.provided;
    if (separateData) {
        const jobs::FileOutcome data =
            jobs::LoadDataFile(options_.dataFile, *files.image, &questions_);
        if (!data.Ok()) {
            const FailureLine line = DescribeFileOutcome(data, layout, true);
            Fail(line);
            return line.failure;
        }
        files.provided.data = true;
    }
    return Failure::None;
}

Failure CCliSession::PrepareFileJob(LoadedFiles& files, MemorySet& chosen) {
    Failure f = PrepareDevice();
    // Files are checked before a single byte goes to the programmer.
    if (f == Failure::None) {
        f = LoadFiles(files);
    }
    if (f == Failure::None) {
        f = ApplyConfigSet(files);
    }
    if (f == Failure::None) {
        f = ChooseMemories(files.provided, chosen);
    }
    if (f == Failure::None) {
        f = Connect();
    }
    return f;
}

}  // namespace tenlo::cli
