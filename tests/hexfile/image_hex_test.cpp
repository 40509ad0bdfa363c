#include "hexfile/image_hex.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <vector>

#include "device/catalogue.h"

namespace tenlo {
namespace {

std::vector<uint8_t> Copy(const CMemoryImage& img, Memory m) {
    const auto b = img.Bytes(m);
    return {b.begin(), b.end()};
}

bool SameCells(const CMemoryImage& a, const CMemoryImage& b, bool withData) {
    return Copy(a, Memory::Program) == Copy(b, Memory::Program) &&
           Copy(a, Memory::Config) == Copy(b, Memory::Config) &&
           (!withData || Copy(a, Memory::Data) == Copy(b, Memory::Data));
}

void Randomise(CMemoryImage& img, uint32_t seed) {
    std::mt19937 rng(seed);
    for (Memory m : {Memory::Program, Memory::Config, Memory::Data}) {
        for (std::size_t i = 0; i < img.CellCount(m); ++i) {
            // A third of the cells stay blank so runs of them are left out of the file.
            if (rng() % 3 != 0) {
                img.Set(m, i, rng());
            }
        }
    }
}

std::string GenPath(const char* name) {
    return std::string(TENLO_HEX_GEN_DIR) + "/" + name;
}

DeviceLayout LayoutOf(const char* chip) {
    const auto layout = CatalogueLayout(FindCatalogueIndex(chip));
    EXPECT_TRUE(layout.has_value()) << chip;
    return layout.value_or(DeviceLayout{});
}

TEST(ImageHex, EveryCatalogueChipRoundTrips) {
    for (int index = 0; index < kCatalogueSize; ++index) {
        const auto layout = CatalogueLayout(index);
        ASSERT_TRUE(layout.has_value()) << index;
        for (bool microchip : {false, true}) {
            SCOPED_TRACE(layout->name + (microchip ? " (Microchip layout)" : ""));
            CMemoryImage img(*layout);
            Randomise(img, static_cast<uint32_t>(index * 2 + microchip));
            HexWriteOptions opt;
            opt.microchipLayout = microchip;
            const auto prog = ProgramHexText(img, opt);
            ASSERT_TRUE(prog.has_value());
            CMemoryImage back(*layout);
            CImageProgHexReader reader(back, *layout, microchip);
            ASSERT_TRUE(reader.LoadText(*prog));
            const bool dataInFile = microchip && layout->dataSize > 0 &&
                                    FamilyOf(ToHexLayout(*layout)) != HexFamily::Baseline12;
            EXPECT_TRUE(SameCells(img, back, dataInFile));
            if (!dataInFile) {
                const auto data = DataHexText(img);
                ASSERT_TRUE(data.has_value());
                CImageDataHexReader dataReader(back);
                ASSERT_TRUE(dataReader.LoadText(*data));
                EXPECT_TRUE(SameCells(img, back, true));
            }
        }
    }
}

TEST(ImageHex, LoadsToolFilesIntoCatalogueImages) {
    const DeviceLayout layout = LayoutOf("PIC16F877A");
    CMemoryImage img(layout);
    img.Set(Memory::Program, 0, 0x1111);
    img.Set(Memory::Data, 0, 0x22);
    // The GUI's loader refuses the EEPROM bytes and leaves the image alone.
    EXPECT_EQ(LoadProgramHex(GenPath("p16f877a.hex"), img), HexLoadResult::LoadFailed);
    EXPECT_EQ(img.Get(Memory::Program, 0), 0x1111u);
    ASSERT_EQ(LoadProgramHex(GenPath("p16f877a.hex"), img, true), HexLoadResult::Ok);
    EXPECT_EQ(img.Get(Memory::Program, 0), 0x2805u);
    EXPECT_EQ(img.Get(Memory::Config, 7), 0x3F7Au);
    EXPECT_EQ(img.Get(Memory::Data, 0), 0x12u);
    EXPECT_EQ(LoadProgramHex(GenPath("no-such-file.hex"), img), HexLoadResult::OpenFailed);

    // The catalogue puts the 12-bit configuration word at 0x3FF; gpasm at word 0xFFF.
    const DeviceLayout baseline = LayoutOf("PIC12F508");
    CMemoryImage b(baseline);
    ASSERT_EQ(LoadProgramHex(GenPath("p12f508.hex"), b), HexLoadResult::Ok);
    EXPECT_EQ(b.Get(Memory::Config, 0), 0x0FEAu);
    EXPECT_EQ(b.Get(Memory::Program, 0), 0x0025u);
}

TEST(ImageHex, SavedFilesLoadBack) {
    const DeviceLayout layout = LayoutOf("PIC16F84A");
    CMemoryImage img(layout);
    Randomise(img, 7);
    const std::string prog = ::testing::TempDir() + "image_prog.hex";
    const std::string data = ::testing::TempDir() + "image_data.hex";
    ASSERT_TRUE(SaveProgramHex(prog, img));
    ASSERT_TRUE(SaveDataHex(data, img));
    CMemoryImage back(layout);
    EXPECT_EQ(LoadProgramHex(prog, back), HexLoadResult::Ok);
    EXPECT_EQ(LoadDataHex(data, back), HexLoadResult::Ok);
    EXPECT_TRUE(SameCells(img, back, true));

    // A malformed data file leaves the data as it was.
    std::ofstream(data, std::ios::binary) << ":0100000012ED\n:0101000012EC\n";
    EXPECT_EQ(LoadDataHex(data, back), HexLoadResult::LoadFailed) << "0x100 is past 64 bytes";
    EXPECT_TRUE(SameCells(img, back, true));
    std::remove(prog.c_str());
    std::remove(data.c_str());
}

}  // namespace
}  // namespace tenlo
