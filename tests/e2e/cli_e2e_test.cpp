// tenlo-cli as a user runs it, against ravonite-sim serving a pseudo-terminal in a private
// port directory. Every byte crosses a real pty at the firmware's pace, so the chip is the
// small PIC16F84A and the runs are few.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "e2e/chip84a_image.h"
#include "e2e/sim_fixture.h"

namespace tenlo::e2e {
namespace {

namespace fs = std::filesystem;

using CliEndToEnd = SimEndToEnd;

TEST_F(CliEndToEnd, EraseWriteVerifyReadBackAndCompare) {
    Process sim;
    StartSim(sim);

    Result r = Cli({"erase"});
    ASSERT_EQ(r.code, 0) << r.err;

    r = Cli({"write", EXAMPLE_HEX});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "wrote program, config and data")) << r.out;

    r = Cli({"verify", EXAMPLE_HEX});
    ASSERT_EQ(r.code, 0) << r.err;

    const std::string back = File("back.hex");
    r = Cli({"read", "-o", back});
    ASSERT_EQ(r.code, 0) << r.err;
    Chip84A example;
    Chip84A read;
    ASSERT_TRUE(example.Load(EXAMPLE_HEX));
    ASSERT_TRUE(read.Load(back)) << Slurp(back);
    EXPECT_EQ(read.program, example.program);
    EXPECT_EQ(read.data, example.data);
    for (std::size_t i : {0, 1, 2, 3, 7}) {
        EXPECT_EQ(read.Config(i), example.Config(i)) << i;
    }
    EXPECT_EQ(read.Config(6) & 0x3FE0, 0x0560);  // the chip's own ID word came along

    // One word changed: exit 1 and the report names memory, address and both values.
    std::string text = Slurp(EXAMPLE_HEX);
    const std::string from = ":08000800090083168601831232";  // words 4-7
    const std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos);
    text.replace(at, from.size(), ":08000800090083168601841231");  // word 7: 0x1283 -> 0x1284
    const std::string changed = File("changed.hex");
    std::ofstream(changed) << text;
    r = Cli({"verify", changed});
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_TRUE(Has(r.err, "program memory differs at 0x0007: chip 0x1283, file 0x1284")) << r.err;

    r = Cli({"erase"});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string empty = File("empty.hex");
    std::ofstream(empty) << ":00000001FF\n";
    r = Cli({"verify", empty, "--memories", "program,config,data"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "program memory matches")) << r.out;
}

TEST_F(CliEndToEnd, AtTheLineRateTheFirmwareLosesNoByteOfAWrite) {
    Process sim;
    StartSim(sim, "PIC16F84A", {"--line-rate"});
    Result r = Cli({"write", EXAMPLE_HEX});
    ASSERT_EQ(r.code, 0) << r.err;
    r = Cli({"verify", EXAMPLE_HEX});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_FALSE(Has(Slurp(Trace()), "lost")) << "a pause too short for the firmware";
}

TEST_F(CliEndToEnd, ProgrammerKilledDuringAWrite) {
    Process sim;
    Process cli;
    StartWriteUnderWay(sim, cli, EXAMPLE_HEX);
    ASSERT_TRUE(cli.Running()) << "the write ended before the programmer could be pulled";
    sim.Kill(SIGKILL);
    const auto killed = SteadyClock::now();
    const std::optional<int> code = cli.Wait(10000ms);
    const auto took = SteadyClock::now() - killed;
    ASSERT_TRUE(code.has_value()) << "tenlo-cli hung after the programmer went away";
    EXPECT_EQ(*code, 3);
    EXPECT_LT(took, 5000ms);
    const std::string err = Slurp(File("err"));
    EXPECT_TRUE(Has(err, "tenlo-cli: writing program memory failed at 0x0")) << err;
    EXPECT_TRUE(Has(err, ": the programmer stopped answering on COM5")) << err;
}

TEST_F(CliEndToEnd, MalformedHexIsRefusedBeforeAnyByteIsSent) {
    Process sim;
    StartSim(sim);
    const std::string bad = File("bad.hex");
    std::ofstream(bad) << ":020000000528D1\n:10001000860101300606BAD\n:00000001FF\n";
    Result r = Cli({"write", bad});
    EXPECT_EQ(r.code, 4) << r.err;
    EXPECT_TRUE(Has(r.err, "is not a valid HEX file for PIC16F84A")) << r.err;
    EXPECT_TRUE(!fs::exists(Trace()) || fs::file_size(Trace()) == 0) << Slurp(Trace());

    // The same programmer does see a command that gets through.
    r = Cli({"ping"});
    EXPECT_EQ(r.code, 0) << r.err;
    ASSERT_TRUE(fs::exists(Trace()));
    EXPECT_GT(fs::file_size(Trace()), 0u);
}

TEST_F(CliEndToEnd, PortByPathVersionAndId) {
    Process sim;
    StartSim(sim);
    Result r = Cli({"--port", ptyPath_, "version"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Firmware Version 256.3RZ\n");
    r = Cli({"id"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "revision 1: PIC16F84A")) << r.out;
    r = Cli({"--device", "PIC16F877A", "id"});
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_TRUE(Has(r.out, "it is not the selected chip PIC16F877A")) << r.out;

    // A pseudo-terminal has no modem lines, so the updater cannot reach a JDM chip on it.
    const std::string firmware = File("fw.hex");
    std::ofstream(firmware) << ":020000000528D1\n:00000001FF\n";
    r = Cli({"update-firmware", "--file", firmware});
    EXPECT_EQ(r.code, 3) << r.err;
    EXPECT_TRUE(Has(r.err, "イレースに失敗しました。")) << r.err;
}

TEST_F(CliEndToEnd, Pic18WithADataEepromThatNeverFinishes) {
    Process sim;
    StartSim(sim, "PIC18F452", {"--fault", "eebusy"});
    const std::string file = File("p18.hex");
    // goto 0x20 at the reset vector, one EEPROM byte.
    std::ofstream(file) << ":020000040000FA\n:0400000010EF00F00D\n:0200000400F00A\n"
                           ":0100000042BD\n:00000001FF\n";
    Result r = Cli({"--device", "PIC18F452", "id"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "device ID 0x0420, revision 1: PIC18F452")) << r.out;
    r = Cli({"--device", "PIC18F452", "write", "--memories", "program", file});
    EXPECT_EQ(r.code, 0) << r.err;
    r = Cli({"--device", "PIC18F452", "verify", "--memories", "program", file});
    EXPECT_EQ(r.code, 0) << r.err;
    r = Cli({"--device", "PIC18F452", "write", "--memories", "data", file});
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(Has(r.err, "writing data memory failed")) << r.err;
}

TEST_F(CliEndToEnd, NoProgrammerAndUnknownDevice) {
    // Nothing serves COM5 here.
    Result r = Cli({"ping"}, 10000ms);
    EXPECT_EQ(r.code, 3) << r.err;
    EXPECT_TRUE(Has(r.err, "Error: Cannot open COM5.")) << r.err;

    r = Cli({"--device", "PIC16F877B", "write", EXAMPLE_HEX}, 10000ms);
    EXPECT_EQ(r.code, 2) << r.err;
    EXPECT_TRUE(Has(r.err, "unknown device \"PIC16F877B\"; did you mean PIC16F877")) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

}  // namespace
}  // namespace tenlo::e2e
