#include "cli/cli_options.h"

#include <strings.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <set>
#include <sstream>

#include "jobs/calibration.h"

namespace tenlo::cli {

namespace {

// The first line of a CLI11 message is the one worth showing.
std::string FirstLine(const std::string& text) {
    const std::size_t eol = text.find('\n');
    return eol == std::string::npos ? text : text.substr(0, eol);
}

std::vector<std::string> SplitAt(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (std::size_t at = text.find(separator); at != std::string::npos;
         at = text.find(separator, from)) {
        parts.push_back(text.substr(from, at - from));
        from = at + 1;
    }
    parts.push_back(text.substr(from));
    return parts;
}

// Decimal, or hexadecimal after 0x.
bool ParseNumber(const std::string& text, std::uint64_t& value) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* first = text.data() + (hex ? 2 : 0);
    const char* last = text.data() + text.size();
    const auto [end, ec] = std::from_chars(first, last, value, hex ? 16 : 10);
    return first != last && ec == std::errc() && end == last;
}

// The list of --port: names as ParsePortArgument takes them, none twice.
bool SplitPorts(const std::string& text, std::vector<std::string>& ports, std::string& message) {
    ports = SplitAt(text, ',');
    if (ports.size() > 1 && std::find(ports.begin(), ports.end(), "all") != ports.end()) {
        message = "--port all finds every programmer itself: name no other port beside it";
        return false;
    }
    std::set<std::string> seen;
    for (const std::string& port : ports) {
        const std::optional<PortChoice> choice = ParsePortArgument(port);
        if (!choice) {
            message =
                "--port takes COMn (n from 1 to 9999) or a device path, or a comma list of "
                "them, not \"" +
                port + "\"";
            return false;
        }
        const std::string key =
            choice->IsPath() ? choice->path : "COM" + std::to_string(choice->number);
        if (!seen.insert(key).second) {
            message = "--port names " + key + " twice";
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<jobs::SerialSettings> ParseSerialArgument(const std::string& text,
                                                        std::string& error) {
    const std::vector<std::string> parts = SplitAt(text, ':');
    jobs::SerialSettings s;
    std::size_t next = 1;
    const std::string& where = parts[0];
    if (where == "eeprom" || where == "retlw") {
        s.placement.where =
            where == "eeprom" ? jobs::SerialWhere::Eeprom : jobs::SerialWhere::Retlw;
        std::uint64_t address = 0;
        std::uint64_t bytes = 0;
        if (parts.size() < 3 || !ParseNumber(parts[1], address) || !ParseNumber(parts[2], bytes) ||
            address > 0xFFFFFFFF || bytes < 1 || bytes > 8) {
            error = "--serial " + where +
                    ":ADDR:BYTES:START[:STEP] needs an address and 1 to 8 "
                    "bytes, not \"" +
                    text + "\"";
            return std::nullopt;
        }
        s.placement.address = static_cast<std::uint32_t>(address);
        s.placement.bytes = static_cast<unsigned>(bytes);
        next = 3;
    } else if (where == "id") {
        s.placement.where = jobs::SerialWhere::IdLocations;
    } else {
        error =
            "--serial takes eeprom:ADDR:BYTES:START[:STEP], retlw:ADDR:BYTES:START[:STEP] or "
            "id:START[:STEP], not \"" +
            text + "\"";
        return std::nullopt;
    }
    const std::size_t rest = parts.size() - next;
    if ((rest != 1 && rest != 2) || !ParseNumber(parts[next], s.start) ||
        (rest == 2 && (!ParseNumber(parts[next + 1], s.step) || s.step == 0))) {
        error = "--serial " + text +
                ": give the first number and, if not 1, the step (1 or more) "
                "after the place, as in " +
                where + (next == 3 ? ":ADDR:BYTES" : "") + ":1000:1";
        return std::nullopt;
    }
    return s;
}

std::optional<PortChoice> ParsePortArgument(const std::string& text) {
    if (text.empty()) {
        return std::nullopt;
    }
    if (text.size() > 3 && strncasecmp(text.c_str(), "COM", 3) == 0 &&
        text.find_first_not_of("0123456789", 3) == std::string::npos) {
        // The definition string keeps its colon within 8 characters: COM1 to COM9999.
        if (text.size() > 7) {
            return std::nullopt;
        }
        const int number = std::stoi(text.substr(3));
        if (number < 1) {
            return std::nullopt;
        }
        return PortChoice{number, {}};
    }
    if (strncasecmp(text.c_str(), "COM", 3) == 0 && text.find('/') == std::string::npos) {
        // "COM", "COMx": meant as a port name, not a file in the current directory.
        return std::nullopt;
    }
    return PortChoice{0, text};
}

namespace {
// A number no larger than most, decimal or 0x-prefixed hexadecimal.
std::optional<std::uint16_t> ParseCalibrationNumber(const std::string& text, unsigned most) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > 6 ||
        digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") !=
            std::string::npos) {
        return std::nullopt;
    }
    const unsigned long value = std::stoul(digits, nullptr, hex ? 16 : 10);
    if (value > most) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
}
}  // namespace

ParseOutcome ParseCommandLine(const std::vector<std::string>& args, CliOptions& options,
                              std::string& message, std::string& helpOut) {
    CLI::App app{"Programs PIC chips through a Ravonite serial programmer.", "tenlo-cli"};
    // On Windows CLI11 would take an argument starting with "/" for an option, and so every
    // absolute path the Linux shell gives; the commands are set up after this so they inherit it.
    app.allow_windows_style_options(false);
    app.fallthrough();
    app.require_subcommand(1);
    app.footer(
        "Exit codes: 0 success or match, 1 mismatch, 2 usage error, 3 no programmer, port or\n"
        "communication failure, 4 file cannot be opened or is not valid HEX.\n"
        "HEX files use Microchip's layout (data EEPROM inside the program file) unless\n"
        "--data/--data-out name a separate data file.");

    app.add_option("--port", options.port,
                   "Serial port: COMn or a device path (default COM5); a comma list, or all "
                   "(every port where a programmer answers), runs the command on each at once");
    app.add_option("--device", options.device, "Chip name, any case (default PIC16F84A)");
    CLI::Option* simulate =
        app.add_option("--simulate", options.simulateChip,
                       "Serve every port from the built-in virtual programmer, with CHIP in "
                       "its socket (default: the --device chip)")
            ->expected(0, 1)
            ->type_name("[=CHIP]");
    bool noKeep = false;
    bool noCompare = false;
    bool compare = false;
    app.add_flag("--no-keep-calibration", noKeep, "Do not keep calibration data on erase/write");
    app.add_flag("--no-compare-calibration", noCompare, "Do not compare calibration data");
    app.add_flag("--compare-calibration", compare,
                 "Compare calibration data even while it is kept (verify leaves it out then)");
    app.add_flag("--quiet", options.quiet, "No progress bar and no messages on success");
    app.add_flag("--trace", options.trace, "Print the serial trace on standard error");
    app.set_version_flag("--version", std::string("tenlo-cli ") + TENLO_VERSION);
    app.add_flag("--json", options.json,
                 "Print one JSON document on standard output at the end (schema in README)");
    app.add_option("--log", options.logFile,
                   "Append a CSV row per chip to FILE (made with its header when new)");

    std::string memories;
    auto addMemories = [&](CLI::App* sub) {
        return sub->add_option("--memories", memories, "Comma list of program, config, data");
    };

    CLI::App* devices = app.add_subcommand("devices", "List the chip catalogue");
    CLI::App* ping = app.add_subcommand("ping", "Exit 0 when a programmer answers");
    CLI::App* version = app.add_subcommand("version", "Show the programmer's firmware version");

    CLI::App* read = app.add_subcommand("read", "Read the chip into HEX files");
    read->add_option("-o,--output", options.outFile, "Program file (default: standard output)");
    read->add_option("--data-out", options.dataOutFile, "Separate data EEPROM file");
    CLI::Option* readMemories = addMemories(read);

    CLI::App* write = app.add_subcommand("write", "Program, then data, then configuration");
    write->add_option("file", options.programFile, "Program HEX file")->required();
    write->add_option("--data", options.dataFile, "Separate data EEPROM file");
    CLI::Option* writeMemories = addMemories(write);
    write->add_flag("--erase", options.erase, "Erase the chip first");
    bool trustWrite = false;
    CLI::Option* noReadBack =
        write->add_flag("--no-verify", trustWrite,
                        "Do not read back a PIC18 or dsPIC30F write (mid-range writes always are)");
    write->add_flag("--verify", options.verify, "Compare every memory written afterwards")
        ->excludes(noReadBack);
    std::string serial;
    std::string serialFile;
    CLI::Option* serialOption = write->add_option(
        "--serial", serial,
        "Write a number into each chip: eeprom:ADDR:BYTES, retlw:ADDR:BYTES or id, then "
        ":START[:STEP]");
    CLI::Option* serialFileOption = write->add_option(
        "--serial-file", serialFile, "Keep the next serial number in FILE across runs");

    CLI::App* verify =
        app.add_subcommand("verify", "Compare program, configuration, data with the files");
    verify->add_option("file", options.programFile, "Program HEX file")->required();
    verify->add_option("--data", options.dataFile, "Separate data EEPROM file");
    CLI::Option* verifyMemories = addMemories(verify);
    for (CLI::App* sub : {write, verify}) {
        sub->add_option("--set", options.configSet,
                        "Configuration fields changed from the file's: NAME=SETTING[,...] "
                        "(tenlo-cli config lists them)");
    }
    write->add_flag("--strict", options.strict,
                    "Refuse to write a configuration with a trap (protection, LVP, ...)");

    CLI::App* erase = app.add_subcommand("erase", "Erase the chip, then check that it is blank");
    bool noVerify = false;
    erase->add_flag("--no-verify", noVerify, "Do not read the chip back after erasing it");
    for (CLI::App* sub : {read, write, verify, erase}) {
        sub->add_flag("--force", options.force,
                      "Go on although the device ID names no chip or another chip");
    }
    CLI::App* id = app.add_subcommand("id", "Read the device ID and name the chip");
    CLI::App* update =
        app.add_subcommand("update-firmware", "Rewrite the programmer's own firmware");
    update->add_option("--file", options.firmwareFile, "Firmware HEX file");
    CLI::App* calibration = app.add_subcommand(
        "calibration", "Show the chip's factory calibration, or write it back with --set");
    std::string calibrationWord;
    std::string bandGap;
    calibration
        ->add_option("--set", calibrationWord,
                     "Calibration word to write back, a RETLW (0x34xx), as the journal gives it")
        ->type_name("WORD");
    calibration->add_option("--bandgap", bandGap, "Band-gap bits to write back with it (0 to 3)")
        ->type_name("N");
    CLI::App* ports =
        app.add_subcommand("ports", "List the serial ports present and their COM names");
    CLI::App* config = app.add_subcommand(
        "config", "Show a file's configuration (or the chip's, with --read) field by field");
    CLI::Option* configFile = config->add_option("file", options.programFile, "Program HEX file");
    CLI::Option* configRead =
        config->add_flag("--read", options.readConfig, "Read the chip's configuration instead");
    config->add_flag("--force", options.force,
                     "Go on although the device ID names no chip or another chip");
    configRead->excludes(configFile);
    CLI::App* checksum = app.add_subcommand(
        "checksum", "Print the checksum of a HEX file's program and configuration for --device");
    checksum->add_option("file", options.programFile, "Program HEX file")->required();

    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        helpOut = app.help();
        return ParseOutcome::Help;
    } catch (const CLI::CallForAllHelp&) {
        helpOut = app.help("", CLI::AppFormatMode::All);
        return ParseOutcome::Help;
    } catch (const CLI::CallForVersion&) {
        helpOut = app.version() + "\n";
        return ParseOutcome::Help;
    } catch (const CLI::ParseError& e) {
        message = FirstLine(e.what());
        return ParseOutcome::Error;
    }

    options.simulate = simulate->count() > 0;
    options.checkErased = !noVerify;
    options.readBack = !trustWrite;
    options.keepCalibration = !noKeep;
    if (compare && noCompare) {
        message = "--compare-calibration and --no-compare-calibration exclude each other";
        return ParseOutcome::Error;
    }
    options.compareCalibration = compare || (!noCompare && !options.keepCalibration);

    const std::pair<CLI::App*, Command> commands[] = {
        {devices, Command::Devices},
        {ping, Command::Ping},
        {version, Command::Version},
        {read, Command::Read},
        {write, Command::Write},
        {verify, Command::Verify},
        {erase, Command::Erase},
        {id, Command::Id},
        {update, Command::UpdateFirmware},
        {ports, Command::Ports},
        {calibration, Command::Calibration},
        {checksum, Command::Checksum},
    };
    for (const auto& [sub, command] : commands) {
        if (sub->parsed()) {
            options.command = command;
        }
    }
    if (config->parsed()) {
        options.command = Command::Config;
    }

    if (readMemories->count() + writeMemories->count() + verifyMemories->count() > 0) {
        std::string error;
        options.memories = ParseMemoryList(memories, error);
        if (!options.memories) {
            message = error;
            return ParseOutcome::Error;
        }
    }
    if (options.command == Command::Config && !options.readConfig && options.programFile.empty()) {
        message = "config needs a HEX file, or --read for the chip's configuration";
        return ParseOutcome::Error;
    }
    if (!calibrationWord.empty()) {
        options.calibrationWord = ParseCalibrationNumber(calibrationWord, 0x3FFF);
        if (!options.calibrationWord || !jobs::IsRetlw(*options.calibrationWord)) {
            message = "--set takes the calibration word, a RETLW from 0x3400 to 0x34FF, not \"" +
                      calibrationWord + "\"";
            return ParseOutcome::Error;
        }
    }
    if (!bandGap.empty()) {
        options.bandGap = ParseCalibrationNumber(bandGap, 3);
        if (!options.bandGap || calibrationWord.empty()) {
            message = calibrationWord.empty()
                          ? "--bandgap goes with --set"
                          : "--bandgap takes a number from 0 to 3, not \"" + bandGap + "\"";
            return ParseOutcome::Error;
        }
    }
    if (!SplitPorts(options.port, options.ports, message)) {
        return ParseOutcome::Error;
    }
    const bool all = options.ports == std::vector<std::string>{"all"};
    if (all && options.simulate) {
        message =
            "--port all looks for programmers on this machine's ports; with --simulate "
            "name the ports, as in --port COM5,COM6";
        return ParseOutcome::Error;
    }
    const bool several = options.ports.size() > 1 || all;
    if (several && options.command == Command::UpdateFirmware) {
        message = "update-firmware takes one port";
        return ParseOutcome::Error;
    }
    if (several && options.command == Command::Calibration) {
        message = "calibration takes one port: a calibration word belongs to one chip";
        return ParseOutcome::Error;
    }
    if (several && options.command == Command::Config && options.readConfig) {
        message = "config --read takes one port";
        return ParseOutcome::Error;
    }
    if (several && options.trace) {
        message = "--trace takes one port: the traces of several would run together";
        return ParseOutcome::Error;
    }
    if (options.command == Command::Read && options.outFile.empty() && (several || options.json)) {
        message = several ? "read on several ports needs -o (each port's file gets its name)"
                          : "read --json needs -o: the HEX text would share standard output";
        return ParseOutcome::Error;
    }
    if (serialFileOption->count() > 0 && serialOption->count() == 0) {
        message = "--serial-file keeps the numbers of --serial: give --serial too";
        return ParseOutcome::Error;
    }
    if (serialOption->count() > 0) {
        options.serial = ParseSerialArgument(serial, message);
        if (!options.serial) {
            return ParseOutcome::Error;
        }
        options.serial->file = serialFile;
        if (!options.readBack) {
            message =
                "--serial verifies every chip (a number counts once its chip verified): "
                "leave out --no-verify";
            return ParseOutcome::Error;
        }
        // A number counts as used only once its chip verified.
        options.verify = true;
    }
    if (options.device.empty()) {
        message = "--device needs a chip name";
        return ParseOutcome::Error;
    }
    return ParseOutcome::Run;
}

}  // namespace tenlo::cli
