#include "sim/in_process_backend.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "link/port_names.h"
#include "sim/blank_chip.h"
#include "sim/jdm/jdm_port_backend.h"

namespace tenlo::sim {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using ::testing::ElementsAre;

constexpr std::uint8_t A5 = 0xA5;
constexpr IClock::Duration kByte = ByteTime(kProgrammerBaud);

FaultPlan Plan(const char* text) {
    FaultPlan plan;
    std::string error;
    EXPECT_TRUE(ParseFault(text, plan, error)) << error;
    return plan;
}

struct Rig {
    explicit Rig(bool lineRate, FaultPlan faults = {})
        : programmer(std::make_shared<CVirtualProgrammer>(std::make_unique<BlankMidrangeChip>(),
                                                          std::move(faults))),
          backend(MakeInProcessBackend(programmer, clock, lineRate)),
          port(backend->Open("COM5")) {}

    long Write(const Bytes& bytes) { return port->Write(bytes.data(), bytes.size()); }
    Bytes Read(std::size_t count) {
        Bytes buffer(count);
        const long got = port->Read(buffer.data(), count);
        buffer.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        return buffer;
    }

    VirtualClock clock;
    std::shared_ptr<CVirtualProgrammer> programmer;
    std::shared_ptr<IPortBackend> backend;
    std::unique_ptr<IPortHandle> port;
};

TEST(InProcessPort, ServesEveryComNameOneHandleAtATime) {
    VirtualClock clock;
    auto programmer = std::make_shared<CVirtualProgrammer>(std::make_unique<BlankMidrangeChip>());
    auto backend = MakeInProcessBackend(programmer, clock);
    for (const char* bad : {"", "COM", "LPT1", "COM5:", "/dev/ttyS0", "COMX", "xCOM1"}) {
        EXPECT_EQ(backend->Open(bad), nullptr) << bad;
    }
    auto first = backend->Open("com12");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(backend->Open("COM5"), nullptr);  // busy
    first.reset();
    auto second = backend->Open("COM5");
    ASSERT_NE(second, nullptr);

    bool cts = true;
    EXPECT_FALSE(second->SetDtr(true));
    EXPECT_FALSE(second->SetRts(false));
    EXPECT_FALSE(second->SetBreak(true));
    EXPECT_FALSE(second->GetCts(cts));

    CommSettings settings;
    ASSERT_TRUE(second->GetSettings(settings));
    EXPECT_EQ(settings.baud, 38400u);
    settings.parity = 'E';
    EXPECT_TRUE(second->ApplySettings(settings));
    CommSettings back;
    ASSERT_TRUE(second->GetSettings(back));
    EXPECT_EQ(back, settings);
}

TEST(InProcessPort, TakesTheComNamesTheJdmSimulatorTakes) {
    VirtualClock clock;
    const std::optional<SimulatedProgrammer> simulated = SimulateChip("blank14", clock);
    ASSERT_TRUE(simulated.has_value());
    const auto jdm = MakeJdmSimulatorBackend(clock);
    for (const char* name : {"COM0", "COM05", "COM5", "com99"}) {
        auto a = simulated->backend->Open(name);
        auto b = jdm->Open(name);
        EXPECT_EQ(a != nullptr, b != nullptr) << name;
        EXPECT_EQ(a != nullptr, ComPortNumber(name).has_value()) << name;
    }
}

TEST(InProcessPort, HandleOutlivesItsBackend) {
    Rig rig(false);
    rig.backend.reset();
    EXPECT_EQ(rig.Write({0x00}), 1);
    EXPECT_THAT(rig.Read(1), ElementsAre(A5));
}

TEST(InProcessPort, RepliesWithoutLineRateCostNoTime) {
    Rig rig(false);
    EXPECT_EQ(rig.Write({0x02}), 1);
    EXPECT_EQ(rig.port->BytesWaiting(), 5);
    EXPECT_THAT(rig.Read(5), ElementsAre(A5, 0x01, 0x00, 0x03, 0x00));
    EXPECT_EQ(rig.clock.Now(), IClock::Duration{0});
}

TEST(InProcessPort, EmptyReadWaitsTheTimeOutOnTheClock) {
    Rig rig(false);
    EXPECT_TRUE(rig.Read(1).empty());
    EXPECT_EQ(rig.clock.Now(), IClock::Duration(1000ms));
    ASSERT_TRUE(rig.port->SetTimeouts(250ms, 250ms));
    // A partial read returns what came, after the time-out.
    rig.Write({0x00});
    EXPECT_THAT(rig.Read(4), ElementsAre(A5));
    EXPECT_EQ(rig.clock.Now(), IClock::Duration(1250ms));
}

TEST(InProcessPort, PurgeDropsPendingReplies) {
    Rig rig(false);
    rig.Write({0x02});
    EXPECT_TRUE(rig.port->Purge());
    EXPECT_EQ(rig.port->BytesWaiting(), 0);
    rig.Write({0x00});
    EXPECT_THAT(rig.Read(1), ElementsAre(A5));
}

TEST(InProcessLineRate, EachByteTakesTenBitTimesEachWay) {
    Rig rig(true);
    rig.Write({0x00});
    // Not there yet: the command is still on its way and the answer after it.
    EXPECT_EQ(rig.port->BytesWaiting(), 0);
    EXPECT_THAT(rig.Read(1), ElementsAre(A5));
    EXPECT_EQ(rig.clock.Now(), 2 * kByte);
    using Micros = std::chrono::duration<double, std::micro>;
    EXPECT_NEAR(Micros(kByte).count(), 260.4, 0.1);

    // Streamed replies follow one another at the byte rate.
    rig.clock.SleepFor(1ms);  // the host's pause after the framed byte
    const IClock::Duration start = rig.clock.Now();
    rig.Write({0x02});
    EXPECT_EQ(rig.Read(5).size(), 5u);
    EXPECT_EQ(rig.clock.Now() - start, 6 * kByte);
}

TEST(InProcessLineRate, ReadMultiCostsItsWireTimeAndPauses) {
    Rig rig(true);
    rig.Write({0x03});
    rig.clock.SleepFor(1ms);
    rig.Read(1);
    const IClock::Duration start = rig.clock.Now();
    // The host's frames: each byte then a 1 ms pause, then the answer.
    for (const Bytes& frame : {Bytes{0x14}, Bytes{0x04, 0x40}}) {
        for (std::uint8_t b : frame) {
            rig.Write({b});
            rig.clock.SleepFor(1ms);
        }
        EXPECT_THAT(rig.Read(1), ElementsAre(A5));
    }
    EXPECT_EQ(rig.Read(128).size(), 128u);
    // The firmware streams the words right behind its answer, while the host still sits in its
    // last pause: the last word byte lands 129 byte times after the count byte arrived.
    EXPECT_EQ(rig.clock.Now() - start, 2ms + kByte + 129 * kByte);
}

TEST(InProcessLineRate, AFramedByteKeepsTheFirmwareBusyForMostOfThePause) {
    Rig rig(true);
    // Two one-byte Ping frames back to back: the second arrives one byte time after the first,
    // while the firmware still handles it, and is lost.
    rig.Write({0x00, 0x00});
    EXPECT_THAT(rig.Read(2), ElementsAre(A5));
    // With the pause, both are answered.
    rig.Write({0x00});
    rig.clock.SleepFor(1ms);
    rig.Write({0x00});
    rig.clock.SleepFor(1ms);
    EXPECT_THAT(rig.Read(2), ElementsAre(A5, A5));
    // The firmware needs 0.9 ms of it.
    rig.Write({0x00});
    rig.clock.SleepFor(900us - 1ns);
    rig.Write({0x00});
    rig.clock.SleepFor(900us);
    rig.Write({0x00});
    EXPECT_THAT(rig.Read(2), ElementsAre(A5, A5));
    EXPECT_EQ(rig.programmer->Engine().Statistics().lostBytes, 2u);
}

TEST(InProcessLineRate, BytesWaitingFollowsTheClock) {
    Rig rig(true);
    rig.Write({0x02});
    rig.clock.SleepFor(3 * kByte);
    EXPECT_EQ(rig.port->BytesWaiting(), 2);
    rig.clock.SleepFor(10 * kByte);
    EXPECT_EQ(rig.port->BytesWaiting(), 5);
}

TEST(InProcessFaults, DisconnectTurnsEveryCallIntoAnError) {
    Rig rig(false, Plan("disconnect@3"));
    EXPECT_EQ(rig.Write({0x00, 0x00}), 2);
    EXPECT_EQ(rig.Write({0x00}), -1);
    std::uint8_t byte = 0;
    EXPECT_EQ(rig.port->Read(&byte, 1), -1);
    EXPECT_EQ(rig.port->Write(&byte, 1), -1);
    EXPECT_EQ(rig.port->BytesWaiting(), -1);
    EXPECT_FALSE(rig.port->Purge());
    CommSettings settings;
    EXPECT_FALSE(rig.port->GetSettings(settings));
}

TEST(InProcessFaults, SilenceTimesOutEveryRead) {
    Rig rig(false, Plan("silence@2"));
    rig.Write({0x00});
    EXPECT_THAT(rig.Read(1), ElementsAre(A5));
    rig.Write({0x00});
    EXPECT_TRUE(rig.Read(1).empty());
    EXPECT_EQ(rig.clock.Now(), IClock::Duration(1000ms));
}

TEST(InProcessThreads, HostOnAWorkerWhileTheTestInspects) {
    Rig rig(true);
    std::thread host([&] {
        for (int i = 0; i < 200; ++i) {
            for (std::uint8_t b : {0x10, 0x06}) {
                rig.Write({b});
                rig.clock.SleepFor(1ms);
            }
            rig.Read(2);
        }
    });
    std::uint64_t seen = 0;
    while (seen < 200) {
        seen = rig.programmer->With(
            [](CFirmwareEngine& engine, IChipModel&) { return engine.CommandCount(0x10); });
        std::this_thread::yield();
    }
    host.join();
    EXPECT_EQ(seen, 200u);
}

}  // namespace
}  // namespace tenlo::sim
