#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "device/memory_image.h"
#include "support/sim_rig.h"

namespace tenlo::families {
namespace {

using testing::SimRig;
namespace cmd = testing::cmd;

using sim::Space;

bool Is12Bit(const DeviceLayout& layout) {
    return layout.programWidth == 12;
}

std::uint16_t ProgramPattern(const DeviceLayout& layout, std::size_t i) {
    const std::uint32_t mask = BlankValueForWidth(layout.programWidth);
    return static_cast<std::uint16_t>((i * 0x1357 + 0x0ABC) & mask);
}

struct Case {
    const char* chip;
    std::uint16_t configWord;  // what the image holds at the configuration word
    std::uint16_t chipWord;    // what the chip ends up with there
};

constexpr std::array<std::uint16_t, 4> kImageIds{0x0101, 0x0202, 0x0303, 0x0404};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.chip;
}

class FamilyRoundTrip : public ::testing::TestWithParam<Case> {
  protected:
    SimRig rig{GetParam().chip};
};

TEST_P(FamilyRoundTrip, EraseWriteReadBackAndCompare) {
    ASSERT_NE(rig.device, nullptr);
    CDevice& device = *rig.device;
    const DeviceLayout& layout = device.Layout();
    const bool baseline = Is12Bit(layout);
    const std::uint32_t blank = BlankValueForWidth(layout.programWidth);
    rig.options.keepCalibration = 0;

    // Leave something everywhere an erase should reach.
    rig.Poke(Space::Program, 5, 0x0123);
    rig.Poke(Space::Program, layout.programSize - 2, 0x0000);
    if (layout.dataSize > 0) {
        rig.Poke(Space::Data, 3, 0x00);
    }
    ASSERT_TRUE(device.RunErase());
    for (std::uint32_t i = 0; i < layout.programSize; ++i) {
        ASSERT_EQ(rig.Peek(Space::Program, i), blank) << "program " << i;
    }
    for (std::uint32_t i = 0; i < layout.dataSize; ++i) {
        ASSERT_EQ(rig.Peek(Space::Data, i), 0xFFu) << "data " << i;
    }

    CMemoryImage image(layout);
    for (std::size_t i = 0; i < layout.programSize; ++i) {
        image.Set(Memory::Program, i, ProgramPattern(layout, i));
    }
    for (std::size_t i = 0; i < layout.dataSize; ++i) {
        image.Set(Memory::Data, i, static_cast<std::uint8_t>(i ^ 0xA5));
    }
    const std::uint32_t configWordCell = baseline ? 0 : 7;
    if (!baseline) {
        for (std::size_t i = 0; i < 4; ++i) {
            image.Set(Memory::Config, i, kImageIds[i]);
        }
    }
    image.Set(Memory::Config, configWordCell, GetParam().configWord);

    ASSERT_TRUE(device.RunWriteProgram(image.Program()));
    // Every family's data EEPROM takes the cycle its chips complete on their own or by the
    // end command they expect.
    EXPECT_TRUE(device.RunWriteData(image.Data()));
    ASSERT_TRUE(device.RunWriteConfig(image.Config()));

    for (std::uint32_t i = 0; i < layout.programSize; ++i) {
        ASSERT_EQ(rig.Peek(Space::Program, i), ProgramPattern(layout, i)) << "program " << i;
    }
    const auto dataAt = [](std::uint32_t i) { return (i ^ 0xA5u) & 0xFF; };
    for (std::uint32_t i = 0; i < layout.dataSize; ++i) {
        ASSERT_EQ(rig.Peek(Space::Data, i), dataAt(i)) << "data " << i;
    }
    if (!baseline) {
        for (std::uint32_t i = 0; i < 4; ++i) {
            EXPECT_EQ(rig.Peek(Space::Config, 0x2000 + i), kImageIds[i]) << "user ID " << i;
        }
    }
    EXPECT_EQ(rig.Peek(Space::Config, layout.configStart + configWordCell), GetParam().chipWord);

    CMemoryImage back(layout);
    ASSERT_TRUE(device.RunReadProgram(back.Program()));
    ASSERT_TRUE(device.RunReadConfig(back.Config()));
    ASSERT_TRUE(device.RunReadData(back.Data()));
    for (std::size_t i = 0; i < layout.programSize; ++i) {
        ASSERT_EQ(back.Get(Memory::Program, i), ProgramPattern(layout, i)) << "program " << i;
    }
    for (std::size_t i = 0; i < layout.dataSize; ++i) {
        ASSERT_EQ(back.Get(Memory::Data, i), dataAt(static_cast<std::uint32_t>(i))) << "data " << i;
    }
    EXPECT_EQ(back.Get(Memory::Config, configWordCell), GetParam().chipWord);

    CompareResult result;
    ASSERT_TRUE(device.RunCompareProgram(image.Program(), result));
    EXPECT_EQ(result.done, 1);
    EXPECT_EQ(result.match, 1) << std::hex << result.address;
    ASSERT_TRUE(device.RunCompareData(image.Data(), result));
    EXPECT_EQ(result.match, 1) << std::hex << result.address;
    // Both what was read back and the image match.
    ASSERT_TRUE(device.RunCompareConfig(back.Config(), result));
    EXPECT_EQ(result.done, 1);
    EXPECT_EQ(result.match, 1) << std::hex << result.address;
    ASSERT_TRUE(device.RunCompareConfig(image.Config(), result));
    EXPECT_EQ(result.done, 1);
    EXPECT_EQ(result.match, 1) << std::hex << result.address;

    // One changed word is found where it is.
    image.Set(Memory::Program, 0x41, ProgramPattern(layout, 0x41) ^ 1);
    ASSERT_TRUE(device.RunCompareProgram(image.Program(), result));
    EXPECT_EQ(result.match, 0);
    EXPECT_EQ(result.address, 0x41u);
    EXPECT_EQ(result.read, ProgramPattern(layout, 0x41));
}

// What each family's chip ends up with. Where the image clears bits the chip does not have, as
// some compilers do, the chip reads them as its data sheet says and the compare still matches.
Case CaseFor(const CatalogueEntry& e) {
    Case c{e.name.data(), 0x3FFA, 0x3FFA};
    switch (e.family) {
        case DeviceFamily::Mid16F54:
            c.configWord = c.chipWord = 0x0FFA;
            break;
        case DeviceFamily::Mid12F50x:
            c.configWord = 0x000A;  // bits 11:5 absent, read 1
            c.chipWord = 0x0FEA;
            break;
        case DeviceFamily::Mid12F629:
            // Bits 9 to 11 are not implemented and read 0.
            c.configWord = c.chipWord = 0x31F4;
            break;
        case DeviceFamily::Mid16F62xA:
            c.configWord = 0x3D6A;  // bits 12:9 absent, read 1
            c.chipWord = 0x3F6A;
            break;
        case DeviceFamily::Mid16F7x:
            c.configWord = 0x005A;  // bits 13:7 and 5 absent, read 1
            break;
        case DeviceFamily::Mid16F716:
            c.configWord = 0x00DA;  // bits 13:8 and 5 absent, read 1
            break;
        case DeviceFamily::Mid16F87xA:
            // Writing the configuration word erases and reprograms the block of the user IDs;
            // they come out of it as written. Bits 12, 5 and 4 are absent and read 1.
            c.configWord = 0x2F4A;
            c.chipWord = 0x3F7A;
            break;
        default:
            break;
    }
    return c;
}

std::vector<Case> FamilyChips() {
    std::vector<Case> cases;
    for (const auto& e : CatalogueEntries()) {
        if (IsMidRange(e.family) && e.family != DeviceFamily::Mid16F84A) {
            cases.push_back(CaseFor(e));
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(EveryFamilyChip, FamilyRoundTrip, ::testing::ValuesIn(FamilyChips()),
                         [](const auto& p) { return std::string(p.param.chip); });

}  // namespace
}  // namespace tenlo::families
