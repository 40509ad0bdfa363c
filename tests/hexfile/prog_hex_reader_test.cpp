#include "hexfile/prog_hex_reader.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "hexfile/firmware_hex_reader.h"
#include "hexfile/hex_file_writer.h"
#include "hexfile/hex_test_util.h"

namespace tenlo {
namespace {

using hextest::Image;
using hextest::kEnd;
using hextest::Lines;
using hextest::Rec;

// Loads text into img through a program reader; img keeps its old cells on failure.
bool LoadProg(Image& img, const std::string& text, bool microchip = false) {
    CProgHexReader r(img.layout, img.Buffers(), microchip);
    return r.LoadText(text);
}

// Loading fails and leaves every byte of the image as it was.
void ExpectRejected(const HexLayout& layout, const std::string& text, bool microchip = false) {
    Image img(layout);
    const Image before = img;
    EXPECT_FALSE(LoadProg(img, text, microchip)) << text;
    EXPECT_TRUE(img == before) << "target changed by a failed load: " << text;
}

// Bytes at a full 32-bit address; no end record, so these chain.
std::string At(uint32_t address, std::initializer_list<unsigned> bytes) {
    return Lines(
        {Rec(4, 0, {address >> 24, (address >> 16) & 0xFF}), Rec(0, address & 0xFFFF, bytes)});
}

TEST(ProgHexReader, StartsFromBlankAndReplacesProgramAndConfigWhole) {
    Image img(hextest::k16F84A);  // filled with 0xA5 bytes
    ASSERT_TRUE(LoadProg(img, ""));
    for (uint32_t i = 0; i < 1024; ++i) {
        ASSERT_EQ(img.Prog(i), 0x3FFFu) << i;
    }
    for (uint32_t i = 0; i < 8; ++i) {
        EXPECT_EQ(img.Conf(i), 0x3FFFu);
    }
    // Data memory belongs to the data file and is not touched.
    EXPECT_EQ(img.Data(0), 0xA5);

    Image pic18(hextest::k18F452);
    ASSERT_TRUE(LoadProg(pic18, ""));
    EXPECT_EQ(pic18.Prog(100), 0xFFFFu);
    EXPECT_EQ(pic18.Conf(13), 0xFFu);
    Image ds(hextest::k30F4013);
    ASSERT_TRUE(LoadProg(ds, ""));
    EXPECT_EQ(ds.Prog(16383), 0x00FFFFFFu);
    EXPECT_EQ(ds.Conf(6), 0xFFFFu);
    Image base(hextest::k12F508);
    ASSERT_TRUE(LoadProg(base, ""));
    EXPECT_EQ(base.Prog(0), 0x0FFFu);
    EXPECT_EQ(base.Conf(0), 0x0FFFu);
}

TEST(ProgHexReader, MidRangeMapping) {
    Image img(hextest::k16F84A);
    ASSERT_TRUE(
        LoadProg(img, Lines({Rec(0, 0x0000, {0x05, 0x28, 0x34, 0x12}), Rec(0, 0x07FE, {0x08, 0x00}),
                             Rec(0, 0x400E, {0xFF, 0x3F}), Rec(0, 0x4000, {0x01}), kEnd})));
    EXPECT_EQ(img.Prog(0), 0x2805u);
    EXPECT_EQ(img.Prog(1), 0x1234u);
    EXPECT_EQ(img.Prog(2), 0x3FFFu);
    EXPECT_EQ(img.Prog(1023), 0x0008u);
    EXPECT_EQ(img.Conf(7), 0x3FFFu);
    EXPECT_EQ(img.Conf(0), 0x3F01u) << "only the low byte was given";
    // Stored as it stands, no masking to 14 bits.
    ASSERT_TRUE(LoadProg(img, Lines({Rec(0, 0x0002, {0xFF, 0xFF}), kEnd})));
    EXPECT_EQ(img.Prog(1), 0xFFFFu);

    ExpectRejected(hextest::k16F84A, Lines({Rec(0, 0x0800, {0}), kEnd}));
    ExpectRejected(hextest::k16F84A, Lines({Rec(0, 0x3FFF, {0}), kEnd}));
    ExpectRejected(hextest::k16F84A, Lines({Rec(0, 0x4010, {0}), kEnd}));
    ExpectRejected(hextest::k16F84A, Lines({Rec(0, 0x4200, {0}), kEnd}));
    ExpectRejected(hextest::k16F84A, At(0x10000, {0}));
    // A config count above 8 widens the area (16F91x parts).
    HexLayout ten = hextest::k16F84A;
    ten.configCount = 10;
    Image wide(ten);
    ASSERT_TRUE(LoadProg(wide, Lines({Rec(0, 0x4012, {0x34, 0x12}), kEnd})));
    EXPECT_EQ(wide.Conf(9), 0x1234u);
    ExpectRejected(ten, Lines({Rec(0, 0x4014, {0}), kEnd}));
}

TEST(ProgHexReader, OddWidthsStayInsideTheirCells) {
    // Configuration cells wider than 32 bits still have 4-byte cells: a fifth byte is no memory.
    HexLayout wide{14, 16, 40, 0x100, 2, 0};
    Image img(wide);
    ASSERT_TRUE(LoadProg(img, Lines({Rec(0, 0x400, {1, 2, 3, 4}), Rec(0, 0x404, {5, 6})})));
    EXPECT_EQ(img.Conf(0), 0x04030201u);
    EXPECT_EQ(img.Conf(1), 0xFFFF0605u);
    ExpectRejected(wide, Lines({Rec(0, 0x408, {0})}));
    // Zero-width configuration has no bytes in a file.
    HexLayout none{14, 16, 0, 0x100, 2, 0};
    ExpectRejected(none, Lines({Rec(0, 0x100, {7})}));
    Image zero(none);
    ASSERT_TRUE(LoadProg(zero, Lines({Rec(0, 0, {7})})));
    EXPECT_EQ(zero.Conf(1), 0u) << "blank is 0";
    EXPECT_EQ(*ProgramHexText(none, zero.ConstBuffers()), Lines({Rec(0, 0, {7, 0x3F}), kEnd}));
}

TEST(ProgHexReader, FailedLoadLeavesTargetUntouched) {
    // Good records first, then each kind of fault.
    const std::string good = Rec(0, 0, {1, 2, 3, 4}) + "\n" + Rec(0, 0x400E, {0x12, 0x34}) + "\n";
    for (const std::string& bad :
         {Rec(0, 0x4200, {0}), Rec(6, 0, {}), std::string(":0000000001"), std::string(""),
          std::string(":0200000401"), std::string("nonsense"), Rec(2, 0, {1}),
          std::string(":01000000FF") + "zz"}) {
        ExpectRejected(hextest::k16F84A, good + bad + "\n" + kEnd + "\n");
    }
    // Wrong buffer sizes fail before anything is read.
    Image img(hextest::k16F84A);
    const Image before = img;
    HexBuffers short_ = img.Buffers();
    short_.program = short_.program.first(100);
    CProgHexReader r(hextest::k16F84A, short_);
    EXPECT_FALSE(r.LoadText(""));
    EXPECT_TRUE(img == before);
}

TEST(ProgHexReader, Pic18Mapping) {
    Image img(hextest::k18F452);
    ASSERT_TRUE(LoadProg(
        img, Lines({Rec(0, 0, {0x10, 0xEF, 0x00, 0xF0}), Rec(0, 0x7FFE, {0x12, 0x00}),
                    ":020000040030CA", Rec(0, 0x0001, {0x22}), Rec(0, 0x000D, {0x40}), kEnd})));
    EXPECT_EQ(img.Prog(0), 0xEF10u);
    EXPECT_EQ(img.Prog(1), 0xF000u);
    EXPECT_EQ(img.Prog(0x3FFF), 0x0012u);
    EXPECT_EQ(img.Conf(0), 0xFFu);
    EXPECT_EQ(img.Conf(1), 0x22u);
    EXPECT_EQ(img.Conf(13), 0x40u);
    ExpectRejected(hextest::k18F452, Lines({Rec(0, 0x8000, {0}), kEnd}));
    ExpectRejected(hextest::k18F452, At(0x30000E, {0}));
    // ID locations take only the blank the tools emit; EEPROM (outside the Microchip layout)
    // has no place here.
    ExpectRejected(hextest::k18F452, At(0x200000, {0}));
    ExpectRejected(hextest::k18F452, At(0xF00000, {0}));
    EXPECT_TRUE(LoadProg(img, At(0x200000, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}) +
                                  Lines({Rec(4, 0, {0x00, 0x00}), Rec(0, 0, {0x12, 0xEF}), kEnd})));
    EXPECT_EQ(img.Prog(0), 0xEF12u);
    EXPECT_EQ(img.Conf(1), 0xFFu) << "blank IDs set nothing";
}

TEST(ProgHexReader, DsPic30Mapping) {
    Image img(hextest::k30F4013);
    ASSERT_TRUE(
        LoadProg(img, Lines({Rec(0, 0, {0x40, 0x01, 0x04, 0x00, 0x00, 0x00, 0x00, 0xAA}),
                             Rec(0, 0xFFFC, {0x11, 0x22, 0x33, 0x00}), Rec(4, 0, {0x01, 0xF0}),
                             Rec(0, 0, {0x22, 0xC3}), Rec(0, 0x0018, {0x03, 0xC0}), kEnd})));
    EXPECT_EQ(img.Prog(0), 0x00040140u);
    EXPECT_EQ(img.Prog(1), 0xAA000000u) << "the phantom byte is stored as it stands";
    EXPECT_EQ(img.Prog(16383), 0x00332211u);
    EXPECT_EQ(img.Conf(0), 0xC322u);
    EXPECT_EQ(img.Conf(6), 0xC003u) << "register k in the slot at 0x1F00000 + 4k, as pic30 has it";
    EXPECT_EQ(img.Conf(1), 0xFFFFu);
    ExpectRejected(hextest::k30F4013, At(0x10000, {0}));
    ExpectRejected(hextest::k30F4013, At(0x1F00002, {0x01}));
    ExpectRejected(hextest::k30F4013, At(0x1F0001C, {0}));
    ExpectRejected(hextest::k30F4013, At(0xFFF800, {0}));
}

TEST(ProgHexReader, BaselineConfigWordAtWord0xFFF) {
    for (bool microchip : {false, true}) {
        Image img(hextest::k12F508);
        ASSERT_TRUE(LoadProg(
            img, Lines({Rec(0, 0, {0x25, 0x00}), Rec(0, 0x1FFE, {0xEA, 0x0F}), kEnd}), microchip));
        EXPECT_EQ(img.Prog(0), 0x0025u);
        EXPECT_EQ(img.Conf(0), 0x0FEAu);
        // The chip's own configuration address (0x3FF, bytes 0x7FE) works as well.
        ASSERT_TRUE(LoadProg(img, Lines({Rec(0, 0x7FE, {0xAB, 0x0C}), kEnd}), microchip));
        EXPECT_EQ(img.Conf(0), 0x0CABu);
        ExpectRejected(hextest::k12F508, Lines({Rec(0, 0x0400, {0}), kEnd}), microchip);
        ExpectRejected(hextest::k12F508, Lines({Rec(0, 0x2000, {0}), kEnd}), microchip);
        ExpectRejected(hextest::k12F508, Lines({Rec(0, 0x1FFC, {0}), kEnd}), microchip);
    }
    // A 14-bit part has nothing at 0x1FFE beyond its program memory.
    ExpectRejected(hextest::k16F84A, Lines({Rec(0, 0x1FFE, {0}), kEnd}), true);
}

TEST(ProgHexReader, MicrochipLayoutMidRangeEeprom) {
    Image img(hextest::k12F629);
    CProgHexReader r(img.layout, img.Buffers(), true);
    ASSERT_TRUE(
        r.LoadText(Lines({Rec(0, 0x400E, {0xD4, 0x3F}), Rec(0, 0x4200, {0x12, 0x00, 0x34, 0x00}),
                          Rec(0, 0x42FE, {0x99, 0x00}), kEnd})));
    EXPECT_TRUE(r.DataSeen());
    EXPECT_EQ(img.Conf(7), 0x3FD4u);
    EXPECT_EQ(img.Data(0), 0x12);
    EXPECT_EQ(img.Data(1), 0x34);
    EXPECT_EQ(img.Data(2), 0xFF) << "the whole data buffer is replaced, from blank";
    EXPECT_EQ(img.Data(127), 0x99);
    // A file without EEPROM bytes leaves the EEPROM blank.
    ASSERT_TRUE(r.LoadText(Lines({Rec(0, 0, {1, 0}), kEnd})));
    EXPECT_FALSE(r.DataSeen());
    EXPECT_EQ(img.Data(0), 0xFF);

    // A high byte other than 0 cannot be kept.
    ExpectRejected(hextest::k12F629, Lines({Rec(0, 0x4201, {0x01}), kEnd}), true);
    ExpectRejected(hextest::k12F629,
                   Lines({Rec(0, 0, {1, 0}), Rec(0, 0x4200, {0x12, 0x00}), Rec(0, 0x4300, {0x00})}),
                   true);
    ExpectRejected(hextest::k12F629, Lines({Rec(0, 0x4100, {0x00}), kEnd}), true);
    HexLayout none = hextest::k16F84A;
    none.dataSize = 0;
    ExpectRejected(none, Lines({Rec(0, 0x4200, {0x00}), kEnd}), true);
}

TEST(ProgHexReader, MicrochipLayoutPic18AndDsPicEeprom) {
    Image p18(hextest::k18F452);
    ASSERT_TRUE(LoadProg(p18, At(0xF00000, {1, 2, 3}) + At(0xF000FF, {0x44}), true));
    EXPECT_EQ(p18.Data(0), 1);
    EXPECT_EQ(p18.Data(2), 3);
    EXPECT_EQ(p18.Data(3), 0xFF);
    EXPECT_EQ(p18.Data(255), 0x44);
    ExpectRejected(hextest::k18F452, At(0xF00100, {0}), true);
    // The ID locations the tools emit blank pass; anything else in them would be lost.
    const Image before = p18;
    ASSERT_TRUE(LoadProg(p18,
                         At(0xF00000, {1, 2, 3}) + At(0xF000FF, {0x44}) +
                             At(0x200000, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),
                         true));
    EXPECT_TRUE(p18 == before);
    ExpectRejected(hextest::k18F452, At(0x200007, {0xFE}), true);
    ExpectRejected(hextest::k18F452, At(0x200008, {0xFF}), true);

    // 1024 bytes of EEPROM end at program-space address 0x800000: file bytes 0xFFF800 on,
    // two data bytes in the low half of each 4-byte slot.
    Image ds(hextest::k30F4013);
    ASSERT_TRUE(LoadProg(
        ds, At(0xFFF800, {0x11, 0x22, 0x00, 0x00, 0x33}) + At(0xFFFFFC, {0x55, 0x66, 0x00, 0x00}),
        true));
    EXPECT_EQ(ds.Data(0), 0x11);
    EXPECT_EQ(ds.Data(1), 0x22);
    EXPECT_EQ(ds.Data(2), 0x33);
    EXPECT_EQ(ds.Data(3), 0xFF);
    EXPECT_EQ(ds.Data(1022), 0x55);
    EXPECT_EQ(ds.Data(1023), 0x66);
    ExpectRejected(hextest::k30F4013, At(0xFFF7FC, {0x00}), true);
    ExpectRejected(hextest::k30F4013, At(0xFFF802, {0x01}), true);
    ExpectRejected(hextest::k30F4013, At(0x1000000, {0x00}), true);
    ExpectRejected(hextest::k30F2011, At(0xFFFFFC, {0x00}), true);  // no EEPROM at all
}

TEST(ProgHexReader, MicrochipLayoutDsPicConfigSlots) {
    // pic30 tools put configuration register k at 0xF80000 + 2k, file byte 0x1F00000 + 4k.
    Image ds(hextest::k30F4013);
    ASSERT_TRUE(LoadProg(ds,
                         At(0x1F00000, {0x22, 0xC3}) + At(0x1F00004, {0x3F, 0x80, 0x00, 0x00}) +
                             At(0x1F00018, {0x03, 0xC0}),
                         true));
    EXPECT_EQ(ds.Conf(0), 0xC322u);
    EXPECT_EQ(ds.Conf(1), 0x803Fu);
    EXPECT_EQ(ds.Conf(2), 0xFFFFu);
    EXPECT_EQ(ds.Conf(6), 0xC003u);
    ExpectRejected(hextest::k30F4013, At(0x1F00002, {0x01}), true);
    ExpectRejected(hextest::k30F4013, At(0x1F0001C, {0x00}), true);
}

TEST(DataHexReader, MapsFromZeroToTheDataSize) {
    std::array<uint8_t, 256> data;
    data.fill(0x5A);
    CDataHexReader r{std::span<uint8_t>(data)};
    ASSERT_TRUE(r.LoadText(Lines({Rec(0, 0x0000, {0x01, 0x02}), Rec(0, 0x00FF, {0x03}), kEnd})));
    EXPECT_EQ(data[0], 0x01);
    EXPECT_EQ(data[1], 0x02);
    EXPECT_EQ(data[2], 0xFF) << "cells not in the file become blank";
    EXPECT_EQ(data[255], 0x03);

    const auto before = data;
    EXPECT_FALSE(r.LoadText(Lines({Rec(0, 0x0000, {0x77}), Rec(0, 0x0100, {0x00}), kEnd})));
    EXPECT_EQ(data, before);
    EXPECT_FALSE(r.LoadText(Lines({Rec(0, 0x4200, {0x00}), kEnd})));
    EXPECT_FALSE(r.LoadText(Lines({Rec(0, 0, {0x77}), Rec(7, 0, {}), kEnd})));
    EXPECT_EQ(data, before);

    // No data memory at all: only files without data bytes load.
    CDataHexReader empty{std::span<uint8_t>()};
    EXPECT_TRUE(empty.LoadText(Lines({kEnd})));
    EXPECT_FALSE(empty.LoadText(Lines({Rec(0, 0, {0}), kEnd})));
}

TEST(FirmwareHexReader, AcceptsProgramAndConfigurationOnly) {
    std::array<uint16_t, 1024> program;
    std::array<uint16_t, 8> config;
    program.fill(0);
    config.fill(0);
    CFirmwareHexReader r(program, config);
    ASSERT_TRUE(r.LoadText(Lines({Rec(0, 0, {0x05, 0x28}), Rec(0, 0x07FE, {0xFF, 0x3F}),
                                  Rec(0, 0x400E, {0x7A, 0x3F}), kEnd})));
    EXPECT_EQ(program[0], 0x2805);
    EXPECT_EQ(program[1], 0x3FFF) << "cells start at 0x3FFF";
    EXPECT_EQ(program[1023], 0x3FFF);
    EXPECT_EQ(config[7], 0x3F7A);
    EXPECT_EQ(config[0], 0x3FFF);

    const auto p = program;
    const auto c = config;
    for (uint32_t bad : {0x0800u, 0x3FFEu, 0x4010u, 0x4200u}) {
        EXPECT_FALSE(r.LoadText(Lines({Rec(0, 0, {0x00, 0x00}), Rec(0, bad, {0}), kEnd}))) << bad;
    }
    EXPECT_EQ(program, p);
    EXPECT_EQ(config, c);

    std::array<uint16_t, 512> small{};
    CFirmwareHexReader wrong(small, config);
    EXPECT_FALSE(wrong.LoadText(""));
    EXPECT_EQ(config, c);
}

}  // namespace
}  // namespace tenlo
