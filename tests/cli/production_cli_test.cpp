// tenlo-cli on several simulated programmers at once, in virtual time: what a user sees at the
// end of a run, what is refused before any port is opened, the log and the serial numbers.

#include <gtest/gtest.h>

#include <algorithm>

#include "cli/progress_board.h"
#include "cli_rig.h"
#include "jobs/production_log.h"

namespace tenlo::cli {
namespace {

using sim::Space;
using testing::CountingBackend;
using testing::ExampleHex;
using testing::ReadFile;
using testing::TempDir;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// A programmer with its chip behind each of COM5, COM6, ..., all in one virtual time.
struct Bench {
    explicit Bench(std::vector<sim::FaultPlan> faults, const std::string& chip = "PIC16F84A") {
        std::vector<std::pair<std::string, std::shared_ptr<IPortBackend>>> ports;
        for (std::size_t i = 0; i < faults.size(); ++i) {
            sockets.push_back(std::make_unique<tenlo::testing::SimSocket>(chip, faults[i]));
            ports.emplace_back("COM" + std::to_string(5 + i),
                               sim::MakeInProcessBackend(sockets.back()->programmer, clock));
        }
        backend = std::make_shared<CountingBackend>(MakePortMap(ports));
    }

    int Run(std::vector<std::string> args) {
        CliEnvironment env;
        env.clock = &clock;
        env.backend = backend;
        const CapturedRun run = RunCliCaptured(args, env);
        out = run.out;
        err = run.err;
        return run.code;
    }

