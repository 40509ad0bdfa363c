#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "device/midrange/pic16f84a.h"
#include "device/progress_texts.h"
#include "support/sim_rig.h"

namespace tenlo {
namespace {

using sim::Space;
using testing::SimRig;
using Bytes = std::vector<std::uint8_t>;

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

const Bytes kEnter{0x06, 0x0A, 0x08, 0x03};  // power off, option 8, Vdd then Vpp on
const Bytes kExit{0x06};

TEST(MidRangeWire, PIC16F84AEraseClearsProtectionThenErasesBothMemories) {
    SimRig rig("PIC16F84A");
    rig.wire->Clear();
    ASSERT_TRUE(rig.device->RunErase());
    const Bytes program = Cat({kEnter,
                               {0x12, 0x00, 0xFF, 0x3F},  // Load Configuration 0x3FFF
                               {0x11, 0x06, 0x07},        // to 0x2007
                               {0x10, 0x01, 0x10, 0x07},  // the protection clearing pair
                               {0x15, 0x08, 100},         // begin programming, erase wait
                               {0x10, 0x01, 0x10, 0x07},
                               {0x06, 0x03},              // power cycle back to address 0
                               {0x12, 0x02, 0xFF, 0xFF},  // Load Data 0xFFFF
                               {0x10, 0x09},              // Bulk Erase Program Memory
                               {0x15, 0x08, 100},
                               kExit});
    const Bytes data = Cat({kEnter,
                            {0x12, 0x03, 0xFF, 0xFF},
                            {0x10, 0x0B},  // Bulk Erase Data Memory
                            {0x15, 0x08, 100},
                            kExit});
    EXPECT_EQ(rig.wire->Written(), Cat({program, data, kExit}));
}

TEST(MidRangeWire, ProgramIsReadInBlocksOfSixtyFour) {
    SimRig rig("PIC16F84A");
    CMemoryImage image(rig.device->Layout());
    rig.wire->Clear();
    ASSERT_TRUE(rig.device->RunReadProgram(image.Program()));
    Bytes expected = kEnter;
    for (int block = 0; block < 1024 / 64; ++block) {
        expected.insert(expected.end(), {0x14, 0x04, 64});
    }
    expected.insert(expected.end(), kExit.begin(), kExit.end());
    EXPECT_EQ(rig.wire->Written(), expected);
    // 5 acknowledged command frames, 16 × (2 acks + 128 data bytes), 1 final ack.
    EXPECT_EQ(rig.wire->Read(), 4u + 16u * (2u + 128u) + 1u);
}

TEST(MidRangeWire, ProgramIsWrittenInBlocksOfSixteenWithTheStoredSequence) {
    SimRig rig("PIC16F873");
    CMemoryImage image(rig.device->Layout());
    rig.wire->Clear();
    ASSERT_TRUE(rig.device->RunWriteProgram(image.Program()));
    const Bytes written = rig.wire->Written();
    // Load 2, begin-only 24, wait 20, no end, read 4, 10 attempts, 14-bit words.
    const Bytes head = Cat({kEnter, {0x17, 0x02, 24, 20, 0xFF, 0x04, 10, 1}, {0x18, 16}});
    ASSERT_GE(written.size(), head.size());
    EXPECT_TRUE(std::equal(head.begin(), head.end(), written.begin()));
    // 4096 words: 256 blocks of a count frame and 16 word frames, then power off.
    EXPECT_EQ(written.size(), kEnter.size() + 8 + 256 * (2 + 16 * 2) + kExit.size());
    EXPECT_EQ(rig.Commands(0x18), 256u);
}

TEST(MidRangeWire, ConfigurationWriteSkipsTheCellsItMustNotTouch) {
    SimRig rig("PIC16F84A");
    CMemoryImage image(rig.device->Layout());
    for (std::size_t i = 0; i < 8; ++i) {
        image.Set(Memory::Config, i, 0x0010 + i);
    }
    rig.wire->Clear();
    ASSERT_TRUE(rig.device->RunWriteConfig(image.Config()));
    const Bytes expected = Cat({kEnter,
                                {0x12, 0x00, 0x00, 0x00},                  // Load Configuration 0
                                {0x17, 0x02, 24, 100, 0xFF, 0x04, 10, 1},  // the program sequence
                                {0x18, 1, 0x10, 0x00},
                                {0x18, 1, 0x11, 0x00},
                                {0x18, 1, 0x12, 0x00},
                                {0x18, 1, 0x13, 0x00},
                                {0x10, 0x06},  // 0x2004, 0x2005, 0x2006 stepped over
                                {0x10, 0x06},
                                {0x10, 0x06},
                                {0x18, 1, 0xF7, 0x3F},  // 0x0017 | 0x3FF0
                                kExit});
    EXPECT_EQ(rig.wire->Written(), expected);
    EXPECT_EQ(rig.Peek(Space::Config, 0x2007), 0x3FF7u);
    EXPECT_EQ(rig.Peek(Space::Config, 0x2004), 0x3FFFu);
}

TEST(MidRangeWire, DataIsWrittenWithTheDataSequence) {
    SimRig rig("PIC16F877");
    CMemoryImage image(rig.device->Layout());
    image.Set(Memory::Data, 0, 0x42);
    rig.wire->Clear();
    ASSERT_TRUE(rig.device->RunWriteData(image.Data()));
    const Bytes written = rig.wire->Written();
    const Bytes head =
        Cat({kEnter, {0x17, 0x03, 24, 20, 0xFF, 0x05, 10, 0}, {0x18, 16, 0x42, 0x00}});
    ASSERT_GE(written.size(), head.size());
    EXPECT_TRUE(std::equal(head.begin(), head.end(), written.begin()));
    EXPECT_EQ(rig.Peek(Space::Data, 0), 0x42u);
}

// ---- Failures ----

TEST(MidRangeFailure, FirstCommandFailingEndsTheOperationCleanly) {
    // The first command is a power-down: it fails only when every attempt at it does.
    sim::FaultPlan faults;
    faults.noAckFrames = {1, 2, 3};
    SimRig rig("PIC16F877", faults);
    CMemoryImage image(rig.device->Layout());
    image.Set(Memory::Program, 0, 0x0000);
    EXPECT_FALSE(rig.device->RunWriteProgram(image.Program()));
    EXPECT_EQ(rig.progress.Events().back(), "close");
    EXPECT_TRUE(rig.window.Enabled());
    EXPECT_FALSE(rig.Powered());
    EXPECT_EQ(rig.Peek(Space::Program, 0), 0x3FFFu);
    EXPECT_EQ(rig.Commands(0x17), 0u);  // nothing after the failed command but the power-down
    EXPECT_EQ(rig.Commands(0x18), 0u);
    const Bytes expected{0x06, 0x06, 0x06, 0x06};
    EXPECT_EQ(rig.wire->Written(), expected);
}

TEST(MidRangeFailure, FailureInTheMiddleLeavesWhatWasWrittenAndPowersDown) {
    // Frames: 0x06, 0x0A + option, 0x03, 0x17 + sequence = 6; then per block 2 + 16.
    sim::FaultPlan faults;
    faults.noAckFrames = {6 + 18 * 3 + 5};  // inside the fourth block
    SimRig rig("PIC16F84A", faults);
    CMemoryImage image(rig.device->Layout());
    for (std::size_t i = 0; i < 1024; ++i) {
        image.Set(Memory::Program, i, 0x1000 + i);
    }
    EXPECT_FALSE(rig.device->RunWriteProgram(image.Program()));
    EXPECT_EQ(rig.Peek(Space::Program, 47), 0x1000u + 47);
    EXPECT_EQ(rig.Peek(Space::Program, 100), 0x3FFFu);
    EXPECT_FALSE(rig.Powered());
    EXPECT_TRUE(rig.window.Enabled());
    EXPECT_EQ(rig.progress.Events().back(), "close");
}

TEST(MidRangeFailure, CompareThatLosesTheLinkIsNotCarriedOut) {
    sim::FaultPlan faults;
    faults.disconnectAtByte = 4 + 3 * 5;  // inside the sixth block request
    SimRig rig("PIC16F84A", faults);
    CMemoryImage image(rig.device->Layout());
    CompareResult result;
    result.done = 1;
    result.match = 1;
    EXPECT_FALSE(rig.device->RunCompareProgram(image.Program(), result));
    EXPECT_EQ(result.done, 0);
    EXPECT_EQ(result.match, 0);
    EXPECT_EQ(rig.progress.Events().back(), "close");
    EXPECT_TRUE(rig.window.Enabled());

    // The configuration compare reads first, and does not compare what it could not read.
    EXPECT_FALSE(rig.device->RunCompareConfig(image.Config(), result));
    EXPECT_EQ(result.done, 0);
    EXPECT_FALSE(rig.device->RunCompareData(image.Data(), result));
    EXPECT_EQ(result.done, 0);
}

TEST(MidRangeFailure, ProgrammerFallingSilentFailsTheReadWithinItsTimeOuts) {
    sim::FaultPlan faults;
    faults.silenceFromByte = 4 + 3 * 2 + 1;  // the third block request goes unanswered
    SimRig rig("PIC16F84A", faults);
    CMemoryImage image(rig.device->Layout());
    const auto before = rig.clock.Now();
    EXPECT_FALSE(rig.device->RunReadProgram(image.Program()));
    // One time-out for the block request, short ones for the power-down attempts after it:
    // nothing waits longer.
    EXPECT_LE(rig.clock.Now() - before, std::chrono::seconds(3));
    EXPECT_EQ(rig.progress.Events().back(), "close");
    EXPECT_TRUE(rig.window.Enabled());
    // The power-down is still tried, each attempt; a firmware that has gone silent acts on none.
    const Bytes written = rig.wire->Written();
    const Bytes tail{64, 0x14, 0x06, 0x06, 0x06};  // the third request ends at its command frame
    ASSERT_GE(written.size(), tail.size());
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), written.end() - 5));
    EXPECT_TRUE(rig.device->LastPlace().stillPowered);
}

