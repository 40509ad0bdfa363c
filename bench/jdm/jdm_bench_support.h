#pragma once

// What the firmware update benchmarks share: a clock that adds up the waits the line driver
// asks for, the firmware they write, and how a whole update is reported.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "jdm/jdm_programmer.h"
#include "jobs/firmware_update.h"
#include "link/clock.h"
#include "link/serial_port.h"
#include "sim/jdm/jdm_port_backend.h"

namespace tenlo::bench {

// The real clock, adding up every wait it is asked for.
class CountingClock final : public IClock {
  public:
    Duration Now() override { return real_.Now(); }
    void SleepFor(Duration d) override {
        requested += d;
        ++byLength[std::chrono::duration_cast<std::chrono::milliseconds>(d).count()];
        real_.SleepFor(d);
    }
    void Reset() {
        requested = {};
        byLength.clear();
    }
    Duration requested{};
    std::map<long, std::size_t> byLength;  // waits counted by their length in ms

  private:
    RealClock real_;
};

// A program image with the first words (below the calibration word) set.
inline JdmProgramImage Image(unsigned words) {
    JdmProgramImage image;
    image.fill(0x3FFF);
    for (unsigned a = 0; a < words && a < 0x3FF; ++a) {
        image[a] = static_cast<std::uint16_t>((a * 0x2F1 + 0x155) & 0x3FFF);
    }
    return image;
}

inline std::string HexFile(const JdmProgramImage& image) {
    std::string text;
    char buf[64];
    for (unsigned a = 0; a < 0x3FF; ++a) {
        if (image[a] == 0x3FFF) {
            continue;
        }
        const unsigned lo = image[a] & 0xFF, hi = image[a] >> 8, byte = a * 2;
        const unsigned sum = 2 + (byte >> 8) + (byte & 0xFF) + lo + hi;
        std::snprintf(buf, sizeof buf, ":02%04X00%02X%02X%02X\n", byte, lo, hi,
                      (0x100 - (sum & 0xFF)) & 0xFF);
        text += buf;
    }
    return text + ":02400E00C43FAD\n:00000001FF\n";
}

// A firmware file of that many words in the temporary folder, removed with the object.
class FirmwareFile {
  public:
    FirmwareFile(const std::string& tag, unsigned words)
        : path_(std::filesystem::temp_directory_path() /
                ("tenlo_bench_" + tag + "_" + std::to_string(::getpid()) + ".hex")) {
        std::ofstream(path_) << HexFile(Image(words));
    }
    ~FirmwareFile() {
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    FirmwareFile(const FirmwareFile&) = delete;
    FirmwareFile& operator=(const FirmwareFile&) = delete;
    std::string Path() const { return path_.string(); }

  private:
    std::filesystem::path path_;
};

// One whole update's figures: wall time against the waits it had to make.
inline void ReportUpdate(benchmark::State& state, double wallMs, const CountingClock& clock,
                         std::size_t lineCalls) {
    const double mandated = std::chrono::duration<double, std::milli>(clock.requested).count();
    state.counters["wall_ms"] = wallMs;
    state.counters["mandated_wait_ms"] = mandated;
    state.counters["ratio"] = mandated > 0 ? wallMs / mandated : 0;
    state.counters["line_calls"] = static_cast<double>(lineCalls);
    for (const auto& [ms, count] : clock.byLength) {
        state.counters["waits_" + std::to_string(ms) + "ms"] = static_cast<double>(count);
    }
    state.counters["ns_per_line_call_beyond_waits"] =
        lineCalls > 0 ? (wallMs - mandated) * 1e6 / static_cast<double>(lineCalls) : 0;
}

class QuietView final : public IFirmwareUpdateView {
  public:
    void ShowStatus(const std::string&) override {}
    void ShowMessage(const std::string& text, unsigned) override { last = text; }
    std::string last;
};

// A whole update by the write flow alone, in real time, on the simulated chip: erase, write,
// verify. Arg: programmed words.
inline void BM_WholeUpdateRealTime(benchmark::State& state) {
    const FirmwareFile file("jdm", static_cast<unsigned>(state.range(0)));
    CountingClock clock;
    auto backend = sim::MakeJdmSimulatorBackend(clock);
    backend->Chip().RecordCommands(false);
    CSerialPort port(nullptr, backend, &clock);
    port.Open(ProgrammerPortDefinition(1));
    QuietView view;
    double wall = 0;
    std::size_t calls = 0;
    for (auto _ : state) {
        backend->Chip().FactoryReset();
        clock.Reset();
        const std::size_t before = backend->Chip().LineCalls();
        const auto start = std::chrono::steady_clock::now();
        const FirmwareUpdateResult result = RunFirmwareUpdate(port, view, file.Path());
        wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                   .count();
        if (result != FirmwareUpdateResult::Success) {
            state.SkipWithError(view.last.c_str());
            return;
        }
        calls = backend->Chip().LineCalls() - before;
    }
    ReportUpdate(state, wall, clock, calls);
}

}  // namespace tenlo::bench
