// Whole device operations on a PIC16F877 through the in-process virtual programmer with
// line-rate emulation, on the real clock, each against the protocol's own minimum for the byte
// stream it produced: every byte that crossed the line (both ways) at 260.4 us, plus every
// mandated 1 ms pause after a framed byte. ratio = host time / that minimum.
//
// Read and compare cover the whole 8192-word program memory. A whole write takes about half a
// minute of pauses alone, so the write runs the same algorithm over a 512-word slice (the
// first 512 words, the layout cut to that size).

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <memory>

#include "device/catalogue.h"
#include "device/midrange/pic16f84a.h"
#include "link/clock.h"
#include "link/programmer_link.h"
#include "sim/in_process_backend.h"
#include "sim/virtual_programmer.h"
#include "support/pause_counting_clock.h"
#include "support/recording_backend.h"

namespace {

using namespace std::chrono;
using namespace tenlo;
using tenlo::testing::PauseCountingClock;

struct LineRig {
    explicit LineRig(std::uint32_t programWords) {
        const int index = FindCatalogueIndex("PIC16F877");
        DeviceLayout layout = *CatalogueLayout(index);
        layout.programSize = programWords;
        device = std::make_unique<CPic16F84A>(link, &options, nullptr, layout,
                                              *CatalogueMidRangeParams(index));
        link.Connect(ProgrammerPortDefinition(5));
    }
    void Reset() {
        wire->Clear();
        clock.pauses = 0;
    }
    // The protocol's minimum for what crossed the line since Reset, in seconds.
    double MinimumSeconds() {
        const double byteSeconds = duration<double>(sim::ByteTime(sim::kProgrammerBaud)).count();
        const auto bytes = static_cast<double>(wire->Written().size() + wire->Read());
        return bytes * byteSeconds + static_cast<double>(clock.pauses) * 1e-3;
    }

    PauseCountingClock clock;
    std::shared_ptr<testing::WireLog> wire = std::make_shared<testing::WireLog>();
    std::shared_ptr<sim::CVirtualProgrammer> programmer =
        std::make_shared<sim::CVirtualProgrammer>(sim::CreateChip("PIC16F877"));
    CProgrammerLink link{nullptr,
                         testing::MakeRecordingBackend(
                             sim::MakeInProcessBackend(programmer, SystemClock(), true), wire),
                         &clock};
    DeviceOptions options;
    std::unique_ptr<CDevice> device;
};

template <typename Op>
void Measure(benchmark::State& state, LineRig& rig, Op op) {
    if (!rig.link.IsConnected()) {
        state.SkipWithError("no virtual programmer");
        return;
    }
    double hostSeconds = 0;
    double minimumSeconds = 0;
    for (auto _ : state) {
        rig.Reset();
        const auto start = steady_clock::now();
        const bool ok = op();
        hostSeconds += duration<double>(steady_clock::now() - start).count();
        minimumSeconds += rig.MinimumSeconds();
        if (!ok) {
            state.SkipWithError("operation failed");
            return;
        }
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["host_s"] = hostSeconds / n;
    state.counters["minimum_s"] = minimumSeconds / n;
    state.counters["wire_bytes"] =
        static_cast<double>(rig.wire->Written().size() + rig.wire->Read());
    state.counters["pauses"] = static_cast<double>(rig.clock.pauses);
    state.counters["ratio"] = hostSeconds / minimumSeconds;
}

void BM_ReadProgram16F877(benchmark::State& state) {
    LineRig rig(8192);
    CMemoryImage image(rig.device->Layout());
    Measure(state, rig, [&] { return rig.device->RunReadProgram(image.Program()); });
}
BENCHMARK(BM_ReadProgram16F877)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

void BM_CompareProgram16F877(benchmark::State& state) {
    LineRig rig(8192);
    CMemoryImage image(rig.device->Layout());
    CompareResult result;
    Measure(state, rig, [&] {
        return rig.device->RunCompareProgram(image.Program(), result) && result.match == 1;
    });
}
BENCHMARK(BM_CompareProgram16F877)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

void BM_WriteProgram16F877Slice512(benchmark::State& state) {
    LineRig rig(512);
    CMemoryImage image(rig.device->Layout());
    for (std::size_t i = 0; i < 512; ++i) {
        image.Set(Memory::Program, i, 0x2000 | i);
    }
    // One iteration, onto the blank chip the rig starts with.
    Measure(state, rig, [&] { return rig.device->RunWriteProgram(image.Program()); });
}
BENCHMARK(BM_WriteProgram16F877Slice512)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

void BM_ReadData16F877(benchmark::State& state) {
    LineRig rig(8192);
    CMemoryImage image(rig.device->Layout());
    Measure(state, rig, [&] { return rig.device->RunReadData(image.Data()); });
}
BENCHMARK(BM_ReadData16F877)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
