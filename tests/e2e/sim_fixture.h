#pragma once

// Whole programs against ravonite-sim: each test gets a private folder with a port directory,
// the simulator links its pseudo-terminal there as COM5, and the program under test runs to its
// end with its output in files of the folder. The test target defines RAVONITE_SIM_PATH.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/process.h"

namespace tenlo::e2e {

inline bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

inline std::string Slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Every word of a PIC16F84A's program memory, so a write is long enough to fail in the middle.
inline std::string FullProgram() {
    std::string text;
    for (unsigned address = 0; address < 2048; address += 16) {
        unsigned sum = 16 + (address >> 8) + (address & 0xFF);
        char line[64];
        std::snprintf(line, sizeof line, ":10%04X00", address);
        text += line;
        for (unsigned i = 0; i < 16; i += 2) {
            const unsigned word = (address / 2 + i / 2) & 0x3FFF;
            std::snprintf(line, sizeof line, "%02X%02X", word & 0xFF, word >> 8);
            text += line;
            sum += (word & 0xFF) + (word >> 8);
        }
        std::snprintf(line, sizeof line, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
        text += line;
    }
    return text + ":00000001FF\n";
}

struct Result {
    std::optional<int> code;
    std::string out;
    std::string err;
    std::chrono::milliseconds took{0};
};

class SimEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("tenlo-e2e-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_ / "ports");
        env_ = {"TENLO_PORT_DIR=" + (dir_ / "ports").string()};
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    // ravonite-sim with the chip as COMn (COM5 unless said), its byte trace in the test folder
    // (Trace(n)), and any more arguments (faults).
    void StartSim(Process& sim, const std::string& chip = "PIC16F84A",
                  const std::vector<std::string>& more = {}, int com = 5) {
        std::vector<std::string> args{
            RAVONITE_SIM_PATH, "--chip",           chip, "--com", std::to_string(com),
            "--trace",         Trace(com).string()};
        args.insert(args.end(), more.begin(), more.end());
        ASSERT_TRUE(sim.Start(args, env_));
        const std::optional<std::string> ready = sim.ReadLine();
        ASSERT_TRUE(ready.has_value()) << "ravonite-sim did not say ready";
        ASSERT_EQ(ready->rfind("ready /dev/", 0), 0u) << *ready;
        ptyPath_ = ready->substr(6, ready->find(' ', 6) - 6);
    }

    // Runs command to its end (or the time limit), with the test's environment.
    Result Run(const std::vector<std::string>& command, std::chrono::milliseconds within) {
        Process program;
        Result r;
        const auto start = SteadyClock::now();
        EXPECT_TRUE(program.Start(command, env_, File("out"), File("err")));
        r.code = program.Wait(within);
        r.took = std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start);
        r.out = Slurp(dir_ / "out");
        r.err = Slurp(dir_ / "err");
        return r;
    }

#ifdef TENLO_CLI_PATH
    Result Cli(std::vector<std::string> args, std::chrono::milliseconds within = 60000ms) {
        args.insert(args.begin(), TENLO_CLI_PATH);
        return Run(args, within);
    }

    // ravonite-sim, then tenlo-cli writing file to it, left running once the write is under
    // way: the simulator's trace grows as the words go over.
    void StartWriteUnderWay(Process& sim, Process& cli, const std::string& file) {
        StartSim(sim);
        ASSERT_TRUE(cli.Start({TENLO_CLI_PATH, "write", file}, env_, File("out"), File("err")));
        const auto deadline = SteadyClock::now() + 10000ms;
        while (SteadyClock::now() < deadline &&
               (!std::filesystem::exists(Trace()) || std::filesystem::file_size(Trace()) < 4000)) {
            std::this_thread::sleep_for(20ms);
        }
    }
#endif

    std::filesystem::path Trace(int com = 5) const {
        return dir_ / (com == 5 ? std::string("sim-trace") : "sim-trace-" + std::to_string(com));
    }
    std::string File(const std::string& name) const {
        return (dir_ / name).string();
    }

    std::filesystem::path dir_;
    std::vector<std::string> env_;
    std::string ptyPath_;
};

}  // namespace tenlo::e2e
