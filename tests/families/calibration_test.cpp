#include <gtest/gtest.h>

#include "device/memory_image.h"
#include "support/sim_rig.h"

namespace tenlo::families {
namespace {

using testing::SimRig;
namespace cmd = testing::cmd;

using sim::Space;

// ---- PIC12F508: OSCCAL at 0x1FF, its factory backup at 0x204 ----

class Pic12F508Calibration : public ::testing::Test {
  protected:
    static constexpr std::uint32_t kOscCal = 0x1FF;
    static constexpr std::uint32_t kBackup = 0x204;
    // Told apart from the factory word, so the test sees which one was written.
    static constexpr std::uint16_t kBackupWord = 0x0C55;

    void SetUp() override {
        ASSERT_NE(rig.device, nullptr);
        rig.Poke(Space::Config, kBackup, kBackupWord);
        rig.Poke(Space::Program, 0x010, 0x0000);
    }
    CDevice& Device() { return *rig.device; }

    SimRig rig{"PIC12F508"};
};

TEST_F(Pic12F508Calibration, KeptThroughEraseAndWriteFromTheBackupWhateverTheImageHolds) {
    rig.options.keepCalibration = 1;
    ASSERT_TRUE(Device().RunErase());
    EXPECT_EQ(rig.Peek(Space::Program, 0x010), 0xFFFu);
    // The erase put the backup back in place of the factory word it took.
    EXPECT_EQ(rig.Peek(Space::Program, kOscCal), kBackupWord);
    EXPECT_EQ(rig.Peek(Space::Config, kBackup), kBackupWord);

    ASSERT_TRUE(Device().RunErase());  // a second erase changes nothing
    EXPECT_EQ(rig.Peek(Space::Program, kOscCal), kBackupWord);

    CMemoryImage image(Device().Layout());
    image.Set(Memory::Program, 0, 0x0A5A);
    image.Set(Memory::Program, kOscCal, 0x0123);
    ASSERT_TRUE(Device().RunWriteProgram(image.Program()));
    EXPECT_EQ(rig.Peek(Space::Program, 0), 0x0A5Au);
    EXPECT_EQ(rig.Peek(Space::Program, kOscCal), kBackupWord);
}

TEST_F(Pic12F508Calibration, LostWithoutTheOptionAsOnARealChip) {
    rig.options.keepCalibration = 0;
    ASSERT_TRUE(Device().RunErase());
    EXPECT_EQ(rig.Peek(Space::Program, kOscCal), 0xFFFu);
    EXPECT_EQ(rig.Peek(Space::Config, kBackup), kBackupWord);  // the backup survives any erase

    CMemoryImage image(Device().Layout());
    image.Set(Memory::Program, kOscCal, 0x0123);
    ASSERT_TRUE(Device().RunWriteProgram(image.Program()));
    EXPECT_EQ(rig.Peek(Space::Program, kOscCal), 0x0123u);
}

TEST_F(Pic12F508Calibration, CompareLeavesTheCalibrationWordOutOnlyWhenAsked) {
    rig.options.keepCalibration = 1;
    ASSERT_TRUE(Device().RunErase());
    CMemoryImage image(Device().Layout());  // blank, so 0x1FF differs from the chip
    CompareResult result;

    rig.options.skipCalibrationCompare = 1;
    ASSERT_TRUE(Device().RunCompareProgram(image.Program(), result));
    EXPECT_EQ(result.done, 1);
    EXPECT_EQ(result.match, 1);

    rig.options.skipCalibrationCompare = 0;
    ASSERT_TRUE(Device().RunCompareProgram(image.Program(), result));
    EXPECT_EQ(result.match, 0);
    EXPECT_EQ(result.address, kOscCal);
    EXPECT_EQ(result.expected, 0xFFFu);
    EXPECT_EQ(result.read, kBackupWord);

    // Only the calibration word is left out.
    rig.options.skipCalibrationCompare = 1;
    image.Set(Memory::Program, kOscCal - 1, 0x0000);
    ASSERT_TRUE(Device().RunCompareProgram(image.Program(), result));
    EXPECT_EQ(result.match, 0);
    EXPECT_EQ(result.address, kOscCal - 1);
}

TEST_F(Pic12F508Calibration, TheConfigurationWordIsWrittenUnmaskedAndComparedAtItsAddress) {
    rig.options.keepCalibration = 1;
    ASSERT_TRUE(Device().RunErase());
    CMemoryImage image(Device().Layout());
    image.Set(Memory::Config, 0, 0x0FE2);  // code protection on: nothing forces it off
    ASSERT_TRUE(Device().RunWriteConfig(image.Config()));
    EXPECT_EQ(rig.Peek(Space::Config, 0x3FF), 0x0FE2u);

    CompareResult result;
    ASSERT_TRUE(Device().RunCompareConfig(image.Config(), result));
    EXPECT_EQ(result.match, 1);
    image.Set(Memory::Config, 0, 0x0FEA);
    ASSERT_TRUE(Device().RunCompareConfig(image.Config(), result));
    EXPECT_EQ(result.match, 0);
    EXPECT_EQ(result.address, 0x3FFu);
    // Only the five bits the 12F508 has are reported.
    EXPECT_EQ(result.expected, 0x00Au);
    EXPECT_EQ(result.read, 0x002u);
}

// ---- PIC12F629 family: OSCCAL at 0x3FF, band-gap bits 13:12 of the configuration word ----

class Pic12F629Calibration : public ::testing::TestWithParam<const char*> {
  protected:
    static constexpr std::uint32_t kOscCal = 0x3FF;
    static constexpr std::uint16_t kOscCalWord = 0x3455;
    static constexpr std::uint16_t kBandGap = 0x1000;  // bits 13:12 = 01