    VirtualClock clock;
    std::vector<std::unique_ptr<tenlo::testing::SimSocket>> sockets;
    std::shared_ptr<CountingBackend> backend;
    std::string out;
    std::string err;
};

sim::FaultPlan NoChip() {
    sim::FaultPlan plan;
    plan.noChip = true;
    return plan;
}

TEST(ProductionCli, EachPortIsToldOnItsLineAndTheWorstCodeEndsTheRun) {
    Bench bench({{}, NoChip(), {}});
    EXPECT_EQ(bench.Run({"--port", "COM5,COM6,COM7", "write", ExampleHex()}), 3) << bench.err;
    const std::vector<std::string> lines = Lines(bench.out);
    ASSERT_EQ(lines.size(), 4u) << bench.out;
    EXPECT_EQ(lines[0], "COM5  PIC16F84A 0x0560 rev 1  written");
    EXPECT_EQ(lines[1].rfind("COM6  ID 0x0000  no chip answers in the socket: the device ID reads "
                             "0x0000",
                             0),
              0u)
        << lines[1];
    EXPECT_EQ(lines[2], "COM7  PIC16F84A 0x0560 rev 1  written");
    EXPECT_EQ(lines[3], "2 of 3 written");
    // A port that failed stopped none of the others.
    EXPECT_EQ(bench.sockets[0]->Peek(Space::Program, 0), 0x2805u);
    EXPECT_EQ(bench.sockets[2]->Peek(Space::Program, 0), 0x2805u);
    EXPECT_FALSE(Has(bench.err, "tenlo-cli:")) << bench.err;

    // --quiet: nothing but each failed port's line.
    EXPECT_EQ(bench.Run({"--quiet", "--port", "COM5,COM6,COM7", "verify", ExampleHex()}), 3);
    EXPECT_EQ(bench.out, "");
    EXPECT_EQ(Lines(bench.err).size(), 1u) << bench.err;
    EXPECT_TRUE(Has(bench.err, "tenlo-cli: COM6: no chip answers")) << bench.err;

    // A port with no programmer behind it is a port that failed like any other.
    EXPECT_EQ(bench.Run({"--port", "COM5,COM9", "id"}), 3);
    EXPECT_TRUE(Has(bench.out, "COM9  -  cannot open the serial port COM9")) << bench.out;
    EXPECT_TRUE(Has(bench.out, "1 of 2 hold the selected chip")) << bench.out;
}

TEST(ProductionCli, WhatIsWrongWithTheCommandIsToldOnceBeforeAnyPortIsOpened) {
    Bench bench(std::vector<sim::FaultPlan>(2));
    TempDir dir;
    const std::vector<std::vector<std::string>> refused = {
        {"--port", "COM5,com5", "id"},
        {"--port", "COM5,", "id"},
        {"--port", "COM5,COM6", "read"},
        {"--port", "COM5,COM6", "--trace", "id"},
        {"--port", "COM5,COM6", "update-firmware"},
        {"write", ExampleHex(), "--serial", "eeprom:0:9:1"},
        {"write", ExampleHex(), "--serial", "flash:0:2:1"},
        {"write", ExampleHex(), "--serial", "id:1:0"},
        {"write", ExampleHex(), "--serial-file", dir.File("s")},
        {"--port", "COM5,COM6", "write", ExampleHex(), "--serial", "eeprom:0x3F:2:1"},
        {"--port", "COM5,COM6", "write", ExampleHex(), "--serial", "retlw:0:2:1", "--memories",
         "config"},
        {"--port", "COM5,COM6", "write", dir.File("none.hex")},
    };
    for (const std::vector<std::string>& args : refused) {
        SCOPED_TRACE(args[2]);
        const int code = bench.Run(args);
        EXPECT_TRUE(code == 2 || code == 4) << code;
        EXPECT_EQ(Lines(bench.err).size(), 1u) << bench.err;
        EXPECT_EQ(bench.out, "");
    }
    EXPECT_EQ(bench.backend->opens, 0);
    bench.Run({"--port", "COM5,COM6", "write", ExampleHex(), "--serial", "eeprom:0x3F:2:1"});
    EXPECT_TRUE(Has(bench.err,
                    "the cells run past the end of the PIC16F84A's data memory (64 "
                    "cells)"))
        << bench.err;
}

TEST(ProductionCli, ReadOnSeveralPortsPutsEachChipInAFileOfItsPort) {
    Bench bench(std::vector<sim::FaultPlan>(2));
    bench.sockets[1]->Poke(Space::Program, 0, 0x0123);
    TempDir dir;
    ASSERT_EQ(bench.Run({"--port", "COM5,COM6", "read", "-o", dir.File("back.hex")}), 0)
        << bench.out;
    // The blank chip's program memory gets no record; the other's first word does.
    EXPECT_FALSE(Has(ReadFile(dir.File("back-COM5.hex")), ":02000000"));
    EXPECT_EQ(ReadFile(dir.File("back-COM6.hex")).rfind(":020000002301DA", 0), 0u);
    EXPECT_TRUE(Has(bench.out, "2 of 2 read")) << bench.out;
}

TEST(ProductionCli, EachChipOfARunGetsItsOwnNumberAndARowInTheLog) {
    Bench bench(std::vector<sim::FaultPlan>(3));
    TempDir dir;
    const std::string log = dir.File("log.csv");
    const std::string serial = dir.File("serial.txt");
    ASSERT_EQ(bench.Run({"--port", "COM5,COM6,COM7", "--log", log, "write", ExampleHex(),
                         "--serial", "retlw:0x3F0:2:0x1234:0x100", "--serial-file", serial}),
              0)
        << bench.out;
    EXPECT_TRUE(Has(bench.out, "3 of 3 written and verified")) << bench.out;
    EXPECT_EQ(ReadFile(serial), std::to_string(0x1234 + 3 * 0x100) + "\n");

    const std::vector<std::string> rows = Lines(ReadFile(log));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0] + "\n", jobs::LogHeader());
    std::vector<unsigned> held;
    for (std::size_t port = 0; port < 3; ++port) {
        // RETLW 0x12, RETLW 0x34 and so on, the lookup table of a program.
        const std::uint32_t high = bench.sockets[port]->Peek(Space::Program, 0x3F0);
        const std::uint32_t low = bench.sockets[port]->Peek(Space::Program, 0x3F1);
        EXPECT_EQ(high & 0x3F00, 0x3400u);
        EXPECT_EQ(low & 0x3F00, 0x3400u);
        held.push_back((high & 0xFF) << 8 | (low & 0xFF));
        const std::string port5 = "COM" + std::to_string(5 + port);
        const auto row = std::find_if(rows.begin() + 1, rows.end(), [&](const std::string& r) {
            return (*jobs::SplitCsvLine(r))[1] == port5;
        });
        ASSERT_NE(row, rows.end());
        const std::vector<std::string> fields = *jobs::SplitCsvLine(*row);
        EXPECT_EQ(fields[7], std::to_string(held.back()));
        EXPECT_EQ(fields[8], "ok");
        EXPECT_EQ(fields[3], "0x0560");
        EXPECT_EQ(fields[4], "1");
    }
    std::sort(held.begin(), held.end());
    EXPECT_EQ(held, (std::vector<unsigned>{0x1234, 0x1334, 0x1434}));

