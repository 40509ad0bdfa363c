// tenlo-cli config, write --set and the configuration traps, against the virtual programmer.
#include <gtest/gtest.h>

#include "cli_rig.h"
#include "hexfile/hex_test_util.h"

namespace tenlo::cli::testing {
namespace {

using hextest::Lines;
using hextest::Rec;
using sim::Space;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// One program word and a 16F877A configuration word (HS, LVP off, protection off) unless
// another is given.
std::string MidRangeFile(unsigned config = 0x3F72) {
    return Lines({Rec(0, 0x0000, {0x05, 0x28}), Rec(0, 0x400E, {config & 0xFF, config >> 8}),
                  hextest::kEnd});
}

// A PIC18F452 program: HS, watchdog off, LVP off, nothing protected.
std::string Pic18File() {
    return Lines({Rec(0, 0x0000, {0x10, 0xEF, 0x00, 0xF0}), Rec(4, 0, {0x00, 0x30}),
                  Rec(0, 0x0001, {0x22, 0x0E, 0x0E, 0xFF, 0x01, 0x81}), hextest::kEnd});
}

TEST(CliConfig, AFilesConfigurationIsDecodedFieldByFieldAsLinesAndAsJson) {
    TempDir dir;
    CliRig rig("PIC16F877A");
    // LVP on, and bit 12, which the chip does not have, clear.
    const std::string file = dir.Write("a.hex", MidRangeFile(0x3DF2 & ~0x1000u));
    ASSERT_EQ(rig.Run({"--device", "PIC16F877A", "config", file}), 0) << rig.stderrText;
    const std::string& out = rig.stdoutText;
    EXPECT_TRUE(Has(out, "0x2007 CONFIG = 0x2DF2\n  FOSC = HS\n  WDTE = OFF\n")) << out;
    EXPECT_TRUE(Has(out, "  LVP = ON\n")) << out;
    EXPECT_TRUE(
        Has(out, "  CP = OFF\n  (bits 0x1000 are not implemented: the chip will not keep them)\n"))
        << out;
    EXPECT_TRUE(Has(out, "warning: low-voltage programming is on (LVP = ON)")) << out;
    EXPECT_EQ(rig.backend->opens, 0) << "a file's configuration needs no programmer";

    ASSERT_EQ(rig.Run({"--device", "PIC16F877A", "config", "--json", file}), 0);
    const std::string& json = rig.stdoutText;
    EXPECT_TRUE(Has(json, R"("device":"PIC16F877A","source":"file")")) << json;
    EXPECT_TRUE(Has(json, R"({"name":"CONFIG","address":8199,"value":11762,"fields":[)")) << json;
    EXPECT_TRUE(Has(json, R"({"name":"FOSC","value":2,"setting":"HS","description":)")) << json;
    EXPECT_TRUE(Has(json, R"("level":"warning","kind":"low-voltage-programming")")) << json;

    EXPECT_EQ(rig.Run({"--device", "PIC16F877A", "config"}), 2);
    EXPECT_TRUE(Has(rig.stderrText, "config needs a HEX file, or --read")) << rig.stderrText;
}

TEST(CliConfig, ReadDecodesWhatTheChipHolds) {
    CliRig rig("PIC18F452");
    rig.Poke(Space::Config, 0x300001, 0x26);  // HS with PLL
    rig.Poke(Space::Config, 0x300008, 0x0E);  // CP0 on
    ASSERT_EQ(rig.Run({"--device", "PIC18F452", "config", "--read"}), 0) << rig.stderrText;
    EXPECT_TRUE(Has(rig.stdoutText, "0x300001 CONFIG1H = 0x26\n  OSC = HSPLL\n")) << rig.stdoutText;
    EXPECT_TRUE(Has(rig.stdoutText, "  CP0 = ON\n  CP1 = OFF\n")) << rig.stdoutText;
    EXPECT_GT(rig.backend->opens, 0);

    ASSERT_EQ(rig.Run({"--device", "PIC18F452", "config", "--read", "--json"}), 0);
    EXPECT_TRUE(Has(rig.stdoutText, R"("source":"chip","file":null)")) << rig.stdoutText;
}

TEST(CliConfig, SetChangesTheConfigurationWrittenButNotTheFile) {
    TempDir dir;
    CliRig rig("PIC16F877A");
    const std::string file = dir.Write("a.hex", MidRangeFile());
    const std::string before = ReadFile(file);
    ASSERT_EQ(rig.Run({"--device", "PIC16F877A", "write", file, "--set", "fosc=xt, PWRTE=OFF"}), 0)
        << rig.stderrText;
    EXPECT_EQ(rig.Peek(Space::Config, 0x2007), 0x3F79u);
    EXPECT_EQ(ReadFile(file), before);
    EXPECT_EQ(rig.Run({"--device", "PIC16F877A", "verify", file, "--set", "FOSC=XT,PWRTE=OFF"}), 0)
        << rig.stderrText;
    EXPECT_EQ(rig.Run({"--device", "PIC16F877A", "verify", file}), 1);

    // A name or setting the chip lacks is a usage error naming what it has; nothing is sent.
    CliRig fresh("PIC16F877A");
    EXPECT_EQ(fresh.Run({"--device", "PIC16F877A", "write", file, "--set", "OSC=HS"}), 2);
    EXPECT_TRUE(Has(fresh.stderrText, "no configuration field 'OSC'; its fields are FOSC, WDTE"))
        << fresh.stderrText;
    EXPECT_EQ(fresh.Run({"--device", "PIC16F877A", "write", file, "--set", "FOSC=FAST"}), 2);
    EXPECT_TRUE(Has(fresh.stderrText, "its settings are LP, XT, HS, EXTRC")) << fresh.stderrText;
    EXPECT_EQ(fresh.backend->opens, 0);
    EXPECT_EQ(fresh.Peek(Space::Program, 0), 0x3FFFu);
}

struct TrapCase {
    const char* chip;
    const char* set;
    const char* line;  // the start of the line tenlo-cli prints
    Space space;
    std::uint32_t address;  // a configuration cell the set changes
};

// Each trap: told in a line and written; under --strict refused with exit 1 and nothing written.
TEST(CliConfig, EachTrapIsToldAndWrittenOrRefusedWholeUnderStrict) {
    const TrapCase cases[] = {
        {"PIC16F877A", "LVP=ON", "warning: low-voltage programming is on (LVP = ON)", Space::Config,
         0x2007},
        {"PIC16F628A", "MCLRE=OFF,FOSC=INTOSCIO",
         "warning: MCLR is off with the internal oscillator (MCLRE = OFF, FOSC = INTOSCIO)",
         Space::Config, 0x2007},
        {"PIC18F452", "CP0=ON", "warning: code protection is on (CP0 = ON)", Space::Config,
         0x300008},
        {"PIC18F452", "CPD=ON", "warning: data EEPROM protection is on (CPD = ON)", Space::Config,
         0x300009},
        {"PIC18F452", "WRTC=ON", "warning: configuration write protection is on (WRTC = ON)",
         Space::Config, 0x30000B},
    };
    for (const TrapCase& c : cases) {
        SCOPED_TRACE(c.set);
        TempDir dir;
        const bool pic18 = std::string(c.chip) == "PIC18F452";
        const std::string file = dir.Write("t.hex", pic18 ? Pic18File() : MidRangeFile());
        CliRig strict(c.chip);
        const std::uint32_t blank = strict.Peek(c.space, c.address);
        EXPECT_EQ(strict.Run({"--device", c.chip, "write", file, "--set", c.set, "--strict"}), 1);
        EXPECT_TRUE(Has(strict.stderrText, std::string("tenlo-cli: ") + c.line))
            << strict.stderrText;
        EXPECT_TRUE(Has(strict.stderrText, "nothing written: --strict")) << strict.stderrText;
        EXPECT_EQ(strict.Peek(Space::Program, 0), pic18 ? 0xFFFFu : 0x3FFFu);
        EXPECT_EQ(strict.Peek(c.space, c.address), blank);

        CliRig rig(c.chip);
        EXPECT_EQ(rig.Run({"--device", c.chip, "write", file, "--set", c.set}), 0)
            << rig.stderrText;
        EXPECT_TRUE(Has(rig.stderrText, std::string("tenlo-cli: ") + c.line)) << rig.stderrText;
        EXPECT_NE(rig.Peek(Space::Program, 0), pic18 ? 0xFFFFu : 0x3FFFu);
    }
}

TEST(CliConfig, TheWatchdogAndProtectionLeftOffAreNoticesThatStrictLetsThrough) {
    TempDir dir;
    CliRig rig("PIC16F877A");
    // Watchdog on, code protection on: a mid-range write leaves protection off.
    const std::string file = dir.Write("w.hex", MidRangeFile(0x1F76));
    ASSERT_EQ(rig.Run({"--device", "PIC16F877A", "write", "--strict", file}), 0) << rig.stderrText;
    EXPECT_TRUE(Has(rig.stderrText, "tenlo-cli: notice: the watchdog timer is on (WDTE = ON)"))
        << rig.stderrText;
    EXPECT_TRUE(Has(rig.stderrText,
                    "tenlo-cli: notice: code protection left off: the file sets "
                    "CP = ON, which this programmer never writes"))
        << rig.stderrText;
    EXPECT_FALSE(Has(rig.stderrText, "warning")) << rig.stderrText;
    EXPECT_EQ(rig.Peek(Space::Config, 0x2007), 0x3F76u);

    // The chip holds what this programmer writes: verify matches and says why once.
    ASSERT_EQ(rig.Run({"--device", "PIC16F877A", "verify", file}), 0) << rig.stderrText;
    EXPECT_TRUE(Has(rig.stderrText, "notice: code protection left off")) << rig.stderrText;
}

}  // namespace
}  // namespace tenlo::cli::testing