    void SetUp() override {
        ASSERT_NE(rig.device, nullptr);
        // A part calibrated away from the simulator's defaults, with a program in it.
        rig.Poke(Space::Program, kOscCal, kOscCalWord);
        rig.Poke(Space::Config, 0x2007, kBandGap | 0x0184);
        rig.Poke(Space::Program, 0x020, 0x0000);
        rig.Poke(Space::Config, 0x2001, 0x0000);
    }
    CDevice& Device() { return *rig.device; }

    SimRig rig{GetParam()};
};

TEST_P(Pic12F629Calibration, KeptThroughEraseAndWrite) {
    rig.options.keepCalibration = 1;
    ASSERT_TRUE(Device().RunErase());
    EXPECT_EQ(rig.Peek(Space::Program, 0x020), 0x3FFFu);
    EXPECT_EQ(rig.Peek(Space::Config, 0x2001), 0x3FFFu);
    EXPECT_EQ(rig.Peek(Space::Program, kOscCal), kOscCalWord);
    EXPECT_EQ(rig.Peek(Space::Config, 0x2007), kBandGap | 0x01FFu);

    CMemoryImage image(Device().Layout());
    image.Set(Memory::Program, 0, 0x2805);
    image.Set(Memory::Program, kOscCal, 0x3400);
    for (std::size_t i = 0; i < 4; ++i) {
        image.Set(Memory::Config, i, 0x0A + i);
    }
    image.Set(Memory::Config, 7, 0x01FF);
    ASSERT_TRUE(Device().RunWriteProgram(image.Program()));
    const std::uint64_t cycles = rig.Commands(cmd::kTimedProgram);
    ASSERT_TRUE(Device().RunWriteConfig(image.Config()));

    EXPECT_EQ(rig.Peek(Space::Program, 0), 0x2805u);
    EXPECT_EQ(rig.Peek(Space::Program, kOscCal), kOscCalWord);
    // 0x01FF | 0x0180 with the chip's own band-gap bits, cut to the keep mask.
    EXPECT_EQ(rig.Peek(Space::Config, 0x2007), kBandGap | 0x01FFu);
    for (std::uint32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(rig.Peek(Space::Config, 0x2000 + i), 0x0A + i);
    }
    // Four user IDs and the configuration word; 0x2004 to 0x2006 are stepped over.
    EXPECT_EQ(rig.Commands(cmd::kTimedProgram) - cycles, 5u);

    CompareResult result;
    ASSERT_TRUE(Device().RunCompareConfig(image.Config(), result));
    EXPECT_EQ(result.done, 1);
    EXPECT_EQ(result.match, 1) << std::hex << result.address;
}

TEST_P(Pic12F629Calibration, LostWithoutTheOptionAsOnARealChip) {
    rig.options.keepCalibration = 0;
    ASSERT_TRUE(Device().RunErase());
    EXPECT_EQ(rig.Peek(Space::Program, kOscCal), 0x3FFFu);
    EXPECT_EQ(rig.Peek(Space::Config, 0x2007), 0x31FFu);  // band-gap bits erased to 11

    CMemoryImage image(Device().Layout());
    image.Set(Memory::Config, 7, 0x01FF);
    ASSERT_TRUE(Device().RunWriteProgram(image.Program()));
    ASSERT_TRUE(Device().RunWriteConfig(image.Config()));
    EXPECT_EQ(rig.Peek(Space::Program, kOscCal), 0x3FFFu);
    EXPECT_EQ(rig.Peek(Space::Config, 0x2007), 0x01FFu);  // the image's band-gap bits
}

TEST_P(Pic12F629Calibration, UnimplementedConfigurationBitsDoNotFailTheWrite) {
    // Bits 9 to 11 read 0 whatever is written. Keeping calibration cuts them off with the keep
    // mask; without it they are left out of the read-back check, so a blank or tool-made word
    // still writes.
    CMemoryImage image(Device().Layout());
    image.Set(Memory::Config, 7, 0x3FB4);
    rig.options.keepCalibration = 0;
    ASSERT_TRUE(Device().RunErase());
    EXPECT_TRUE(Device().RunWriteConfig(image.Config()));
    EXPECT_EQ(rig.Peek(Space::Config, 0x2007), 0x31B4u);
    CompareResult result;
    ASSERT_TRUE(Device().RunCompareConfig(image.Config(), result));
    EXPECT_EQ(result.match, 1);

    rig.options.keepCalibration = 1;
    ASSERT_TRUE(Device().RunErase());
    EXPECT_TRUE(Device().RunWriteConfig(image.Config()));
    EXPECT_EQ(rig.Peek(Space::Config, 0x2007), 0x31B4u);
}

TEST_P(Pic12F629Calibration, ConfigurationCompareIgnoresTheBandGapBits) {
    CMemoryImage image(Device().Layout());
    for (std::size_t i = 0; i < 8; ++i) {
        image.Set(Memory::Config, i, 0x3FFF);
    }
    image.Set(Memory::Config, 7, 0x3184);  // band-gap 11 in the image, 01 on the chip
    image.Set(Memory::Config, 1, 0x0000);
    image.Set(Memory::Config, 6, 0x0000);  // device ID: never compared
    CompareResult result;
    ASSERT_TRUE(Device().RunCompareConfig(image.Config(), result));
    EXPECT_EQ(result.match, 1) << std::hex << result.address;

    image.Set(Memory::Config, 7, 0x3185);
    ASSERT_TRUE(Device().RunCompareConfig(image.Config(), result));
    EXPECT_EQ(result.match, 0);
    EXPECT_EQ(result.address, 0x2007u);
    EXPECT_EQ(result.expected, 0x0185u);
    EXPECT_EQ(result.read, 0x0184u);
}

TEST_P(Pic12F629Calibration, ProgramCompareLeavesOsccalOutOnlyWhenAsked) {
    rig.options.keepCalibration = 1;
    ASSERT_TRUE(Device().RunErase());
    CMemoryImage image(Device().Layout());
    CompareResult result;
    rig.options.skipCalibrationCompare = 1;
    ASSERT_TRUE(Device().RunCompareProgram(image.Program(), result));
    EXPECT_EQ(result.match, 1);
    rig.options.skipCalibrationCompare = 0;
    ASSERT_TRUE(Device().RunCompareProgram(image.Program(), result));
    EXPECT_EQ(result.match, 0);
    EXPECT_EQ(result.address, kOscCal);
    EXPECT_EQ(result.read, kOscCalWord);
}

TEST_P(Pic12F629Calibration, DataIsWrittenAndVerifiedByteByByte) {
    ASSERT_TRUE(Device().RunErase());
    CMemoryImage image(Device().Layout());
    for (std::size_t i = 0; i < Device().Layout().dataSize; ++i) {
        image.Set(Memory::Data, i, static_cast<std::uint8_t>(0x80 - i));
    }
    const std::uint64_t reads = rig.Commands(cmd::kIcspRead);
    ASSERT_TRUE(Device().RunWriteData(image.Data()));
    EXPECT_EQ(rig.Commands(cmd::kIcspRead) - reads, Device().Layout().dataSize);
    for (std::uint32_t i = 0; i < Device().Layout().dataSize; ++i) {
        ASSERT_EQ(rig.Peek(Space::Data, i), (0x80u - i) & 0xFF) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Family, Pic12F629Calibration,
                         ::testing::Values("PIC12F629", "PIC12F675", "PIC16F630", "PIC16F676"));

TEST(Pic12F629Cells, AWordThatWillNotProgramFailsAfterItsAttempts) {
    sim::FaultPlan faults;
    faults.stuckCells = {{Space::Data, 2}};
    SimRig rig("PIC12F629", faults);
    ASSERT_TRUE(rig.device->RunErase());
    CMemoryImage image(rig.device->Layout());
    image.Set(Memory::Data, 2, 0x00);
    const std::uint64_t cycles = rig.Commands(cmd::kTimedProgram);
    EXPECT_FALSE(rig.device->RunWriteData(image.Data()));
    // Bytes 0 and 1 once each, byte 2 ten times.
    EXPECT_EQ(rig.Commands(cmd::kTimedProgram) - cycles, 12u);
}

}  // namespace
}  // namespace tenlo::families
