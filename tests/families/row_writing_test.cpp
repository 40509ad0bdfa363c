#include <gtest/gtest.h>

#include <algorithm>

#include "device/memory_image.h"
#include "device/progress_texts.h"
#include "support/sim_rig.h"

namespace tenlo::families {
namespace {

using testing::SimRig;
namespace cmd = testing::cmd;

using sim::Space;

class RowWriting : public ::testing::Test {
  protected:
    // An erased chip and a blank image of its layout.
    explicit RowWriting(const char* chip = "PIC16F877A") : rig(chip) {}
    void SetUp() override {
        ASSERT_NE(rig.device, nullptr);
        ASSERT_TRUE(rig.device->RunErase());
    }
    CDevice& Device() { return *rig.device; }
    const DeviceLayout& Layout() { return rig.device->Layout(); }

    SimRig rig;
};

TEST_F(RowWriting, ABlankImageButOneWordWritesOneRowAndVerifiesTheWholeMemory) {
    CMemoryImage image(Layout());
    image.Set(Memory::Program, 0x123, 0x2A5A);
    const std::uint64_t readsBefore = rig.Commands(cmd::kIcspReadMulti);
    ASSERT_TRUE(Device().RunWriteProgram(image.Program()));

    EXPECT_EQ(rig.Commands(cmd::kLoadWords), 1u);
    // Begin Programming runs once for the row; the erase before ran it never.
    EXPECT_EQ(rig.Commands(cmd::kIcspWait), 2u);  // the chip erase, then the row
    // The verify pass reads all 8192 words in blocks of 64.
    EXPECT_EQ(rig.Commands(cmd::kIcspReadMulti) - readsBefore, Layout().programSize / 64);
    for (std::uint32_t a = 0; a < Layout().programSize; ++a) {
        ASSERT_EQ(rig.Peek(Space::Program, a), a == 0x123 ? 0x2A5Au : 0x3FFFu) << a;
    }
    const auto texts = rig.progress.Texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], kTextWriteProgram);
    EXPECT_EQ(texts[1], kTextVerifyProgram);
}

TEST_F(RowWriting, ASkippedRowThatIsNotBlankFailsTheVerifyPass) {
    // Rows of blank image words are never programmed, so the chip must have been erased.
    rig.Poke(Space::Program, 0x200, 0x0000);
    CMemoryImage image(Layout());
    image.Set(Memory::Program, 0, 0x1111);
    EXPECT_FALSE(Device().RunWriteProgram(image.Program()));
    EXPECT_EQ(rig.Peek(Space::Program, 0), 0x1111u);
}

TEST_F(RowWriting, AWordThatWillNotProgramFailsTheWrite) {
    sim::FaultPlan faults;
    faults.stuckCells = {{Space::Program, 9}};
    SimRig stuck("PIC16F877A", faults);
    ASSERT_TRUE(stuck.device->RunErase());
    CMemoryImage image(Layout());
    for (std::size_t i = 0; i < 16; ++i) {
        image.Set(Memory::Program, i, i);
    }
    EXPECT_FALSE(stuck.device->RunWriteProgram(image.Program()));
    EXPECT_EQ(stuck.Peek(Space::Program, 8), 8u);
}

TEST_F(RowWriting, ImageBitsAboveFourteenDoNotMakeABlankRowWorthWriting) {
    CMemoryImage image(Layout());
    for (std::size_t i = 0; i < 8; ++i) {
        image.Set(Memory::Program, i, 0xFFFF);
    }
    ASSERT_TRUE(Device().RunWriteProgram(image.Program()));
    EXPECT_EQ(rig.Commands(cmd::kLoadWords), 0u);
}