    // A run on one port says the number too; a log that cannot be written fails the run, though
    // the chip itself was written and its number counts.
    // The file's next number goes before the one given to --serial, which only starts a file.
    ASSERT_EQ(bench.Run({"--port", "COM6", "--log", dir.File("no/such/folder.csv"), "write",
                         "--erase", ExampleHex(), "--serial", "id:7", "--serial-file", serial}),
              4);
    EXPECT_TRUE(Has(bench.out, "verified, serial number 5428")) << bench.out;  // 0x1534
    EXPECT_TRUE(Has(bench.err, "cannot append the chip's row to ")) << bench.err;
    EXPECT_EQ(bench.sockets[1]->Peek(Space::Config, 0x2000), 0x1u);
    EXPECT_EQ(bench.sockets[1]->Peek(Space::Config, 0x2001), 0x5u);
    EXPECT_EQ(bench.sockets[1]->Peek(Space::Config, 0x2003), 0x4u);
    // The step is the command's: the file keeps the next number only.
    EXPECT_EQ(ReadFile(serial), std::to_string(0x1534 + 1) + "\n");
}

TEST(ProgressBoard, ATerminalGetsABarPerPortRedrawnInPlaceAndALogGetsPlainLines) {
    std::FILE* screen = std::tmpfile();
    {
        CProgressBoard board(screen, true, true, {"COM5", "/dev/ttyUSB0"});
        board.Port(0)->Open();
        board.Port(0)->SetText("writing");
        board.Port(0)->SetPosition(50);
        board.Port(1)->Open();
        board.Port(1)->SetText("reading");
        board.Ended(0, "written");
        board.Finish();
    }
    std::rewind(screen);
    char text[4096] = {};
    std::fread(text, 1, sizeof text - 1, screen);
    std::fclose(screen);
    const std::string drawn = text;
    EXPECT_TRUE(Has(drawn, "COM5          writing [##########..........] 50%")) << drawn;
    EXPECT_TRUE(Has(drawn, "/dev/ttyUSB0  reading [....................] 0%")) << drawn;
    EXPECT_TRUE(Has(drawn, "\x1b[2A")) << "back up over both bars";
    EXPECT_TRUE(Has(drawn, "COM5          written")) << drawn;

    std::FILE* log = std::tmpfile();
    {
        CProgressBoard board(log, false, true, {"COM5"});
        board.Port(0)->Open();
        board.Port(0)->SetText("writing");
        for (int p = 0; p <= 100; ++p) {
            board.Port(0)->SetPosition(p);
        }
    }
    std::rewind(log);
    char lines[4096] = {};
    std::fread(lines, 1, sizeof lines - 1, log);
    std::fclose(log);
    EXPECT_STREQ(lines,
                 "COM5: writing 0%\nCOM5: writing 25%\nCOM5: writing 50%\nCOM5: writing 75%\n"
                 "COM5: writing 100%\n");
}

}  // namespace
}  // namespace tenlo::cli
