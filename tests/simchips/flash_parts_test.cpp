// 16F62xA, the 12F629 family and the 12F683/16F6xx/16F91x group: program-only flash cycles,
// externally timed programming, bulk erase scopes, calibration data and protection.
#include "tests/simchips/icsp.h"

namespace tenlo::sim::testing {
namespace {

TEST(Pic16F62xA, BeginProgrammingOnlyClearsBits) {
    Icsp p("PIC16F628A");
    p.Poke(Space::Program, 0, 0x0F0F);
    p.Load(kLoadProgram, 0x3355);
    p.Cmd(kBegin);
    EXPECT_EQ(p.Prog(0), 0x0305u);
    p.Inc();
    p.Load(kLoadProgram, 0x0000);
    p.Cmd(kBeginOnly);  // not a command of this part
    p.Cmd(kEnd17);
    EXPECT_EQ(p.Prog(1), 0x3FFFu);

    p.Poke(Space::Data, 1, 0x0F);
    p.Load(kLoadData, 0xF0);
    p.Cmd(kBegin);
    EXPECT_EQ(p.Data(1), 0xF0u);  // data is replaced, not ANDed
}

TEST(Pic16F62xA, BulkEraseScopesAndProtection) {
    Icsp p("PIC16F648A");
    auto fill = [&p](std::uint16_t config) {
        p.Poke(Space::Program, 0xFFF, 0x0001);
        p.Poke(Space::Data, 0xFF, 0x01);
        p.Poke(Space::Config, 0x2003, 0x0002);
        p.Poke(Space::Config, 0x2007, config);
    };
    fill(0x1FFF);  // CP on
    EXPECT_EQ(p.Read(), 0u);
    p.Inc(0xFFF);
    EXPECT_EQ(p.Read(), 0u);
    p.Cmd(kBulkProgram);  // allowed while protected, and it lifts the protection
    EXPECT_EQ(p.Prog(0xFFF), 0x3FFFu);
    EXPECT_EQ(p.Cfg(0x2007), 0x3FFFu);
    EXPECT_EQ(p.Cfg(0x2003), 0x0002u);
    EXPECT_EQ(p.Data(0xFF), 0x01u);

    fill(0x3EFF);  // CPD on: data goes too, and only reads of data are blocked
    EXPECT_EQ(p.Read(kReadData), 0u);
    EXPECT_EQ(p.Read(), 0x0001u);
    p.ToConfig();
    p.Cmd(kBulkProgram);
    EXPECT_EQ(p.Data(0xFF), 0xFFu);
    EXPECT_EQ(p.Cfg(0x2003), 0x3FFFu);  // PC in configuration space: user IDs too

    fill(0x3FFF);
    p.Cmd(kBulkData);
    EXPECT_EQ(p.Data(0xFF), 0xFFu);
    EXPECT_EQ(p.Prog(0xFFF), 0x0001u);
}

TEST(Pic12F629, FactoryCalibrationAndBulkEraseDestroysIt) {
    Icsp p("PIC12F629");
    EXPECT_EQ(p.Prog(0x3FF), 0x3480u);
    EXPECT_EQ(p.Cfg(0x2007), 0x31FFu);  // band-gap 11, bits 11:9 read as zero
    p.ToConfig(7);
    EXPECT_EQ(p.Read(), 0x31FFu);

    p.Poke(Space::Config, 0x2007, 0x11F4);  // band-gap 01
    p.Cmd(kBulkProgram);
    EXPECT_EQ(p.Prog(0x3FF), 0x3FFFu);
    EXPECT_EQ(p.Cfg(0x2007), 0x31FFu);
}

TEST(Pic12F629, ProtectionSparesTheCalibrationWord) {
    Icsp p("PIC12F675");
    p.Poke(Space::Program, 0x3FE, 0x2ABC);
    p.Poke(Space::Data, 0x7F, 0x11);
    p.Poke(Space::Config, 0x2007, 0x317F);  // CP (bit 7)
    p.Inc(0x3FE);
    EXPECT_EQ(p.Read(), 0u);
    p.Inc();
    EXPECT_EQ(p.Read(), 0x3480u);
    EXPECT_EQ(p.Read(kReadData), 0x11u);

    p.Poke(Space::Config, 0x2007, 0x30FF);  // CPD (bit 8): bulk erase takes data along
    EXPECT_EQ(p.Read(kReadData), 0u);
    p.Cmd(kBulkProgram);
    EXPECT_EQ(p.Data(0x7F), 0xFFu);
}

TEST(Pic12F629, ExternallyTimedCycleNeedsEndProgramming) {
    Icsp p("PIC16F676");
    p.Poke(Space::Program, 0, 0x0F0F);
    p.Load(kLoadProgram, 0x3355);
    p.Cmd(kBeginOnly);
    EXPECT_EQ(p.Prog(0), 0x0F0Fu);  // not until the end command
    p.Cmd(kEnd0A);
    EXPECT_EQ(p.Prog(0), 0x0305u);

    // Wrong end command, a read in between, or power going away: nothing written.
    for (int how = 0; how < 3; ++how) {
        Icsp q("PIC12F629");
        q.Load(kLoadProgram, 0x0000);
        q.Cmd(kBeginOnly);
        if (how == 0) {
            q.Cmd(kEnd0E);
        } else if (how == 1) {
            q.Read();
        } else {
            q.Chip().PowerOff();
            q.Chip().PowerOn(true);
        }
        q.Cmd(kEnd0A);
        EXPECT_EQ(q.Prog(0), 0x3FFFu) << how;
    }

    // Internally timed 0x08 completes on its own; data erased first.
    p.Poke(Space::Data, 0, 0x0F);
    p.Load(kLoadData, 0xF0);
    p.Cmd(kBegin);
    EXPECT_EQ(p.Data(0), 0xF0u);
}

TEST(Pic12F683Group, LatchesProgramAlignedBlocks) {
    struct Case {
        const char* chip;
        unsigned latches;
    };
    for (const Case& c : {Case{"PIC12F683", 4}, Case{"PIC16F690", 4}, Case{"PIC16F913", 4},
                          Case{"PIC16F917", 8}, Case{"PIC16F946", 8}}) {
        SCOPED_TRACE(c.chip);
        Icsp p(c.chip);
        // Eight loads from PC 8: a 4-latch part keeps only the last four.
        p.Inc(8);
        for (std::uint16_t i = 0; i < 8; ++i) {
            p.Load(kLoadProgram, static_cast<std::uint16_t>(0x1000 + i));
            if (i < 7) {
                p.Inc();
            }
        }
        p.Cmd(kBegin);
        for (std::uint32_t i = 0; i < 8; ++i) {
            const bool written = i >= 8 - c.latches;
            EXPECT_EQ(p.Prog(8 + i), written ? 0x1000u + i : 0x3FFFu) << i;
        }
    }
}

TEST(Pic12F683Group, UnloadedLatchesLeaveCellsAndLatchesReset) {
    Icsp p("PIC16F684");
    p.Poke(Space::Program, 5, 0x0FF0);
    p.Inc(4);
    p.Load(kLoadProgram, 0x3F00);  // latch 0 of block 4-7
    p.Inc(2);
    p.Load(kLoadProgram, 0x0FFF);  // latch 2
    p.Cmd(kBeginOnly);
    p.Cmd(kEnd0A);
    EXPECT_EQ(p.Prog(4), 0x3F00u);
    EXPECT_EQ(p.Prog(5), 0x0FF0u);
    EXPECT_EQ(p.Prog(6), 0x0FFFu);
    EXPECT_EQ(p.Prog(7), 0x3FFFu);

    // After the cycle the latches hold 0x3FFF again: a second cycle only touches latch 3.
    p.Poke(Space::Program, 4, 0x3FFF);
    p.Inc();
    p.Load(kLoadProgram, 0x0001);
    p.Cmd(kBegin);
    EXPECT_EQ(p.Prog(4), 0x3FFFu);
    EXPECT_EQ(p.Prog(7), 0x0001u);
}

TEST(Pic12F683Group, CalibrationWordsAreReadOnlyAndSurviveErase) {
    Icsp p("PIC16F914");
    const std::uint32_t cal0 = p.Cfg(0x2008);
    const std::uint32_t cal1 = p.Cfg(0x2009);
    EXPECT_NE(cal0, 0x3FFFu);
    EXPECT_NE(cal1, 0x3FFFu);
    p.ToConfig(8);
    EXPECT_EQ(p.Read(), cal0);
    p.Load(kLoadProgram, 0x0000);
    p.Cmd(kBegin);
    p.Cmd(kBulkProgram);
    EXPECT_EQ(p.Cfg(0x2008), cal0);
    EXPECT_EQ(p.Cfg(0x2009), cal1);

    std::uint32_t v = 0;
    Icsp one("PIC16F631");
    EXPECT_TRUE(one.Chip().Peek(Space::Config, 0x2008, v));
    EXPECT_FALSE(one.Chip().Peek(Space::Config, 0x2009, v));
    Icsp none("PIC12F683");
    EXPECT_FALSE(none.Chip().Peek(Space::Config, 0x2008, v));
    none.ToConfig(8);
    EXPECT_EQ(none.Read(), 0x3FFFu);
    EXPECT_TRUE(Icsp("PIC12F635").Chip().Peek(Space::Config, 0x2009, v));
}

TEST(Pic12F683Group, ProtectionBits) {
    Icsp p("PIC12F683");
    p.Poke(Space::Program, 0, 0x1234);
    p.Poke(Space::Data, 0, 0x56);
    p.Poke(Space::Config, 0x2007, 0x3FBF);  // CP bit 6
    EXPECT_EQ(p.Read(), 0u);
    EXPECT_EQ(p.Read(kReadData), 0x56u);
    p.Poke(Space::Config, 0x2007, 0x3F7F);  // CPD bit 7
    EXPECT_EQ(p.Read(), 0x1234u);
    EXPECT_EQ(p.Read(kReadData), 0u);
    p.Cmd(kBulkProgram);
    EXPECT_EQ(p.Data(0), 0xFFu);
    EXPECT_EQ(p.Prog(0), 0x3FFFu);
}

}  // namespace
}  // namespace tenlo::sim::testing
