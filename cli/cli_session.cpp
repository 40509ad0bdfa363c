#include "cli/cli_session.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>

#include "cli/interrupt_guard.h"
#include "link/port_advice.h"

namespace tenlo::cli {

namespace {

bool OnTheChip(Command command) {
    switch (command) {
        case Command::Read:
        case Command::Write:
        case Command::Verify:
        case Command::Erase:
        case Command::Id:
            return true;
        default:
            return false;
    }
}

jobs::ChipResult ResultOf(int code) {
    if (code == ToInt(ExitCode::Success)) {
        return jobs::ChipResult::Ok;
    }
    return code == ToInt(ExitCode::Interrupted) ? jobs::ChipResult::Interrupted
                                                : jobs::ChipResult::Failed;
}

}  // namespace

CCliSession::CCliSession(const CliOptions& options, CliEnvironment& env, PortJob job)
    : options_(options),
      env_(env),
      job_(std::move(job)),
      errorBox_(env.err),
      questions_(job_.collect ? nullptr : env.err, options.strict),
      progress_(env.err, env.errIsTerminal && !options.quiet && !options.trace && !job_.collect),
      trace_(env.err),
      sayTo_(env.out) {}

CCliSession::~CCliSession() {
    // The device holds the link; it goes first.
    device_.reset();
    link_.reset();
}

PortRecord CCliSession::Run() {
    began_ = std::chrono::steady_clock::now();
    record_.port = job_.port;
    int code = 0;
    const std::optional<PortChoice> port = ParsePortArgument(job_.port);
    if (!port) {
        code = Fail(Failure::BadArguments,
                    "--port takes COMn or a device path, not \"" + job_.port + "\"");
    } else {
        port_ = CCliPort(*port, env_);
        if (port_.IsPath()) {
            errorBox_.SetPortAlias("COM1", port_.Path());
        }
        code = Dispatch();
    }
    if (!job_.collect) {
        code = Delivered(code);
    }
    Record(code);
    if (options_.trace) {
        trace_.Finish();
    }
    if (!job_.collect) {
        errorBox_.Flush();
    }
    std::fflush(env_.out);
    std::fflush(env_.err);
    record_.code = code;
    return record_;
}

int CCliSession::Delivered(int code) {
    // What a command hands on through standard output is its product: lost there (a full disk,
    // a closed pipe), the command did not do its work. Status lines lost are no loss.
    const bool outputLost = OutputLost(env_.out);
    const bool product = options_.command == Command::Version || options_.command == Command::Id ||
                         options_.command == Command::Calibration ||
                         options_.command == Command::Config ||
                         (options_.command == Command::Read && options_.outFile.empty());
    if (outputLost && product && code == ToInt(ExitCode::Success)) {
        return Fail(Failure::FileNotWritten, OutputLostText());
    }
    return code;
}

int CCliSession::Dispatch() {
    switch (options_.command) {
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
        case Command::Config:
            return Config();
        case Command::Calibration:
            return Calibration();
        case Command::Devices:
        case Command::Ports:
        case Command::Checksum:
        case Command::None:
            break;
    }
    return Fail(Failure::BadArguments, "no command given");
}

void CCliSession::Record(int& code) {
    record_.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began_).count();
    if (job_.production == nullptr || !OnTheChip(options_.command)) {
        return;
    }
    jobs::LogRow row;
    row.time = std::chrono::system_clock::now();
    row.port = job_.port;
    row.chip = entry_ != nullptr ? std::string(entry_->name) : options_.device;
    if (record_.deviceId) {
        const NamedId named = NameDeviceId(options_.device, *record_.deviceId);
        row.deviceId = named.id;
        row.revision = named.revision;
    }
    if (options_.command == Command::Write || options_.command == Command::Verify) {
        row.file = options_.programFile;
        row.checksum = job_.prepared->checksum;
    }
    row.serial = record_.serial;
    row.result = ResultOf(code);
    row.cause = record_.message;
    row.seconds = record_.seconds;
    const bool verified = code == ToInt(ExitCode::Success) && options_.verify;
    const jobs::CProductionRun::Recorded r =
        job_.production->ChipDone(row, number_ ? &*number_ : nullptr, verified);
    if (!r.logged) {
        const int logged = Fail(Failure::FileNotWritten, "cannot append the chip's row to " +
                                                             job_.production->LogPath() + ": " +
                                                             std::strerror(r.logError));
        code = std::max(code, logged);
    }
    if (r.serial.problem != jobs::CSerialAllocator::Problem::None) {
        const int kept = Fail(
            DescribeSerialFailure(r.serial, verified ? SerialStep::Keep : SerialStep::GiveBack));
        code = std::max(code, kept);
    }
}

int CCliSession::Fail(const FailureLine& line) {
    // What the serial layer said about it belongs to the same failure: one line for both.
    std::string text = line.text;
    for (const std::string& said : errorBox_.TakeLines()) {
        text += " (" + said + ")";
    }
    if (record_.failure == Failure::None) {
        record_.failure = line.failure;
    }
    record_.message += (record_.message.empty() ? "" : "; ") + text;
    if (!job_.collect) {
        PrintFailureLine(env_.err, text);
    }
    return ToInt(ExitCodeFor(line.failure));
}

int CCliSession::Fail(Failure failure, const std::string& line) {
    return Fail(FailureLine{failure, line});
}

int CCliSession::Report(const jobs::Outcome& outcome, bool erasedFirst) {
    if (outcome.cause == jobs::Cause::Declined && number_ && !number_->Number()) {
        // The serial number could not be had: the chip was left before that memory.
        return Fail(
            DescribeSerialFailure(number_->Failure(), SerialStep::Take, number_->Largest()));
    }
    return Fail(DescribeOutcome(outcome, RenderFacts{device_->Layout(), erasedFirst, {}}));
}

void CCliSession::Say(const char* format, ...) {
    if (options_.quiet || job_.collect) {
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
    IProgressDisplay* progress = job_.progress != nullptr ? job_.progress : &progress_;
    device_ = CreateDevice(index, *link_, &deviceOptions_, progress);
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
            record_.report.emplace().outcome = o;
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

}  // namespace tenlo::cli
