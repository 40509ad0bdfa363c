#pragma once

// Whole programs against ravonite-sim: each test gets a private folder with a port directory,
// the simulator links its pseudo-terminal there as COM5, and the program under test runs to its
// end with its output in files of the folder. The test target defines RAVONITE_SIM_PATH.

#include <gtest/gtest.h>

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

    // ravonite-sim with the chip as COM5, its byte trace in the test folder, and any more
    // arguments (faults).
    void StartSim(Process& sim, const std::string& chip = "PIC16F84A",
                  const std::vector<std::string>& more = {}) {
        std::vector<std::string> args{RAVONITE_SIM_PATH, "--chip",        chip, "--com", "5",
                                      "--trace",         Trace().string()};
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

    std::filesystem::path Trace() const {
        return dir_ / "sim-trace";
    }
    std::string File(const std::string& name) const {
        return (dir_ / name).string();
    }

    std::filesystem::path dir_;
    std::vector<std::string> env_;
    std::string ptyPath_;
};

}  // namespace tenlo::e2e
