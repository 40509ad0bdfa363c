#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string_view>

#include "device/catalogue.h"
#include "device/dspic30/dspic30_device.h"
#include "device/midrange/midrange_device.h"
#include "sim/chip_model.h"

namespace tenlo {
namespace {

// A word as read from a mid-range chip's ID cell.
std::vector<DeviceIdMatch> MidRange(std::uint16_t word) {
    return IdentifyDeviceId(DeviceFamily::Mid16F84A, word);
}

TEST(DeviceIdentity, MasksTheRevisionBitsOfEachChip) {
    auto m = MidRange(0x0561);
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].entry->name, "PIC16F84A");
    EXPECT_EQ(m[0].revision, 1);

    // 16F87xA keep 4 revision bits: 0x0E2F is revision 15, 0x0E30 is no chip at all.
    m = MidRange(0x0E2F);
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].entry->name, "PIC16F877A");
    EXPECT_EQ(m[0].revision, 15);
    EXPECT_TRUE(MidRange(0x0E30).empty());

    // The 16F87x (no A) keep 5: 0x09BF is a 16F877 revision 31.
    m = MidRange(0x09BF);
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].entry->name, "PIC16F877");
    EXPECT_EQ(m[0].revision, 31);

    // Two chips share one ID.
    m = MidRange(0x10A3);
    ASSERT_EQ(m.size(), 2u);
    std::set<std::string_view> names{m[0].entry->name, m[1].entry->name};
    EXPECT_EQ(names, (std::set<std::string_view>{"PIC16F636", "PIC16F639"}));

    EXPECT_TRUE(MidRange(0x0000).empty());  // empty socket
    EXPECT_TRUE(MidRange(0x3FFF).empty());  // erased, or no ID at all
}

TEST(DeviceIdentity, CarriesThePublishedValuesWhereTheCatalogueDiffers) {
    const std::map<std::string_view, std::uint16_t> expected = {
        {"PIC16F84A", 0x0560}, {"PIC12F629", 0x0F80}, {"PIC16F630", 0x10C0}, {"PIC16F676", 0x10E0}};
    for (const auto& [name, id] : expected) {
        const CatalogueEntry* e = CatalogueEntryAt(FindCatalogueIndex(name));
        ASSERT_NE(e, nullptr) << name;
        EXPECT_EQ(e->publishedId, id) << name;
        EXPECT_NE(e->deviceId, id) << name << ": the catalogue was expected to differ";
    }
    EXPECT_EQ(CatalogueEntryAt(FindCatalogueIndex("PIC16F84"))->publishedId, 0);
    EXPECT_EQ(CatalogueEntryAt(FindCatalogueIndex("pic16f877a"))->publishedId, 0x0E20);
}

TEST(DeviceIdentity, TheIdCheckAndTheIdentificationMaskTheSameRevisionBits) {
    for (const CatalogueEntry& e : CatalogueEntries()) {
        if (const std::optional<MidRangeParams> params = CatalogueMidRangeParams(e.index)) {
            EXPECT_EQ(params->revisionMask, e.revisionMask) << e.name;
        }
    }
}

TEST(DeviceIdentity, EachFamilySaysWhereItKeepsItsIdWord) {
    CProgrammerLink link;
    DeviceOptions options;
    const auto place = [&](const char* chip) {
        return CreateDevice(FindCatalogueIndex(chip), link, &options, nullptr)->DeviceIdLocation();
    };
    const auto f877a = place("PIC16F877A");
    ASSERT_TRUE(f877a);
    EXPECT_EQ(f877a->address, 0x2006u);
    EXPECT_EQ(f877a->bits, 0x3FFF);
    EXPECT_EQ(place("PIC18F452")->address, 0x3FFFFEu);
    EXPECT_EQ(place("dsPIC30F4013")->address, 0xFF0000u);
    EXPECT_EQ(place("dsPIC30F4013")->bits, 0xFFFF);
    for (const char* none : {"PIC16F84", "PIC12F508", "PIC12F509", "PIC16F54"}) {
        EXPECT_FALSE(place(none)) << none;
    }
}

