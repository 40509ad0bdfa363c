#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "sim/blank_chip.h"
#include "sim/firmware_engine.h"
#include "sim/recording_chip.h"

namespace tenlo::sim {
namespace {

// Random byte streams must never crash the firmware or leave it stuck: whatever came before,
// 1024 zero bytes finish any command (the longest, 255 three-byte items, needs 765), and a
// Ping is then answered with exactly one 0xA5.
void Hammer(IChipModel& chip, const FaultPlan& faults, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> length(1, 600);
    std::uniform_int_distribution<int> byte(0, 255);
    // Half the streams are biased to known command codes and small counts so the long paths
    // (0x14, 0x18, 0x20, 0x30 loops) are reached often.
    std::uniform_int_distribution<int> coin(0, 1);
    for (int run = 0; run < 250; ++run) {
        CFirmwareEngine engine(chip, faults);
        std::vector<std::uint8_t> out;
        const bool biased = coin(random) == 1;
        const int n = length(random);
        for (int i = 0; i < n; ++i) {
            auto b = static_cast<std::uint8_t>(byte(random));
            if (biased && engine.Idle()) {
                b = static_cast<std::uint8_t>(b % 0x3B);
            } else if (biased) {
                b = static_cast<std::uint8_t>(b % 8);
            }
            engine.Feed(b, out);
        }
        EXPECT_EQ(engine.Statistics().bytesOut, out.size());
        EXPECT_EQ(engine.Statistics().bytesIn, static_cast<std::uint64_t>(n));
        if (faults.disconnectAtByte != 0 || faults.silenceFromByte != 0) {
            // A dead line stays dead, and a hung firmware stays hung.
            const std::size_t before = out.size();
            engine.Feed(0x00, out);
            ASSERT_TRUE(out.size() == before ||
                        n + 1 < static_cast<int>(
                                    std::max(faults.disconnectAtByte, faults.silenceFromByte)));
            continue;
        }
        for (int i = 0; i < 1024; ++i) {
            engine.Feed(0x00, out);
        }
        ASSERT_TRUE(engine.Idle()) << "seed " << seed << " run " << run;
        out.clear();
        engine.Feed(0x00, out);
        if (faults.noAckFrames.empty() && faults.badAcks.empty()) {
            ASSERT_EQ(out, std::vector<std::uint8_t>{0xA5}) << "seed " << seed << " run " << run;
        }
    }
}

TEST(FirmwareEngineRandom, BlankChipSurvivesRandomStreams) {
    for (std::uint32_t seed = 1; seed <= 8; ++seed) {
        BlankMidrangeChip chip;
        Hammer(chip, {}, seed);
    }
}

TEST(FirmwareEngineRandom, HooksSurviveRandomStreams) {
    for (std::uint32_t seed = 100; seed <= 104; ++seed) {
        testing::RecordingChip chip;
        chip.calls.reserve(1 << 16);
        Hammer(chip, {}, seed);
    }
}

TEST(FirmwareEngineRandom, FaultsSurviveRandomStreams) {
    FaultPlan plan;
    plan.noAckFrames = {3, 17, 40};
    plan.badAcks = {{5, 0x00}, {60, 0x5A}};
    plan.noChip = true;
    plan.eeBusy = true;
    plan.stuckCells = {{Space::Program, 0}, {Space::Data, 1}};
    BlankMidrangeChip chip;
    for (const auto& [space, address] : plan.stuckCells) {
        chip.SetStuckCell(space, address);
    }
    Hammer(chip, plan, 7);
    FaultPlan line;
    line.silenceFromByte = 50;
    Hammer(chip, line, 8);
    line.silenceFromByte = 0;
    line.disconnectAtByte = 30;
    Hammer(chip, line, 9);
}

}  // namespace
}  // namespace tenlo::sim
