// tenlo-cli meeting faults as a user meets them: ravonite-sim drops or garbles an
// acknowledgement, goes silent, has no chip or another chip in its socket, holds a cell that
// will not erase; the user gives a file that is no file or is cut short, a port that is not
// there, or presses Ctrl-C. Each ends with the exit code and the one line the README promises.

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <thread>

#include "e2e/sim_fixture.h"

namespace tenlo::e2e {
namespace {

int Lines(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

namespace fs = std::filesystem;

class CliFaults : public SimEndToEnd {
  protected:
    std::string Program() {
        const std::string path = File("full.hex");
        std::ofstream(path) << FullProgram();
        return path;
    }

    // Stops the simulator; the last command the programmer got was the power-down, and it
    // answered it.
    void ExpectPoweredDownLast(Process& sim) {
        sim.Kill(SIGINT);
        ASSERT_TRUE(sim.Wait(5000ms).has_value());
        const std::string trace = Slurp(Trace());
        const std::size_t lastIn = trace.rfind("\n>");
        ASSERT_NE(lastIn, std::string::npos);
        EXPECT_EQ(trace.substr(lastIn, trace.find('\n', lastIn + 1) - lastIn), "\n> 06")
            << trace.substr(trace.size() > 400 ? trace.size() - 400 : 0);
        EXPECT_TRUE(Has(trace.substr(lastIn), "< A5")) << trace.substr(lastIn);
    }
};

TEST_F(CliFaults, ALostOrGarbledAcknowledgementIsACommunicationFailureWithPhaseAndAddress) {
    const std::string program = Program();
    for (const char* fault : {"noack@600", "badack@600"}) {
        SCOPED_TRACE(fault);
        Process sim;
        StartSim(sim, "PIC16F84A", {"--fault", fault});
        const Result r = Cli({"write", program});
        EXPECT_EQ(r.code, 3) << r.err;
        EXPECT_TRUE(Has(r.err, "tenlo-cli: writing program memory failed at 0x0")) << r.err;
        EXPECT_TRUE(Has(r.err, "ProgramWords (0x18)")) << r.err;
        EXPECT_TRUE(Has(r.err, "partly written")) << r.err;
        EXPECT_FALSE(Has(r.err, "will not program")) << r.err;
        EXPECT_EQ(Lines(r.err), 1) << r.err;
    }
    for (const char* fault : {"noack@14", "badack@14"}) {
        SCOPED_TRACE(fault);
        Process sim;
        StartSim(sim, "PIC16F84A", {"--fault", fault});
        const Result r = Cli({"erase"});
        EXPECT_EQ(r.code, 3) << r.err;
        EXPECT_TRUE(Has(r.err, "tenlo-cli: erasing the PIC16F84A failed: ")) << r.err;
        EXPECT_TRUE(Has(r.err, "(0x")) << r.err;
        EXPECT_FALSE(Has(r.err, "right way round")) << r.err;
        EXPECT_EQ(Lines(r.err), 1) << r.err;
    }
}

TEST_F(CliFaults, ASilentProgrammerIsReportedWithinASecondAndAHalf) {
    const std::string program = Program();
    const struct {
        std::vector<std::string> command;
        const char* fault;
    } cases[] = {
        {{"erase"}, "silence@25"},
        {{"write", program}, "silence@60"},
        {{"read", "-o", File("back.hex")}, "silence@40"},
        {{"verify", program}, "silence@7"},
        {{"id"}, "silence@8"},
        {{"ping"}, "silence@1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command.front());
        Process sim;
        StartSim(sim, "PIC16F84A", {"--fault", c.fault});
        const Result r = Cli(c.command, 10000ms);
        EXPECT_EQ(r.code, 3) << r.err;
        EXPECT_LT(r.took, 1500ms);
        EXPECT_EQ(Lines(r.err), 1) << r.err;
    }
}

TEST_F(CliFaults, AnEmptySocketOrAnotherChipIsToldBeforeTheChipIsTouched) {
    const std::string program = Program();
    const std::string back = File("back.hex");
    {
        Process sim;
        StartSim(sim, "PIC16F84A", {"--fault", "nochip"});
        const std::vector<std::vector<std::string>> commands = {
            {"read", "-o", back}, {"erase"}, {"write", "--erase", program}, {"verify", program}};
        for (const std::vector<std::string>& command : commands) {
            SCOPED_TRACE(command.front());
            const Result r = Cli(command);
            EXPECT_EQ(r.code, 3) << r.err;
            EXPECT_TRUE(Has(r.err, "no chip answers in the socket")) << r.err;
            EXPECT_FALSE(Has(r.err, "write --erase")) << r.err;
            EXPECT_EQ(Lines(r.err), 1) << r.err;
        }
        EXPECT_FALSE(fs::exists(back));
    }
    Process sim;
    StartSim(sim, "PIC16F877A");
    Result r = Cli({"--device", "PIC16F84A", "erase"});
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_TRUE(Has(r.err, "PIC16F877A")) << r.err;
    EXPECT_TRUE(Has(r.err, "PIC16F84A")) << r.err;
    EXPECT_EQ(Lines(r.err), 1) << r.err;
    r = Cli({"--device", "PIC16F84A", "read", "--force", "-o", back});
    EXPECT_EQ(r.code, 0) << r.err;
}

TEST_F(CliFaults, EraseReadsTheChipBackAndNamesTheFirstCellThatDidNotErase) {
    const std::string program = Program();
    const std::string state = File("chip.state");
    {
        Process sim;
        StartSim(sim, "PIC16F84A", {"--state", state});
        ASSERT_EQ(Cli({"write", program}).code, 0);
        sim.Kill(SIGINT);
        ASSERT_TRUE(sim.Wait(5000ms).has_value());
    }
    {
        // The written cell at 0x10 sticks from now on.
        Process sim;
        StartSim(sim, "PIC16F84A", {"--state", state, "--fault", "stuck:program:0x10"});
        Result r = Cli({"erase"});
        EXPECT_EQ(r.code, 1) << r.err;
        EXPECT_TRUE(Has(r.err, "did not erase: program memory 0x0010 holds 0x0010")) << r.err;
        EXPECT_EQ(Lines(r.err), 1) << r.err;
        r = Cli({"erase", "--no-verify"});
        EXPECT_EQ(r.code, 0) << r.err;

        // The stuck cell lacks bits this file sets: erasing again cannot help, so --erase is
        // not advised to a user who gave it.
        const std::string other = File("other.hex");
        std::ofstream(other) << ":02002000552A5F\n:00000001FF\n";
        r = Cli({"write", "--erase", other});
        EXPECT_EQ(r.code, 1) << r.err;
        EXPECT_TRUE(Has(r.err, "0x0010 holds 0x0010")) << r.err;
        EXPECT_FALSE(Has(r.err, "--erase")) << r.err;
        EXPECT_TRUE(Has(r.err, "will not erase")) << r.err;
    }
    // The calibration word a 12F629 keeps through the erase is no failure of it.
    Process sim;
    StartSim(sim, "PIC12F629");
    const Result r = Cli({"--device", "PIC12F629", "erase"});
    EXPECT_EQ(r.code, 0) << r.err;
}

TEST_F(CliFaults, FilesThatAreNoHexFilesAreRefusedWithoutTouchingTheChip) {
    Process sim;
    StartSim(sim);
    const std::string fifo = File("fifo.hex");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    Result r = Cli({"write", fifo}, 5000ms);
    ASSERT_TRUE(r.code.has_value()) << "tenlo-cli hung on a named pipe";
    EXPECT_EQ(r.code, 4) << r.err;
    EXPECT_TRUE(Has(r.err, "not a regular file")) << r.err;

    std::string cut = FullProgram();
    cut.resize(cut.find('\n', 200) + 1);  // a download that stopped after a few records
    const std::string truncated = File("cut.hex");
    std::ofstream(truncated) << cut;
    r = Cli({"write", "--erase", truncated});
    EXPECT_EQ(r.code, 4) << r.err;
    EXPECT_TRUE(Has(r.err, "ends without an end record: is it complete?")) << r.err;
    r = Cli({"verify", truncated});
    EXPECT_EQ(r.code, 4) << r.err;

    const std::string empty = File("empty.hex");
    std::ofstream{empty};
    r = Cli({"write", empty});
    EXPECT_EQ(r.code, 4) << r.err;
    EXPECT_EQ(Lines(r.err), 1) << r.err;
    EXPECT_TRUE(!fs::exists(Trace()) || fs::file_size(Trace()) == 0) << Slurp(Trace());
}

// update-firmware on the built-in simulated programmer chip: a file that is not whole firmware
// is refused with its reason before the chip is erased (no "イレース中..." status line), since
// the erase would leave the programmer with no firmware at all.
TEST_F(CliFaults, AFirmwareFileThatIsNotWholeFirmwareIsRefusedBeforeTheChipIsTouched) {
    const std::string code = ":020000000528D1\n";  // goto 5 at word 0
    const std::string end = ":00000001FF\n";
    struct Case {
        const char* name;
        std::string text;
        const char* why;
    };
    const Case cases[] = {
        {"empty", "", "it is empty"},
        {"end record only", end, "it holds no program word"},
        {"address record only", ":020000040000FA\n", "ends without an end record"},
        {"cut at a line end", code, "ends without an end record"},
        {"cut inside a record", code + ":0400020006", "line 2 has a record cut short"},
        {"all on one line", ":020000000528D1:00000001FF\n", "line 1 has more than one record"},
        {"data EEPROM", code + ":01420000AA13\n" + end, "line 2 sets byte address 0x4200"},
        {"overlapping", code + ":020000000628D0\n" + end,
         "line 2 sets byte address 0x0000 to 0x06 where an earlier record set it to 0x05"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = File("fw.hex");
        std::ofstream(path, std::ios::binary | std::ios::trunc) << c.text;
        const Result r = Cli({"--simulate", "update-firmware", "--file", path});
        EXPECT_EQ(r.code, 4) << r.err;
        EXPECT_TRUE(Has(r.err, "ファームウエアファイル " + path + " の読み込みに失敗しました。"))
            << r.err;
        EXPECT_TRUE(Has(r.err, c.why)) << r.err;
        EXPECT_FALSE(Has(r.err, "イレース中")) << r.err;
        EXPECT_EQ(Lines(r.err), 1) << r.err;
    }

    // Carriage returns alone for line ends are unusual but whole: the firmware goes in, all of
    // it (longer than any one line may be).
    std::string firmware;
    for (unsigned word = 0; word < 80; ++word) {
        char record[32];
        const unsigned sum = 2 + ((2 * word) >> 8) + ((2 * word) & 0xFF) + word + 0x34;
        std::snprintf(record, sizeof record, ":02%04X00%02X34%02X\r", 2 * word, word,
                      (0x100 - (sum & 0xFF)) & 0xFF);
        firmware += record;
    }
    firmware += ":00000001FF\r";
    const std::string path = File("cr.hex");
    std::ofstream(path, std::ios::binary) << firmware;
    const Result r = Cli({"--simulate", "update-firmware", "--file", path});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "ファームウエア書き込み完了")) << r.out;
}

// Two records that give the same byte different values: the file cannot mean both, so it is
// refused naming the address rather than the last one silently winning.
TEST_F(CliFaults, OverlappingRecordsWithDifferentDataAreRefusedNamingTheAddress) {
    const std::string path = File("overlap.hex");
    std::ofstream(path) << ":0400000005280000CF\n:020002000130CB\n:00000001FF\n";
    Result r = Cli({"--simulate", "write", path});
    EXPECT_EQ(r.code, 4) << r.err;
    EXPECT_TRUE(Has(r.err,
                    "line 2 sets byte address 0x0002 to 0x01 where an earlier record set "
                    "it to 0x00"))
        << r.err;
    // The same data twice is no conflict.
    std::ofstream(path, std::ios::trunc) << ":0400000005280000CF\n:020002000000FC\n:00000001FF\n";
    r = Cli({"--simulate", "write", path});
    EXPECT_EQ(r.code, 0) << r.err;
}

TEST_F(CliFaults, EveryFailureIsOneLineAndEchoesNoControlCharacters) {
    Result r = Cli({"--port", "COM42", "ping"}, 10000ms);
    EXPECT_EQ(r.code, 3) << r.err;
    EXPECT_EQ(Lines(r.err), 1) << r.err;
    EXPECT_TRUE(Has(r.err, "Cannot open COM42.")) << r.err;
    EXPECT_TRUE(Has(r.err, "tenlo-cli: ")) << r.err;

    r = Cli({"--device", "\x1b[31mPIC", "id"}, 10000ms);
    EXPECT_EQ(r.code, 2) << r.err;
    EXPECT_FALSE(Has(r.err, "\x1b")) << r.err;
    EXPECT_TRUE(Has(r.err, "\\x1B[31mPIC")) << r.err;
    r = Cli({"write", File("no\tsuch\x07.hex")}, 10000ms);
    EXPECT_EQ(r.code, 4) << r.err;
    EXPECT_TRUE(Has(r.err, "no\\tsuch\\x07.hex")) << r.err;
}

TEST_F(CliFaults, CtrlCStopsAtTheNextCommandAndPowersTheChipDown) {
    Process sim;
    Process cli;
    StartWriteUnderWay(sim, cli, Program());
    ASSERT_TRUE(cli.Running()) << "the write ended before it could be interrupted";
    const auto interrupted = SteadyClock::now();
    cli.Kill(SIGINT);
    std::this_thread::sleep_for(5ms);
    cli.Kill(SIGINT);  // a second Ctrl-C while it powers down changes nothing
    const std::optional<int> code = cli.Wait(5000ms);
    const auto took = SteadyClock::now() - interrupted;
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 130);
    EXPECT_LT(took, 1500ms);
    const std::string err = Slurp(File("err"));
    EXPECT_EQ(Lines(err), 1) << err;
    EXPECT_TRUE(Has(err, "tenlo-cli: interrupted while writing program memory")) << err;
    EXPECT_TRUE(Has(err, "partly written")) << err;

    ExpectPoweredDownLast(sim);
}

// A hang-up (the terminal closed) and a quit are taken as Ctrl-C is; a reader of the output
// that goes away kills nothing: the write goes on to its end.
TEST_F(CliFaults, HangUpQuitAndAClosedPipeNeverLeaveTheChipPowered) {
    for (const int signal : {SIGHUP, SIGQUIT}) {
        SCOPED_TRACE(signal);
        fs::remove(Trace());
        Process sim;
        Process cli;
        StartWriteUnderWay(sim, cli, Program());
        ASSERT_TRUE(cli.Running()) << "the write ended before it could be interrupted";
        cli.Kill(signal);
        const std::optional<int> code = cli.Wait(5000ms);
        ASSERT_TRUE(code.has_value());
        EXPECT_EQ(*code, 130);
        const std::string err = Slurp(File("err"));
        EXPECT_TRUE(Has(err, "tenlo-cli: interrupted while writing program memory")) << err;
        ExpectPoweredDownLast(sim);
    }

    fs::remove(Trace());
    Process sim;
    StartSim(sim);
    const Result r = Run({"/bin/bash", "-c",
                          "\"$0\" --trace write \"$1\" 2>&1 | head -c 2000 >/dev/null; "
                          "exit ${PIPESTATUS[0]}",
                          TENLO_CLI_PATH, Program()},
                         60000ms);
    EXPECT_EQ(r.code, 0) << r.err;
    ExpectPoweredDownLast(sim);
}

}  // namespace
}  // namespace tenlo::e2e
