#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "cli/captured_run.h"
#include "cli/cli_session.h"
#include "link/clock.h"
#include "sim/fault_plan.h"
#include "sim/in_process_backend.h"
#include "sim/virtual_programmer.h"
#include "support/sim_socket.h"

namespace tenlo::cli::testing {

// A scratch folder removed with the object.
class TempDir {
  public:
    TempDir()
        : path_(std::filesystem::temp_directory_path() /
                ("tenlo-cli-" + std::to_string(std::random_device{}()))) {
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string File(const std::string& name) const { return (path_ / name).string(); }
    std::string Write(const std::string& name, const std::string& text) const {
        std::ofstream(File(name), std::ios::binary) << text;
        return File(name);
    }

  private:
    std::filesystem::path path_;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Counts the ports opened through it, so a test can tell that nothing reached the programmer.
class CountingBackend final : public IPortBackend {
  public:
    explicit CountingBackend(std::shared_ptr<IPortBackend> inner) : inner_(std::move(inner)) {}
    std::unique_ptr<IPortHandle> Open(const std::string& name) override {
        ++opens;
        return inner_ ? inner_->Open(name) : nullptr;
    }
    int opens = 0;

  private:
    std::shared_ptr<IPortBackend> inner_;
};

// A virtual programmer with a chip, served in virtual time, and the CLI run against it with
// its output captured.
class CliRig : public tenlo::testing::SimSocket {
  public:
    explicit CliRig(const std::string& chip = "PIC16F84A", sim::FaultPlan faults = {})
        : SimSocket(chip, std::move(faults)),
          backend(std::make_shared<CountingBackend>(sim::MakeInProcessBackend(programmer, clock))) {
    }

    int Run(std::vector<std::string> args, bool terminal = false) {
        CliEnvironment env;
        env.errIsTerminal = terminal;
        env.clock = &clock;
        env.backend = backend;
        const CapturedRun run = RunCliCaptured(args, env);
        stdoutText = run.out;
        stderrText = run.err;
        return run.code;
    }

    VirtualClock clock;
    std::shared_ptr<CountingBackend> backend;
    std::string stdoutText;
    std::string stderrText;
};

// The example program assembled by gpasm, committed beside its source.
inline std::string ExampleHex() {
    return std::string(TENLO_EXAMPLES_DIR) + "/blink16f84a.hex";
}

}  // namespace tenlo::cli::testing
