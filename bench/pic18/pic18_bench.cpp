// A whole PIC18F452 (16384 words) read and written through the in-process virtual programmer
// with line-rate emulation, on the real clock, each against the protocol's own minimum for the
// byte stream it produced.
//
// minimum_s: every byte that crossed the line (both ways) at 260.4 us plus every mandated 1 ms
// pause after a framed byte. That counts a framed byte and its acknowledgement on top of the
// pause they travel in, so a host can come in under it; tight_s counts them once: the pauses
// plus only the bytes that travel outside them (the raw table-read bytes). ratio and
// tight_ratio are host time over each. A 1 ms sleep of the system lasts longer than 1 ms
// (pause_ms, measured); slept_ratio sets the host time against the tight bound with the pauses
// as long as they really were, which is what the host's own work adds.
//
// The write programs every word (1024 multi-panel cycles of four buffers), so it runs for about
// a minute and a half of pauses alone.

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

#include "device/catalogue.h"
#include "line_rate_rig.h"

namespace {

using namespace std::chrono;
using namespace tenlo;
using tenlo::bench::LineRateRig;

enum class Work { Read, Write };

void Measure(benchmark::State& state, Work work) {
    double hostSeconds = 0;
    double minimumSeconds = 0;
    double tightSeconds = 0;
    double sleptSeconds = 0;
    std::uint64_t bytes = 0;
    std::uint64_t pauses = 0;
    std::uint64_t pauseNanos = 0;
    for (auto _ : state) {
        LineRateRig rig("PIC18F452");
        DeviceOptions options;
        auto device = CreateDevice(FindCatalogueIndex("PIC18F452"), rig.Link(), &options, nullptr);
        if (!rig.Connected() || !device) {
            state.SkipWithError("no virtual programmer");
            return;
        }
        CMemoryImage image(device->Layout());
        for (std::size_t i = 0; i < device->Layout().programSize; ++i) {
            image.Set(Memory::Program, i, static_cast<std::uint32_t>(i ^ 0x5A5A));
        }
        rig.Reset();
        const auto start = steady_clock::now();
        const bool ok = work == Work::Read ? device->RunReadProgram(image.Program())
                                           : device->RunWriteProgram(image.Program());
        hostSeconds += duration<double>(steady_clock::now() - start).count();
        if (!ok) {
            state.SkipWithError("the operation failed");
            return;
        }
        bytes = rig.Bytes();
        pauses = rig.Pauses();
        pauseNanos = rig.PauseNanos();
        const testing::LineCost cost = rig.Cost();
        minimumSeconds += cost.minimum;
        tightSeconds += cost.tight;
        sleptSeconds += cost.slept;
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["host_s"] = hostSeconds / n;
    state.counters["minimum_s"] = minimumSeconds / n;
    state.counters["tight_s"] = tightSeconds / n;
    state.counters["wire_bytes"] = static_cast<double>(bytes);
    state.counters["pauses"] = static_cast<double>(pauses);
    state.counters["ratio"] = hostSeconds / minimumSeconds;
    state.counters["tight_ratio"] = hostSeconds / tightSeconds;
    state.counters["pause_ms"] =
        pauses > 0 ? static_cast<double>(pauseNanos) * 1e-6 / static_cast<double>(pauses) : 0.0;
    state.counters["slept_ratio"] = hostSeconds / sleptSeconds;
}

void BM_ReadProgram18F452(benchmark::State& state) {
    Measure(state, Work::Read);
}
BENCHMARK(BM_ReadProgram18F452)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

void BM_WriteProgram18F452(benchmark::State& state) {
    Measure(state, Work::Write);
}
BENCHMARK(BM_WriteProgram18F452)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
