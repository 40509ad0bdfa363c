// A command over its ports: what is made once before any port is opened (the chip, the files,
// the memories, the serial number's place), the sessions of the ports at once, and the end of
// the run told port by port.

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "cli/cli_session.h"
#include "cli/interrupt_guard.h"
#include "cli/ports_command.h"
#include "cli/progress_board.h"
#include "cli/run_json.h"
#include "jobs/checksum.h"
#include "jobs/config_traps.h"
#include "jobs/hex_files.h"
#include "link/port_discovery.h"

namespace tenlo::cli {

namespace {

using jobs::MemoriesOf;

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

FailureLine ChooseMemories(const CliOptions& options, const DeviceLayout& layout,
                           const std::optional<MemorySet>& provided, MemorySet& chosen) {
    const MemorySet has = MemoriesOf(layout);
    if (options.memories) {
        const MemorySet wanted = *options.memories;
        for (Memory m : {Memory::Program, Memory::Config, Memory::Data}) {
            if (wanted.Has(m) && !has.Has(m)) {
                return {Failure::BadArguments, layout.name + " has no " + MemoryName(m)};
            }
        }
        chosen = wanted;
        return {};
    }
    if (!options.dataFile.empty() && !has.data) {
        return {Failure::BadArguments, "--data: " + layout.name + " has no data memory"};
    }
    chosen = provided ? (has & *provided) : has;
    if (chosen.Empty()) {
        return {Failure::BadArguments,
                options.programFile + " holds nothing for " + layout.name +
                    "'s memories; name them with --memories to use blank cells"};
    }
    return {};
}

FailureLine LoadFiles(const CliOptions& options, Prepared& p, MemorySet& provided) {
    CCliQuestions noQuestions(nullptr, options.strict);
    p.image = std::make_unique<CMemoryImage>(p.layout);
    const bool separateData = !options.dataFile.empty();
    const jobs::FileOutcome program = jobs::LoadProgramFile(
        options.programFile, *p.image,
        separateData ? jobs::ProgramLayout::Plain : jobs::ProgramLayout::Microchip, &noQuestions);
    if (!program.Ok()) {
        return DescribeFileOutcome(program, p.layout, false);
    }
    provided = program.provided;
    if (separateData) {
        const jobs::FileOutcome data = jobs::LoadDataFile(options.dataFile, *p.image, &noQuestions);
        if (!data.Ok()) {
            return DescribeFileOutcome(data, p.layout, true);
        }
        provided.data = true;
    }
    return {};
}

// What every port starts from, made before any port is opened: a file or an argument that is
// wrong is told once, not once per port.
FailureLine Prepare(const CliOptions& options, Prepared& p) {
    const Command c = options.command;
    if (c != Command::Read && c != Command::Write && c != Command::Verify && c != Command::Id &&
        c != Command::Erase && c != Command::Checksum && c != Command::Config) {
        return {};
    }
    if (c == Command::Read && !options.outFile.empty() &&
        SamePath(options.outFile, options.dataOutFile)) {
        return {Failure::BadArguments, "-o and --data-out both name " + options.dataOutFile +
                                           ": the data would overwrite the program"};
    }
    p.deviceIndex = FindCatalogueIndex(options.device);
    p.layout = *CatalogueLayout(p.deviceIndex);
    // A device of the chip on no line: what its options make of its cells.
    CProgrammerLink idle(nullptr, nullptr, nullptr);
    DeviceOptions deviceOptions;
    deviceOptions.keepCalibration = options.keepCalibration ? 1 : 0;
    const std::unique_ptr<CDevice> device =
        CreateDevice(p.deviceIndex, idle, &deviceOptions, nullptr);
    if (c == Command::Id && !device->DeviceIdLocation()) {
        return {Failure::BadArguments, p.layout.name + " has no device ID word to read"};
    }
    if (c == Command::Read) {
        return ChooseMemories(options, p.layout, std::nullopt, p.chosen);
    }
    if (c == Command::Config && CountOf(p.layout, Memory::Config) == 0) {
        return {Failure::BadArguments, p.layout.name + " has no configuration memory"};
    }
    const bool file = c == Command::Write || c == Command::Verify || c == Command::Checksum ||
                      (c == Command::Config && !options.readConfig);
    if (!file) {
        return {};
    }
    MemorySet provided;
    if (FailureLine line = LoadFiles(options, p, provided); line.failure != Failure::None) {
        return line;
    }
    if (c == Command::Config) {
        return {};
    }
    if (FailureLine line = ApplyConfigSet(options, p.deviceIndex, *p.image, provided);
        line.failure != Failure::None) {
        return line;
    }
    p.checksum = jobs::ImageChecksum(*p.image, *device);
    if (c == Command::Checksum) {
        return {};
    }
    if (FailureLine line = ChooseMemories(options, p.layout, provided, p.chosen);
        line.failure != Failure::None) {
        return line;
    }
    if (c == Command::Write && options.serial) {
        p.serial = jobs::PlaceSerial(options.serial->placement, *device);
        if (!p.serial->Ok()) {
            return DescribeSerialMisfit(*p.serial, p.layout);
        }
        // The number needs its memory written, whatever the file holds for it.
        const Memory m = p.serial->memory;
        if (options.memories && !options.memories->Has(m)) {
            return {Failure::BadArguments, std::string("--serial writes ") + MemoryName(m) +
                                               ", which --memories leaves out"};
        }
        p.chosen =
            p.chosen | MemorySet{m == Memory::Program, m == Memory::Config, m == Memory::Data};
    }
    if (c == Command::Write) {
        const jobs::JobContext context(*device, *CatalogueEntryAt(p.deviceIndex), idle, "");
        p.config = jobs::CheckConfigToWrite(context, *p.image, p.chosen);
    }
    return {};
}

int Devices(const CliOptions& options, CliEnvironment& env) {
    if (options.json) {
        std::fputs(DevicesJson().c_str(), env.out);
        return ToInt(ExitCode::Success);
    }
    std::fprintf(env.out, "%5s  %-13s %-20s %8s %7s %6s  %s\n", "index", "name", "family",
                 "program", "config", "data", "menu");
    for (const CatalogueEntry& e : CatalogueEntries()) {
        std::fprintf(env.out, "%5d  %-13s %-20s %8u %7u %6u  %s\n", e.index,
                     std::string(e.name).c_str(), FamilyLabel(e.family), e.programSize,
                     e.configCount, e.dataSize, e.inMenu ? "yes" : "no");
    }
    return ToInt(ExitCode::Success);
}

// What a port did, in the words of the summary ("written and verified").
std::string Deed(Command command, bool verify) {
    switch (command) {
        case Command::Write:
            return verify ? "written and verified" : "written";
        case Command::Verify:
            return "match";
        case Command::Read:
            return "read";
        case Command::Erase:
            return "erased";
        case Command::Id:
            return "hold the selected chip";
        case Command::Ping:
        case Command::Version:
            return "answered";
        default:
            return "done";
    }
}

// "COM5  PIC16F877A 0x0E20 rev 3  written and verified, serial number 1001"
std::string PortLine(const PortRecord& r, const CliOptions& options, std::size_t width,
                     std::optional<std::uint16_t> checksum) {
    std::string port = r.port;
    port.resize(std::max(port.size(), width), ' ');
    std::string chip = "-";
    if (r.deviceId) {
        const NamedId named = NameDeviceId(options.device, *r.deviceId);
        // A word no chip carries (an empty socket reads 0x0000) is shown as it was read.
        chip = named.chips.empty() ? "ID " + Hex(*r.deviceId)
                                   : named.chips.front() + " " + Hex(named.id) + " rev " +
                                         std::to_string(named.revision);
    }
    std::string result = r.code == 0 ? r.done : r.message;
    if (r.code == 0 && r.serial) {
        result += ", serial number " + std::to_string(*r.serial);
    }
    // The file's checksum is on the summary line; a chip's goes here where it is its own.
    if (r.code == 0 && r.checksum && r.checksum != checksum) {
        result += ", checksum " + Hex(*r.checksum);
    }
    return port + "  " + chip + "  " + result;
}

// The code, or a failure when what the command printed on standard output was lost.
int Delivered(CliEnvironment& env, int code) {
    if (OutputLost(env.out) && code == ToInt(ExitCode::Success)) {
        PrintFailureLine(env.err, OutputLostText());
        return ToInt(ExitCodeFor(Failure::FileNotWritten));
    }
    return code;
}

// A write on several ports tells its configuration's traps once, not once a port: those that
// need consent before any port opens (each port's write answers as one port's would), the
// notices and the protection left off once a port's write got to the configuration.
void TellTrapsBefore(const Prepared& prepared, CliEnvironment& env) {
    if (prepared.config.AnyWarning()) {
        for (const ConfigTrap& trap : prepared.config.traps) {
            PrintFailureLine(env.err, TrapLine(trap));
        }
    }
}

void TellTrapsAfter(const CliOptions& options, const Prepared& prepared,
                    const std::vector<PortRecord>& records, CliEnvironment& env) {
    if (options.quiet) {
        return;
    }
    const auto any = [&](auto reached) {
        return std::any_of(records.begin(), records.end(),
                           [&](const PortRecord& r) { return r.report && reached(*r.report); });
    };
    if (!prepared.config.AnyWarning() &&
        any([](const jobs::Report& r) { return r.Step(Memory::Config) != nullptr; })) {
        for (const ConfigTrap& trap : prepared.config.traps) {
            PrintFailureLine(env.err, TrapLine(trap));
        }
    }
    if (prepared.config.leftOff.Any() &&
        any([](const jobs::Report& r) { return r.Done(Memory::Config); })) {
        PrintFailureLine(env.err, "notice: " + prepared.config.leftOff.text);
    }
}

// --port all: the ports present where a programmer answers a ping, pinged all at once.
std::vector<std::string> FindProgrammers(const CliOptions& options, CliEnvironment& env) {
    std::vector<std::string> candidates;
    if (env.listPorts) {
        candidates = env.listPorts();
    } else {
        for (const SerialPortInfo& port : DiscoverSerialPorts()) {
            candidates.push_back(port.comNumbers.empty()
                                     ? port.device
                                     : "COM" + std::to_string(port.comNumbers.front()));
        }
    }
    CliOptions ping = options;
    ping.command = Command::Ping;
    ping.json = false;
    ping.quiet = true;
    std::vector<char> answered(candidates.size(), 0);
    jobs::RunOnEachPort(candidates.size(), [&](std::size_t i) {
        CCliSession session(ping, env, PortJob{candidates[i], nullptr, true, nullptr, nullptr});
        answered[i] = session.Run().code == 0 ? 1 : 0;
    });
    std::vector<std::string> found;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (answered[i] != 0) {
            found.push_back(candidates[i]);
        }
    }
    return found;
}

int Checksum(const CliOptions& options, const Prepared& prepared, CliEnvironment& env,
             double seconds) {
    if (options.json) {
        RunFacts facts;
        facts.options = &options;
        facts.checksum = prepared.checksum;
        facts.seconds = seconds;
        std::fputs(RunJson(facts).c_str(), env.out);
    } else {
        std::fprintf(env.out, "%s  %s (%s program memory and configuration)\n",
                     Hex(*prepared.checksum).c_str(), Printable(options.programFile).c_str(),
                     prepared.layout.name.c_str());
    }
    return ToInt(ExitCode::Success);
}

double SecondsSince(std::chrono::steady_clock::time_point began) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
}

