// What the virtual programmer costs the host.
//
// BM_ReadMulti64LineRate: a 64-word IcspReadMulti through the in-process backend with line-rate
// emulation on the real clock, against its time on a real 38400-baud line. Two references:
//   naive:    133 bytes at 260.4 us plus the three mandated 1 ms pauses (frame[0x14] = 1 byte,
//             pause, answer; frame[cmd, count] = 2 bytes, 2 pauses, answer; 128 raw bytes);
//   overlap:  the same with the answer and the word bytes streaming behind the last framed
//             byte while the host still sits in its pause, as they do on a real line:
//             2 ms + 130 byte times.
// BM_EngineFeed: the firmware engine alone, bytes per second of the same exchange.

#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <memory>
#include <vector>

#include "link/clock.h"
#include "link/programmer_link.h"
#include "sim/blank_chip.h"
#include "sim/firmware_engine.h"
#include "sim/in_process_backend.h"

namespace {

using namespace std::chrono;
using namespace tenlo;
using namespace tenlo::sim;

void BM_ReadMulti64LineRate(benchmark::State& state) {
    auto programmer = std::make_shared<CVirtualProgrammer>(std::make_unique<BlankMidrangeChip>());
    CProgrammerLink link(nullptr, MakeInProcessBackend(programmer, SystemClock(), true));
    link.Connect(ProgrammerPortDefinition(5));
    if (!link.IsConnected() || !link.PowerOnVddFirst()) {
        state.SkipWithError("no virtual programmer");
        return;
    }

    std::array<std::uint16_t, 64> words{};
    const auto start = steady_clock::now();
    for (auto _ : state) {
        if (!link.IcspReadMulti(0x04, words.data(), 64)) {
            state.SkipWithError("IcspReadMulti failed");
            break;
        }
        benchmark::DoNotOptimize(words);
    }
    const double took = duration<double, std::milli>(steady_clock::now() - start).count() /
                        static_cast<double>(state.iterations());
    const double byteMs = duration<double, std::milli>(ByteTime(kProgrammerBaud)).count();
    const double naive = 133 * byteMs + 3.0;
    const double overlap = 130 * byteMs + 2.0;
    state.counters["host_ms"] = took;
    state.counters["wire_naive_ms"] = naive;
    state.counters["wire_overlap_ms"] = overlap;
    state.counters["ratio_naive"] = took / naive;
    state.counters["ratio_overlap"] = took / overlap;
}
BENCHMARK(BM_ReadMulti64LineRate)->Unit(benchmark::kMillisecond)->Iterations(50);

void BM_EngineFeed(benchmark::State& state) {
    BlankMidrangeChip chip;
    CFirmwareEngine engine(chip);
    std::vector<std::uint8_t> out;
    out.reserve(256);
    const std::uint8_t session[] = {0x03, 0x14, 0x04, 0x40};
    engine.Feed(session[0], out);
    std::size_t bytes = 0;
    for (auto _ : state) {
        out.clear();
        for (std::size_t i = 1; i < sizeof session; ++i) {
            engine.Feed(session[i], out);
        }
        bytes += 3 + out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_EngineFeed);

}  // namespace

BENCHMARK_MAIN();
