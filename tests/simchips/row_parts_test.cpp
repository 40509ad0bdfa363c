// Parts that program several latches per cycle with their own begin/end pairs: 16F87xA,
// 16F818/819, 16F7x and 16F716.
#include "tests/simchips/icsp.h"

namespace tenlo::sim::testing {
namespace {

TEST(Pic16F87xA, BeginEraseProgramsTheWholeEightWordBlock) {
    Icsp p("PIC16F877A");
    for (std::uint32_t a = 8; a < 16; ++a) {
        p.Poke(Space::Program, a, 0x0000);
    }
    p.Inc(8);
    for (std::uint16_t i = 0; i < 3; ++i) {
        p.Load(kLoadProgram, static_cast<std::uint16_t>(0x2100 + i));
        p.Inc();
    }
    p.Inc(2);  // PC 13: the low three bits do not matter
    p.Cmd(kBegin);
    for (std::uint32_t i = 0; i < 8; ++i) {
        EXPECT_EQ(p.Prog(8 + i), i < 3 ? 0x2100u + i : 0x3FFFu) << i;
    }
    EXPECT_EQ(p.Prog(7), 0x3FFFu);
    EXPECT_EQ(p.Prog(16), 0x3FFFu);

    // In configuration space the block erase takes the user IDs but not the configuration word.
    p.Poke(Space::Config, 0x2001, 0x0000);
    p.Poke(Space::Config, 0x2007, 0x1F7F);
    p.Load(kLoadConfig, 0x0AAA);
    p.Cmd(kBegin);
    EXPECT_EQ(p.Cfg(0x2000), 0x0AAAu);
    EXPECT_EQ(p.Cfg(0x2001), 0x3FFFu);
    EXPECT_EQ(p.Cfg(0x2007), 0x1F7Fu);
}

TEST(Pic16F87xA, BeginProgrammingOnlyWritesOneWordOnEnd) {
    Icsp p("PIC16F873A");
    p.Poke(Space::Program, 2, 0x0FFF);
    p.Poke(Space::Program, 3, 0x0FFF);
    p.Inc(2);
    p.Load(kLoadProgram, 0x0000);
    p.Inc();
    p.Load(kLoadProgram, 0x3F0F);
    p.Cmd(kBeginOnly);
    EXPECT_EQ(p.Prog(3), 0x0FFFu);
    p.Cmd(kEnd17);
    EXPECT_EQ(p.Prog(3), 0x0F0Fu);  // ANDed, no erase
    EXPECT_EQ(p.Prog(2), 0x0FFFu);  // another latch of the block is not used

    p.Load(kLoadProgram, 0x0000);
    p.Cmd(kBeginOnly);
    p.Cmd(kEnd0A);  // not this part's end command
    p.Cmd(kEnd17);
    EXPECT_EQ(p.Prog(3), 0x0F0Fu);

    p.Load(kLoadData, 0x42);
    p.Cmd(kBegin);
    EXPECT_EQ(p.Data(3), 0x42u);
}

TEST(Pic16F87xA, EraseCommandsAndProtection) {
    Icsp p("PIC16F876A");
    auto fill = [&p](std::uint16_t config) {
        p.Poke(Space::Program, 0x1FFF, 0x0001);
        p.Poke(Space::Data, 0xFF, 0x01);
        p.Poke(Space::Config, 0x2002, 0x0002);
        p.Poke(Space::Config, 0x2007, config);
    };
    for (std::uint16_t config : {0x1FFF, 0x3EFF}) {  // CP, then CPD
        fill(config);
        p.Cmd(kBulkProgram);
        p.Cmd(kBulkData);
        EXPECT_EQ(p.Prog(0x1FFF), 0x0001u);
        EXPECT_EQ(p.Data(0xFF), 0x01u);
    }
    EXPECT_EQ(p.Read(kReadData), 0u);
    p.Poke(Space::Config, 0x2007, 0x1FFF);
    EXPECT_EQ(p.Read(), 0u);

    fill(0x3FFF);
    p.Cmd(kBulkProgram);
    EXPECT_EQ(p.Prog(0x1FFF), 0x3FFFu);
    EXPECT_EQ(p.Data(0xFF), 0x01u);
    p.Cmd(kBulkData);
    EXPECT_EQ(p.Data(0xFF), 0xFFu);

    fill(0x0000);
    p.Inc(0x123);  // wherever PC is
    p.Cmd(kChipErase);
    EXPECT_EQ(p.Prog(0x1FFF), 0x3FFFu);
    EXPECT_EQ(p.Data(0xFF), 0xFFu);
    EXPECT_EQ(p.Cfg(0x2002), 0x3FFFu);
    EXPECT_EQ(p.Cfg(0x2007), 0x3FFFu);
    EXPECT_EQ(p.Cfg(0x2006), 0x0E01u);
}

TEST(Pic16F81x, RunsOnIntoConfigurationSpace) {
    Icsp p("PIC16F819");
    p.Poke(Space::Config, 0x2000, 0x0ABC);
    p.Inc(0x1FFF);
    EXPECT_EQ(p.Pc(), 0x1FFF);
    p.Inc();
    EXPECT_EQ(p.Pc(), 0x2000);
    EXPECT_EQ(p.Read(), 0x0ABCu);
    p.Inc(0x1FFF);
    EXPECT_EQ(p.Pc(), 0x3FFF);
    p.Inc();
    EXPECT_EQ(p.Pc(), 0x2000);  // configuration space still wraps on itself
}

TEST(Pic16F81x, FourWordProgrammingAndRowErase) {
    Icsp p("PIC16F818");
    p.Inc(4);
    for (std::uint16_t i = 0; i < 4; ++i) {
        p.Load(kLoadProgram, static_cast<std::uint16_t>(0x0100 + i));
        if (i < 3) {
            p.Inc();
        }
    }
    p.Cmd(kBeginOnly);
    p.Cmd(kEnd17);
    for (std::uint32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(p.Prog(4 + i), 0x0100u + i);
    }

    for (std::uint32_t a : {31u, 32u, 63u, 64u}) {
        p.Poke(Space::Program, a, 0x0000);
    }
    p.Inc(40 - 7);
    p.Cmd(kBegin);
    p.Read();  // interrupts the row erase: nothing happens
    EXPECT_EQ(p.Prog(40), 0x3FFFu);
    EXPECT_EQ(p.Prog(32), 0x0000u);
    p.Cmd(kBegin);
    p.Cmd(kEnd17);
    EXPECT_EQ(p.Prog(31), 0x0000u);
    EXPECT_EQ(p.Prog(32), 0x3FFFu);
    EXPECT_EQ(p.Prog(63), 0x3FFFu);
    EXPECT_EQ(p.Prog(64), 0x0000u);
    EXPECT_EQ(p.Prog(4), 0x0100u);

    p.Load(kLoadData, 0x99);
    p.Cmd(kBeginOnly);
    p.Cmd(kEnd17);
    EXPECT_EQ(p.Data(40), 0x99u);
}

TEST(Pic16F81x, ChipEraseLiftsProtectionBulkEraseDoesNot) {
    Icsp p("PIC16F818");
    p.Poke(Space::Program, 0, 0x0001);
    p.Poke(Space::Data, 0, 0x01);
    p.Poke(Space::Config, 0x2007, 0x1FFF);  // CP
    EXPECT_EQ(p.Read(), 0u);
    p.Cmd(kBulkProgram);
    p.Cmd(kBegin);  // nor may a row erase open it
    p.Cmd(kEnd17);
    EXPECT_EQ(p.Prog(0), 0x0001u);
    p.Cmd(kChipErase);
    EXPECT_EQ(p.Prog(0), 0x3FFFu);
    EXPECT_EQ(p.Data(0), 0xFFu);
    EXPECT_EQ(p.Cfg(0x2007), 0x3FFFu);
}

TEST(Pic16F7x, EvenOddPairCompletedByEndProgramming) {
    Icsp p("PIC16F77");
    p.Poke(Space::Program, 4, 0x1111);
    p.Inc(4);
    p.Load(kLoadProgram, 0x0123);
    p.Inc();
    p.Load(kLoadProgram, 0x0456);
    p.Cmd(kBegin);
    EXPECT_EQ(p.Prog(5), 0x3FFFu);
    p.Cmd(kEnd0E);
    EXPECT_EQ(p.Prog(4), 0x1111u & 0x0123u);
    EXPECT_EQ(p.Prog(5), 0x0456u);

    p.Inc();
    p.Load(kLoadProgram, 0x0000);
    p.Cmd(kBegin);
    p.Cmd(kEnd17);  // wrong end: never completed
    EXPECT_EQ(p.Prog(6), 0x3FFFu);

    std::uint32_t v = 0;
    EXPECT_FALSE(p.Chip().Peek(Space::Data, 0, v));
    EXPECT_EQ(p.Read(kReadData), 0u);
}

// Data EEPROM: Begin Erase/Programming, internally timed, on the 16F87xA and the 12F683/16F91x
// parts; Begin Programming Only ended by End Programming on the 16F818/819. A program-only
// cycle that never gets its end writes nothing.
TEST(DataEeprom, EachPartTakesItsDocumentedCycle) {
    struct Case {
        const char* chip;
        std::uint8_t begin;
        int end;  // -1: none
    };
    const Case cases[] = {
        {"PIC16F873A", kBegin, -1},        {"PIC16F877A", kBegin, -1},
        {"PIC12F683", kBegin, -1},         {"PIC12F635", kBegin, -1},
        {"PIC16F631", kBegin, -1},         {"PIC16F639", kBegin, -1},
        {"PIC16F917", kBegin, -1},         {"PIC16F818", kBeginOnly, kEnd17},
        {"PIC16F819", kBeginOnly, kEnd17},
    };
    for (const Case& c : cases) {
        Icsp p(c.chip);
        ASSERT_TRUE(p.Present()) << c.chip;
        p.Poke(Space::Data, 5, 0x0F);
        p.Inc(5);
        p.Load(kLoadData, 0xF0);
        p.Cmd(kBeginOnly);
        p.Read(kReadData);  // the end the program-only cycle waits for never comes
        EXPECT_EQ(p.Data(5), 0x0Fu) << c.chip;

        p.Load(kLoadData, 0xF0);
        p.Cmd(c.begin);
        if (c.end >= 0) {
            p.Cmd(static_cast<std::uint8_t>(c.end));
        }
        EXPECT_EQ(p.Data(5), 0xF0u) << c.chip << ": the byte is replaced, not ANDed";
        EXPECT_EQ(p.Read(kReadData), 0xF0u) << c.chip;
    }
}

TEST(Pic16F7x, ChipEraseTakesConfigurationMemory) {
    Icsp p("PIC16F73");
    p.Poke(Space::Program, 0xFFF, 0x0000);
    p.Poke(Space::Config, 0x2001, 0x0000);
    p.Poke(Space::Config, 0x2007, 0x3FEF);  // CP (bit 4)
    EXPECT_EQ(p.Read(), 0u);
    p.Cmd(kBulkProgram);
    EXPECT_EQ(p.Prog(0xFFF), 0x3FFFu);
    EXPECT_EQ(p.Cfg(0x2001), 0x3FFFu);
    EXPECT_EQ(p.Cfg(0x2007), 0x3FFFu);
}

TEST(Pic16F716, FourLatchesEndedBy0E) {
    Icsp p("PIC16F716");
    p.Load(kLoadProgram, 0x0001);
    p.Inc(3);
    p.Load(kLoadProgram, 0x0003);
    p.Cmd(kBegin);  // not this part's begin command
    EXPECT_EQ(p.Prog(0), 0x3FFFu);
    p.Cmd(kBeginOnly);
    p.Cmd(kEnd0E);
    EXPECT_EQ(p.Prog(0), 0x0001u);
    EXPECT_EQ(p.Prog(1), 0x3FFFu);
    EXPECT_EQ(p.Prog(3), 0x0003u);

    p.Poke(Space::Config, 0x2000, 0x0000);
    p.Cmd(kBulkProgram);
    EXPECT_EQ(p.Prog(0), 0x3FFFu);
    EXPECT_EQ(p.Cfg(0x2000), 0x0000u);
    p.ToConfig();
    p.Cmd(kBulkProgram);
    EXPECT_EQ(p.Cfg(0x2000), 0x3FFFu);
}

}  // namespace
}  // namespace tenlo::sim::testing