// config prints a document of its own (README); with --json a failure still ends in the run's.
int RunConfig(const CliOptions& options, const Prepared& prepared, CliEnvironment& env,
              std::chrono::steady_clock::time_point began) {
    // The file's configuration, or the chip's on the one port config --read takes.
    CCliSession session(options, env,
                        PortJob{options.ports.front(), &prepared, false, nullptr, nullptr});
    const std::vector<PortRecord> records{session.Run()};
    const PortRecord& r = records.front();
    if (options.json && r.code != 0) {
        RunFacts facts;
        facts.options = &options;
        facts.code = r.code;
        facts.failure = r.failure;
        facts.message = r.message;
        facts.seconds = SecondsSince(began);
        facts.ports = options.readConfig ? &records : nullptr;
        std::fputs(RunJson(facts).c_str(), env.out);
        std::fflush(env.out);
    }
    return r.code;
}

}  // namespace

int RefuseRun(const CliOptions* options, bool json, CliEnvironment& env, Failure failure,
              const std::string& text) {
    PrintFailureLine(env.err, text);
    const int code = ToInt(ExitCodeFor(failure));
    if (json) {
        RunFacts facts;
        facts.options = options;
        facts.code = code;
        facts.failure = failure;
        facts.message = text;
        std::fputs(RunJson(facts).c_str(), env.out);
        std::fflush(env.out);
    }
    return code;
}

