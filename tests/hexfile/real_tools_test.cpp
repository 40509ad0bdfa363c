// HEX files made by gpasm and rewritten by srec_cat at build time (see CMakeLists.txt). The
// expected cells are worked out by hand from the instruction encodings and the configuration
// bits the sources set, not from the files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <string>

#include "hexfile/hex_file_writer.h"
#include "hexfile/hex_test_util.h"
#include "hexfile/prog_hex_reader.h"

namespace tenlo {
namespace {

using hextest::Image;

std::string GenFile(const std::string& name) {
    const std::string path = std::string(TENLO_HEX_GEN_DIR) + "/" + name;
    std::ifstream f(path, std::ios::binary);
    // Missing tools must fail the test, never skip it.
    EXPECT_TRUE(f.is_open()) << path
                             << " was not made: are gpasm and srec_cat installed? "
                                "(scripts/bootstrap installs them)";
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

std::string Crlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            out += '\r';
        }
        out += c;
    }
    return out;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Loads into a fresh image; the test fails when the load does.
Image Load(const HexLayout& layout, const std::string& text, bool microchip) {
    Image img(layout);
    CProgHexReader r(layout, img.Buffers(), microchip);
    EXPECT_TRUE(r.LoadText(text));
    return img;
}

void ExpectBlankExcept(const Image& img, std::initializer_list<uint32_t> programCells,
                       uint32_t from = 0, uint32_t to = 0) {
    const uint32_t blank = BlankValue(img.layout.programWidth);
    for (uint32_t i = 0; i < img.layout.programSize; ++i) {
        if (std::find(programCells.begin(), programCells.end(), i) != programCells.end() ||
            (i >= from && i < to)) {
            continue;
        }
        ASSERT_EQ(img.Prog(i), blank) << "program cell " << i;
    }
}

// Every rewrite of the tools' file loads to the same image as the original.
void ExpectRewritesAgree(const std::string& chip, const HexLayout& layout, bool microchip,
                         bool segmentRewrite) {
    const std::string original = GenFile(chip + ".hex");
    const Image expected = Load(layout, original, microchip);
    std::vector<std::pair<std::string, std::string>> variants = {
        {"255-byte records", GenFile(chip + "_obs255.hex")},
        {"CRLF", Crlf(original)},
        {"lower case", Lower(original)},
        {"lower case CRLF 255-byte records", Crlf(Lower(GenFile(chip + "_obs255.hex")))},
    };
    if (segmentRewrite) {
        variants.emplace_back("segment records", GenFile(chip + "_seg.hex"));
    }
    for (const auto& [what, text] : variants) {
        EXPECT_TRUE(Load(layout, text, microchip) == expected) << chip << ": " << what;
    }
}

// Written back in the same layout, the image survives bit for bit.
void ExpectWriteBack(const Image& img, bool microchip) {
    HexWriteOptions opt;
    opt.microchipLayout = microchip;
    const auto text = ProgramHexText(img.layout, img.ConstBuffers(), opt);
    ASSERT_TRUE(text.has_value());
    Image back(img.layout);
    back.data = img.data;  // outside the file in the default layout
    CProgHexReader r(img.layout, back.Buffers(), microchip);
    ASSERT_TRUE(r.LoadText(*text));
    EXPECT_TRUE(back == img);
}

TEST(RealToolFiles, Pic16F84A) {
    const Image img = Load(hextest::k16F84A, GenFile("p16f84a.hex"), false);
    EXPECT_EQ(img.Prog(0), 0x2805u);  // goto main
    EXPECT_EQ(img.Prog(4), 0x0009u);  // retfie
    EXPECT_EQ(img.Prog(5), 0x1683u);  // bsf STATUS, RP0
    EXPECT_EQ(img.Prog(6), 0x0186u);  // clrf TRISB
    EXPECT_EQ(img.Prog(7), 0x1283u);  // bcf STATUS, RP0
    EXPECT_EQ(img.Prog(8), 0x0A86u);  // incf PORTB, F
    EXPECT_EQ(img.Prog(9), 0x2808u);  // goto loop
    for (uint32_t i = 0; i < 200; ++i) {
        ASSERT_EQ(img.Prog(0x100 + i), 0x3400u | i);  // retlw i
    }
    EXPECT_EQ(img.Prog(0x3FF), 0x0000u);  // nop
    ExpectBlankExcept(img, {0, 4, 5, 6, 7, 8, 9, 0x3FF}, 0x100, 0x100 + 200);
    EXPECT_EQ(img.Conf(7), 0x3FF1u);  // XT, no watchdog, power-up timer, no protection
    for (uint32_t i = 0; i < 7; ++i) {
        EXPECT_EQ(img.Conf(i), 0x3FFFu);
    }
    ExpectRewritesAgree("p16f84a", hextest::k16F84A, false, true);
    ExpectWriteBack(img, false);
}

TEST(RealToolFiles, Pic12F629WithIdLocations) {
    const Image img = Load(hextest::k12F629, GenFile("p12f629.hex"), false);
    EXPECT_EQ(img.Prog(0), 0x1683u);  // bsf STATUS, RP0
    EXPECT_EQ(img.Prog(1), 0x23FFu);  // call 0x3FF
    EXPECT_EQ(img.Prog(2), 0x0090u);  // movwf OSCCAL
    EXPECT_EQ(img.Prog(3), 0x1283u);  // bcf STATUS, RP0
    EXPECT_EQ(img.Prog(4), 0x0103u);  // clrw
    EXPECT_EQ(img.Prog(5), 0x2805u);  // goto $
    ExpectBlankExcept(img, {0, 1, 2, 3, 4, 5});
    for (uint32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(img.Conf(i), i + 1) << "ID nibble " << i;
    }
    EXPECT_EQ(img.Conf(7), 0x3FD4u);  // internal RC, no watchdog, no MCLR
    ExpectRewritesAgree("p12f629", hextest::k12F629, false, true);
}

TEST(RealToolFiles, Pic16F877AWithEeprom) {
    const std::string text = GenFile("p16f877a.hex");
    // The program loader of the GUI keeps data in its own file: EEPROM bytes are refused.
    Image untouched(hextest::k16F877A);
    const Image before = untouched;
    CProgHexReader gui(hextest::k16F877A, untouched.Buffers(), false);
    EXPECT_FALSE(gui.LoadText(text));
    EXPECT_TRUE(untouched == before);

    const Image img = Load(hextest::k16F877A, text, true);
    EXPECT_EQ(img.Prog(0), 0x2805u);       // goto start
    EXPECT_EQ(img.Prog(4), 0x0009u);       // retfie
    EXPECT_EQ(img.Prog(5), 0x3055u);       // movlw 0x55
    EXPECT_EQ(img.Prog(6), 0x0086u);       // movwf PORTB
    EXPECT_EQ(img.Prog(7), 0x2807u);       // goto $
    EXPECT_EQ(img.Prog(0x1FFF), 0x0063u);  // sleep, the last word
    ExpectBlankExcept(img, {0, 4, 5, 6, 7, 0x1FFF});
    EXPECT_EQ(img.Conf(7), 0x3F7Au);  // HS, no watchdog, no LVP
    const uint8_t eeprom[] = {0x12, 0x34, 'A', 'B', 0x99};
    for (uint32_t i = 0; i < 256; ++i) {
        EXPECT_EQ(img.Data(i), i < 5 ? eeprom[i] : 0xFF) << i;
    }
    ExpectRewritesAgree("p16f877a", hextest::k16F877A, true, true);
    ExpectWriteBack(img, true);
}

TEST(RealToolFiles, Pic18F452WithEeprom) {
    const std::string text = GenFile("p18f452.hex");
    Image refused(hextest::k18F452);
    CProgHexReader gui(hextest::k18F452, refused.Buffers(), false);
    EXPECT_FALSE(gui.LoadText(text));

    const Image img = Load(hextest::k18F452, text, true);
    EXPECT_EQ(img.Prog(0), 0xEF10u);     // goto 0x20, first word
    EXPECT_EQ(img.Prog(1), 0xF000u);     // second word
    EXPECT_EQ(img.Prog(0x10), 0x0E5Au);  // movlw 0x5A
    EXPECT_EQ(img.Prog(0x11), 0x6E8Au);  // movwf LATB, ACCESS
    EXPECT_EQ(img.Prog(0x12), 0xD7FDu);  // bra start
    for (uint32_t i = 0; i < 200; ++i) {
        ASSERT_EQ(img.Prog(0x800 + i), 0x0C00u | i);  // retlw i
    }
    EXPECT_EQ(img.Prog(0x3FFF), 0x0000u);
    ExpectBlankExcept(img, {0, 1, 0x10, 0x11, 0x12, 0x3FFF}, 0x800, 0x800 + 200);
    EXPECT_EQ(img.Conf(1), 0x22u);  // oscillator HS
    EXPECT_EQ(img.Conf(3), 0x0Eu);  // watchdog off
    EXPECT_EQ(img.Conf(6), 0x81u);  // LVP off
    for (uint32_t unimplemented : {0u, 4u, 7u}) {
        EXPECT_EQ(img.Conf(unimplemented), 0xFFu);
    }
    EXPECT_EQ(img.Data(0), 1);
    EXPECT_EQ(img.Data(1), 2);
    EXPECT_EQ(img.Data(2), 3);
    EXPECT_EQ(img.Data(3), 0xFF);
    ExpectRewritesAgree("p18f452", hextest::k18F452, true, false);
    ExpectWriteBack(img, true);
    ExpectWriteBack(img, false);
}

TEST(RealToolFiles, Pic12F508ConfigurationWord) {
    for (bool microchip : {false, true}) {
        const Image img = Load(hextest::k12F508, GenFile("p12f508.hex"), microchip);
        EXPECT_EQ(img.Prog(0), 0x0025u);  // movwf OSCCAL
        EXPECT_EQ(img.Prog(1), 0x0C3Fu);  // movlw 0x3F
        EXPECT_EQ(img.Prog(2), 0x0006u);  // tris GPIO
        EXPECT_EQ(img.Prog(3), 0x0A03u);  // goto $
        ExpectBlankExcept(img, {0, 1, 2, 3});
        EXPECT_EQ(img.Conf(0), 0x0FEAu);  // internal RC, no watchdog, no MCLR
        ExpectRewritesAgree("p12f508", hextest::k12F508, microchip, true);
        ExpectWriteBack(img, microchip);
    }
}

}  // namespace
}  // namespace tenlo
