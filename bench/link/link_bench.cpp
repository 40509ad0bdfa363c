// What the serial layer costs on this host, against what the protocol itself demands.
//
//  SleepOneMs           the 1 ms pause every framed byte carries (clock_nanosleep)
//  ByteRoundTripOverPty one byte out and one in through a pseudo-terminal, no pause
//  PingOverPty          one framed byte: write, 1 ms pause, read 0xA5 (a peer thread answers)
//  IcspReadMulti64      64 words through the simulated programmer with line-rate emulation,
//                       against the wire time: 133 bytes at 260.4 us plus three 1 ms pauses

#include <atomic>
#include <chrono>
#include <thread>

#include <benchmark/benchmark.h>
#include <poll.h>
#include <unistd.h>

#include "link/posix_port_backend.h"
#include "link/programmer_link.h"
#include "link/pty_test_util.h"
#include "sim/blank_chip.h"
#include "sim/in_process_backend.h"
#include "sim/virtual_programmer.h"

namespace tenlo {
namespace {

const std::string kDefinition = ProgrammerPortDefinition(5);

// Answers every byte it receives with 0xA5 until stopped.
class AckingPeer {
  public:
    explicit AckingPeer(test::Pty& pty) : pty_(pty), thread_([this] { Run(); }) {}
    ~AckingPeer() {
        stop_ = true;
        thread_.join();
    }

  private:
    void Run() {
        while (!stop_) {
            const auto got = pty_.ReceiveAny(std::chrono::milliseconds(20));
            if (!got.empty()) {
                pty_.Send(std::vector<std::uint8_t>(got.size(), 0xA5));
            }
        }
    }
    test::Pty& pty_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Mean time per iteration as a multiple of the reference time.
void Report(benchmark::State& state, std::chrono::steady_clock::time_point start,
            double referenceSeconds, const char* name) {
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (state.iterations() > 0) {
        state.counters[name] =
            took.count() / static_cast<double>(state.iterations()) / referenceSeconds;
    }
}

struct PtyRig {
    test::Pty pty;
    test::PortDir dir;
    CProgrammerLink link{nullptr, std::make_shared<PosixPortBackend>()};
    PtyRig() {
        dir.Link("com5", pty.SlavePath());
        link.Connect(kDefinition);
    }
};

void SleepOneMs(benchmark::State& state) {
    RealClock clock;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        clock.SleepFor(std::chrono::milliseconds(1));
    }
    Report(state, start, 1e-3, "x_1ms");
}
BENCHMARK(SleepOneMs)->Unit(benchmark::kMicrosecond)->UseRealTime();

void ByteRoundTripOverPty(benchmark::State& state) {
    PtyRig rig;
    if (!rig.link.IsConnected()) {
        state.SkipWithError("cannot open the pseudo-terminal");
        return;
    }
    AckingPeer peer(rig.pty);
    std::uint8_t reply = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        if (!rig.link.WriteByte(0x00) || !rig.link.ReadByte(&reply)) {
            state.SkipWithError("no reply");
            break;
        }
    }
    Report(state, start, 1e-3, "x_1ms");
}
BENCHMARK(ByteRoundTripOverPty)->Unit(benchmark::kMicrosecond)->UseRealTime();

void PingOverPty(benchmark::State& state) {
    PtyRig rig;
    if (!rig.link.IsConnected()) {
        state.SkipWithError("cannot open the pseudo-terminal");
        return;
    }
    AckingPeer peer(rig.pty);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        if (!rig.link.Ping()) {
            state.SkipWithError("ping failed");
            break;
        }
    }
    // Time per framed exchange as a multiple of the 1 ms the protocol mandates.
    Report(state, start, 1e-3, "x_1ms");
}
BENCHMARK(PingOverPty)->Unit(benchmark::kMicrosecond)->UseRealTime();

void IcspReadMulti64(benchmark::State& state) {
    auto programmer =
        std::make_shared<sim::CVirtualProgrammer>(std::make_unique<sim::BlankMidrangeChip>());
    CProgrammerLink link(nullptr, sim::MakeInProcessBackend(programmer, SystemClock(), true));
    link.Connect(kDefinition);
    if (!link.IsConnected() || !link.PowerOnVddFirst()) {
        state.SkipWithError("no simulated programmer");
        return;
    }
    std::uint16_t words[64];
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        if (!link.IcspReadMulti(4, words, 64)) {
            state.SkipWithError("read failed");
            break;
        }
    }
    // 0x14, A5, command, count, A5, then 128 data bytes; three framed bytes pause 1 ms.
    constexpr double kWireSeconds = 133 * 260.4e-6 + 3 * 1e-3;
    Report(state, start, kWireSeconds, "x_wire");
}
BENCHMARK(IcspReadMulti64)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same transfer paced by a pty peer that sends each reply byte 260.4 us after the last.
void IcspReadMulti64PacedPty(benchmark::State& state) {
    PtyRig rig;
    if (!rig.link.IsConnected()) {
        state.SkipWithError("cannot open the pseudo-terminal");
        return;
    }
    std::atomic<bool> stop{false};
    std::thread peer([&] {
        const auto byteTime = std::chrono::nanoseconds(260417);
        std::size_t seen = 0;
        while (!stop) {
            const auto got = rig.pty.Receive(1, std::chrono::milliseconds(20));
            if (got.empty()) {
                continue;
            }
            // Host bytes per transfer: 0x14, then the frame of command and count.
            seen = (seen + 1) % 3;
            if (seen == 2) {
                continue;
            }
            std::this_thread::sleep_for(byteTime * 2);  // the host byte and our reply
            rig.pty.Send({0xA5});
            if (seen == 0) {
                auto next = std::chrono::steady_clock::now();
                for (int i = 0; i < 128; ++i) {
                    next += byteTime;
                    std::this_thread::sleep_until(next);
                    rig.pty.Send({static_cast<std::uint8_t>(i)});
                }
            }
        }
    });
    std::uint16_t words[64];
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        if (!rig.link.IcspReadMulti(4, words, 64)) {
            state.SkipWithError("read failed");
            break;
        }
    }
    stop = true;
    peer.join();
    constexpr double kWireSeconds = 133 * 260.4e-6 + 3 * 1e-3;
    Report(state, start, kWireSeconds, "x_wire");
}
BENCHMARK(IcspReadMulti64PacedPty)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace tenlo

BENCHMARK_MAIN();