int RunCommand(const CliOptions& given, CliEnvironment& env) {
    const auto began = std::chrono::steady_clock::now();
    if (given.command == Command::Devices) {
        return Delivered(env, Devices(given, env));
    }
    if (given.command == Command::Ports) {
        return Delivered(env, RunPortsCommand(given, env));
    }
    Prepared prepared;
    if (const FailureLine line = Prepare(given, prepared); line.failure != Failure::None) {
        return RefuseRun(&given, given.json, env, line.failure, line.text);
    }
    if (given.command == Command::Checksum) {
        return Delivered(env, Checksum(given, prepared, env, SecondsSince(began)));
    }
    if (given.command == Command::Config) {
        return RunConfig(given, prepared, env, began);
    }
    CliOptions options = given;
    if (options.ports == std::vector<std::string>{"all"}) {
        options.ports = FindProgrammers(options, env);
        if (CInterruptGuard::Interrupted()) {
            return RefuseRun(&options, options.json, env, Failure::Interrupted,
                             "interrupted while looking for programmers: no chip was touched");
        }
        if (options.ports.empty()) {
            return RefuseRun(&options, options.json, env, Failure::NoProgrammer,
                             "--port all: no programmer answers on any serial port present "
                             "(tenlo-cli ports lists them): check that the Ravonites are "
                             "plugged in and powered");
        }
    }
    std::optional<jobs::CProductionRun> production;
    if (!options.logFile.empty() || options.serial) {
        production.emplace(options.serial, options.logFile);
    }
    jobs::CProductionRun* shared = production ? &*production : nullptr;
    const std::vector<std::string>& ports = options.ports;
    if (ports.size() == 1 && !options.json && given.ports.front() != "all") {
        CCliSession session(options, env,
                            PortJob{ports.front(), &prepared, false, nullptr, shared});
        return session.Run().code;
    }

    TellTrapsBefore(prepared, env);
    CProgressBoard board(env.err, env.errIsTerminal, !options.quiet, ports);
    std::vector<PortRecord> records(ports.size());
    jobs::RunOnEachPort(ports.size(), [&](std::size_t i) {
        CCliSession session(options, env,
                            PortJob{ports[i], &prepared, true, board.Port(i), shared});
        records[i] = session.Run();
        board.Ended(i, records[i].code == 0 ? records[i].done : "failed");
    });
    board.Finish();
    TellTrapsAfter(options, prepared, records, env);

    int worst = 0;
    std::size_t width = 0;
    std::size_t succeeded = 0;
    for (const PortRecord& r : records) {
        worst = std::max(worst, r.code);
        width = std::max(width, r.port.size());
        succeeded += r.code == 0 ? 1 : 0;
    }
    if (options.json) {
        // The document owns standard output; each failure still has its line beside it.
        for (const PortRecord& r : records) {
            if (r.code != 0) {
                PrintFailureLine(env.err, r.port + ": " + r.message);
            }
        }
        RunFacts facts;
        facts.options = &options;
        facts.code = worst;
        facts.seconds = SecondsSince(began);
        facts.checksum = prepared.checksum;
        facts.ports = &records;
        std::fputs(RunJson(facts).c_str(), env.out);
        return Delivered(env, worst);
    }
    for (const PortRecord& r : records) {
        if (!options.quiet) {
            std::fprintf(env.out, "%s\n",
                         Printable(PortLine(r, options, width, prepared.checksum)).c_str());
        } else if (r.code != 0) {
            PrintFailureLine(env.err, r.port + ": " + r.message);
        }
    }
    if (!options.quiet) {
        const std::string checksum =
            prepared.checksum ? ", file checksum " + Hex(*prepared.checksum) : "";
        std::fprintf(env.out, "%zu of %zu %s%s\n", succeeded, records.size(),
                     Deed(options.command, options.verify).c_str(), checksum.c_str());
    }
    std::fflush(env.out);
    return worst;
}

}  // namespace tenlo::cli