TEST(DeviceIdentity, KeepsEachKindOfChipToItsOwnIds) {
    // 0x04A1 is a PIC16F685 in a mid-range cell and a PIC18F442 in DEVID2:DEVID1.
    auto m = IdentifyDeviceId(DeviceFamily::Mid16F91x, 0x04A1);
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].entry->name, "PIC16F685");
    m = IdentifyDeviceId(DeviceFamily::Pic18Group1220, 0x04A1);
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].entry->name, "PIC18F442");
    EXPECT_EQ(m[0].revision, 1);

    // A PIC18 word keeps all 16 bits: no mid-range 14-bit cut turns 0x5240 into a 18F2550.
    EXPECT_TRUE(IdentifyDeviceId(DeviceFamily::Pic18Group242, 0x5240).empty());

    // The dsPIC30F DEVID has no revision bits: the word is the ID alone.
    m = IdentifyDeviceId(DeviceFamily::DsPic30Group3012, 0x0241);
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].entry->name, "dsPIC30F2012");
    EXPECT_EQ(m[0].revision, 0);
    EXPECT_TRUE(IdentifyDeviceId(DeviceFamily::DsPic30Group3012, 0x0242).empty());
}

// The ID word a simulated chip carries, where its kind keeps it.
std::optional<std::uint16_t> SimulatedId(const sim::IChipModel& chip, DeviceFamily family) {
    std::uint32_t low = 0;
    std::uint32_t high = 0;
    if (IsPic18(family)) {
        if (!chip.Peek(sim::Space::Config, 0x3FFFFE, low) ||
            !chip.Peek(sim::Space::Config, 0x3FFFFF, high)) {
            return std::nullopt;
        }
        return static_cast<std::uint16_t>(low | (high << 8));
    }
    if (!chip.Peek(sim::Space::Config, IsDsPic30(family) ? 0xFF0000 : 0x2006, low)) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(low);
}

TEST(DeviceIdentity, NamesEveryChipTheSimulatorModels) {
    std::set<int> kinds;
    for (const CatalogueEntry& e : CatalogueEntries()) {
        std::unique_ptr<sim::IChipModel> chip = sim::CreateChip(e.name);
        if (!chip || e.publishedId == 0) {
            continue;
        }
        kinds.insert(IsMidRange(e.family) ? 0 : IsPic18(e.family) ? 1 : 2);
        const std::optional<std::uint16_t> word = SimulatedId(*chip, e.family);
        ASSERT_TRUE(word) << e.name;
        const std::vector<DeviceIdMatch> matches = IdentifyDeviceId(e.family, *word);
        EXPECT_TRUE(std::any_of(matches.begin(), matches.end(),
                                [&](const DeviceIdMatch& m) { return m.entry == &e; }))
            << e.name << " reads " << std::hex << *word;
    }
    EXPECT_EQ(kinds.size(), 3u);
}

// What a write of each memory answers for, as the families write it.
class WrittenCellsTest : public ::testing::Test {
  protected:
    std::unique_ptr<CDevice> Device(std::string_view name, bool keepCalibration) {
        options_.keepCalibration = keepCalibration ? 1 : 0;
        return CreateDevice(FindCatalogueIndex(name), link_, &options_, nullptr);
    }
    static std::vector<std::size_t> Indices(const std::vector<WrittenCell>& cells) {
        std::vector<std::size_t> indices;
        for (const WrittenCell& cell : cells) {
            indices.push_back(cell.index);
        }
        return indices;
    }

    CProgrammerLink link_;
    DeviceOptions options_;
};

