// A production run as a workshop has it: several programmers at once, serial numbers from a
// file, a log; one programmer falling silent, Ctrl-C in the middle, tenlo-cli killed at any
// moment.

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "e2e/chip84a_image.h"
#include "e2e/sim_fixture.h"
#include "jobs/production_log.h"
#include "jobs/serial_allocator.h"
#include "support/json_document.h"

namespace tenlo::e2e {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The log's rows (header left out), field by field.
std::vector<std::vector<std::string>> LogRows(const std::string& path) {
    std::vector<std::vector<std::string>> rows;
    const std::vector<std::string> lines = SplitLines(Slurp(path));
    for (std::size_t i = 1; i < lines.size(); ++i) {
        rows.push_back(jobs::SplitCsvLine(lines[i]).value_or(std::vector<std::string>{}));
    }
    return rows;
}

class Production : public SimEndToEnd {
  protected:
    // Starts tenlo-cli, waits until each of the ports' programmers has seen a good part of the
    // write, then presses Ctrl-C; its exit code (none: it did not end in time). The output goes
    // to File("out") and File("err").
    std::optional<int> InterruptWrite(const std::vector<std::string>& args,
                                      const std::vector<int>& coms) {
        Process cli;
        if (!cli.Start(args, env_, File("out"), File("err"))) {
            ADD_FAILURE() << "tenlo-cli did not start";
            return std::nullopt;
        }
        const auto deadline = SteadyClock::now() + 10000ms;
        const auto going = [&] {
            return std::all_of(coms.begin(), coms.end(), [&](int com) {
                return fs::exists(Trace(com)) && fs::file_size(Trace(com)) >= 4000;
            });
        };
        while (SteadyClock::now() < deadline && !going()) {
            std::this_thread::sleep_for(20ms);
        }
        EXPECT_TRUE(cli.Running()) << "the writes ended before they could be interrupted";
        cli.Kill(SIGINT);
        return cli.Wait(5000ms);
    }
};

TEST_F(Production, ThreeProgrammersAtOnceOneFallsSilentTheOthersAreWrittenAndNumbered) {
    const std::string program = File("full.hex");
    std::ofstream(program) << FullProgram();
    const std::string serial = File("serial.txt");
    const std::string log = File("log.csv");
    std::ofstream(serial) << "1000\n";
    Process com5;
    Process com6;
    Process com7;
    StartSim(com5, "PIC16F84A", {"--state", File("chip5.hex")}, 5);
    StartSim(com6, "PIC16F84A", {"--fault", "silence@500"}, 6);
    StartSim(com7, "PIC16F84A", {"--state", File("chip7.hex")}, 7);

    const Result r = Cli({"--port", "COM5,COM6,COM7", "write", program, "--serial",
                          "eeprom:0x3E:2:1000", "--serial-file", serial, "--log", log},
                         60000ms);
    EXPECT_EQ(r.code, 3) << r.out << r.err;
    const std::vector<std::string> out = SplitLines(r.out);
    ASSERT_EQ(out.size(), 4u) << r.out;
    EXPECT_EQ(out[0].rfind("COM5  PIC16F84A 0x0560 rev 1  written and verified, serial number ", 0),
              0u)
        << out[0];
    EXPECT_EQ(out[1].rfind("COM6  PIC16F84A 0x0560 rev 1  writing program memory failed at ", 0),
              0u)
        << out[1];
    EXPECT_TRUE(Has(out[1], "stopped answering on COM6")) << out[1];
    EXPECT_TRUE(Has(out[2], "written and verified")) << out[2];
    EXPECT_EQ(out[3].rfind("2 of 3 written and verified, file checksum 0x", 0), 0u) << out[3];

    // The silent programmer failed before data memory: it took no number.
    EXPECT_EQ(Slurp(serial), "1002\n");
    const auto rows = LogRows(log);
    ASSERT_EQ(rows.size(), 3u) << Slurp(log);
    std::set<std::string> numbers;
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 11u);
        if (row[1] == "COM6") {
            EXPECT_EQ(row[8], "failed");
            EXPECT_EQ(row[7], "");
            EXPECT_TRUE(Has(row[9], "stopped answering")) << row[9];
        } else {
            EXPECT_EQ(row[8], "ok");
            EXPECT_EQ(row[2], "PIC16F84A");
            EXPECT_EQ(row[3], "0x0560");
            EXPECT_EQ(row[5], program);
            numbers.insert(row[7]);
        }
    }
    EXPECT_EQ(numbers, (std::set<std::string>{"1000", "1001"}));

    // Each chip holds the number its row gives, big-endian at 0x3E.
    for (auto [sim, com] : {std::pair{&com5, 5}, std::pair{&com7, 7}}) {
        sim->Kill(SIGINT);
        ASSERT_TRUE(sim->Wait(5000ms).has_value());
        Chip84A chip;
        ASSERT_TRUE(chip.Load(File("chip" + std::to_string(com) + ".hex")));
        const unsigned held = std::to_integer<unsigned>(chip.data[0x3E]) << 8 |
                              std::to_integer<unsigned>(chip.data[0x3F]);
        const auto row = std::find_if(rows.begin(), rows.end(), [com](const auto& fields) {
            return fields[1] == "COM" + std::to_string(com);
        });
        ASSERT_NE(row, rows.end());
        EXPECT_EQ(std::to_string(held), (*row)[7]);
        EXPECT_EQ(chip.program[0x20], std::byte{0x10});  // word 0x10 of the file
    }
}

