#include "hexfile/hex_file_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <sstream>
#include <string>

#include "hexfile/hex_test_util.h"
#include "hexfile/prog_hex_reader.h"

namespace tenlo {
namespace {

using hextest::Image;

// A random image with runs of blank cells, so the writer's skipping is exercised too. Cells get
// random bits across their whole width (a 14-bit cell may hold 0xFFFF, a dsPIC cell a phantom
// byte): the file must carry every bit.
Image RandomImage(const HexLayout& layout, uint32_t seed) {
    std::mt19937 rng(seed);
    Image img(layout);
    auto fill = [&](std::vector<std::byte>& buf, uint32_t width) {
        const uint32_t cell = CellBytes(width);
        const uint32_t blank = BlankValue(width);
        for (std::size_t c = 0; c < buf.size() / cell; ++c) {
            uint32_t v = rng();
            if (rng() % 3 == 0) {
                v = blank;
            }
            std::memcpy(&buf[c * cell], &v, cell);  // host order, as the image keeps cells
        }
    };
    fill(img.program, layout.programWidth);
    fill(img.config, layout.configWidth);
    fill(img.data, 8);
    return img;
}

struct Parsed {
    int records = 0;
    int extended = 0;
    std::size_t longest = 0;
    bool endLast = false;
    bool crosses16 = false;
};

// A look at the file's lines, independent of the reader.
Parsed Inspect(const std::string& text) {
    Parsed p;
    std::istringstream in(text);
    std::string line;
    std::string last;
    while (std::getline(in, line)) {
        ++p.records;
        p.longest = std::max(p.longest, line.size());
        const unsigned count = std::stoul(line.substr(1, 2), nullptr, 16);
        const unsigned addr = std::stoul(line.substr(3, 4), nullptr, 16);
        const unsigned type = std::stoul(line.substr(7, 2), nullptr, 16);
        if (type == 4) {
            ++p.extended;
        }
        if (type == 0 && count > 0 && addr / 16 != (addr + count - 1) / 16) {
            p.crosses16 = true;
        }
        last = line;
    }
    p.endLast = last == ":00000001FF";
    return p;
}

void ExpectRoundTrip(const HexLayout& layout, bool microchip, uint32_t seed) {
    const Image img = RandomImage(layout, seed);
    HexWriteOptions opt;
    opt.microchipLayout = microchip;
    const auto text = ProgramHexText(layout, img.ConstBuffers(), opt);
    ASSERT_TRUE(text.has_value());
    const Parsed p = Inspect(*text);
    EXPECT_TRUE(p.endLast);
    EXPECT_LE(p.longest, 11u + 2 * 16);
    EXPECT_FALSE(p.crosses16);

    Image back(layout);
    CProgHexReader r(layout, back.Buffers(), microchip);
    ASSERT_TRUE(r.LoadText(*text)) << "seed " << seed;
    EXPECT_TRUE(back.program == img.program) << "seed " << seed;
    EXPECT_TRUE(back.config == img.config) << "seed " << seed;
    if (microchip && layout.dataSize > 0 && FamilyOf(layout) != HexFamily::Baseline12) {
        EXPECT_TRUE(back.data == img.data) << "seed " << seed;
    } else if (!back.data.empty()) {
        // Data stays out of the program file and the reader leaves it alone.
        EXPECT_EQ(back.Data(0), 0xA5);
    }
}

TEST(HexWriter, RandomImagesLoadBackBitForBit) {
    for (const HexLayout& layout :
         {hextest::k16F84A, hextest::k16F877A, hextest::k12F629, hextest::k18F452, hextest::k12F508,
          hextest::k30F4013, hextest::k30F2011}) {
        for (bool microchip : {false, true}) {
            for (uint32_t seed = 1; seed <= 3; ++seed) {
                SCOPED_TRACE(::testing::Message()
                             << "width " << layout.programWidth << " words " << layout.programSize
                             << " microchip " << microchip);
                ExpectRoundTrip(layout, microchip, seed * 7919 + layout.programSize);
            }
        }
    }
}

TEST(HexWriter, DataFilesLoadBackBitForBit) {
    for (std::size_t size : {0u, 1u, 64u, 256u, 1024u}) {
        std::mt19937 rng(static_cast<uint32_t>(size));
        std::vector<std::byte> data(size);
        for (auto& b : data) {
            b = rng() % 4 == 0 ? std::byte{0xFF} : static_cast<std::byte>(rng());
        }
        const auto text = DataHexText(data);
        ASSERT_TRUE(text.has_value());
        std::vector<std::byte> back(size, std::byte{0});
        CDataHexReader r{std::span<std::byte>(back)};
        ASSERT_TRUE(r.LoadText(*text));
        EXPECT_EQ(back, data) << size;
    }
}

TEST(HexWriter, RecordsAndAddressRecords) {
    // A blank image is the end record alone; with every cell written it is the whole chip.
    Image blank(hextest::k18F452);
    CProgHexReader(blank.layout, blank.Buffers()).LoadText("");
    EXPECT_EQ(*ProgramHexText(blank.layout, blank.ConstBuffers()), ":00000001FF\n");
    HexWriteOptions all;
    all.writeBlankCells = true;
    const auto full = ProgramHexText(blank.layout, blank.ConstBuffers(), all);
    const Parsed p = Inspect(*full);
    // 32 KiB of program in 2048 records, one address record, one record of 14 config bytes.
    EXPECT_EQ(p.records, 2048 + 1 + 1 + 1);
    EXPECT_EQ(p.extended, 1);
    EXPECT_NE(full->find(":020000040030CA\n:0E000000FFFFFFFFFFFFFFFFFFFFFFFFFFFF"),
              std::string::npos);

    // Exact text for a few 14-bit cells and an EEPROM byte in the Microchip layout.
    Image mid(hextest::k16F84A);
    CProgHexReader(mid.layout, mid.Buffers(), true).LoadText("");
    mid.SetProg(0, 0x2805);
    mid.SetProg(8, 0x0009);
    mid.SetConf(7, 0x3FF1);
    mid.data[0] = std::byte{0x12};
    HexWriteOptions mc;
    mc.microchipLayout = true;
    EXPECT_EQ(*ProgramHexText(mid.layout, mid.ConstBuffers(), mc),
              ":020000000528D1\n"
              ":020010000900E5\n"
              ":02400E00F13F80\n"
              ":024200001200AA\n"
              ":00000001FF\n");
    // Without the Microchip layout the EEPROM stays out of the program file.
    EXPECT_EQ(ProgramHexText(mid.layout, mid.ConstBuffers())->find(":024200"), std::string::npos);
    EXPECT_EQ(*DataHexText(mid.data), ":0100000012ED\n:00000001FF\n");

    // The 12-bit configuration word: word 0xFFF in the Microchip layout, else its own address.
    Image base(hextest::k12F508);
    CProgHexReader(base.layout, base.Buffers()).LoadText("");
    base.SetConf(0, 0x0FEA);
    EXPECT_EQ(*ProgramHexText(base.layout, base.ConstBuffers(), mc),
              ":021FFE00EA0FE8\n:00000001FF\n");
    EXPECT_EQ(*ProgramHexText(base.layout, base.ConstBuffers()), ":0207FE00EA0F00\n:00000001FF\n");
}

TEST(HexWriter, AddressRecordWhereverTheUpperBitsChange) {
    // dsPIC: program below 64 KiB, EEPROM at 0xFFF800 and configuration at 0x1F00000.
    Image ds(hextest::k30F4013);
    CProgHexReader(ds.layout, ds.Buffers(), true).LoadText("");
    ds.SetProg(0x3FFF, 0x00123456);
    ds.data[1023] = std::byte{0x77};
    ds.SetConf(0, 0xC322);
    HexWriteOptions mc;
    mc.microchipLayout = true;
    EXPECT_EQ(*ProgramHexText(ds.layout, ds.ConstBuffers(), mc),
              ":04FFFC005634120065\n"
              ":0200000400FFFB\n"
              ":04FFFC00FF7700008B\n"
              ":0200000401F009\n"
              ":0400000022C3000017\n"
              ":00000001FF\n");
}

TEST(HexWriter, RefusesBuffersOfTheWrongSize) {
    Image img(hextest::k16F84A);
    HexConstBuffers b = img.ConstBuffers();
    b.program = b.program.first(10);
    EXPECT_FALSE(ProgramHexText(img.layout, b).has_value());
    b = img.ConstBuffers();
    b.data = b.data.first(3);
    EXPECT_TRUE(ProgramHexText(img.layout, b).has_value()) << "data unused in this layout";
    HexWriteOptions mc;
    mc.microchipLayout = true;
    EXPECT_FALSE(ProgramHexText(img.layout, b, mc).has_value());
    EXPECT_FALSE(SaveProgramHex(::testing::TempDir() + "never.hex", img.layout, b, mc));
}

TEST(HexWriter, DuplicateOrOutOfRangeAddressesFail) {
    CHexFileWriter w;
    w.Put(5, 1);
    w.Put(5, 2);
    EXPECT_FALSE(w.Finish().has_value());
    CHexFileWriter far;
    far.Put(0x100000000ull, 1);
    EXPECT_FALSE(far.Finish().has_value());
}

TEST(HexWriter, SavedFilesOpenAndLoad) {
    const Image img = RandomImage(hextest::k16F877A, 42);
    const std::string prog = ::testing::TempDir() + "writer_prog.hex";
    const std::string data = ::testing::TempDir() + "writer_data.hex";
    ASSERT_TRUE(SaveProgramHex(prog, img.layout, img.ConstBuffers()));
    ASSERT_TRUE(SaveDataHex(data, img.data));
    Image back(img.layout);
    CProgHexReader pr(img.layout, back.Buffers());
    ASSERT_TRUE(pr.Open(prog));
    ASSERT_TRUE(pr.Load());
    CDataHexReader dr{std::span<std::byte>(back.data)};
    ASSERT_TRUE(dr.Open(data));
    ASSERT_TRUE(dr.Load());
    EXPECT_TRUE(back == img);
    std::remove(prog.c_str());
    std::remove(data.c_str());
    EXPECT_FALSE(SaveDataHex("/nonexistent-dir/x.hex", img.data));
}

}  // namespace
}  // namespace tenlo
