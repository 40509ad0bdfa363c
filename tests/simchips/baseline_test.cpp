// 12-bit baseline parts: entry on the configuration word, run-on into the user-ID area,
// externally timed programming and the two bulk erase scopes.
#include "tests/simchips/icsp.h"

namespace tenlo::sim::testing {
namespace {

TEST(Baseline, EntryOnConfigurationWordThenProgramMemory) {
    struct Case {
        const char* chip;
        std::uint16_t config;
        std::uint16_t area;
    };
    for (const Case& c : {Case{"PIC12F508", 0x3FF, 0x200}, Case{"PIC12F509", 0x7FF, 0x400},
                          Case{"PIC16F54", 0x3FF, 0x200}}) {
        SCOPED_TRACE(c.chip);
        Icsp p(c.chip);
        p.Poke(Space::Config, c.config, 0xFFA);
        p.Poke(Space::Program, 0, 0x123);
        p.Poke(Space::Config, c.area, 0x456);
        EXPECT_EQ(p.Pc(), c.config);
        EXPECT_EQ(p.Read(), 0xFFAu);
        p.Inc();
        EXPECT_EQ(p.Pc(), 0);
        EXPECT_EQ(p.Read(), 0x123u);
        p.Inc(c.area);
        EXPECT_EQ(p.Read(), 0x456u);  // program memory runs on into the user IDs
        // The counter wraps before the configuration word: it is reachable only at entry.
        p.Inc(c.config - 1 - c.area);
        EXPECT_EQ(p.Pc(), c.config - 1);
        p.Inc();
        EXPECT_EQ(p.Pc(), 0);
        // Power-up enters on the configuration word again.
        p.Chip().PowerOff();
        p.Chip().PowerOn(false);
        EXPECT_EQ(p.Pc(), c.config);
    }
}

TEST(Baseline, OscillatorCalibrationAndBackup) {
    Icsp p("PIC12F508");
    EXPECT_EQ(p.Prog(0x1FF), 0x0C1Au);
    EXPECT_EQ(p.Cfg(0x204), 0x0C1Au);
    p.Inc(1 + 0x204);
    EXPECT_EQ(p.Read(), 0x0C1Au);
    EXPECT_EQ(Icsp("PIC12F509").Cfg(0x404), 0x0C1Au);

    Icsp f54("PIC16F54");  // no internal oscillator
    std::uint32_t v = 0;
    EXPECT_FALSE(f54.Chip().Peek(Space::Config, 0x204, v));
    EXPECT_EQ(f54.Prog(0x1FF), 0x0FFFu);
}

TEST(Baseline, ProgrammingIsExternallyTimedAndOnlyClearsBits) {
    Icsp p("PIC12F509");
    p.Load(kLoadProgram, 0x0F5);  // the configuration word, at entry
    p.Cmd(kBegin);
    p.Cmd(kEnd0E);
    // Bits 11:5 do not exist: they read 1 whatever was programmed.
    EXPECT_EQ(p.Cfg(0x7FF), 0xFF5u);
    EXPECT_EQ(p.Read(), 0xFF5u);

    p.Inc();
    p.Poke(Space::Program, 0, 0x0F0);
    p.Load(kLoadProgram, 0xF3F);
    p.Cmd(kBegin);
    EXPECT_EQ(p.Prog(0), 0x0F0u);
    p.Cmd(kEnd0E);
    EXPECT_EQ(p.Prog(0), 0x030u);

    p.Inc();
    p.Load(kLoadProgram, 0x000);
    p.Cmd(kBegin);
    p.Inc();  // no End Programming: nothing written
    p.Cmd(kEnd0E);
    EXPECT_EQ(p.Prog(1), 0x0FFFu);
    EXPECT_EQ(p.Prog(2), 0x0FFFu);

    p.Inc(0x400 - 2);  // first user ID
    p.Load(kLoadProgram, 0x001);
    p.Cmd(kBegin);
    p.Cmd(kEnd0E);
    EXPECT_EQ(p.Cfg(0x400), 0x001u);
}

TEST(Baseline, CodeProtectionHidesProgramMemoryOnly) {
    Icsp p("PIC12F508");
    p.Poke(Space::Config, 0x3FF, 0xFF7);  // CP (bit 3)
    p.Poke(Space::Program, 1, 0x555);
    p.Poke(Space::Config, 0x201, 0x066);
    EXPECT_EQ(p.Read(), 0xFF7u);
    p.Inc(2);
    EXPECT_EQ(p.Read(), 0u);
    p.Inc(0x200);
    EXPECT_EQ(p.Read(), 0x066u);
}

TEST(Baseline, BulkEraseScopeDependsOnPc) {
    auto fill = [](Icsp& p) {
        p.Poke(Space::Program, 0x10, 0x000);
        p.Poke(Space::Program, 0x1FF, 0x0C20);
        p.Poke(Space::Config, 0x3FF, 0x000);
        p.Poke(Space::Config, 0x200, 0x000);
        p.Poke(Space::Config, 0x204, 0x0C20);
    };
    for (unsigned increments : {0u, 1u + 0x10}) {  // at the configuration word, in program memory
        Icsp p("PIC12F508");
        fill(p);
        p.Inc(increments);
        p.Cmd(kBulkProgram);
        EXPECT_EQ(p.Prog(0x10), 0x0FFFu);
        EXPECT_EQ(p.Prog(0x1FF), 0x0FFFu);  // OSCCAL goes with program memory
        EXPECT_EQ(p.Cfg(0x3FF), 0x0FFFu);
        EXPECT_EQ(p.Cfg(0x200), 0x000u);
        EXPECT_EQ(p.Cfg(0x204), 0x0C20u);
    }
    Icsp p("PIC12F508");
    fill(p);
    p.Inc(1 + 0x200);
    p.Cmd(kBulkProgram);
    EXPECT_EQ(p.Prog(0x10), 0x0FFFu);
    EXPECT_EQ(p.Cfg(0x3FF), 0x0FFFu);
    EXPECT_EQ(p.Cfg(0x200), 0x0FFFu);
    EXPECT_EQ(p.Cfg(0x204), 0x0FFFu);
}

}  // namespace
}  // namespace tenlo::sim::testing
