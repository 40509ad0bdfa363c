#include <gtest/gtest.h>

#include "cli/cli_options.h"

namespace tenlo::cli {
namespace {

struct Parsed {
    ParseOutcome outcome;
    CliOptions options;
    std::string message;
    std::string help;
};

Parsed Parse(std::vector<std::string> args) {
    Parsed p{};
    p.outcome = ParseCommandLine(args, p.options, p.message, p.help);
    return p;
}

TEST(CliOptions, DefaultsAreThoseOfTheApplication) {
    const Parsed p = Parse({"ping"});
    ASSERT_EQ(p.outcome, ParseOutcome::Run) << p.message;
    EXPECT_EQ(p.options.command, Command::Ping);
    EXPECT_EQ(p.options.port, "COM5");
    EXPECT_EQ(p.options.device, "PIC16F84A");
    EXPECT_TRUE(p.options.keepCalibration);
    // A kept calibration word is the chip's own, not the file's: verify leaves it out.
    EXPECT_FALSE(p.options.compareCalibration);
    EXPECT_FALSE(p.options.simulate);
    EXPECT_FALSE(p.options.quiet);
    EXPECT_FALSE(p.options.trace);
    EXPECT_FALSE(p.options.memories.has_value());
}

TEST(CliOptions, GlobalOptionsGoBeforeOrAfterTheCommand) {
    const Parsed p =
        Parse({"--device", "pic16f877a", "write", "a.hex", "--port", "COM7", "--erase", "--quiet",
               "--no-keep-calibration", "--data", "d.hex", "--memories", "program,data"});
    ASSERT_EQ(p.outcome, ParseOutcome::Run) << p.message;
    EXPECT_EQ(p.options.command, Command::Write);
    EXPECT_EQ(p.options.device, "pic16f877a");
    EXPECT_EQ(p.options.programFile, "a.hex");
    EXPECT_EQ(p.options.dataFile, "d.hex");
    EXPECT_EQ(p.options.port, "COM7");
    EXPECT_TRUE(p.options.erase);
    EXPECT_TRUE(p.options.quiet);
    EXPECT_FALSE(p.options.keepCalibration);
    EXPECT_TRUE(p.options.compareCalibration) << "not kept, so written from the file";
    ASSERT_TRUE(p.options.memories.has_value());
    EXPECT_EQ(*p.options.memories, (MemorySet{true, false, true}));
}

TEST(CliOptions, SimulateTakesAnOptionalChipButNeverTheCommand) {
    Parsed p = Parse({"--simulate", "ping"});
    ASSERT_EQ(p.outcome, ParseOutcome::Run) << p.message;
    EXPECT_TRUE(p.options.simulate);
    EXPECT_EQ(p.options.simulateChip, "");
    EXPECT_EQ(p.options.command, Command::Ping);

    p = Parse({"--simulate=PIC16F877A", "id"});
    ASSERT_EQ(p.outcome, ParseOutcome::Run) << p.message;
    EXPECT_TRUE(p.options.simulate);
    EXPECT_EQ(p.options.simulateChip, "PIC16F877A");
    EXPECT_EQ(p.options.command, Command::Id);
}

TEST(CliOptions, ReadAndUpdateOptions) {
    Parsed p = Parse(
        {"read", "-o", "p.hex", "--data-out", "d.hex", "--trace", "--no-compare-calibration"});
    ASSERT_EQ(p.outcome, ParseOutcome::Run) << p.message;
    EXPECT_EQ(p.options.command, Command::Read);
    EXPECT_EQ(p.options.outFile, "p.hex");
    EXPECT_EQ(p.options.dataOutFile, "d.hex");
    EXPECT_TRUE(p.options.trace);
    EXPECT_FALSE(p.options.compareCalibration);
    p = Parse({"verify", "p.hex", "--compare-calibration"});
    EXPECT_TRUE(p.options.compareCalibration);
    p = Parse({"--no-keep-calibration", "--no-compare-calibration", "verify", "p.hex"});
    EXPECT_FALSE(p.options.compareCalibration);
    p = Parse({"--compare-calibration", "--no-compare-calibration", "verify", "p.hex"});
    EXPECT_EQ(p.outcome, ParseOutcome::Error);

    p = Parse({"update-firmware", "--file", "fw.hex"});
    ASSERT_EQ(p.outcome, ParseOutcome::Run) << p.message;
    EXPECT_EQ(p.options.command, Command::UpdateFirmware);
    EXPECT_EQ(p.options.firmwareFile, "fw.hex");

    for (const char* command : {"devices", "version", "erase", "id", "verify"}) {
        std::vector<std::string> args{command};
        if (std::string(command) == "verify") {
            args.push_back("x.hex");
        }
        EXPECT_EQ(Parse(args).outcome, ParseOutcome::Run) << command;
    }
}

TEST(CliOptions, UsageErrorsGiveOneLine) {
    const std::vector<std::vector<std::string>> bad = {
        {},                                        // no command
        {"frobnicate"},                            // unknown command
        {"write"},                                 // file missing
        {"verify"},                                // file missing
        {"ping", "--bogus"},                       // unknown option
        {"ping", "extra"},                         // stray argument
        {"read", "--memories", "program,eeprom"},  // unknown memory
        {"read", "--memories", ""},                // empty list
        {"--port", "COMX", "ping"},                // neither COMn nor a path
        {"--port", "COM0", "ping"},                // no port 0
        {"--port", "COM12345", "ping"},            // longer than a definition allows
        {"--device", "", "ping"},
        {"ping", "read"},  // two commands
    };
    for (const auto& args : bad) {
        const Parsed p = Parse(args);
        std::string joined;
        for (const auto& a : args) {
            joined += a + " ";
        }
        EXPECT_EQ(p.outcome, ParseOutcome::Error) << joined;
        EXPECT_FALSE(p.message.empty()) << joined;
        EXPECT_EQ(p.message.find('\n'), std::string::npos) << joined << ": " << p.message;
    }
    EXPECT_NE(Parse({"read", "--memories", "program,eeprom"}).message.find("eeprom"),
              std::string::npos);
}

TEST(CliOptions, HelpListsTheCommands) {
    const Parsed p = Parse({"--help"});
    ASSERT_EQ(p.outcome, ParseOutcome::Help);
    for (const char* word : {"devices", "ping", "version", "read", "write", "verify", "erase", "id",
                             "update-firmware", "ports", "--simulate", "Exit codes"}) {
        EXPECT_NE(p.help.find(word), std::string::npos) << word;
    }
}

TEST(CliOptions, VersionAndPorts) {
    // --version is the program's own; the command "version" asks the programmer.
    Parsed p = Parse({"--version"});
    ASSERT_EQ(p.outcome, ParseOutcome::Help);
    EXPECT_EQ(p.help, std::string("tenlo-cli ") + TENLO_VERSION + "\n");
    EXPECT_EQ(Parse({"version"}).options.command, Command::Version);

    p = Parse({"ports"});
    ASSERT_EQ(p.outcome, ParseOutcome::Run) << p.message;
    EXPECT_EQ(p.options.command, Command::Ports);
    EXPECT_FALSE(p.options.json);
    p = Parse({"ports", "--json"});
    ASSERT_EQ(p.outcome, ParseOutcome::Run) << p.message;
    EXPECT_TRUE(p.options.json);
    EXPECT_TRUE(Parse({"ping", "--json"}).options.json);
    // all finds the programmers itself; a simulation has no ports to look through.
    EXPECT_EQ(Parse({"--port", "all,COM5", "ping"}).outcome, ParseOutcome::Error);
    EXPECT_EQ(Parse({"--port", "all", "--simulate", "ping"}).outcome, ParseOutcome::Error);
    EXPECT_EQ(Parse({"--port", "all", "update-firmware"}).outcome, ParseOutcome::Error);
}

TEST(CliOptions, AbsolutePathsAreFilesOnEveryOperatingSystem) {
    Parsed p = Parse({"write", "/work/blink.hex", "--data", "/work/eeprom.hex"});
    ASSERT_EQ(p.outcome, ParseOutcome::Run) << p.message;
    EXPECT_EQ(p.options.programFile, "/work/blink.hex");
    EXPECT_EQ(p.options.dataFile, "/work/eeprom.hex");
    p = Parse({"--port", "/dev/ttyUSB0", "read", "-o", "/tmp/back.hex"});
    ASSERT_EQ(p.outcome, ParseOutcome::Run) << p.message;
    EXPECT_EQ(p.options.port, "/dev/ttyUSB0");
    EXPECT_EQ(p.options.outFile, "/tmp/back.hex");
    // Not a Windows-style option either.
    EXPECT_EQ(Parse({"/quiet", "ping"}).outcome, ParseOutcome::Error);
}

TEST(CliOptions, PortArgument) {
    auto com = ParsePortArgument("com12");
    ASSERT_TRUE(com);
    EXPECT_FALSE(com->IsPath());
    EXPECT_EQ(com->number, 12);
    EXPECT_EQ(ParsePortArgument("COM9999")->number, 9999);

    auto path = ParsePortArgument("/dev/ttyUSB0");
    ASSERT_TRUE(path);
    EXPECT_TRUE(path->IsPath());
    EXPECT_EQ(path->path, "/dev/ttyUSB0");
    // A name in the current folder is a path too, unless it looks like a port name.
    EXPECT_TRUE(ParsePortArgument("ttyS0")->IsPath());
    EXPECT_TRUE(ParsePortArgument("./COM5")->IsPath());

    EXPECT_FALSE(ParsePortArgument(""));
    EXPECT_FALSE(ParsePortArgument("COM"));
    EXPECT_FALSE(ParsePortArgument("COM0"));
    EXPECT_FALSE(ParsePortArgument("COM5x"));
    EXPECT_FALSE(ParsePortArgument("COM10000"));
}

}  // namespace
}  // namespace tenlo::cli
