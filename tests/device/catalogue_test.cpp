#include "device/catalogue.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "device/midrange/pic16f84a.h"

namespace tenlo {
namespace {

TEST(Catalogue, SeventyTwoEntriesIndexedInOrderWithUniqueNames) {
    const auto entries = CatalogueEntries();
    ASSERT_EQ(entries.size(), 72u);
    std::set<std::string_view> names;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].index, static_cast<int>(i));
        names.insert(entries[i].name);
        EXPECT_EQ(FindCatalogueIndex(entries[i].name), static_cast<int>(i));
    }
    EXPECT_EQ(names.size(), 72u);
    EXPECT_EQ(CatalogueEntryAt(-1), nullptr);
    EXPECT_EQ(CatalogueEntryAt(72), nullptr);
    EXPECT_EQ(CatalogueEntryAt(kStartupDeviceIndex)->name, "PIC16F84A");

    int midRange = 0;
    int pic18 = 0;
    int dspic = 0;
    for (const auto& e : entries) {
        midRange += IsMidRange(e.family) ? 1 : 0;
        pic18 += IsPic18(e.family) ? 1 : 0;
        dspic += IsDsPic30(e.family) ? 1 : 0;
    }
    EXPECT_EQ(midRange, 44);
    EXPECT_EQ(pic18, 17);
    EXPECT_EQ(dspic, 11);
}

TEST(Catalogue, NameLookupIgnoresCase) {
    EXPECT_EQ(FindCatalogueIndex("pic16f877a"), 38);
    EXPECT_EQ(FindCatalogueIndex("DSPIC30F4013"), 71);
    EXPECT_EQ(FindCatalogueIndex("PIC16F877AX"), -1);
    EXPECT_EQ(FindCatalogueIndex("PIC16F87"), -1);
    EXPECT_EQ(FindCatalogueIndex(""), -1);
}

TEST(Catalogue, MenuOffersTwentyOneMidRangeChipsInOrder) {
    const auto menu = DeviceMenuIndices();
    std::vector<std::string> names;
    for (int index : menu) {
        names.emplace_back(CatalogueEntryAt(index)->name);
        EXPECT_TRUE(CatalogueEntryAt(index)->inMenu);
    }
    const std::vector<std::string> expected{
        "PIC12F629",  "PIC12F635",  "PIC12F675",  "PIC12F683", "PIC16F84",   "PIC16F84A",
        "PIC16F627A", "PIC16F628A", "PIC16F630",  "PIC16F631", "PIC16F636",  "PIC16F639",
        "PIC16F648A", "PIC16F873",  "PIC16F873A", "PIC16F874", "PIC16F874A", "PIC16F876",
        "PIC16F876A", "PIC16F877",  "PIC16F877A"};
    EXPECT_EQ(names, expected);
    // And no other entry claims a place in the menu.
    int flagged = 0;
    for (const auto& e : CatalogueEntries()) {
        flagged += e.inMenu ? 1 : 0;
    }
    EXPECT_EQ(flagged, 21);
}

