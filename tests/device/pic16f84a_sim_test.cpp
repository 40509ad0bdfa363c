#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "device/midrange/pic16f84a.h"
#include "device/progress_texts.h"
#include "support/sim_rig.h"

namespace tenlo {
namespace {

using sim::Space;
using testing::SimRig;

std::uint16_t Pattern(std::size_t i) {
    return static_cast<std::uint16_t>((i * 0x1357 + 0x0ABC) & 0x3FFF);
}

// Program, data and user IDs with every cell different; the configuration word unprotected.
void FillImage(CMemoryImage& image) {
    const auto& layout = image.Layout();
    for (std::size_t i = 0; i < layout.programSize; ++i) {
        image.Set(Memory::Program, i, Pattern(i));
    }
    for (std::size_t i = 0; i < layout.dataSize; ++i) {
        image.Set(Memory::Data, i, static_cast<std::uint8_t>(i ^ 0xA5));
    }
    for (std::size_t i = 0; i < 4; ++i) {
        image.Set(Memory::Config, i, 0x0001 + i);
    }
    image.Set(Memory::Config, 7, 0x3FFF);
}

class MidRangeChips : public ::testing::TestWithParam<const char*> {
  protected:
    SimRig rig{GetParam()};
    CDevice& device = *rig.device;
    const DeviceLayout& layout = device.Layout();

