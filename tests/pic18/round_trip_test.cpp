// One chip of every PIC18 group, and the 18F2431, through a whole session with a program that
// gpasm assembled: erase, write, the chip checked cell by cell, read back, compare.
#include <gtest/gtest.h>

#include "device/pic18/pic18_device.h"
#include "device/progress_texts.h"
#include "hexfile/image_hex.h"
#include "pic18_wire.h"

namespace tenlo::pic18 {
namespace {

using sim::Space;
using testing::SimRig;

struct Case {
    const char* chip;
    const char* file;
    std::uint32_t programWords;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.chip;
}

class Pic18RoundTrip : public ::testing::TestWithParam<Case> {
  protected:
    SimRig rig{GetParam().chip};
};

TEST_P(Pic18RoundTrip, EraseWriteCheckReadBackAndCompare) {
    ASSERT_NE(rig.device, nullptr);
    CDevice& device = *rig.device;
    const DeviceLayout& layout = device.Layout();
    ASSERT_EQ(layout.programSize, GetParam().programWords);

    CMemoryImage image(layout);
    ASSERT_EQ(LoadProgramHex(GenHex(GetParam().file), image, true), HexLoadResult::Ok)
        << GenHex(GetParam().file) << " (is gpasm installed?)";
    ASSERT_EQ(image.Get(Memory::Program, layout.programSize - 1), 0x0000u);  // the last NOP

    // Something everywhere the erase has to reach.
    rig.Poke(Space::Program, 0x10, 0x0000);
    rig.Poke(Space::Program, layout.programSize - 1, 0x1234);
    rig.Poke(Space::Config, 0x300005, 0x00);
    rig.Poke(Space::Data, 0x40, 0x00);
    ASSERT_TRUE(device.RunErase());
    EXPECT_EQ(rig.Peek(Space::Program, 0x10), 0xFFFFu);
    EXPECT_EQ(rig.Peek(Space::Program, layout.programSize - 1), 0xFFFFu);
    EXPECT_EQ(rig.Peek(Space::Config, 0x300005), 0xFFu);
    EXPECT_EQ(rig.Peek(Space::Data, 0x40), 0xFFu);

    ASSERT_TRUE(device.RunWriteProgram(image.Program()));
    ASSERT_TRUE(device.RunWriteData(image.Data()));
    ASSERT_TRUE(device.RunWriteConfig(image.Config()));
    EXPECT_FALSE(rig.Powered());

    for (std::uint32_t i = 0; i < layout.programSize; ++i) {
        ASSERT_EQ(rig.Peek(Space::Program, i), image.Get(Memory::Program, i)) << "word " << i;
    }
    for (std::uint32_t i = 0; i < layout.configCount; ++i) {
        EXPECT_EQ(rig.Peek(Space::Config, layout.configStart + i), image.Get(Memory::Config, i))
            << "configuration byte " << i;
    }
    for (std::uint32_t i = 0; i < layout.dataSize; ++i) {
        ASSERT_EQ(rig.Peek(Space::Data, i), image.Get(Memory::Data, i)) << "data " << i;
    }

    CMemoryImage back(layout);
    ASSERT_TRUE(device.RunReadProgram(back.Program()));
    ASSERT_TRUE(device.RunReadConfig(back.Config()));
    ASSERT_TRUE(device.RunReadData(back.Data()));
    for (Memory m : {Memory::Program, Memory::Config, Memory::Data}) {
        for (std::size_t i = 0; i < image.CellCount(m); ++i) {
            ASSERT_EQ(back.Get(m, i), image.Get(m, i)) << static_cast<int>(m) << " cell " << i;
        }
    }

    CompareResult result;
    ASSERT_TRUE(device.RunCompareProgram(image.Program(), result));
    EXPECT_EQ(result.done, 1);
    EXPECT_EQ(result.match, 1) << std::hex << result.address;
    ASSERT_TRUE(device.RunCompareConfig(image.Config(), result));
    EXPECT_EQ(result.match, 1) << std::hex << result.address;
    ASSERT_TRUE(device.RunCompareData(image.Data(), result));
    EXPECT_EQ(result.match, 1) << std::hex << result.address;

    // Every body showed its own text; the main window is usable again.
    const std::vector<std::string> texts = rig.progress.Texts();
    for (std::string_view text : {kTextWriteProgram, kTextWriteData, kTextWriteConfigShort,
                                  kTextReadProgram, kTextReadConfigShort, kTextReadData,
                                  kTextCompareProgram, kTextCompareConfigShort, kTextCompareData}) {
        EXPECT_NE(std::find(texts.begin(), texts.end(), text), texts.end()) << text;
    }
    EXPECT_TRUE(rig.window.Enabled());
}

INSTANTIATE_TEST_SUITE_P(OneChipOfEveryGroup, Pic18RoundTrip,
                         ::testing::Values(Case{"PIC18F452", "p18f452", 16384},
                                           Case{"PIC18F1220", "p18f1220", 2048},
                                           Case{"PIC18F2550", "p18f2550", 16384},
                                           Case{"PIC18F2431", "p18f2431", 8192}));

TEST(Pic18Session, EveryCatalogueEntryMatchesItsChip) {
    for (const CatalogueEntry& e : CatalogueEntries()) {
        if (!IsPic18(e.family)) {
            continue;
        }
        SimRig rig(e.name);
        ASSERT_NE(rig.device, nullptr) << e.name;
        // The chip in the socket answers with the ID the device expects of it, revision apart.
        auto& device = dynamic_cast<CPic18Device&>(*rig.device);
        std::uint16_t word = 0;
        ASSERT_TRUE(device.RunReadDeviceId(word));
        EXPECT_EQ(word & ~e.revisionMask, device.Params().deviceId) << e.name;
        EXPECT_EQ(word & e.revisionMask, sim::Pic18Chip::kRevision) << e.name;
        EXPECT_FALSE(rig.Powered());
        // And the chip has as many program words as the layout.
        const std::uint32_t words = rig.device->Layout().programSize;
        EXPECT_EQ(rig.Peek(Space::Program, words - 1), 0xFFFFu) << e.name;
        EXPECT_EQ(rig.Peek(Space::Program, words), 0xDEADBEEFu) << e.name;
    }
}

}  // namespace
}  // namespace tenlo::pic18