TEST_F(RowWriting, ConfigurationGoesAsAVerifiedIdRowAndAVerifiedWordWithProtectionOff) {
    CMemoryImage image(Layout());
    for (std::size_t i = 0; i < 4; ++i) {
        image.Set(Memory::Config, i, 0x10 + i);
    }
    image.Set(Memory::Config, 7, 0x0000);
    ASSERT_TRUE(Device().RunWriteConfig(image.Config()));
    // An image word of 0 goes with the protect-off mask 0x3130 ORed in: protection stays off.
    EXPECT_EQ(rig.Peek(Space::Config, 0x2007), 0x3130u);
    EXPECT_EQ(rig.Peek(Space::Config, 0x2006) & 0x3FF0u, 0x0E20u);  // device ID untouched
    // The protection the write left off is no difference; the rest of the word is.
    CompareResult result;
    ASSERT_TRUE(Device().RunCompareConfig(image.Config(), result));
    EXPECT_EQ(result.match, 1) << std::hex << result.address;
    image.Set(Memory::Config, 7, 0x0004);
    ASSERT_TRUE(Device().RunCompareConfig(image.Config(), result));
    EXPECT_EQ(result.match, 0);
    EXPECT_EQ(result.address, 0x2007u);
}

TEST_F(RowWriting, DataBytesReplaceWhatTheChipHeldAndAreVerifiedOneByOne) {
    rig.Poke(Space::Data, 0, 0x0F);
    CMemoryImage image(Layout());
    image.Set(Memory::Data, 0, 0x42);
    image.Set(Memory::Data, 0xFF, 0x24);
    ASSERT_TRUE(Device().RunWriteData(image.Data()));
    EXPECT_EQ(rig.Peek(Space::Data, 0), 0x42u);
    EXPECT_EQ(rig.Peek(Space::Data, 1), 0xFFu);
    EXPECT_EQ(rig.Peek(Space::Data, 0xFF), 0x24u);

    // A byte that does not take is retried and then fails the write.
    SimRig stuck("PIC16F877A", [] {
        sim::FaultPlan plan;
        plan.stuckCells.emplace_back(Space::Data, 0x10);
        return plan;
    }());
    CMemoryImage other(stuck.device->Layout());
    other.Set(Memory::Data, 0x10, 0x00);
    EXPECT_FALSE(stuck.device->RunWriteData(other.Data()));
    EXPECT_EQ(stuck.Peek(Space::Data, 0x0F), 0xFFu);
}

// Where a write stood when the line failed: the phase it showed and the block it was on.
TEST(WriteFailures, TellThePhaseAndTheCellTheyStruck) {
    CMemoryImage image(*CatalogueLayout(FindCatalogueIndex("PIC16F877A")));
    for (std::size_t i = 0; i < 256; ++i) {
        image.Set(Memory::Program, i, 0x2000 | i);
    }
    // How many frames the whole write takes, to put a fault into its last block read.
    std::uint64_t frames = 0;
    {
        SimRig clean("PIC16F877A");
        ASSERT_TRUE(clean.device->RunWriteProgram(image.Program()));
        frames = clean.programmer->With(
            [](sim::CFirmwareEngine& e, sim::IChipModel&) { return e.Statistics().frames; });
    }
    sim::FaultPlan lateFault;
    lateFault.noAckFrames.insert(frames - 2);  // the last read; only the power-down follows
    SimRig late("PIC16F877A", lateFault);
    EXPECT_FALSE(late.device->RunWriteProgram(image.Program()));
    EXPECT_EQ(late.link.FirstFailure().fault, LinkFault::NoAnswer);
    EXPECT_EQ(late.device->LastPlace().phase, kTextVerifyProgram);
    EXPECT_EQ(late.device->LastPlace().cell, 8192u - 64);

    // The second row's LoadWords: 4 set-up frames, then 1 + 1 + 8 + 2 + 2 frames a row.
    sim::FaultPlan early;
    early.badAcks[4 + 14 + 5] = 0x00;
    SimRig rig("PIC16F877A", early);
    EXPECT_FALSE(rig.device->RunWriteProgram(image.Program()));
    EXPECT_EQ(rig.link.FirstFailure().fault, LinkFault::WrongAnswer);
    EXPECT_EQ(rig.link.FirstFailure().command, 0x19);
    EXPECT_EQ(rig.device->LastPlace().phase, kTextWriteProgram);
    EXPECT_EQ(rig.device->LastPlace().cell, 8u);
}

class TimedRows : public ::testing::TestWithParam<const char*> {
  protected:
    SimRig rig{GetParam()};
};

