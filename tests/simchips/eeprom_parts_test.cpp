// 16F84/16F84A and 16F87x: single-word erase/program cycles, the armed bulk erases of the
// 16F84A, the Bulk Erase Setup pair and code protection.
#include "tests/simchips/icsp.h"

namespace tenlo::sim::testing {
namespace {

TEST(Pic16F84A, EraseProgramCycleReplacesAndProgramOnlyAnds) {
    Icsp p("PIC16F84A");
    p.Poke(Space::Program, 0, 0x0F0F);
    p.Load(kLoadProgram, 0x3355);
    p.Cmd(kBegin);  // erase then program
    EXPECT_EQ(p.Prog(0), 0x3355u);

    p.Inc();
    p.Poke(Space::Program, 1, 0x0F0F);
    p.Load(kLoadProgram, 0x3355);
    p.Cmd(kBeginOnly);  // no erase: only clears bits
    EXPECT_EQ(p.Prog(1), 0x0F0Fu & 0x3355u);
    EXPECT_EQ(p.Read(), 0x0305u);

    // A cycle with nothing loaded since the last one leaves the word alone.
    p.Cmd(kBegin);
    EXPECT_EQ(p.Prog(1), 0x0305u);
}

TEST(Pic16F84A, DataBytesAreReplacedAndReadInLowBits) {
    Icsp p("PIC16F84A");
    p.Poke(Space::Data, 3, 0x0F);
    p.Inc(0x40 + 3);  // data address is the low PC bits
    p.Load(kLoadData, 0x3FA5);
    p.Cmd(kBeginOnly);
    EXPECT_EQ(p.Data(3), 0xA5u);
    EXPECT_EQ(p.Read(kReadData), 0x00A5u);
    EXPECT_EQ(p.Prog(0x43), 0x3FFFu);  // the program word at that PC was not touched
}

TEST(Pic16F84A, AddressingAliasesAndWraps) {
    Icsp p("PIC16F84A");
    p.Poke(Space::Program, 5, 0x1234);
    p.Inc(0x400 + 5);  // above 1024 words the low bits select the cell
    EXPECT_EQ(p.Read(), 0x1234u);
    p.Inc(0x1FFF - (0x400 + 5));
    EXPECT_EQ(p.Pc(), 0x1FFF);
    p.Inc();
    EXPECT_EQ(p.Pc(), 0);  // user space wraps, no run-on into configuration space

    p.Load(kLoadConfig, 0x3FFF);
    EXPECT_EQ(p.Pc(), 0x2000);
    p.Inc(0x1FFF);
    EXPECT_EQ(p.Pc(), 0x3FFF);
    p.Inc();
    EXPECT_EQ(p.Pc(), 0x2000);
}

TEST(Pic16F84A, ConfigurationSpace) {
    Icsp p("PIC16F84A");
    p.Load(kLoadConfig, 0x1111);  // loads the latch for the first user ID
    p.Cmd(kBegin);
    EXPECT_EQ(p.Cfg(0x2000), 0x1111u);
    p.Inc(6);
    EXPECT_EQ(p.Read(), 0x0561u);  // device ID with revision 1
    p.Load(kLoadProgram, 0x0000);
    p.Cmd(kBegin);
    EXPECT_EQ(p.Cfg(0x2006), 0x0561u);  // read-only
    p.Inc();
    p.Load(kLoadProgram, 0x3FF1);
    p.Cmd(kBegin);
    EXPECT_EQ(p.Read(), 0x3FF1u);

    Icsp old("PIC16F84");  // no device ID: the word reads erased
    old.ToConfig(6);
    EXPECT_EQ(old.Read(), 0x3FFFu);
}

TEST(Pic16F84A, ArmedBulkErasesRunOnBeginProgramming) {
    Icsp p("PIC16F84A");
    p.Poke(Space::Program, 10, 0x0001);
    p.Poke(Space::Data, 10, 0x01);
    p.Poke(Space::Config, 0x2000, 0x0002);
    p.Poke(Space::Config, 0x2007, 0x3FF2);

    p.Load(kLoadProgram, 0x3FFF);
    p.Cmd(kBulkProgram);
    EXPECT_EQ(p.Prog(10), 0x0001u);  // armed only
    p.Cmd(kBegin);
    EXPECT_EQ(p.Prog(10), 0x3FFFu);
    EXPECT_EQ(p.Data(10), 0x01u);
    EXPECT_EQ(p.Cfg(0x2000), 0x0002u);  // PC in program memory: IDs and configuration stay
    EXPECT_EQ(p.Cfg(0x2007), 0x3FF2u);

    p.Load(kLoadData, 0xFF);
    p.Cmd(kBulkData);
    p.Cmd(kBegin);
    EXPECT_EQ(p.Data(10), 0xFFu);

    p.ToConfig();
    p.Cmd(kBulkProgram);
    p.Cmd(kBegin);
    EXPECT_EQ(p.Cfg(0x2000), 0x3FFFu);
    EXPECT_EQ(p.Cfg(0x2007), 0x3FFFu);
    EXPECT_EQ(p.Cfg(0x2006), 0x0561u);

    // An arm followed by anything but a load or Begin Programming is dropped.
    p.Poke(Space::Program, 10, 0x0001);
    p.Cmd(kBulkProgram);
    p.Inc();
    p.Read();
    p.Cmd(kBegin);
    EXPECT_EQ(p.Prog(10), 0x0001u);
}

TEST(Pic16F84A, CodeProtection) {
    Icsp p("PIC16F84A");
    p.Poke(Space::Program, 0, 0x2ABC);
    p.Poke(Space::Data, 0, 0x5A);
    p.Poke(Space::Config, 0x2001, 0x0123);
    p.Poke(Space::Config, 0x2007, 0x000F);  // CP bits 13:4 programmed

    EXPECT_EQ(p.Read(), 0u);
    EXPECT_EQ(p.Read(kReadData), 0u);
    p.ToConfig(1);
    EXPECT_EQ(p.Read(), 0x0123u);  // IDs and configuration stay readable
    p.Inc(6);
    EXPECT_EQ(p.Read(), 0x000Fu);

    // Plain bulk erases are refused while protected.
    p.ToConfig();
    p.Cmd(kBulkProgram);
    p.Cmd(kBegin);
    p.Cmd(kBulkData);
    p.Cmd(kBegin);
    EXPECT_EQ(p.Prog(0), 0x2ABCu);
    EXPECT_EQ(p.Data(0), 0x5Au);
    EXPECT_EQ(p.Cfg(0x2007), 0x000Fu);

    // Nor does rewriting the configuration word: a cycle only clears its bits.
    p.ToConfig(7);
    p.Load(kLoadProgram, 0x3FFF);
    p.Cmd(kBegin);
    EXPECT_EQ(p.Cfg(0x2007), 0x000Fu);
    EXPECT_EQ(p.Read(), 0x000Fu);

    // The code-protect disable sequence clears everything, protection included.
    p.ToConfig(7);
    for (std::uint8_t c : {kSetup1, kSetup2, kBegin, kSetup1, kSetup2}) {
        p.Cmd(c);
    }
    EXPECT_EQ(p.Prog(0), 0x3FFFu);
    EXPECT_EQ(p.Data(0), 0xFFu);
    EXPECT_EQ(p.Cfg(0x2001), 0x3FFFu);
    EXPECT_EQ(p.Cfg(0x2007), 0x3FFFu);
    EXPECT_EQ(p.Cfg(0x2006), 0x0561u);
}

TEST(Pic16F87x, SetupPairErasesByPosition) {
    Icsp p("PIC16F877");
    auto fill = [&p] {
        p.Poke(Space::Program, 0x1000, 0x0001);
        p.Poke(Space::Data, 0x20, 0x01);
        p.Poke(Space::Config, 0x2000, 0x0002);
        p.Poke(Space::Config, 0x2007, 0x3F3F);
    };
    fill();
    // 16F84A-only arming commands do nothing here.
    p.Cmd(kBulkProgram);
    p.Cmd(kBegin);
    p.Cmd(kBulkData);
    p.Cmd(kBegin);
    EXPECT_EQ(p.Prog(0x1000), 0x0001u);
    EXPECT_EQ(p.Data(0x20), 0x01u);

    // Away from 0x2007 the pair erases the memory of the last load, unprotected only.
    p.Load(kLoadProgram, 0x3FFF);
    p.Cmd(kSetup1);
    p.Cmd(kSetup2);
    p.Cmd(kBegin);
    EXPECT_EQ(p.Prog(0x1000), 0x3FFFu);
    EXPECT_EQ(p.Data(0x20), 0x01u);
    EXPECT_EQ(p.Cfg(0x2007), 0x3F3Fu);
    p.Load(kLoadData, 0xFF);
    p.Cmd(kSetup1);
    p.Cmd(kSetup2);
    p.Cmd(kBegin);
    EXPECT_EQ(p.Data(0x20), 0xFFu);

    // The two halves must come back to back; otherwise 0x08 is an ordinary cycle.
    fill();
    p.Load(kLoadProgram, 0x3FFF);
    p.Cmd(kSetup1);
    p.Cmd(kReadProgram);
    p.Cmd(kSetup2);
    p.Cmd(kBegin);
    EXPECT_EQ(p.Prog(0x1000), 0x0001u);

    // At 0x2007 it erases all, even a protected part.
    p.Poke(Space::Config, 0x2007, 0x0000);
    p.ToConfig(7);
    p.Cmd(kSetup1);
    p.Cmd(kSetup2);
    p.Cmd(kBegin);
    EXPECT_EQ(p.Prog(0x1000), 0x3FFFu);
    EXPECT_EQ(p.Data(0x20), 0xFFu);
    EXPECT_EQ(p.Cfg(0x2000), 0x3FFFu);
    EXPECT_EQ(p.Cfg(0x2007), 0x3FFFu);
}

TEST(Pic16F87x, ProtectedProgramMemoryByCpPairs) {
    struct Case {
        const char* chip;
        std::uint16_t config;
        std::uint16_t firstProtected;  // 0xFFFF: nothing
    };
    for (const Case& c : {Case{"PIC16F877", 0x3FFF, 0xFFFF}, Case{"PIC16F877", 0x2FEF, 0x1F00},
                          Case{"PIC16F877", 0x1FDF, 0x1000}, Case{"PIC16F877", 0x0FCF, 0x0000},
                          Case{"PIC16F873", 0x2FEF, 0x0F00}, Case{"PIC16F873", 0x1FDF, 0x0800},
                          // the pairs disagree: the stronger one wins
                          Case{"PIC16F877", 0x3FCF, 0x0000}}) {
        SCOPED_TRACE(c.chip);
        SCOPED_TRACE(c.config);
        Icsp p(c.chip);
        p.Poke(Space::Config, 0x2007, c.config);
        for (std::uint32_t a : {0x0000u, 0x07FFu, 0x0800u, 0x0EFFu, 0x0F00u, 0x0FFFu, 0x1000u,
                                0x1EFFu, 0x1F00u, 0x1FFFu}) {
            const std::uint32_t cell = a & (c.chip[8] == '3' ? 0x0FFFu : 0x1FFFu);
            p.Poke(Space::Program, cell, 0x1555);
        }
        std::uint16_t pc = 0;
        for (std::uint16_t a :
             {0x0000, 0x07FF, 0x0800, 0x0EFF, 0x0F00, 0x0FFF, 0x1000, 0x1EFF, 0x1F00, 0x1FFF}) {
            if (c.chip[8] == '3' && a > 0x0FFF) {
                break;
            }
            p.Inc(a - pc);
            pc = a;
            EXPECT_EQ(p.Read(), a >= c.firstProtected ? 0u : 0x1555u) << std::hex << a;
        }
    }
    Icsp p("PIC16F876");
    p.Poke(Space::Data, 0, 0x77);
    p.Poke(Space::Config, 0x2007, 0x3EFF);  // CPD
    EXPECT_EQ(p.Read(kReadData), 0u);
    EXPECT_EQ(p.Data(0), 0x77u);
}

}  // namespace
}  // namespace tenlo::sim::testing
