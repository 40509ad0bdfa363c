// How PIC18 operations fail: a data write that never ends, a programmer that stops answering,
// a chip that was not erased.
#include <gtest/gtest.h>

#include "pic18_wire.h"

namespace tenlo::pic18 {
namespace {

using sim::Space;
using testing::SimRig;

TEST(Pic18Failure, DataByteStillBusyAfterTenPollsFailsWithTheChipPoweredDown) {
    sim::FaultPlan faults;
    faults.eeBusy = true;
    for (const char* chip : {"PIC18F252", "PIC18F2550"}) {
        SCOPED_TRACE(chip);
        SimRig rig(chip, faults);
        CMemoryImage image(rig.device->Layout());
        EXPECT_FALSE(rig.device->RunWriteData(image.Data()));
        EXPECT_EQ(rig.Commands(0x2A), 10u);
        EXPECT_EQ(rig.Commands(0x2C), 0u);  // no end for a write that did not finish
        EXPECT_FALSE(rig.Powered());
        EXPECT_TRUE(rig.window.Enabled());
        EXPECT_EQ(rig.progress.Events().back(), "close");
    }
    // The hold variant does not ask, so it does not notice.
    SimRig hold("PIC18F1320", faults);
    CMemoryImage image(hold.device->Layout());
    image.Set(Memory::Data, 0, 0x11);
    EXPECT_TRUE(hold.device->RunWriteData(image.Data()));
    EXPECT_EQ(hold.Peek(Space::Data, 0), 0x11u);
}

TEST(Pic18Failure, MissingAcknowledgementMidWriteEndsWithFinishFalse) {
    // Count the frames of a whole write, then lose the answer to one in the middle of it.
    auto fill = [](CMemoryImage& image) {
        for (std::size_t i = 0; i < 256; ++i) {
            image.Set(Memory::Program, i * 13, static_cast<std::uint32_t>(i));
        }
    };
    std::uint64_t frames = 0;
    {
        SimRig rig("PIC18F442");
        CMemoryImage image(rig.device->Layout());
        fill(image);
        ASSERT_TRUE(rig.device->RunWriteProgram(image.Program()));
        frames = rig.programmer->With([](sim::CFirmwareEngine& engine, sim::IChipModel&) {
            return engine.Statistics().frames;
        });
    }
    sim::FaultPlan faults;
    faults.noAckFrames.insert(frames / 2);
    SimRig rig("PIC18F442", faults);
    CMemoryImage image(rig.device->Layout());
    fill(image);
    EXPECT_FALSE(rig.device->RunWriteProgram(image.Program()));
    EXPECT_FALSE(rig.device->LastResult());
    EXPECT_FALSE(rig.Powered());
    EXPECT_TRUE(rig.window.Enabled());
    EXPECT_EQ(rig.progress.Events().back(), "close");
    // Part of the program made it, not all of it.
    CompareResult result;
    ASSERT_TRUE(rig.device->RunCompareProgram(image.Program(), result));
    EXPECT_EQ(result.done, 1);
    EXPECT_EQ(result.match, 0);
    EXPECT_GT(result.address, 0u);
}

TEST(Pic18Failure, WritingOverAProgrammedChipFailsTheCompareAsFlashAnds) {
    SimRig rig("PIC18F248");
    rig.Poke(Space::Program, 0x10, 0x0F0F);
    rig.Poke(Space::Config, 0x300001, 0x00);
    CMemoryImage image(rig.device->Layout());
    image.Set(Memory::Program, 0x10, 0xF0F0);
    image.Set(Memory::Config, 1, 0x22);
    // Nothing in the write itself reads back, so the write goes through.
    ASSERT_TRUE(rig.device->RunWriteProgram(image.Program()));
    ASSERT_TRUE(rig.device->RunWriteConfig(image.Config()));

    CompareResult result;
    ASSERT_TRUE(rig.device->RunCompareProgram(image.Program(), result));
    EXPECT_EQ(result.done, 1);
    EXPECT_EQ(result.match, 0);
    EXPECT_EQ(result.address, 0x10u);
    EXPECT_EQ(result.expected, 0xF0F0u);
    EXPECT_EQ(result.read, 0x0000u);
    // Configuration bytes are replaced: they match without an erase.
    ASSERT_TRUE(rig.device->RunCompareConfig(image.Config(), result));
    EXPECT_EQ(result.match, 1);

    rig.Poke(Space::Config, 0x30000D, 0x00);
    rig.Poke(Space::Data, 0x81, 0x7E);
    ASSERT_TRUE(rig.device->RunCompareConfig(image.Config(), result));
    EXPECT_EQ(result.match, 0);
    EXPECT_EQ(result.address, 0x30000Du);
    EXPECT_EQ(result.expected, 0xFFu);
    EXPECT_EQ(result.read, 0x00u);
    ASSERT_TRUE(rig.device->RunCompareData(image.Data(), result));
    EXPECT_EQ(result.match, 0);
    EXPECT_EQ(result.address, 0x81u);
    EXPECT_EQ(result.read, 0x7Eu);
}

TEST(Pic18Failure, ACompareThatCannotReadReportsNothing) {
    sim::FaultPlan faults;
    faults.disconnectAtByte = 40;  // some table reads in
    SimRig rig("PIC18F2320", faults);
    CMemoryImage image(rig.device->Layout());
    CompareResult result;
    result.done = 1;
    EXPECT_FALSE(rig.device->RunCompareProgram(image.Program(), result));
    EXPECT_EQ(result.done, 0);
    EXPECT_TRUE(rig.window.Enabled());
}

}  // namespace
}  // namespace tenlo::pic18
