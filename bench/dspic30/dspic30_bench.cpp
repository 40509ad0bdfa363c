// A whole dsPIC30F4013 (16384 instructions) read and written through the in-process virtual
// programmer with line-rate emulation, on the real clock.
//
// ratio sets the host time against the protocol's plain minimum for the bytes it produced:
// every byte on the line (both ways) at 260.4 us plus every mandated 1 ms pause. That sum
// counts a framed byte and its acknowledgement on top of the pause they travel in, so
// tight_ratio uses the tighter bound: the pauses plus only the bytes that travel outside them.
// Those are the raw bytes both ways and the acknowledgements that close raw bytes (the blocks,
// configuration words and row addresses of 0x35-0x37, 0x39, 0x3A): such an answer can only
// start after the last raw byte has arrived, never inside a pause.
//
//   read:  4096 packed blocks of four instructions, each one command and twelve raw bytes back.
//   write: 512 rows, each an address, eight packed blocks of twelve raw bytes and a commit.

#include <benchmark/benchmark.h>

#include <chrono>
#include <functional>
#include <memory>

#include "device/catalogue.h"
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

constexpr const char* kChip = "dsPIC30F4013";

struct LineRig {
    LineRig() {
        link.Connect(ProgrammerPortDefinition(5));
        device = CreateDevice(FindCatalogueIndex(kChip), link, &options, nullptr);
        if (device) {
            device->Initialize();
        }
    }
    // Answers that follow a pause: every frame's but those closing raw bytes.
    std::uint64_t PausedAnswers() {
        return programmer->With([](sim::CFirmwareEngine& engine, sim::IChipModel&) {
            std::uint64_t afterRaw = 0;
            for (std::uint8_t code : {0x35, 0x36, 0x37, 0x39, 0x3A}) {
                afterRaw += engine.CommandCount(code);
            }
            return engine.Statistics().frames - afterRaw;
        });
    }

    PauseCountingClock clock;
    std::shared_ptr<testing::WireLog> wire = std::make_shared<testing::WireLog>();
    std::shared_ptr<sim::CVirtualProgrammer> programmer =
        std::make_shared<sim::CVirtualProgrammer>(sim::CreateChip(kChip));
    CProgrammerLink link{nullptr,
                         testing::MakeRecordingBackend(
                             sim::MakeInProcessBackend(programmer, SystemClock(), true), wire),
                         &clock};
    DeviceOptions options;
    std::unique_ptr<CDevice> device;
};

void Measure(benchmark::State& state, LineRig& rig, const std::function<bool()>& op) {
    if (!rig.link.IsConnected() || !rig.device) {
        state.SkipWithError("no virtual programmer");
        return;
    }
    const double byteSeconds = duration<double>(sim::ByteTime(sim::kProgrammerBaud)).count();
    double hostSeconds = 0;
    double minimumSeconds = 0;
    double tightSeconds = 0;
    for (auto _ : state) {
        rig.wire->Clear();
        rig.clock.pauses = 0;
        const std::uint64_t pausedBefore = rig.PausedAnswers();
        const auto start = steady_clock::now();
        const bool ok = op();
        hostSeconds += duration<double>(steady_clock::now() - start).count();
        if (!ok) {
            state.SkipWithError("operation failed");
            return;
        }
        const auto bytes = static_cast<double>(rig.wire->Written().size() + rig.wire->Read());
        const auto pauses = static_cast<double>(rig.clock.pauses.load());
        // Every pause follows one framed host byte and covers the answer to its frame.
        const auto paused = static_cast<double>(rig.PausedAnswers() - pausedBefore);
        minimumSeconds += bytes * byteSeconds + pauses * 1e-3;
        tightSeconds += (bytes - pauses - paused) * byteSeconds + pauses * 1e-3;
        state.counters["wire_bytes"] = bytes;
        state.counters["pauses"] = pauses;
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["host_s"] = hostSeconds / n;
    state.counters["minimum_s"] = minimumSeconds / n;
    state.counters["tight_minimum_s"] = tightSeconds / n;
    state.counters["ratio"] = hostSeconds / minimumSeconds;
    state.counters["tight_ratio"] = hostSeconds / tightSeconds;
}

void BM_ReadProgramDsPic30F4013(benchmark::State& state) {
    LineRig rig;
    CMemoryImage image(rig.device->Layout());
    Measure(state, rig, [&] { return rig.device->RunReadProgram(image.Program()); });
}
BENCHMARK(BM_ReadProgramDsPic30F4013)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

void BM_WriteProgramDsPic30F4013(benchmark::State& state) {
    LineRig rig;
    CMemoryImage image(rig.device->Layout());
    for (std::size_t i = 0; i < image.CellCount(Memory::Program); ++i) {
        image.Set(Memory::Program, i, (i * 0x9E37u) & 0xFFFFFF);
    }
    // One iteration, onto the blank chip the rig starts with.
    Measure(state, rig, [&] { return rig.device->RunWriteProgram(image.Program()); });
}
BENCHMARK(BM_WriteProgramDsPic30F4013)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
