// tenlo-cli where a command could look done and was not: a PIC18 or dsPIC30F cell that will
// not program (against ravonite-sim), named where the user's HEX file puts it; what was read
// lost on a full disk or a closed pipe; two outputs in one file.

#include <cstdio>
#include <initializer_list>

#include "e2e/sim_fixture.h"

namespace tenlo::e2e {
namespace {

// One Intel HEX record with its checksum.
std::string Record(unsigned type, unsigned address, std::initializer_list<unsigned> bytes) {
    char text[16];
    std::snprintf(text, sizeof text, ":%02X%04X%02X", static_cast<unsigned>(bytes.size()),
                  address & 0xFFFF, type);
    std::string line = text;
    unsigned sum = static_cast<unsigned>(bytes.size()) + (address >> 8) + address + type;
    for (const unsigned b : bytes) {
        std::snprintf(text, sizeof text, "%02X", b);
        line += text;
        sum += b;
    }
    std::snprintf(text, sizeof text, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
    return line + text;
}

const std::string kEnd = ":00000001FF\n";

class CliReadBack : public SimEndToEnd {};

TEST_F(CliReadBack, APic18OrDsPic30FCellThatWillNotProgramFailsTheWriteWhereTheFilePutsIt) {
    struct Case {
        const char* chip;
        const char* fault;
        std::string file;
        const char* said;
    };
    const Case cases[] = {
        // Word 8 is bytes 0x10 and 0x11 of the file.
        {"PIC18F452", "stuck:program:8", Record(0, 0x10, {0x34, 0x12}) + kEnd,
         "verifying program memory after writing it failed: verification failed at 0x0010: "
         "chip 0xFFFF, file 0x1234"},
        {"PIC18F452", "stuck:config:0x300001",
         Record(4, 0, {0x00, 0x30}) + Record(0, 1, {0x22}) + kEnd,
         "verifying configuration memory after writing it failed: verification failed at "
         "0x300001: chip 0xFF, file 0x22"},
        {"PIC18F452", "stuck:data:0x10",
         Record(4, 0, {0x00, 0xF0}) + Record(0, 0x10, {0xAA}) + kEnd,
         "verifying data memory after writing it failed: verification failed at 0x0010: chip "
         "0xFF, file 0xAA"},
        // Instruction 0x10: program counter 0x20, file byte 0x40.
        {"dsPIC30F4013", "stuck:program:0x10", Record(0, 0x40, {0x0C, 0x0B, 0x0A, 0x00}) + kEnd,
         "verifying program memory after writing it failed: verification failed at 0x0020: "
         "chip 0xFFFFFF, file 0x0A0B0C"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        std::ofstream(File("p.hex")) << c.file;
        Process sim;
        StartSim(sim, c.chip, {"--fault", c.fault});
        const Result r = Cli({"--device", c.chip, "write", File("p.hex")});
        EXPECT_EQ(r.code, 1) << r.err;
        EXPECT_TRUE(Has(r.err, c.said)) << r.err;
        EXPECT_FALSE(Has(r.out, "wrote")) << r.out;

        // Told not to read back, the write trusts the programmer as it did before.
        const Result trusted = Cli({"--device", c.chip, "write", "--no-verify", File("p.hex")});
        EXPECT_EQ(trusted.code, 0) << trusted.err;
    }
}

TEST_F(CliReadBack, WhatWasReadAndCouldNotBeWrittenIsAFailure) {
    // A full disk, and a reader that goes away before the end.
    for (const char* to : {"> /dev/full", "| true"}) {
        SCOPED_TRACE(to);
        const Result r =
            Run({"/bin/bash", "-c",
                 std::string("\"$0\" --simulate read ") + to + "; exit ${PIPESTATUS[0]}",
                 TENLO_CLI_PATH},
                60000ms);
        EXPECT_EQ(r.code, 4) << r.err;
        EXPECT_TRUE(Has(r.err, "standard output")) << r.err;
        EXPECT_TRUE(Has(r.err, "what was read is lost")) << r.err;
    }
    const Result full = Cli({"--simulate", "read", "-o", "/dev/full"});
    EXPECT_EQ(full.code, 4) << full.err;
    const Result devices =
        Run({"/bin/bash", "-c", "\"$0\" devices > /dev/full", TENLO_CLI_PATH}, 60000ms);
    EXPECT_EQ(devices.code, 4) << devices.err;

    std::ofstream(File("keep.hex")) << kEnd;
    const Result same = Cli({"--simulate", "read", "-o", File("keep.hex"), "--data-out",
                             dir_.string() + "/./keep.hex"});
    EXPECT_EQ(same.code, 2) << same.err;
    EXPECT_TRUE(Has(same.err, "the data would overwrite the program")) << same.err;
    EXPECT_EQ(Slurp(File("keep.hex")), kEnd) << "refused before anything was read";
}

}  // namespace
}  // namespace tenlo::e2e