TEST(Catalogue, LayoutsOfEveryFamily) {
    const DeviceLayout f84a = *CatalogueLayout(12);
    EXPECT_EQ(f84a, CPic16F84A::DefaultLayout());
    EXPECT_EQ(f84a.programGrid, (GridFormat{4, 14, 0, 4, 1, 1, 40, 40, 100, 8}));
    EXPECT_EQ(f84a.configGrid, (GridFormat{4, 14, 0x2000, 4, 1, 1, 40, 40, 100, 8}));
    EXPECT_EQ(f84a.dataGrid, (GridFormat{2, 8, 0, 4, 1, 1, 40, 40, 100, 8}));

    const DeviceLayout f509 = *CatalogueLayout(FindCatalogueIndex("PIC12F509"));
    EXPECT_EQ(f509.programWidth, 12u);
    EXPECT_EQ(f509.configWidth, 12u);
    EXPECT_EQ(f509.configStart, 0x7FFu);
    EXPECT_EQ(f509.configCount, 1u);
    EXPECT_EQ(f509.configGrid, (GridFormat{3, 12, 0x7FF, 4, 1, 1, 40, 40, 100, 8}));
    EXPECT_EQ(f509.dataSize, 0u);

    const DeviceLayout f635 = *CatalogueLayout(FindCatalogueIndex("PIC12F635"));
    EXPECT_EQ(f635.configCount, 10u);
    EXPECT_EQ(f635.deviceId, 0x0FA0);

    for (const char* noData : {"PIC16F716", "PIC16F73", "dsPIC30F2011", "dsPIC30F2012"}) {
        EXPECT_EQ(CatalogueLayout(FindCatalogueIndex(noData))->dataSize, 0u) << noData;
    }

    const DeviceLayout f452 = *CatalogueLayout(FindCatalogueIndex("PIC18F452"));
    EXPECT_EQ(f452.programSize, 16384u);
    EXPECT_EQ(f452.dataSize, 256u);
    EXPECT_EQ(f452.configStart, 0x300000u);
    EXPECT_EQ(f452.configCount, 14u);
    EXPECT_EQ(f452.programWidth, 16u);
    EXPECT_EQ(f452.configWidth, 8u);
    EXPECT_EQ(f452.programGrid, (GridFormat{4, 16, 0, 6, 1, 0, 50, 50, 0, 8}));
    EXPECT_EQ(f452.configGrid, (GridFormat{2, 8, 0x300000, 6, 1, 1, 50, 30, 100, 8}));

    // The 28-pin 18F2550 is the 18F4550's die: 32 KB, as its data sheet says.
    EXPECT_EQ(CatalogueLayout(FindCatalogueIndex("PIC18F2550"))->programSize, 16384u);

    const DeviceLayout ds4013 = *CatalogueLayout(FindCatalogueIndex("dsPIC30F4013"));
    EXPECT_EQ(ds4013.programSize, 16384u);
    EXPECT_EQ(ds4013.dataSize, 1024u);
    EXPECT_EQ(ds4013.dataStart, 0x7FFC00u);
    EXPECT_EQ(ds4013.pinCount, 40);
    EXPECT_EQ(ds4013.programWidth, 24u);
    EXPECT_EQ(ds4013.configWidth, 16u);
    EXPECT_EQ(ds4013.configStart, 0xF80000u);
    EXPECT_EQ(ds4013.configCount, 7u);
    EXPECT_EQ(ds4013.dataGrid, (GridFormat{2, 8, 0x7FFC00, 6, 1, 1, 50, 30, 100, 8}));
    EXPECT_EQ(ds4013.configGrid, (GridFormat{4, 16, 0xF80000, 6, 1, 0, 50, 60, 100, 8}));
    EXPECT_EQ(CatalogueLayout(FindCatalogueIndex("dsPIC30F2011"))->pinCount, 18);

    EXPECT_FALSE(CatalogueLayout(72).has_value());
}