TEST_F(Production, CtrlCStopsEveryPortAtItsNextCommandAndPowersEachChipDown) {
    const std::string program = File("full.hex");
    std::ofstream(program) << FullProgram();
    Process com5;
    Process com6;
    StartSim(com5, "PIC16F84A", {}, 5);
    StartSim(com6, "PIC16F84A", {}, 6);
    const std::optional<int> code =
        InterruptWrite({TENLO_CLI_PATH, "--port", "COM5,COM6", "write", program}, {5, 6});
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 130);
    const std::string out = Slurp(File("out"));
    EXPECT_TRUE(Has(out, "COM5  PIC16F84A 0x0560 rev 1  interrupted while writing program memory"))
        << out;
    EXPECT_TRUE(Has(out, "COM6  PIC16F84A 0x0560 rev 1  interrupted while writing program memory"))
        << out;
    EXPECT_TRUE(Has(out, "0 of 2 written")) << out;

    // The last command each programmer got was the power-down, and it answered it.
    for (auto [sim, com] : {std::pair{&com5, 5}, std::pair{&com6, 6}}) {
        sim->Kill(SIGINT);
        ASSERT_TRUE(sim->Wait(5000ms).has_value());
        const std::string trace = Slurp(Trace(com));
        const std::size_t lastIn = trace.rfind("\n>");
        ASSERT_NE(lastIn, std::string::npos);
        EXPECT_EQ(trace.substr(lastIn, trace.find('\n', lastIn + 1) - lastIn), "\n> 06")
            << "COM" << com;
        EXPECT_TRUE(Has(trace.substr(lastIn), "< A5")) << "COM" << com;
    }
}

TEST_F(Production, CtrlCWithJsonStillEndsInOneDocumentSayingWhereEachPortStopped) {
    const std::string program = File("full.hex");
    std::ofstream(program) << FullProgram();
    Process com5;
    StartSim(com5, "PIC16F84A", {}, 5);
    const std::optional<int> code =
        InterruptWrite({TENLO_CLI_PATH, "--json", "--port", "COM5", "write", program}, {5});
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 130);
    const tenlo::testing::JsonValue doc = testing::JsonDocument(Slurp(File("out")));
    EXPECT_EQ(doc["exitCode"].toInt(), 130);
    const tenlo::testing::JsonValue port = doc["ports"][0].toObject();
    EXPECT_EQ(testing::JsonText(port["result"]), "interrupted");
    EXPECT_EQ(testing::JsonText(port["cause"]), "interrupted");
    EXPECT_EQ(testing::JsonText(port["phase"]), "writing");
    com5.Kill(SIGINT);
    ASSERT_TRUE(com5.Wait(5000ms).has_value());
}

