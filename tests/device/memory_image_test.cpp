#include "device/memory_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "device/catalogue.h"

namespace tenlo {
namespace {

DeviceLayout LayoutOf(std::string_view name) {
    return *CatalogueLayout(FindCatalogueIndex(name));
}

template <typename T>
bool AllEqual(std::span<T> cells, T value) {
    return std::all_of(cells.begin(), cells.end(), [value](T c) { return c == value; });
}

TEST(WidthRule, CellSizesAndBlankValues) {
    EXPECT_EQ(CellSizeForWidth(0), 1u);
    EXPECT_EQ(CellSizeForWidth(8), 1u);
    EXPECT_EQ(CellSizeForWidth(9), 2u);
    EXPECT_EQ(CellSizeForWidth(16), 2u);
    EXPECT_EQ(CellSizeForWidth(17), 4u);
    EXPECT_EQ(CellSizeForWidth(24), 4u);

    EXPECT_EQ(BlankValueForWidth(0), 0u);
    EXPECT_EQ(BlankValueForWidth(8), 0xFFu);
    EXPECT_EQ(BlankValueForWidth(12), 0xFFFu);
    EXPECT_EQ(BlankValueForWidth(14), 0x3FFFu);
    EXPECT_EQ(BlankValueForWidth(24), 0xFFFFFFu);
    EXPECT_EQ(BlankValueForWidth(31), 0x7FFFFFFFu);
    EXPECT_EQ(BlankValueForWidth(32), 0xFFFFFFFFu);
    EXPECT_EQ(BlankValueForWidth(40), 0xFFFFFFFFu);
}

// A new image of each family's layout: cell types, counts and blank values.
TEST(MemoryImage, BlankImagesOfEachFamily) {
    const DeviceLayout f84a = LayoutOf("PIC16F84A");
    CMemoryImage mid(f84a);
    ASSERT_EQ(mid.As<std::uint16_t>(Memory::Program).size(), 1024u);
    EXPECT_TRUE(AllEqual(mid.As<std::uint16_t>(Memory::Program), std::uint16_t{0x3FFF}));
    EXPECT_TRUE(AllEqual(mid.As<std::uint16_t>(Memory::Config), std::uint16_t{0x3FFF}));
    EXPECT_EQ(mid.As<std::uint16_t>(Memory::Config).size(), 8u);
    EXPECT_TRUE(AllEqual(mid.As<std::uint8_t>(Memory::Data), std::uint8_t{0xFF}));
    EXPECT_EQ(mid.CellCount(Memory::Data), 64u);
    // The wrong cell type gives nothing rather than a misread buffer.
    EXPECT_TRUE(mid.As<std::uint32_t>(Memory::Program).empty());
    EXPECT_TRUE(mid.As<std::uint8_t>(Memory::Program).empty());

    const DeviceLayout f54 = LayoutOf("PIC16F54");
    CMemoryImage baseline(f54);
    EXPECT_TRUE(AllEqual(baseline.As<std::uint16_t>(Memory::Program), std::uint16_t{0x0FFF}));
    ASSERT_EQ(baseline.As<std::uint16_t>(Memory::Config).size(), 1u);
    EXPECT_EQ(baseline.Get(Memory::Config, 0), 0x0FFFu);
    EXPECT_EQ(baseline.CellCount(Memory::Data), 0u);

    const DeviceLayout f452 = LayoutOf("PIC18F452");
    CMemoryImage pic18(f452);
    EXPECT_EQ(pic18.As<std::uint16_t>(Memory::Program).size(), 16384u);
    EXPECT_TRUE(AllEqual(pic18.As<std::uint16_t>(Memory::Program), std::uint16_t{0xFFFF}));
    EXPECT_EQ(pic18.As<std::uint8_t>(Memory::Config).size(), 14u);
    EXPECT_TRUE(AllEqual(pic18.As<std::uint8_t>(Memory::Config), std::uint8_t{0xFF}));
    EXPECT_TRUE(AllEqual(pic18.As<std::uint8_t>(Memory::Data), std::uint8_t{0xFF}));

    const DeviceLayout ds = LayoutOf("dsPIC30F4013");
    CMemoryImage dspic(ds);
    EXPECT_EQ(dspic.CellSize(Memory::Program), 4u);
    EXPECT_TRUE(AllEqual(dspic.As<std::uint32_t>(Memory::Program), std::uint32_t{0x00FFFFFF}));
    EXPECT_TRUE(AllEqual(dspic.As<std::uint16_t>(Memory::Config), std::uint16_t{0xFFFF}));
    EXPECT_EQ(dspic.CellCount(Memory::Data), 1024u);
}

TEST(MemoryImage, BytesAreNativeLittleEndianCells) {
    const DeviceLayout layout = LayoutOf("PIC16F84A");
    CMemoryImage image(layout);
    ASSERT_TRUE(image.Set(Memory::Program, 1, 0x1234));
    const auto bytes = image.Bytes(Memory::Program);
    ASSERT_EQ(bytes.size(), 2048u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0x3F);
    EXPECT_EQ(bytes[2], 0x34);
    EXPECT_EQ(bytes[3], 0x12);
}

TEST(MemoryImage, CellAccessIsBoundsChecked) {
    const DeviceLayout layout = LayoutOf("PIC16F84A");
    CMemoryImage image(layout);
    EXPECT_FALSE(image.Set(Memory::Data, 64, 0x12));
    EXPECT_EQ(image.Get(Memory::Data, 64), 0u);
    EXPECT_TRUE(image.Set(Memory::Data, 63, 0x1AB));  // truncated to the 8-bit cell
    EXPECT_EQ(image.Get(Memory::Data, 63), 0xABu);

    CellSpan cells = image.Config();
    cells.Set(100, 1);  // ignored
    EXPECT_EQ(cells.Get(100), 0u);
    EXPECT_EQ(cells.Count(), 8u);
}

TEST(MemoryImage, CopiesMoveWholeBuffersBetweenImagesOfOneLayout) {
    const DeviceLayout layout = LayoutOf("PIC16F877");
    CMemoryImage a(layout);
    CMemoryImage b(layout);
    a.Set(Memory::Program, 8191, 0x0123);
    a.Set(Memory::Config, 7, 0x3F3A);
    a.Set(Memory::Data, 255, 0x5A);

    ASSERT_TRUE(b.CopyProgram(a));
    EXPECT_EQ(b.Get(Memory::Program, 8191), 0x0123u);
    EXPECT_EQ(b.Get(Memory::Config, 7), 0x3FFFu);  // the others stay
    EXPECT_EQ(b.Get(Memory::Data, 255), 0xFFu);
    ASSERT_TRUE(b.CopyConfig(a));
    EXPECT_EQ(b.Get(Memory::Config, 7), 0x3F3Au);
    ASSERT_TRUE(b.CopyData(a));
    EXPECT_EQ(b.Get(Memory::Data, 255), 0x5Au);

    CMemoryImage c(layout);
    ASSERT_TRUE(c.Assign(a));
    EXPECT_TRUE(std::ranges::equal(c.Bytes(Memory::Program), a.Bytes(Memory::Program)));
    EXPECT_TRUE(std::ranges::equal(c.Bytes(Memory::Config), a.Bytes(Memory::Config)));
    EXPECT_TRUE(std::ranges::equal(c.Bytes(Memory::Data), a.Bytes(Memory::Data)));

    // An equal layout held elsewhere (the same chip selected again) is the same layout.
    const DeviceLayout again = LayoutOf("PIC16F877");
    CMemoryImage d(again);
    EXPECT_TRUE(d.Assign(a));
    EXPECT_EQ(d.Get(Memory::Program, 8191), 0x0123u);

    EXPECT_TRUE(a.Assign(a));  // self-assignment changes nothing
    EXPECT_EQ(a.Get(Memory::Config, 7), 0x3F3Au);
}

TEST(MemoryImage, CopiesBetweenLayoutsAreRefused) {
    const DeviceLayout small = LayoutOf("PIC16F84A");
    const DeviceLayout large = LayoutOf("PIC16F877");
    CMemoryImage a(small);
    CMemoryImage b(large);
    b.Set(Memory::Program, 0, 0x0001);
    EXPECT_FALSE(a.Assign(b));
    EXPECT_FALSE(a.CopyProgram(b));
    EXPECT_FALSE(b.CopyData(a));
    EXPECT_EQ(a.Get(Memory::Program, 0), 0x3FFFu);

    // Same sizes, another chip: still refused, the layouts differ.
    const DeviceLayout f877a = LayoutOf("PIC16F877A");
    CMemoryImage c(f877a);
    EXPECT_FALSE(c.CopyProgram(b));
}

TEST(MemoryImage, DsPicCopiesEveryByteOfEveryCell) {
    const DeviceLayout layout = LayoutOf("dsPIC30F2010");
    CMemoryImage a(layout);
    CMemoryImage b(layout);
    for (std::size_t i = 0; i < layout.programSize; ++i) {
        a.Set(Memory::Program, i, 0x00A50000u | static_cast<std::uint32_t>(i));
    }
    ASSERT_TRUE(b.Assign(a));
    EXPECT_EQ(b.Get(Memory::Program, 4095), 0x00A50FFFu);
    EXPECT_EQ(
        std::memcmp(a.Bytes(Memory::Program).data(), b.Bytes(Memory::Program).data(), 4096 * 4), 0);
}

TEST(MemoryImage, EmptyDataBufferCopiesNothing) {
    const DeviceLayout layout = LayoutOf("PIC16F716");
    CMemoryImage a(layout);
    CMemoryImage b(layout);
    EXPECT_TRUE(a.Bytes(Memory::Data).empty());
    EXPECT_TRUE(a.Data().As<std::uint8_t>().empty());
    EXPECT_TRUE(b.CopyData(a));
    EXPECT_TRUE(b.Assign(a));
}

}  // namespace
}  // namespace tenlo
