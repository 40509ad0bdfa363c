// What the firmware update costs on top of the waits it must make: line calls per word, and
// the wall time of a whole update on the simulated chip in real time against the sum of the
// waits the line driver asks for.
#include <benchmark/benchmark.h>

#include "jdm/jdm_programmer.h"
#include "jdm_bench_support.h"
#include "link/clock.h"
#include "link/serial_port.h"
#include "sim/jdm/jdm_port_backend.h"

namespace {

using namespace tenlo;
using tenlo::bench::Image;

// Line calls of one programmed word (load, begin, read back, increment) and of one verified
// word (read, increment), counted on the simulated chip.
void BM_LineCallsPerWord(benchmark::State& state) {
    VirtualClock clock;
    auto backend = sim::MakeJdmSimulatorBackend(clock);
    backend->Chip().RecordCommands(false);
    CSerialPort port(nullptr, backend, &clock);
    port.Open(ProgrammerPortDefinition(1));
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

BENCHMARK(tenlo::bench::BM_WholeUpdateRealTime)
    ->Name("BM_WholeUpdateRealTime")
    ->Arg(32)
    ->Arg(1023)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
