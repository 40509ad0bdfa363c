// Whole writes of the two slow write styles through the in-process virtual programmer with
// line-rate emulation, on the real clock, each against the protocol's minimum for the byte
// stream it produced: every byte that crossed the line (both ways) at 260.4 us, plus every
// mandated 1 ms pause after a framed byte. ratio = host time / that minimum.
//
// That sum counts a framed byte and its acknowledgement on top of the pause they travel in, so a
// host can come in under it. overlap_ratio sets the host time against the tighter bound: the
// pauses plus only the bytes that travel outside them (raw data, the raw command bytes of reads).
//
// Both run over a slice of program memory (the layout cut to fewer words, the chip's own
// constants): a whole 16F877A takes about half a minute of pauses, a whole 12F629 about twelve
// seconds.
//   PIC16F877A: rows of 8 loaded at once, one programming cycle per row, then the verify pass.
//   PIC12F629: every word loaded, programmed, read back and stepped past on its own.

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string_view>

#include "device/catalogue.h"
#include "device/midrange/pic12f629.h"
#include "device/midrange/pic16f87xa.h"
#include "line_rate_rig.h"

namespace {

using namespace std::chrono;
using namespace tenlo;
using tenlo::bench::LineRateRig;

template <typename Device>
void MeasureWrite(benchmark::State& state, std::string_view chip, std::uint32_t words) {
    double hostSeconds = 0;
    double minimumSeconds = 0;
    std::uint64_t bytes = 0;
    std::uint64_t pauses = 0;
    double overlapSeconds = 0;
    for (auto _ : state) {
        // A fresh blank chip each time: flash programming only clears bits.
        LineRateRig rig(chip);
        if (!rig.Connected()) {
            state.SkipWithError("no virtual programmer");
            return;
        }
        const int index = FindCatalogueIndex(chip);
        DeviceLayout layout = *CatalogueLayout(index);
        layout.programSize = words;
        DeviceOptions options;
        options.keepCalibration = 1;
        Device device(rig.Link(), &options, nullptr, layout, *CatalogueMidRangeParams(index));
        CMemoryImage image(device.Layout());
        for (std::size_t i = 0; i < words; ++i) {
            image.Set(Memory::Program, i, 0x2000 | (i & 0x7FF));
        }

        rig.Reset();
        const auto start = steady_clock::now();
        const bool ok = device.RunWriteProgram(image.Program());
        hostSeconds += duration<double>(steady_clock::now() - start).count();
        if (!ok) {
            state.SkipWithError("write failed");
            return;
        }
        bytes = rig.Bytes();
        pauses = rig.Pauses();
        const testing::LineCost cost = rig.Cost();
        minimumSeconds += cost.minimum;
        overlapSeconds += cost.tight;
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["words"] = words;
    state.counters["host_s"] = hostSeconds / n;
    state.counters["minimum_s"] = minimumSeconds / n;
    state.counters["wire_bytes"] = static_cast<double>(bytes);
    state.counters["pauses"] = static_cast<double>(pauses);
    state.counters["ratio"] = hostSeconds / minimumSeconds;
    state.counters["overlap_ratio"] = hostSeconds / overlapSeconds;
}

void BM_WriteProgram16F877ARows(benchmark::State& state) {
    MeasureWrite<CPic16F87xA>(state, "PIC16F877A", 512);
}
BENCHMARK(BM_WriteProgram16F877ARows)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

void BM_WriteProgram12F629Words(benchmark::State& state) {
    MeasureWrite<CPic12F629>(state, "PIC12F629", 128);
}
BENCHMARK(BM_WriteProgram12F629Words)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
