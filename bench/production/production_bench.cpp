// A production run against the programmer's own pace: a whole PIC16F877A written and verified
// by tenlo-cli on 1, 4 and 8 line-rate ravonite-sim programmers at once, each on a
// pseudo-terminal of its own. The line is the bound, so more programmers should cost no more
// wall time; the CPU time says what the host spends on them (tenlo-cli's and, apart, the
// simulators', which real programmers would not cost).
//
//   bench_production [PORTS...]      default: 1 4 8

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "device/catalogue.h"
#include "device/memory_image.h"
#include "hexfile/image_hex.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Child {
    pid_t pid = -1;
    int out = -1;  // the read end of its standard output, or -1
};

// Starts command with extra variables; its standard output on a pipe when piped, else to
// /dev/null.
Child Spawn(const std::vector<std::string>& command, const std::vector<std::string>& vars,
            bool piped) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int fds[2] = {-1, -1};
    if (piped && ::pipe(fds) == 0) {
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    std::vector<std::string> args = command;
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> env = vars;
    for (char** e = environ; *e != nullptr; ++e) {
        env.emplace_back(*e);
    }
    std::vector<char*> envp;
    for (std::string& v : env) {
        envp.push_back(v.data());
    }
    envp.push_back(nullptr);
    Child child;
    if (posix_spawn(&child.pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
        child.pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    if (fds[1] >= 0) {
        ::close(fds[1]);
    }
    child.out = fds[0];
    return child;
}

// Waits for the line "ready ..." a simulator prints once it serves.
bool WaitReady(const Child& sim) {
    std::string line;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline) {
        pollfd fd{sim.out, POLLIN, 0};
        if (::poll(&fd, 1, 50) <= 0) {
            continue;
        }
        char c = 0;
        if (::read(sim.out, &c, 1) != 1) {
            return false;
        }
        if (c == '\n') {
            return line.rfind("ready ", 0) == 0;
        }
        line += c;
    }
    return false;
}

double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

struct Ended {
    int code = -1;
    double user = 0;
    double system = 0;
};

Ended Reap(pid_t pid) {
    int status = 0;
    rusage usage{};
    Ended e;
    if (::wait4(pid, &status, 0, &usage) == pid) {
        e.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        e.user = Seconds(usage.ru_utime);
        e.system = Seconds(usage.ru_stime);
    }
    return e;
}

// Every program word, the data EEPROM and a configuration word set: nothing of the chip is
// left out of the write or the verify.
bool WriteWholeChip(const std::string& path) {
    const int index = tenlo::FindCatalogueIndex("PIC16F877A");
    const tenlo::DeviceLayout layout = *tenlo::CatalogueLayout(index);
    tenlo::CMemoryImage image(layout);
    for (std::size_t i = 0; i < layout.programSize; ++i) {
        image.Set(tenlo::Memory::Program, i, static_cast<std::uint32_t>((i * 7 + 3) & 0x3FFF));
    }
    for (std::size_t i = 0; i < layout.dataSize; ++i) {
        image.Set(tenlo::Memory::Data, i, static_cast<std::uint32_t>(i ^ 0x5A));
    }
    image.Set(tenlo::Memory::Config, 7, 0x3F72);
    tenlo::HexWriteOptions options;
    options.microchipLayout = true;
    return tenlo::SaveProgramHex(path, image, options);
}

// One run on n programmers: the wall time, tenlo-cli's and the simulators' CPU time.
bool RunOn(int n, const fs::path& dir, const std::string& file, double& wall) {
    const std::vector<std::string> vars = {"TENLO_PORT_DIR=" + (dir / "ports").string()};
    std::vector<Child> sims;
    std::string ports;
    for (int i = 0; i < n; ++i) {
        const std::string com = std::to_string(11 + i);
        sims.push_back(Spawn(
            {RAVONITE_SIM_PATH, "--chip", "PIC16F877A", "--com", com, "--line-rate"}, vars, true));
        if (sims.back().pid < 0 || !WaitReady(sims.back())) {
            std::fprintf(stderr, "ravonite-sim on COM%s did not start\n", com.c_str());
            return false;
        }
        ports += (ports.empty() ? "COM" : ",COM") + com;
    }
    const auto start = Clock::now();
    const Child cli = Spawn({TENLO_CLI_PATH, "--port", ports, "--device", "PIC16F877A", "--quiet",
                             "write", file, "--verify"},
                            vars, false);
    const Ended run = Reap(cli.pid);
    wall = std::chrono::duration<double>(Clock::now() - start).count();
    double simCpu = 0;
    for (const Child& sim : sims) {
        ::kill(sim.pid, SIGINT);
        const Ended e = Reap(sim.pid);
        simCpu += e.user + e.system;
        ::close(sim.out);
    }
    std::printf(
        "%d programmer%s: wall %.2f s, tenlo-cli CPU %.2f s (user %.2f, system %.2f), "
        "simulators' CPU %.2f s, exit %d\n",
        n, n == 1 ? " " : "s", wall, run.user + run.system, run.user, run.system, simCpu, run.code);
    std::fflush(stdout);
    return run.code == 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) {
        counts.push_back(std::atoi(argv[i]));
    }
    if (counts.empty()) {
        counts = {1, 4, 8};
    }
    char pattern[] = "/tmp/tenlo-bench-production-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        return 1;
    }
    const fs::path dir = pattern;
    fs::create_directories(dir / "ports");
    const std::string file = (dir / "whole16f877a.hex").string();
    if (!WriteWholeChip(file)) {
        return 1;
    }
    double load[3] = {};
    ::getloadavg(load, 3);
    std::printf("load average before: %.2f %.2f %.2f; %ld CPUs\n", load[0], load[1], load[2],
                ::sysconf(_SC_NPROCESSORS_ONLN));
    bool ok = true;
    double first = 0;
    for (const int n : counts) {
        double wall = 0;
        ok = RunOn(n, dir, file, wall) && ok;
        if (first == 0) {
            first = wall;
        } else {
            std::printf("  %d against %d: %.3f of the wall time\n", n, counts.front(),
                        wall / first);
        }
    }
    ::getloadavg(load, 3);
    std::printf("load average after: %.2f %.2f %.2f\n", load[0], load[1], load[2]);
    fs::remove_all(dir);
    return ok ? 0 : 1;
}
