// tenlo-cli on several simulated programmers at once, in virtual time: what a user sees at the
// end of a run, what is refused before any port is opened, the log and the serial numbers.

#include <gtest/gtest.h>

#include <algorithm>

#include "cli/progress_board.h"
#include "cli_rig.h"
#include "hexfile/hex_test_util.h"
#include "jobs/production_log.h"
#include "support/json_document.h"
#include "support/state_home.h"

namespace tenlo::cli {
namespace {

using sim::Space;
using tenlo::testing::JsonDocument;
using tenlo::testing::JsonText;
using tenlo::testing::JsonValue;
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
        env.listPorts = listPorts;
        const CapturedRun run = RunCliCaptured(args, env);
        out = run.out;
        err = run.err;
        return run.code;
    }

    VirtualClock clock;
    std::vector<std::unique_ptr<tenlo::testing::SimSocket>> sockets;
    std::shared_ptr<CountingBackend> backend;
    std::function<std::vector<std::string>()> listPorts;
    std::string out;
    std::string err;
};

sim::FaultPlan NoChip() {
    sim::FaultPlan plan;
    plan.noChip = true;
    return plan;
}

JsonValue OnlyPort(const JsonValue& doc) {
    const JsonValue ports = doc["ports"].toArray();
    EXPECT_EQ(ports.size(), 1);
    return ports.isEmpty() ? JsonValue() : ports[0];
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
    EXPECT_EQ(lines[3], "2 of 3 written, file checksum 0x9D55");
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

TEST(JsonOutput, EveryCommandOnAGoodChipEndsInOneDocumentOfWhatItDid) {
    Bench bench(std::vector<sim::FaultPlan>(1));
    TempDir dir;
    ASSERT_EQ(bench.Run({"--json", "--port", "COM5", "write", ExampleHex()}), 0) << bench.err;
    JsonValue doc = JsonDocument(bench.out);
    EXPECT_EQ(JsonText(doc["command"]), "write");
    EXPECT_EQ(JsonText(doc["chip"]), "PIC16F84A");
    EXPECT_EQ(JsonText(doc["file"]), ExampleHex());
    EXPECT_EQ(doc["exitCode"].toInt(), 0);
    EXPECT_EQ(doc["succeeded"].toInt(), 1);
    JsonValue port = OnlyPort(doc);
    EXPECT_EQ(JsonText(port["port"]), "COM5");
    EXPECT_EQ(JsonText(port["result"]), "ok");
    EXPECT_EQ(port["deviceIdWord"].toInt(), 0x0561);
    EXPECT_EQ(port["deviceId"].toInt(), 0x0560);
    EXPECT_EQ(port["revision"].toInt(), 1);
    EXPECT_EQ(port["chipsNamed"].toArray()[0].toString(), "PIC16F84A");
    std::vector<std::string> memories;
    for (const JsonValue& m : port["memories"].toArray()) {
        memories.push_back(JsonText(m.toObject()["memory"]) + " " +
                           JsonText(m.toObject()["result"]));
    }
    EXPECT_EQ(memories, (std::vector<std::string>{"program ok", "data ok", "config ok"}));
    EXPECT_TRUE(port["failure"].isNull());
    EXPECT_TRUE(port["difference"].isNull());
    EXPECT_GE(port["seconds"].toDouble(), 0.0);
    // The chip was written with the file: its checksum is the file's.
    EXPECT_EQ(port["checksum"].toInt(), doc["checksum"].toInt());

    const std::vector<std::vector<std::string>> commands = {
        {"verify", ExampleHex()},
        {"read", "-o", dir.File("back.hex")},
        {"id"},
        {"ping"},
        {"version"},
        {"erase"},
        {"checksum", ExampleHex()},
        {"devices"},
    };
    for (const std::vector<std::string>& command : commands) {
        SCOPED_TRACE(command[0]);
        std::vector<std::string> args = {"--json", "--port", "COM5"};
        args.insert(args.end(), command.begin(), command.end());
        ASSERT_EQ(bench.Run(args), 0) << bench.err;
        doc = JsonDocument(bench.out);
        EXPECT_EQ(JsonText(doc["command"]), command[0]);
        EXPECT_EQ(doc["exitCode"].toInt(), 0);
        if (command[0] == "checksum") {
            EXPECT_TRUE(doc["ports"].toArray().isEmpty());
        } else if (command[0] == "devices") {
            EXPECT_EQ(doc["devices"].toArray().size(), kCatalogueSize);
        } else {
            EXPECT_EQ(JsonText(OnlyPort(doc)["result"]), "ok");
        }
    }
}

TEST(JsonOutput, TheChecksumOfAFileIsTheOneItsChipReadsBackWith) {
    Bench bench(std::vector<sim::FaultPlan>(1));
    TempDir dir;
    ASSERT_EQ(bench.Run({"checksum", ExampleHex()}), 0);
    const std::string sum = bench.out.substr(0, 6);
    EXPECT_EQ(bench.out,
              sum + "  " + ExampleHex() + " (PIC16F84A program memory and configuration)\n");

    ASSERT_EQ(bench.Run({"--port", "COM5", "write", ExampleHex()}), 0);
    EXPECT_TRUE(Has(bench.out, "checksum " + sum)) << bench.out;
    ASSERT_EQ(bench.Run({"--port", "COM5", "verify", ExampleHex()}), 0);
    EXPECT_TRUE(Has(bench.out, "file checksum " + sum)) << bench.out;
    ASSERT_EQ(bench.Run({"--port", "COM5", "read", "-o", dir.File("back.hex")}), 0);
    EXPECT_TRUE(Has(bench.out, "checksum " + sum)) << bench.out;
    // What was read, as a file, sums the same; one word changed, and the sum moves.
    ASSERT_EQ(bench.Run({"checksum", dir.File("back.hex")}), 0);
    EXPECT_EQ(bench.out.substr(0, 6), sum);
    bench.sockets[0]->Poke(Space::Program, 0x100, 0x0000);
    ASSERT_EQ(bench.Run({"--port", "COM5", "read", "-o", dir.File("changed.hex")}), 0);
    EXPECT_FALSE(Has(bench.out, "checksum " + sum)) << bench.out;

    // Data memory stays out of it: the EEPROM a chip logs into does not move its checksum.
    ASSERT_EQ(bench.Run({"--port", "COM5", "write", "--erase", ExampleHex()}), 0);
    bench.sockets[0]->Poke(Space::Data, 0x3F, 0x12);
    ASSERT_EQ(bench.Run({"--port", "COM5", "read", "-o", dir.File("logged.hex")}), 0);
    EXPECT_TRUE(Has(bench.out, "checksum " + sum)) << bench.out;
}

TEST(JsonOutput, EveryFailureOfTheFaultMatrixParsesAndNamesItsCauseAndPhase) {
    struct Case {
        const char* name;
        sim::FaultPlan fault;
        std::vector<std::string> command;
        int code;
        const char* failure;
        const char* cause;
        const char* phase;
    };
    sim::FaultPlan noAck;
    noAck.noAckFrames = {600};
    sim::FaultPlan badAck;
    badAck.badAcks = {{600, 0x00}};
    sim::FaultPlan silence;
    silence.silenceFromByte = 500;
    sim::FaultPlan disconnect;
    disconnect.disconnectAtByte = 40;
    sim::FaultPlan stuck;
    stuck.stuckCells = {{Space::Program, 0x10}};
    TempDir dir;
    const std::string hex = ExampleHex();
    const std::vector<Case> cases = {
        {"noack", noAck, {"write", hex}, 3, "line-failed", "line-failed", "writing"},
        {"badack", badAck, {"write", hex}, 3, "line-failed", "line-failed", "writing"},
        {"silence", silence, {"write", hex}, 3, "line-failed", "line-failed", "writing"},
        {"disconnect",
         disconnect,
         {"read", "-o", dir.File("r.hex")},
         3,
         "line-failed",
         "line-failed",
         "reading"},
        {"nochip", NoChip(), {"verify", hex}, 3, "no-chip", "no-chip", "socket-check"},
        {"stuck", stuck, {"write", hex}, 1, "mismatch", "will-not-program", "writing"},
        {"blank", {}, {"verify", hex}, 1, "mismatch", "mismatch", "comparing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench({c.fault});
        std::vector<std::string> args = {"--json", "--port", "COM5"};
        args.insert(args.end(), c.command.begin(), c.command.end());
        EXPECT_EQ(bench.Run(args), c.code) << bench.err;
        const JsonValue doc = JsonDocument(bench.out);
        EXPECT_EQ(doc["exitCode"].toInt(), c.code);
        const JsonValue port = OnlyPort(doc);
        EXPECT_EQ(port["exitCode"].toInt(), c.code);
        EXPECT_EQ(JsonText(port["failure"]), c.failure);
        EXPECT_EQ(JsonText(port["cause"]), c.cause);
        EXPECT_EQ(JsonText(port["phase"]), c.phase);
        EXPECT_FALSE(JsonText(port["message"]).empty());
        // The line a person reads goes to standard error all the same.
        EXPECT_TRUE(Has(bench.err, "tenlo-cli: COM5: ")) << bench.err;
    }
}

TEST(JsonOutput, AnotherChipAndACellThatWillNotEraseAreCausesToo) {
    Bench other(std::vector<sim::FaultPlan>(1), "PIC16F628A");
    EXPECT_EQ(other.Run({"--json", "--port", "COM5", "write", ExampleHex()}), 1);
    JsonValue port = OnlyPort(JsonDocument(other.out));
    EXPECT_EQ(JsonText(port["cause"]), "other-chip");
    EXPECT_EQ(JsonText(port["chipsNamed"][0]), "PIC16F628A");

    sim::FaultPlan stuck;
    stuck.stuckCells = {{Space::Program, 0x10}};
    Bench erase({stuck});
    erase.sockets[0]->Poke(Space::Program, 0x10, 0x0000);
    EXPECT_EQ(erase.Run({"--json", "--port", "COM5", "erase"}), 1);
    port = OnlyPort(JsonDocument(erase.out));
    EXPECT_EQ(JsonText(port["cause"]), "will-not-erase");
    EXPECT_EQ(JsonText(port["phase"]), "erase-read-back");
    EXPECT_EQ(port["difference"].toObject()["address"].toInt(), 0x10);
}

TEST(JsonOutput, NamesWithControlCharactersAndBytesThatAreNoUtf8StillParse) {
    Bench bench(std::vector<sim::FaultPlan>(1));
    const std::string port = "/nowhere/tty\x01\"\xff\\";
    EXPECT_EQ(bench.Run({"--json", "--port", port, "ping"}), 3);
    const JsonValue doc = JsonDocument(bench.out);
    EXPECT_EQ(JsonText(OnlyPort(doc)["port"]), "/nowhere/tty\x01\"\xEF\xBF\xBD\\");
    EXPECT_EQ(JsonText(OnlyPort(doc)["failure"]), "port-not-opened");

    // The reader is as strict as the format: what a careless writer makes is refused.
    for (const char* broken : {"{\"a\":1}x", "{\"a\":\"\x01\"}", "{\"a\":01}", "{\"a\":[1,]}",
                               "{\"a\":\"\\ud800\"}", "{'a':1}"}) {
        JsonValue value;
        std::string error;
        EXPECT_FALSE(tenlo::testing::CJsonReader(broken).Parse(value, error)) << broken;
    }
}

TEST(JsonOutput, ADifferenceNamesItsMemoryAddressAndBothValues) {
    Bench bench(std::vector<sim::FaultPlan>(1));
    ASSERT_EQ(bench.Run({"--port", "COM5", "write", ExampleHex()}), 0);
    bench.sockets[0]->Poke(Space::Data, 0x05, 0x77);
    EXPECT_EQ(bench.Run({"--json", "--port", "COM5", "verify", ExampleHex()}), 1);
    const JsonValue port = OnlyPort(JsonDocument(bench.out));
    const JsonValue cell = port["difference"].toObject();
    EXPECT_EQ(JsonText(cell["memory"]), "data");
    EXPECT_EQ(cell["address"].toInt(), 5);
    EXPECT_EQ(cell["chipValue"].toInt(), 0x77);
    EXPECT_EQ(JsonText(port["result"]), "mismatch");
}

TEST(JsonOutput, ARunRefusedBeforeAnyPortOpensIsADocumentToo) {
    Bench bench(std::vector<sim::FaultPlan>(1));
    TempDir dir;
    const std::string garbage = dir.File("garbage.hex");
    std::FILE* f = std::fopen(garbage.c_str(), "w");
    std::fputs("not hex\n", f);
    std::fclose(f);
    const struct {
        std::vector<std::string> args;
        int code;
        const char* failure;
    } cases[] = {
        {{"--json", "write", garbage}, 4, "file-not-hex"},
        {{"--json", "write", dir.File("none.hex")}, 4, "file-not-opened"},
        {{"--json", "--device", "PIC99", "id"}, 2, "unknown-device"},
        {{"--json", "frobnicate"}, 2, "bad-arguments"},
        {{"--json", "--port", "COM5,COM5", "id"}, 2, "bad-arguments"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        EXPECT_EQ(bench.Run(c.args), c.code);
        const JsonValue doc = JsonDocument(bench.out);
        EXPECT_EQ(doc["exitCode"].toInt(), c.code);
        EXPECT_EQ(JsonText(doc["failure"]), c.failure);
        EXPECT_TRUE(doc["ports"].toArray().isEmpty());
        EXPECT_EQ(Lines(bench.err).size(), 1u) << bench.err;
    }
    EXPECT_EQ(bench.backend->opens, 0);
}

TEST(JsonOutput, SeveralPortsGiveAnObjectEachWithTheWorstCodeAbove) {
    sim::FaultPlan silence;
    silence.silenceFromByte = 500;
    Bench bench({{}, silence, {}});
    TempDir dir;
    EXPECT_EQ(bench.Run({"--json", "--port", "COM5,COM6,COM7", "--log", dir.File("log.csv"),
                         "write", ExampleHex(), "--serial", "eeprom:0:2:100"}),
              3);
    const JsonValue doc = JsonDocument(bench.out);
    EXPECT_EQ(doc["exitCode"].toInt(), 3);
    EXPECT_EQ(doc["succeeded"].toInt(), 2);
    const JsonValue ports = doc["ports"].toArray();
    ASSERT_EQ(ports.size(), 3);
    std::vector<std::int64_t> serials;
    for (int i = 0; i < 3; ++i) {
        const JsonValue port = ports[i].toObject();
        EXPECT_EQ(JsonText(port["port"]), "COM" + std::to_string(5 + i));
        if (i == 1) {
            EXPECT_EQ(JsonText(port["cause"]), "line-failed");
            EXPECT_TRUE(port["programmerSilent"].toBool());
        } else {
            EXPECT_EQ(JsonText(port["result"]), "ok");
            serials.push_back(port["serial"].toInteger());
            // The number went into the chip, so the chip's checksum is no longer the file's
            // only where the number sits in program or configuration memory.
            EXPECT_EQ(port["checksum"].toInt(), doc["checksum"].toInt());
        }
    }
    std::sort(serials.begin(), serials.end());
    EXPECT_EQ(serials, (std::vector<std::int64_t>{100, 101}));
    // The log's rows carry the file's checksum as the document does.
    const std::vector<std::string> rows = Lines(ReadFile(dir.File("log.csv")));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ((*jobs::SplitCsvLine(rows[1]))[6],
              Hex(static_cast<std::uint32_t>(doc["checksum"].toInt())));
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

// A PIC16F877A program word and its configuration word (HS, nothing protected, LVP off).
std::string MidRangeFile(TempDir& dir) {
    using hextest::Rec;
    return dir.Write("877a.hex", hextest::Lines({Rec(0, 0x0000, {0x05, 0x28}),
                                                 Rec(0, 0x400E, {0x72, 0x3F}), hextest::kEnd}));
}

TEST(ProductionCli, AConfigurationTrapIsToldOnceForAllPortsAndStrictRefusesItOnEach) {
    TempDir dir;
    const std::string file = MidRangeFile(dir);
    const std::string warning = "tenlo-cli: warning: low-voltage programming is on (LVP = ON)";
    Bench bench(std::vector<sim::FaultPlan>(2), "PIC16F877A");
    ASSERT_EQ(bench.Run({"--device", "PIC16F877A", "--port", "COM5,COM6", "write", file, "--set",
                         "LVP=ON"}),
              0)
        << bench.err;
    EXPECT_EQ(Count(bench.err, warning), 1u) << bench.err;
    for (const auto& socket : bench.sockets) {
        EXPECT_EQ(socket->Peek(Space::Config, 0x2007), 0x3FF2u);
    }

    Bench strict(std::vector<sim::FaultPlan>(2), "PIC16F877A");
    EXPECT_EQ(strict.Run({"--device", "PIC16F877A", "--port", "COM5,COM6", "write", file, "--set",
                          "LVP=ON", "--strict"}),
              1);
    EXPECT_EQ(Count(strict.err, warning), 1u) << strict.err;
    EXPECT_EQ(Count(strict.out, "nothing written: --strict"), 2u) << strict.out;
    for (const auto& socket : strict.sockets) {
        EXPECT_EQ(socket->Peek(Space::Program, 0), 0x3FFFu);
    }

    // The document says why, with the traps the port would not write.
    EXPECT_EQ(strict.Run({"--json", "--device", "PIC16F877A", "--port", "COM5", "write", file,
                          "--set", "LVP=ON", "--strict"}),
              1);
    const JsonValue port = OnlyPort(JsonDocument(strict.out));
    EXPECT_EQ(JsonText(port["cause"]), "declined");
    EXPECT_TRUE(port["phase"].isNull());
    EXPECT_EQ(JsonText(port["traps"][0]["kind"]), "low-voltage-programming");
    EXPECT_EQ(JsonText(port["traps"][0]["level"]), "warning");
}

TEST(JsonOutput, TheCalibrationAndWhatEndangersItAreInTheDocument) {
    TempDir dir;
    const tenlo::testing::StateHome home(dir.File("state"));
    Bench bench(std::vector<sim::FaultPlan>(1), "PIC12F629");
    ASSERT_EQ(bench.Run({"--json", "--device", "PIC12F629", "--port", "COM5", "calibration"}), 0)
        << bench.err;
    JsonValue port = OnlyPort(JsonDocument(bench.out));
    EXPECT_EQ(port["calibration"]["word"].toInt(), 0x3480);
    EXPECT_EQ(port["calibration"]["bandGap"].toInt(), 3);

    // A calibration word that was lost is not kept: its cell is the difference.
    bench.sockets[0]->Poke(Space::Program, 0x3FF, 0x3FFF);
    const std::string program = dir.Write("p.hex", ":020000000528D1\n:00000001FF\n");
    EXPECT_EQ(bench.Run({"--json", "--device", "PIC12F629", "--port", "COM5", "write", program}),
              1);
    port = OnlyPort(JsonDocument(bench.out));
    EXPECT_EQ(JsonText(port["cause"]), "not-calibration");
    EXPECT_EQ(JsonText(port["phase"]), "calibration-read");
    EXPECT_EQ(port["difference"]["address"].toInt(), 0x3FF);
    EXPECT_EQ(port["difference"]["chipValue"].toInt(), 0x3FFF);

    // A journal that cannot be written: nothing erased, and the values it would have held.
    const std::string blocker = dir.Write("blocked", "a file where the folder would go");
    const tenlo::testing::StateHome blocked(blocker);
    Bench erase(std::vector<sim::FaultPlan>(1), "PIC12F629");
    EXPECT_EQ(erase.Run({"--json", "--device", "PIC12F629", "--port", "COM5", "erase"}), 4);
    port = OnlyPort(JsonDocument(erase.out));
    EXPECT_EQ(JsonText(port["cause"]), "not-recorded");
    EXPECT_EQ(JsonText(port["failure"]), "file-not-written");
    EXPECT_EQ(port["calibrationAtRisk"]["word"].toInt(), 0x3480);
    EXPECT_FALSE(port["calibrationAtRisk"]["recorded"].toBool());
}

TEST(ProductionCli, MergedOptionsThatCannotGoTogetherAreRefused) {
    Bench bench(std::vector<sim::FaultPlan>(2), "PIC12F629");
    const std::vector<std::vector<std::string>> refused = {
        {"--port", "COM5,COM6", "--device", "PIC12F629", "calibration"},
        {"--port", "COM5,COM6", "config", "--read"},
        {"write", ExampleHex(), "--verify", "--no-verify"},
        {"write", ExampleHex(), "--serial", "eeprom:0:2:1", "--no-verify"},
    };
    for (const std::vector<std::string>& args : refused) {
        SCOPED_TRACE(args.back());
        EXPECT_EQ(bench.Run(args), 2) << bench.err;
    }
    EXPECT_EQ(bench.backend->opens, 0);
}

TEST(PortAll, EveryPortWhereAProgrammerAnswersAndNoOther) {
    Bench bench(std::vector<sim::FaultPlan>(2));
    // COM9 opens on nothing, COM8 has no programmer on this bench's map either.
    bench.listPorts = [] { return std::vector<std::string>{"COM8", "COM5", "COM9", "COM6"}; };
    ASSERT_EQ(bench.Run({"--port", "all", "write", ExampleHex()}), 0) << bench.err;
    EXPECT_EQ(Lines(bench.out), (std::vector<std::string>{"COM5  PIC16F84A 0x0560 rev 1  written",
                                                          "COM6  PIC16F84A 0x0560 rev 1  written",
                                                          "2 of 2 written, file checksum 0x9D55"}));
    bench.listPorts = [] { return std::vector<std::string>{"COM8"}; };
    EXPECT_EQ(bench.Run({"--port", "all", "id"}), 3);
    EXPECT_TRUE(Has(bench.err, "no programmer answers on any serial port")) << bench.err;
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