TEST(Catalogue, MidRangeConstantsAreFamilyDefaultsOverriddenByTheRow) {
    // The 16F87x row changes the waits and the mask, nothing else of the 16F84A values; bit 10
    // of its configuration word does not exist.
    MidRangeParams expected = CPic16F84A::DefaultParams();
    expected.programWait = 20;
    expected.protectOffMask = 0x3130;
    expected.configWordBits = 0x3BFF;
    EXPECT_EQ(*CatalogueMidRangeParams(FindCatalogueIndex("PIC16F877")), expected);
    EXPECT_EQ(*CatalogueMidRangeParams(12), CPic16F84A::DefaultParams());

    const MidRangeParams f628a = *CatalogueMidRangeParams(FindCatalogueIndex("PIC16F628A"));
    EXPECT_EQ(f628a.beginProgrammingOnly, 8);
    EXPECT_EQ(f628a.programWait, 25);
    EXPECT_EQ(f628a.eraseWait, 60);
    EXPECT_EQ(f628a.dataWait, 60);
    EXPECT_EQ(f628a.protectOffMask, 0x3F00);

    const MidRangeParams f675 = *CatalogueMidRangeParams(FindCatalogueIndex("PIC12F675"));
    EXPECT_EQ(f675.endProgramming, 0x0A);
    EXPECT_EQ(f675.protectOffMask, 0x3FF0);
    EXPECT_EQ(f675.calibrationProtectOffMask, 0x0180);
    EXPECT_EQ(f675.bandGapMask, 0x3000);
    EXPECT_EQ(f675.configKeepMask, 0x31FF);
    EXPECT_EQ(f675.calibrationWordAddress, 0x3FFu);
    EXPECT_EQ(f675.configWordIndex, 7u);
    EXPECT_TRUE(f675.vppFirst);

    const MidRangeParams f508 = *CatalogueMidRangeParams(0);
    EXPECT_EQ(f508.calibrationAddress, 0x1FFu);
    EXPECT_EQ(f508.backupCalibrationOffset, 516u);
    EXPECT_EQ(f508.protectOffMask, 0);
    EXPECT_EQ(f508.endProgramming, 0x0E);

    const MidRangeParams f77 = *CatalogueMidRangeParams(FindCatalogueIndex("PIC16F77"));
    EXPECT_EQ(f77.chipErase, 0x09);
    EXPECT_EQ(f77.longEraseWait, 30);
    EXPECT_EQ(f77.protectOffMask, 0x3FB0);

    const MidRangeParams f819 = *CatalogueMidRangeParams(FindCatalogueIndex("PIC16F819"));
    EXPECT_EQ(f819.rowSize, 4u);
    EXPECT_EQ(f819.rowEraseWait, 10);
    EXPECT_EQ(f819.protectOffMask, 0x2100);

    EXPECT_EQ(CatalogueMidRangeParams(FindCatalogueIndex("PIC16F946"))->rowSize, 8u);
    EXPECT_EQ(CatalogueMidRangeParams(FindCatalogueIndex("PIC16F690"))->protectOffMask, 0x30C0);
    EXPECT_EQ(CatalogueMidRangeParams(FindCatalogueIndex("PIC16F877A"))->programWait, 80);
    EXPECT_EQ(CatalogueMidRangeParams(FindCatalogueIndex("PIC16F716"))->chipErase, 0x09);

    // Every mid-range entry has its row; the other families have none.
    for (const auto& e : CatalogueEntries()) {
        const auto params = CatalogueMidRangeParams(e.index);
        EXPECT_EQ(params.has_value(), IsMidRange(e.family)) << e.name;
        if (params && !IsBaseline(e.family)) {
            EXPECT_NE(params->protectOffMask, 0) << e.name;
            EXPECT_NE(params->programWait, 0) << e.name;
        }
    }
}

TEST(Catalogue, CreatesTheChipsWhoseFamilyIsBuilt) {
    CProgrammerLink link;  // never opened: creating a device sends nothing
    DeviceOptions options;
    for (const char* name : {"PIC16F84A", "PIC16F873", "PIC16F874", "PIC16F876", "PIC16F877"}) {
        const int index = FindCatalogueIndex(name);
        auto device = CreateDevice(index, link, &options, nullptr);
        ASSERT_NE(device, nullptr) << name;
        EXPECT_TRUE(device->Initialize());
        DeviceLayout layout;
        device->GetLayout(layout);
        EXPECT_EQ(layout, *CatalogueLayout(index));
        EXPECT_EQ(static_cast<CPic16F84A*>(device.get())->Params(),
                  *CatalogueMidRangeParams(index));
    }
    const auto pic18 = CreateDevice(FindCatalogueIndex("PIC18F452"), link, &options, nullptr);
    ASSERT_NE(pic18, nullptr);
    EXPECT_EQ(pic18->Layout(), *CatalogueLayout(FindCatalogueIndex("PIC18F452")));
    EXPECT_EQ(CreateDevice(72, link, &options, nullptr), nullptr);
    EXPECT_EQ(CreateDevice(-1, link, &options, nullptr), nullptr);
}

}  // namespace
}  // namespace tenlo
