// What the firmware update costs on top of the waits it must make: line calls per word, and
// the wall time of a whole update on the simulated chip in real time against the sum of the
// waits the line driver asks for.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "link/clock.h"
#include "link/serial_port.h"
#include "sim/jdm/jdm_port_backend.h"
#include "updater/jdm/firmware_update.h"
#include "updater/jdm/jdm_programmer.h"

namespace {

using namespace tenlo;

// The real clock, adding up every wait it is asked for.
class CountingClock final : public IClock {
  public:
    Duration Now() override { return real_.Now(); }
    void SleepFor(Duration d) override {
        requested += d;
        ++byLength[std::chrono::duration_cast<std::chrono::milliseconds>(d).count()];
        real_.SleepFor(d);
    }
    Duration requested{};
    std::map<long, std::size_t> byLength;  // waits counted by their length in ms

  private:
    RealClock real_;
};

class QuietView final : public IFirmwareUpdateView {
  public:
    void ShowStatus(const std::string&) override {}
    void ShowMessage(const std::string& text, unsigned) override { last = text; }
    std::string last;
};

JdmProgramImage Image(unsigned words) {
    JdmProgramImage image;
    image.fill(0x3FFF);
    for (unsigned a = 0; a < words && a < 0x3FF; ++a) {
        image[a] = static_cast<std::uint16_t>((a * 0x2F1 + 0x155) & 0x3FFF);
    }
    return image;
}

std::string HexFile(const JdmProgramImage& image) {
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

// Line calls of one programmed word (load, begin, read back, increment) and of one verified
// word (read, increment), counted on the simulated chip.
void BM_LineCallsPerWord(benchmark::State& state) {
    VirtualClock clock;
    auto backend = sim::MakeJdmSimulatorBackend(clock);
    backend->Chip().RecordCommands(false);
    CSerialPort port(nullptr, backend, &clock);
    port.Open("COM1: baud=38400 parity=N data=8 stop=1");
    CJDMProgrammer jdm(port);
    const JdmProgramImage image = Image(0x3FF);
    const JdmProgramImage blankImage = Image(0);
    double write = 0, verify = 0, blank = 0;
    for (auto _ : state) {
        backend->Chip().FactoryReset();
        const std::size_t start = backend->Chip().LineCalls();
        benchmark::DoNotOptimize(jdm.WriteProgram(image));
        const std::size_t written = backend->Chip().LineCalls();
        benchmark::DoNotOptimize(jdm.VerifyProgram(image));
        write = static_cast<double>(written - start - 3) / 0x3FF;  // less the power cycle
        const std::size_t verified = backend->Chip().LineCalls();
        verify = static_cast<double>(verified - written - 3) / 0x3FF;
        benchmark::DoNotOptimize(jdm.WriteProgram(blankImage));
        blank = static_cast<double>(backend->Chip().LineCalls() - verified - 3) / 0x3FF;
    }
    state.counters["calls_per_written_word"] = write;
    state.counters["calls_per_verified_word"] = verify;
    state.counters["calls_per_blank_word"] = blank;
}
BENCHMARK(BM_LineCallsPerWord)->Unit(benchmark::kMillisecond);

// A whole update in real time: erase, write, verify. Arg: programmed words.
void BM_WholeUpdateRealTime(benchmark::State& state) {
    const auto words = static_cast<unsigned>(state.range(0));
    const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                       ("tenlo_bench_jdm_" + std::to_string(::getpid()) + ".hex");
    std::ofstream(file) << HexFile(Image(words));

    CountingClock clock;
    auto backend = sim::MakeJdmSimulatorBackend(clock);
    backend->Chip().RecordCommands(false);
    CSerialPort port(nullptr, backend, &clock);
    port.Open("COM1: baud=38400 parity=N data=8 stop=1");
    QuietView view;
    double wall = 0, mandated = 0;
    std::size_t calls = 0;
    for (auto _ : state) {
        backend->Chip().FactoryReset();
        clock.requested = {};
        clock.byLength.clear();
        const std::size_t before = backend->Chip().LineCalls();
        const auto start = std::chrono::steady_clock::now();
        const FirmwareUpdateResult result = RunFirmwareUpdate(port, view, file.string());
        wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                   .count();
        if (result != FirmwareUpdateResult::Success) {
            state.SkipWithError(view.last.c_str());
            break;
        }
        mandated = std::chrono::duration<double, std::milli>(clock.requested).count();
        calls = backend->Chip().LineCalls() - before;
    }
    std::filesystem::remove(file);
    state.counters["wall_ms"] = wall;
    state.counters["mandated_wait_ms"] = mandated;
    state.counters["ratio"] = mandated > 0 ? wall / mandated : 0;
    state.counters["line_calls"] = static_cast<double>(calls);
    for (const auto& [ms, count] : clock.byLength) {
        state.counters["waits_" + std::to_string(ms) + "ms"] = static_cast<double>(count);
    }
    state.counters["ns_per_line_call_beyond_waits"] =
        calls > 0 ? (wall - mandated) * 1e6 / static_cast<double>(calls) : 0;
}
BENCHMARK(BM_WholeUpdateRealTime)
    ->Arg(32)
    ->Arg(1023)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