TEST_P(TimedRows, RowsAreProgrammedByTheTimedCycleOfTheirSize) {
    CDevice& device = *rig.device;
    const auto params = CatalogueMidRangeParams(FindCatalogueIndex(GetParam()));
    ASSERT_TRUE(params);
    const std::uint32_t row = params->rowSize;
    ASSERT_TRUE(device.RunErase());
    CMemoryImage image(device.Layout());
    // Two non-blank rows, the second one only by its last word.
    for (std::uint32_t i = 0; i < row; ++i) {
        image.Set(Memory::Program, i, 0x0100 + i);
    }
    image.Set(Memory::Program, 3 * row - 1, 0x0055);
    ASSERT_TRUE(device.RunWriteProgram(image.Program()));
    EXPECT_EQ(rig.Commands(cmd::kLoadWords), 2u);
    EXPECT_EQ(rig.Commands(cmd::kTimedProgram), 2u);
    for (std::uint32_t i = 0; i < 4 * row; ++i) {
        ASSERT_EQ(rig.Peek(Space::Program, i), image.Get(Memory::Program, i)) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(RowFamilies, TimedRows,
                         ::testing::Values("PIC16F917", "PIC16F913", "PIC12F683", "PIC16F690",
                                           "PIC16F818"));

TEST(RowFamilies, EraseClearsACodeProtectedChip) {
    // Bulk erases are refused while code protection is on; the chip erase is not.
    for (const char* chip : {"PIC16F877A", "PIC16F818"}) {
        SimRig rig(chip);
        rig.Poke(Space::Program, 0x10, 0x0000);
        rig.Poke(Space::Data, 0x10, 0x00);
        rig.Poke(Space::Config, 0x2007, 0x0000);
        ASSERT_TRUE(rig.device->RunErase()) << chip;
        EXPECT_EQ(rig.Peek(Space::Program, 0x10), 0x3FFFu) << chip;
        EXPECT_EQ(rig.Peek(Space::Data, 0x10), 0xFFu) << chip;
        EXPECT_EQ(rig.Peek(Space::Config, 0x2007), 0x3FFFu) << chip;
    }
}

TEST(Pic16F81x, TheUserIdRowIsErasedBeforeItIsWritten) {
    SimRig rig("PIC16F819");
    // No erase: a cleared bit in the old IDs would survive a program-only cycle.
    rig.Poke(Space::Config, 0x2001, 0x0000);
    rig.Poke(Space::Config, 0x2002, 0x1234);
    CMemoryImage image(rig.device->Layout());
    for (std::size_t i = 0; i < 4; ++i) {
        image.Set(Memory::Config, i, 0x3000 + i);
    }
    image.Set(Memory::Config, 7, 0x3FFA);
    ASSERT_TRUE(rig.device->RunWriteConfig(image.Config()));
    for (std::uint32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(rig.Peek(Space::Config, 0x2000 + i), 0x3000 + i) << i;
    }
    // The row erase, the ID row and the configuration word.
    EXPECT_EQ(rig.Commands(cmd::kTimedProgram), 3u);
}

TEST(Pic16F91x, EraseStepsLeaveTheEnhancedModeAndClearEverything) {
    SimRig rig("PIC16F917");
    rig.Poke(Space::Program, 0x1FFF, 0x0000);
    rig.Poke(Space::Config, 0x2007, 0x0000);
    rig.Poke(Space::Config, 0x2003, 0x0000);
    rig.Poke(Space::Data, 0xFF, 0x00);
    ASSERT_TRUE(rig.device->RunErase());
    EXPECT_EQ(rig.Commands(cmd::kExitEicsp), 2u);
    EXPECT_EQ(rig.Peek(Space::Program, 0x1FFF), 0x3FFFu);
    EXPECT_EQ(rig.Peek(Space::Config, 0x2007), 0x3FFFu);
    EXPECT_EQ(rig.Peek(Space::Config, 0x2003), 0x3FFFu);
    EXPECT_EQ(rig.Peek(Space::Data, 0xFF), 0xFFu);
}

}  // namespace
}  // namespace tenlo::families