// A 16F84A-class chip with no data EEPROM.
class NoDataChip : public CPic16F84A {
  public:
    using CPic16F84A::CPic16F84A;
    void DropData() { layout_.dataSize = 0; }
};

TEST(MidRangeFailure, ZeroSizeMemoryShowsProgressAndSendsNoCell) {
    SimRig rig("PIC16F84A");
    NoDataChip device(rig.link, &rig.options, &rig.progress);
    device.DropData();
    device.SetMainWindow(&rig.window);
    CMemoryImage image(device.Layout());
    ASSERT_TRUE(image.Data().As<std::uint8_t>().empty());

    rig.progress.Clear();
    EXPECT_TRUE(device.RunWriteData(image.Data()));
    const std::vector<std::string> shown{"open", "pos 0", "text " + std::string(kTextWriteData),
                                         "close"};
    EXPECT_EQ(rig.progress.Events(), shown);
    EXPECT_TRUE(device.RunReadData(image.Data()));
    CompareResult result;
    EXPECT_TRUE(device.RunCompareData(image.Data(), result));
    EXPECT_EQ(result.done, 1);
    EXPECT_EQ(result.match, 1);
    EXPECT_EQ(rig.Commands(0x18), 0u);
    EXPECT_EQ(rig.Commands(0x14), 0u);
    EXPECT_EQ(rig.Commands(0x13), 0u);
    EXPECT_EQ(rig.Commands(0x03), 3u);  // but each one entered programming mode
    EXPECT_FALSE(rig.Powered());
}

TEST(MidRangeFailure, EmptySocketReadsZeroAndComparesAsADifference) {
    sim::FaultPlan faults;
    faults.noChip = true;
    SimRig rig("PIC16F84A", faults);
    CMemoryImage image(rig.device->Layout());
    CompareResult result;
    ASSERT_TRUE(rig.device->RunCompareProgram(image.Program(), result));
    EXPECT_EQ(result.done, 1);
    EXPECT_EQ(result.match, 0);
    EXPECT_EQ(result.address, 0u);
    EXPECT_EQ(result.expected, 0x3FFFu);
    EXPECT_EQ(result.read, 0u);
    EXPECT_FALSE(rig.device->CheckDeviceId());
}

}  // namespace
}  // namespace tenlo