// Twenty runs of twenty chips on four in-process programmers, tenlo-cli killed at random
// moments: every chip the log calls good has a number no other good chip has, and the numbers
// the serial file counts as handed out are exactly those.
TEST_F(Production, KilledAtRandomMomentsARunNeverRepeatsNorSkipsASerialNumber) {
    std::mt19937 random(20240501);
    const std::vector<std::string> write = {
        TENLO_CLI_PATH, "--simulate", "--quiet",    "--port", "COM1,COM2,COM3,COM4",
        "write",        EXAMPLE_HEX,  "--memories", "config", "--serial",
        "id:1"};
    int kills = 0;
    for (int trial = 0; trial < 20; ++trial) {
        SCOPED_TRACE("trial " + std::to_string(trial));
        const std::string serial = File("serial-" + std::to_string(trial) + ".txt");
        const std::string log = File("log-" + std::to_string(trial) + ".csv");
        std::vector<std::string> command = write;
        command.insert(command.end(), {"--serial-file", serial, "--log", log});
        std::size_t good = 0;
        int killed = 0;
        // What a run takes: the shortest whole one, so that a machine slowed for one run does
        // not push every kill past the end of the next.
        std::optional<std::chrono::microseconds> whole;
        for (int run = 0; run < 40 && good < 20; ++run) {
            Process cli;
            const auto start = SteadyClock::now();
            ASSERT_TRUE(cli.Start(command, env_, File("out"), File("err")));
            // Every other run is killed at a moment anywhere in it.
            if (run % 2 == 1) {
                std::this_thread::sleep_for(
                    std::chrono::microseconds(std::uniform_int_distribution<long>(
                        0, whole.value_or(100000us).count())(random)));
                cli.Kill(SIGKILL);
            }
            const std::optional<int> code = cli.Wait(20000ms);
            ASSERT_TRUE(code.has_value());
            if (*code == 0 && run % 2 == 0) {
                const auto took = std::chrono::duration_cast<std::chrono::microseconds>(
                    SteadyClock::now() - start);
                whole = std::min(whole.value_or(took), took);
            }
            killed += *code == 128 + SIGKILL ? 1 : 0;
            ASSERT_TRUE(*code == 0 || *code == 128 + SIGKILL) << *code << Slurp(File("err"));
            good = 0;
            for (const auto& row : LogRows(log)) {
                good += row.size() == 11 && row[8] == "ok" ? 1 : 0;
            }
        }
        ASSERT_GE(good, 20u);
        EXPECT_GE(killed, 1) << "every run ended before it could be killed";
        kills += killed;

        std::multiset<std::uint64_t> numbered;
        for (const auto& row : LogRows(log)) {
            ASSERT_EQ(row.size(), 11u);
            ASSERT_EQ(row[8], "ok") << "no chip fails on the simulator";
            numbered.insert(std::stoull(row[7]));
        }
        for (const std::uint64_t n : numbered) {
            EXPECT_EQ(numbered.count(n), 1u) << "serial number " << n << " went to two chips";
        }
        // The file as the next run finds it, the claims of a run killed last settled by the log.
        jobs::CSerialAllocator numbers(
            serial, 1, 1, [&log](std::uint64_t n) { return jobs::LogShowsSerialOk(log, n); });
        jobs::CSerialAllocator::State state;
        jobs::CSerialAllocator::Failure failure;
        ASSERT_TRUE(numbers.Read(state, failure));
        EXPECT_TRUE(state.claimed.empty());
        std::set<std::uint64_t> handedOut;
        for (std::uint64_t n = 1; n < state.next; ++n) {
            if (state.free.count(n) == 0 && state.claimed.count(n) == 0) {
                handedOut.insert(n);
            }
        }
        EXPECT_EQ(handedOut, std::set<std::uint64_t>(numbered.begin(), numbered.end()));
    }
    RecordProperty("kills", kills);
}

}  // namespace
}  // namespace tenlo::e2e