TEST_F(WrittenCellsTest, FourteenBitConfigurationIsTheUserIdsAndTheWordWithProtectionOff) {
    using ::testing::ElementsAre;
    const auto f84a = Device("PIC16F84A", true);
    const std::vector<WrittenCell> cells = f84a->WrittenCells(Memory::Config);
    EXPECT_THAT(Indices(cells), ElementsAre(0, 1, 2, 3, 7));
    EXPECT_EQ(cells[0].mask, 0x3FFFu);
    EXPECT_EQ(cells[0].setBits, 0u);
    EXPECT_EQ(cells[4].Expected(0x000B), 0x3FFBu);  // protect-off mask 0x3FF0
    // The bits a chip lacks are not the write's to answer for.
    EXPECT_EQ(Device("PIC16F877A", true)->WrittenCells(Memory::Config).back().mask, 0x2FCFu);

    // The 12F629 family: its own protect-off bits, and the band-gap and unimplemented bits stay
    // out of what the write answers for.
    const auto f629 = Device("PIC12F629", true);
    const WrittenCell word = f629->WrittenCells(Memory::Config).back();
    EXPECT_EQ(word.index, 7u);
    EXPECT_EQ(word.mask, 0x01FFu);
    EXPECT_EQ(word.Expected(0x3004), 0x0184u);
}

TEST_F(WrittenCellsTest, AKeptCalibrationWordIsNotWrittenFromTheImage) {
    const auto kept = Device("PIC12F629", true)->WrittenCells(Memory::Program);
    ASSERT_EQ(kept.size(), 1023u);
    EXPECT_EQ(kept.front().index, 0u);  // the first word is written whatever the options
    EXPECT_EQ(kept.back().index, 0x3FEu);
    EXPECT_EQ(Device("PIC12F629", false)->WrittenCells(Memory::Program).size(), 1024u);

    const auto f508 = Device("PIC12F508", true)->WrittenCells(Memory::Program);
    ASSERT_EQ(f508.size(), 511u);
    EXPECT_EQ(f508.front().index, 0u);
    EXPECT_EQ(f508.back().mask, 0x0FFFu);
    EXPECT_EQ(Device("PIC16F84A", true)->WrittenCells(Memory::Program).size(), 1024u);
}

TEST_F(WrittenCellsTest, TwelveBitConfigurationAndDataAreWrittenWhole) {
    const auto f508 = Device("PIC12F508", true);
    const std::vector<WrittenCell> config = f508->WrittenCells(Memory::Config);
    ASSERT_EQ(config.size(), 1u);
    EXPECT_EQ(config[0].Expected(0x0FEA), 0x0FEAu);
    const std::vector<WrittenCell> data = Device("PIC16F877A", true)->WrittenCells(Memory::Data);
    ASSERT_EQ(data.size(), 256u);
    EXPECT_EQ(data[255].mask, 0xFFu);
}

TEST_F(WrittenCellsTest, DsPic30ConfigurationAndDataAreRewrittenThroughTheGroupTables) {
    const auto device = Device("dsPIC30F4013", true);
    const auto& dspic = dynamic_cast<const CDsPic30Device&>(*device);
    const std::vector<WrittenCell> config = device->WrittenCells(Memory::Config);
    ASSERT_EQ(config.size(), 7u);
    for (const WrittenCell& cell : config) {
        EXPECT_TRUE(cell.replaced);
        for (std::uint32_t image : {0x0000u, 0x1234u, 0xFFFFu}) {
            // What the register keeps of what is sent: a chip reads the rest as 0.
            EXPECT_EQ(cell.Expected(image),
                      dspic.ConfigValue(cell.index, image) & dspic.Implemented()[cell.index])
                << cell.index;
        }
    }
    EXPECT_TRUE(device->WrittenCells(Memory::Data).front().replaced);
    const WrittenCell word = device->WrittenCells(Memory::Program).front();
    EXPECT_FALSE(word.replaced);
    EXPECT_EQ(word.mask, 0xFFFFFFu);
}

}  // namespace
}  // namespace tenlo