    // Erase, then write all three memories from a filled image.
    void Program(CMemoryImage& image) {
        ASSERT_TRUE(device.RunErase());
        FillImage(image);
        ASSERT_TRUE(device.RunWriteProgram(image.Program()));
        ASSERT_TRUE(device.RunWriteData(image.Data()));
        ASSERT_TRUE(device.RunWriteConfig(image.Config()));
    }
};

TEST_P(MidRangeChips, EraseWriteReadAndCompareEveryMemory) {
    rig.Poke(Space::Program, 5, 0x0123);
    rig.Poke(Space::Data, 3, 0x00);
    rig.Poke(Space::Config, 0x2001, 0x0000);
    ASSERT_TRUE(device.RunErase());
    EXPECT_EQ(rig.Peek(Space::Program, 5), 0x3FFFu);
    EXPECT_EQ(rig.Peek(Space::Data, 3), 0xFFu);
    EXPECT_EQ(rig.Peek(Space::Config, 0x2001), 0x3FFFu);

    CMemoryImage image(layout);
    FillImage(image);
    // Bits above the word width cannot reach the chip and are no difference.
    image.Set(Memory::Program, 3, 0xC000 | Pattern(3));
    image.Set(Memory::Config, 2, 0xC003);
    ASSERT_TRUE(device.RunWriteProgram(image.Program()));
    ASSERT_TRUE(device.RunWriteData(image.Data()));
    ASSERT_TRUE(device.RunWriteConfig(image.Config()));

    for (std::uint32_t i = 0; i < layout.programSize; ++i) {
        ASSERT_EQ(rig.Peek(Space::Program, i), Pattern(i)) << i;
    }
    for (std::uint32_t i = 0; i < layout.dataSize; ++i) {
        ASSERT_EQ(rig.Peek(Space::Data, i), (i ^ 0xA5u) & 0xFF) << i;
    }
    EXPECT_EQ(rig.Peek(Space::Config, 0x2003), 0x0004u);

    CMemoryImage back(layout);
    ASSERT_TRUE(device.RunReadProgram(back.Program()));
    ASSERT_TRUE(device.RunReadConfig(back.Config()));
    ASSERT_TRUE(device.RunReadData(back.Data()));
    for (std::size_t i = 0; i < layout.programSize; ++i) {
        ASSERT_EQ(back.Get(Memory::Program, i), image.Get(Memory::Program, i) & 0x3FFF) << i;
    }
    EXPECT_TRUE(std::ranges::equal(back.Bytes(Memory::Data), image.Bytes(Memory::Data)));
    EXPECT_EQ(back.Get(Memory::Config, 0), 0x0001u);
    EXPECT_EQ(back.Get(Memory::Config, 2), 0x0003u);
    EXPECT_EQ(back.Get(Memory::Config, 7), 0x3FFFu);
    EXPECT_EQ(back.Get(Memory::Config, 6), rig.Peek(Space::Config, 0x2006));

    CompareResult program;
    CompareResult config;
    CompareResult data;
    ASSERT_TRUE(device.RunCompareProgram(image.Program(), program));
    ASSERT_TRUE(device.RunCompareConfig(image.Config(), config));
    ASSERT_TRUE(device.RunCompareData(image.Data(), data));
    for (const CompareResult& result : {program, config, data}) {
        EXPECT_EQ(result.done, 1);
        EXPECT_EQ(result.match, 1) << "difference at " << result.address;
    }
    EXPECT_FALSE(rig.Powered());
}

TEST_P(MidRangeChips, CompareReportsTheFirstDifferenceAtItsOwnAddress) {
    CMemoryImage image(layout);
    Program(image);
    image.Set(Memory::Program, 0x41, Pattern(0x41) ^ 0x0100);
    image.Set(Memory::Program, 0x50, 0);
    CompareResult result;
    ASSERT_TRUE(device.RunCompareProgram(image.Program(), result));
    EXPECT_EQ(result.done, 1);
    EXPECT_EQ(result.match, 0);
    EXPECT_EQ(result.address, 0x41u);
    EXPECT_EQ(result.expected, static_cast<std::uint32_t>(Pattern(0x41) ^ 0x0100));
    EXPECT_EQ(result.read, Pattern(0x41));

    // Past the first data block where there is one.
    const std::uint32_t at = layout.dataSize > 64 ? 0x45 : 0x25;
    image.Set(Memory::Data, at, 0x00);
    image.Set(Memory::Data, at + 1, 0x00);
    ASSERT_TRUE(device.RunCompareData(image.Data(), result));
    EXPECT_EQ(result.match, 0);
    EXPECT_EQ(result.address, at);
    EXPECT_EQ(result.expected, 0x00u);
    EXPECT_EQ(result.read, (at ^ 0xA5u));
}

TEST_P(MidRangeChips, ConfigurationWordIsWrittenWithProtectionForcedOff) {
    const MidRangeParams& params = static_cast<CPic16F84A&>(device).Params();
    const std::uint16_t mask = params.protectOffMask;
    ASSERT_TRUE(device.RunErase());
    CMemoryImage image(layout);
    image.Set(Memory::Config, 7, 0x0000);
    // The firmware checks the word it programs; bit 10 of a 16F87x is not there and reads 1.
    ASSERT_TRUE(device.RunWriteConfig(image.Config()));
    EXPECT_EQ(rig.Peek(Space::Config, 0x2007), mask | (0x3FFFu & ~params.configWordBits));

    // The chip holds what this programmer writes: the protection it left off is no difference.
    CompareResult result;
    ASSERT_TRUE(device.RunCompareConfig(image.Config(), result));
    EXPECT_EQ(result.done, 1);
    EXPECT_EQ(result.match, 1) << std::hex << result.address;

    // A chip protected where the file leaves protection off is still a difference.
    rig.Poke(Space::Config, 0x2007, 0x0000);
    image.Set(Memory::Config, 7, 0x3FFF);
    ASSERT_TRUE(device.RunCompareConfig(image.Config(), result));
    EXPECT_EQ(result.match, 0);
    EXPECT_EQ(result.address, 0x2007u);
    EXPECT_EQ(result.expected, params.configWordBits);
    EXPECT_EQ(result.read, 0x0000u);
}

TEST_P(MidRangeChips, ConfigurationCompareLooksAtUserIdsAndConfigurationWordOnly) {
    CMemoryImage image(layout);
    Program(image);
    image.Set(Memory::Config, 4, 0x1111);
    image.Set(Memory::Config, 5, 0x2222);
    image.Set(Memory::Config, 6, 0x0000);  // the device ID is never compared
    CompareResult result;
    ASSERT_TRUE(device.RunCompareConfig(image.Config(), result));
    EXPECT_EQ(result.done, 1);
    EXPECT_EQ(result.match, 1);

    image.Set(Memory::Config, 3, 0x000F);
    ASSERT_TRUE(device.RunCompareConfig(image.Config(), result));
    EXPECT_EQ(result.match, 0);
    EXPECT_EQ(result.address, 0x2003u);
    EXPECT_EQ(result.expected, 0x000Fu);
    EXPECT_EQ(result.read, 0x0004u);
}

TEST_P(MidRangeChips, RewritingWithoutEraseFailsVerificationAsFlashCannotSetBits) {
    CMemoryImage image(layout);
    Program(image);
    CMemoryImage other(layout);  // all 0x3FFF: every zero bit would have to become one
    other.Set(Memory::Program, 0, 0x0000);
    EXPECT_FALSE(device.RunWriteProgram(other.Program()));
    EXPECT_EQ(rig.Peek(Space::Program, 0), 0x0000u);  // AND of both
    EXPECT_EQ(rig.Peek(Space::Program, 1), Pattern(1));
    EXPECT_EQ(rig.progress.Events().back(), "close");
    EXPECT_TRUE(rig.window.Enabled());
    EXPECT_FALSE(rig.Powered());
}

TEST_P(MidRangeChips, EraseClearsCodeProtectionAndWhatItProtected) {
    CMemoryImage image(layout);
    Program(image);
    rig.Poke(Space::Config, 0x2007, 0x0000);  // every protection bit on
    ASSERT_TRUE(device.RunErase());
    EXPECT_EQ(rig.Peek(Space::Config, 0x2007), 0x3FFFu);
    EXPECT_EQ(rig.Peek(Space::Program, 0), 0x3FFFu);
    EXPECT_EQ(rig.Peek(Space::Program, layout.programSize - 1), 0x3FFFu);
    EXPECT_EQ(rig.Peek(Space::Data, 0), 0xFFu);
}

TEST_P(MidRangeChips, SeparateProgramAndDataErase) {
    CMemoryImage image(layout);
    Program(image);
    ASSERT_TRUE(device.EraseData());
    EXPECT_EQ(rig.Peek(Space::Data, 0), 0xFFu);
    // The 16F87x has no Bulk Erase Data Memory command: the begin cycle that follows it only
    // rewrites the byte at the address, 0, with the loaded 0xFF.
    const bool bulkDataErase = std::string(GetParam()) == "PIC16F84A";
    EXPECT_EQ(rig.Peek(Space::Data, 1), bulkDataErase ? 0xFFu : (1u ^ 0xA5u));
    EXPECT_EQ(rig.Peek(Space::Program, 1), Pattern(1));
    ASSERT_TRUE(device.EraseProgram());
    EXPECT_EQ(rig.Peek(Space::Program, 1), 0x3FFFu);
    EXPECT_FALSE(rig.Powered());
}

TEST_P(MidRangeChips, DeviceIdCheckFollowsTheCatalogue) {
    // The catalogue expects 0x0540 of a 16F84A, whose ID word is 0x0560 (plus revision).
    const bool catalogueMatchesChip = std::string(GetParam()) != "PIC16F84A";
    EXPECT_EQ(device.CheckDeviceId(), catalogueMatchesChip);
    EXPECT_EQ(rig.Peek(Space::Config, 0x2006) & ~0x1Fu,
              catalogueMatchesChip ? layout.deviceId : 0x0560u);
}

TEST_P(MidRangeChips, OperationsShowTheirProgressTexts) {
    CMemoryImage image(layout);
    CompareResult result;
    const auto texts = [&](auto run) {
        rig.progress.Clear();
        run();
        return rig.progress.Texts();
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(texts([&] { device.RunReadProgram(image.Program()); }),
              V{std::string(kTextReadProgram)});
    EXPECT_EQ(texts([&] { device.RunWriteProgram(image.Program()); }),
              V{std::string(kTextWriteProgram)});
    EXPECT_EQ(texts([&] { device.RunCompareProgram(image.Program(), result); }),
              V{std::string(kTextCompareProgram)});
    EXPECT_EQ(texts([&] { device.RunWriteConfig(image.Config()); }),
              V{std::string(kTextWriteConfig)});
    EXPECT_EQ(texts([&] { device.RunReadConfig(image.Config()); }),
              V{std::string(kTextReadConfig)});
    EXPECT_EQ(texts([&] { device.RunCompareConfig(image.Config(), result); }),
              V{std::string(kTextReadConfig)});
    EXPECT_EQ(texts([&] { device.RunWriteData(image.Data()); }), V{std::string(kTextWriteData)});
    EXPECT_EQ(texts([&] { device.RunReadData(image.Data()); }), V{std::string(kTextReadData)});
    EXPECT_EQ(texts([&] { device.RunCompareData(image.Data(), result); }),
              V{std::string(kTextCompareData)});
    // Progress climbs block by block and never reaches past 100.
    rig.progress.Clear();
    device.RunReadProgram(image.Program());
    const auto positions = rig.progress.Positions();
    ASSERT_EQ(positions.size(), 1 + layout.programSize / 64);
    EXPECT_TRUE(std::ranges::is_sorted(positions));
    EXPECT_LT(positions.back(), 100);
}

INSTANTIATE_TEST_SUITE_P(Pic16F84AClass, MidRangeChips,
                         ::testing::Values("PIC16F84A", "PIC16F873", "PIC16F874", "PIC16F876",
                                           "PIC16F877"));

}  // namespace
}  // namespace tenlo
