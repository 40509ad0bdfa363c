#include "tools/hex_corpus_check.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "cli_rig.h"
#include "hexfile/hex_test_util.h"

namespace tenlo::tools::testing {

using cli::testing::ExampleHex;
using cli::testing::ReadFile;
using cli::testing::TempDir;
namespace {

using hextest::kEnd;
using hextest::Lines;
using hextest::Rec;

// A corpus folder: files under one folder per chip.
class Corpus {
  public:
    std::string Add(const std::string& chip, const std::string& name, const std::string& text) {
        std::filesystem::create_directories(
            std::filesystem::path(dir.File(chip + "/" + name)).parent_path());
        return dir.Write(chip + "/" + name, text);
    }
    // The run's lines and counts.
    CorpusCounts Check() {
        std::FILE* out = std::tmpfile();
        const CorpusCounts counts = CheckHexCorpus(dir.File(""), out);
        std::rewind(out);
        char buffer[4096];
        std::size_t n = 0;
        report.clear();
        while ((n = std::fread(buffer, 1, sizeof buffer, out)) > 0) {
            report.append(buffer, n);
        }
        std::fclose(out);
        return counts;
    }
    bool Says(const std::string& line) const { return report.find(line) != std::string::npos; }

    TempDir dir;
    std::string report;
};

TEST(HexCorpusCheck, EachFileGetsOneLineByWhatBecameOfItAndTheRunACount) {
    Corpus corpus;
    corpus.Add("PIC16F84A", "example.hex", ReadFile(ExampleHex()));
    // The device ID takes no write, so the chip cannot hold what the file says there.
    corpus.Add("PIC16F84A", "device-id.hex",
               Lines({Rec(0, 0x0000, {0x05, 0x28}), Rec(0, 0x400C, {0x34, 0x12}), kEnd}));
    corpus.Add("PIC16F84A", "not-hex.hex", "this is no HEX file\n");
    corpus.Add("PIC18F452", "p18.hex", Lines({Rec(0, 0x0000, {0x12, 0xEF}), kEnd}));
    corpus.Add("NOSUCHCHIP", "x.hex", Lines({kEnd}));

    const CorpusCounts counts = corpus.Check();
    EXPECT_EQ(counts.passed, 2);
    EXPECT_EQ(counts.failed, 1);
    EXPECT_EQ(counts.refused, 1);
    EXPECT_EQ(counts.skipped, 1);
    EXPECT_TRUE(corpus.Says("PASS     PIC16F84A/example.hex\n")) << corpus.report;
    EXPECT_TRUE(
        corpus.Says("FAIL     PIC16F84A/device-id.hex  read-back differs at configuration word "
                    "0x2006"))
        << corpus.report;
    EXPECT_TRUE(corpus.Says("REFUSED  PIC16F84A/not-hex.hex  write: ")) << corpus.report;
    EXPECT_TRUE(corpus.Says("PASS     PIC18F452/p18.hex\n")) << corpus.report;
    EXPECT_TRUE(corpus.Says("SKIP     NOSUCHCHIP/x.hex  no chip of that name in the catalogue"))
        << corpus.report;
    EXPECT_TRUE(corpus.Says("5 files: 2 passed, 1 refused, 1 failed, 1 skipped\n"))
        << corpus.report;
}

TEST(HexCorpusCheck, TheReadBackCatchesACellTheVerifyLeavesOut) {
    Corpus corpus;
    // The device ID cell takes no writes and no compare looks at it; only the read-back shows
    // that the chip does not hold what the file says.
    corpus.Add("PIC16F84A", "id.hex", Lines({Rec(0, 0x400C, {0x34, 0x12}), kEnd}));
    // Files in folders below the chip's count too.
    corpus.Add("PIC16F84A", "deeper/one.hex", Lines({Rec(0, 0x0010, {0x08, 0x00}), kEnd}));
    // A file that sets nothing the chip has is not taken.
    corpus.Add("PIC16F84A", "empty.hex", Lines({kEnd}));

    const CorpusCounts counts = corpus.Check();
    EXPECT_EQ(counts.failed, 1);
    EXPECT_EQ(counts.passed, 1);
    EXPECT_EQ(counts.refused, 1);
    EXPECT_TRUE(
        corpus.Says("FAIL     PIC16F84A/id.hex  read-back differs at configuration word "
                    "0x2006: chip 0x0561, file 0x1234\n"))
        << corpus.report;
    EXPECT_TRUE(corpus.Says("PASS     PIC16F84A/deeper/one.hex\n")) << corpus.report;
    EXPECT_TRUE(corpus.Says("REFUSED  PIC16F84A/empty.hex  write: tenlo-cli: ")) << corpus.report;
}

TEST(HexCorpusCheck, ProtectionTheWriteLeavesOffIsNoDifference) {
    // Configuration words real toolchains made with code protection on, which this programmer
    // never writes: they verify and read back as written, protection aside.
    Corpus corpus;
    const auto word = [](unsigned value) {
        return Lines(
            {Rec(0, 0x0000, {0x05, 0x28}), Rec(0, 0x400E, {value & 0xFF, value >> 8}), kEnd});
    };
    corpus.Add("PIC16F627A", "cp.hex", word(0x1F18));
    corpus.Add("PIC16F684", "cp.hex", word(0x01A4));
    corpus.Add("PIC16F876A", "cp.hex", word(0x1F72));
    const CorpusCounts counts = corpus.Check();
    EXPECT_EQ(counts.passed, 3) << corpus.report;
}

TEST(HexCorpusCheck, DsPic30RegistersAreHeldToTheBitsTheyImplement) {
    // Registers as a compiler writes them, all ones where the chip has nothing: FGS 0xFFFF
    // reads back 0x0007, FOSC 0xBFF2 on a 4012 0x8302.
    Corpus corpus;
    const auto configPage = Rec(4, 0, {0x01, 0xF0});
    const auto program = Rec(0, 0x0000, {0x00, 0x01, 0x04, 0x00});
    const auto reg = [](unsigned index, unsigned value) {
        return Rec(0, index * 4, {value & 0xFF, value >> 8, 0x00, 0x00});
    };
    corpus.Add("dsPIC30F4011", "eeprom.hex",
               Lines({program, configPage, reg(0, 0xC307), reg(1, 0x0000), reg(2, 0x83A2),
                      reg(5, 0xFFFF), kEnd}));
    corpus.Add("dsPIC30F4012", "slave.hex",
               Lines({program, configPage, reg(0, 0xBFF2), reg(1, 0x7FFF), reg(2, 0xFFFF),
                      reg(5, 0xFFFF), reg(6, 0xFFFF), kEnd}));
    const CorpusCounts counts = corpus.Check();
    EXPECT_EQ(counts.passed, 2) << corpus.report;
}

TEST(HexCorpusCheck, TheSurveyDecodesEachWordAFileSetsAndFlagsWhatTheChipWillNotKeep) {
    Corpus corpus;
    corpus.Add("PIC16F877A", "mikroc.hex",
               Lines({Rec(0, 0x0000, {0x05, 0x28}), Rec(0, 0x400E, {0x4A, 0x2F}), kEnd}));
    corpus.Add("PIC16F877A", "none.hex", Lines({Rec(0, 0x0000, {0x05, 0x28}), kEnd}));
    corpus.Add("PIC18F1220", "borv.hex",
               Lines({Rec(4, 0, {0x00, 0x30}), Rec(0, 0x0002, {0x0E}), kEnd}));
    std::FILE* out = std::tmpfile();
    const ConfigSurveyCounts counts = SurveyHexConfig(corpus.dir.File(""), out);
    std::rewind(out);
    std::string report(4096, '\0');
    report.resize(std::fread(report.data(), 1, report.size(), out));
    std::fclose(out);
    EXPECT_EQ(counts.files, 3);
    EXPECT_EQ(counts.words, 2);
    EXPECT_EQ(counts.unnamed, 1);
    EXPECT_EQ(counts.stray, 1);
    EXPECT_NE(report.find("PIC16F877A/mikroc.hex: CONFIG 0x2007 = 0x2F4A: FOSC = HS, WDTE = OFF, "
                          "PWRTE = OFF, BOREN = ON, LVP = OFF, CPD = OFF, WRT = OFF, DEBUG = OFF, "
                          "CP = OFF  [bits the chip does not implement: 0x1030]\n"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("PIC16F877A/none.hex: sets no configuration word\n"), std::string::npos);
    EXPECT_NE(report.find("PIC18F1220/borv.hex: CONFIG2L 0x300002 = 0x000E: PWRT = ON, BOR = ON, "
                          "BORV = 0x3  [a value no setting names]\n"),
              std::string::npos)
        << report;
}

TEST(HexCorpusCheck, KeptCalibrationIsNeitherVerifiedNorExpectedFromTheFile) {
    Corpus corpus;
    // The 12F629 keeps its factory calibration word at 0x3FF, which the file leaves blank.
    corpus.Add("PIC12F629", "blink.hex", Lines({Rec(0, 0x0000, {0xFF, 0x23}), kEnd}));
    const CorpusCounts counts = corpus.Check();
    EXPECT_EQ(counts.passed, 1) << corpus.report;
}

}  // namespace
}  // namespace tenlo::tools::testing
