// Every mid-range and baseline chip by name, its identity and sizes, and the behaviour all
// models share: power, stuck cells.
#include <string>

#include "tests/simchips/icsp.h"

namespace tenlo::sim::testing {
namespace {

struct Expect {
    const char* name;
    std::uint32_t program;
    std::uint32_t data;
    std::uint16_t deviceId;  // 0: none
};

// clang-format off
constexpr Expect kChips[] = {
    {"PIC12F508", 512, 0, 0},       {"PIC12F509", 1024, 0, 0},       {"PIC12F629", 1024, 128, 0x0F80},
    {"PIC12F635", 1024, 128, 0x0FA0}, {"PIC12F675", 1024, 128, 0x0FC0}, {"PIC12F683", 2048, 256, 0x0460},
    {"PIC16F54", 512, 0, 0},        {"PIC16F73", 4096, 0, 0x0600},   {"PIC16F74", 4096, 0, 0x0620},
    {"PIC16F76", 8192, 0, 0x0640},  {"PIC16F77", 8192, 0, 0x0660},   {"PIC16F84", 1024, 64, 0},
    {"PIC16F84A", 1024, 64, 0x0560}, {"PIC16F627A", 1024, 128, 0x1040}, {"PIC16F628A", 2048, 128, 0x1060},
    {"PIC16F630", 1024, 128, 0x10C0}, {"PIC16F631", 1024, 128, 0x1420}, {"PIC16F636", 2048, 256, 0x10A0},
    {"PIC16F639", 2048, 256, 0x10A0}, {"PIC16F648A", 4096, 256, 0x1100}, {"PIC16F676", 1024, 128, 0x10E0},
    {"PIC16F677", 2048, 256, 0x1440}, {"PIC16F684", 2048, 256, 0x1080}, {"PIC16F685", 4096, 256, 0x04A0},
    {"PIC16F687", 2048, 256, 0x1320}, {"PIC16F688", 4096, 256, 0x1180}, {"PIC16F689", 4096, 256, 0x1340},
    {"PIC16F690", 4096, 256, 0x1400}, {"PIC16F716", 2048, 0, 0x1140},  {"PIC16F818", 1024, 128, 0x04C0},
    {"PIC16F819", 2048, 256, 0x04E0}, {"PIC16F873", 4096, 128, 0x0960}, {"PIC16F873A", 4096, 128, 0x0E40},
    {"PIC16F874", 4096, 128, 0x0920}, {"PIC16F874A", 4096, 128, 0x0E60}, {"PIC16F876", 8192, 256, 0x09E0},
    {"PIC16F876A", 8192, 256, 0x0E00}, {"PIC16F877", 8192, 256, 0x09A0}, {"PIC16F877A", 8192, 256, 0x0E20},
    {"PIC16F913", 4096, 256, 0x13E0}, {"PIC16F914", 4096, 256, 0x13C0}, {"PIC16F916", 8192, 256, 0x13A0},
    {"PIC16F917", 8192, 256, 0x1380}, {"PIC16F946", 8192, 256, 0x1460},
};
// clang-format on

TEST(ChipCatalogue, EveryChipHasItsSizesAndDeviceId) {
    static_assert(std::size(kChips) == 44);
    for (const Expect& e : kChips) {
        SCOPED_TRACE(e.name);
        Icsp p(e.name);
        ASSERT_TRUE(p.Present());
        EXPECT_EQ(p.Chip().Name(), e.name);
        std::uint32_t v = 0;
        EXPECT_TRUE(p.Chip().Peek(Space::Program, e.program - 1, v));
        EXPECT_FALSE(p.Chip().Peek(Space::Program, e.program, v));
        EXPECT_EQ(p.Chip().Peek(Space::Data, e.data - 1, v), e.data != 0);
        EXPECT_FALSE(p.Chip().Peek(Space::Data, e.data, v));
        if (e.deviceId != 0) {
            p.ToConfig(6);
            EXPECT_EQ(p.Read(), e.deviceId | 1u);  // revision 1
        }
    }
}

TEST(ChipCatalogue, NamesMatchWithoutCaseOrPrefix) {
    for (const char* alias : {"pic16f877a", "16F877A", "Pic16f877A"}) {
        auto chip = CreateChip(alias);
        ASSERT_NE(chip, nullptr) << alias;
        EXPECT_EQ(chip->Name(), "PIC16F877A");
    }
    for (const char* unknown :
         {"", "PIC", "PIC16F877AX", "PIC16F87", "PIC18F4520", "PICdsPIC30F2010", "PICPIC16F84A"}) {
        EXPECT_EQ(CreateChip(unknown), nullptr) << unknown;
    }
}

TEST(ChipCatalogue, UnimplementedConfigurationBitsReadAsTheDataSheetsSay) {
    // A configuration word programmed all 0: what each part reads back at 0x2007.
    struct Case {
        const char* chip;
        std::uint16_t reads;
    };
    for (const Case& c : {Case{"PIC16F84A", 0x0000},   // every bit is code protection
                          Case{"PIC16F877", 0x0400},   // bit 10
                          Case{"PIC16F877A", 0x1030},  // bits 12, 5, 4
                          Case{"PIC16F628A", 0x1E00},  // bits 12:9
                          Case{"PIC12F675", 0x0000},   // bits 11:9 read 0 on this family
                          Case{"PIC12F683", 0x3000},   // bits 13:12
                          Case{"PIC16F636", 0x2000},   // bit 13 (bit 12 is WURE)
                          Case{"PIC16F917", 0x2000},   // bit 13 (bit 12 is DEBUG)
                          Case{"PIC16F77", 0x3FA0},    // bits 13:7 and 5
                          Case{"PIC16F716", 0x3F20},   // bits 13:8 and 5
                          Case{"PIC16F819", 0x0000}}) {
        SCOPED_TRACE(c.chip);
        Icsp p(c.chip);
        p.Poke(Space::Config, 0x2007, 0x0000);
        p.ToConfig(7);
        EXPECT_EQ(p.Read(), c.reads);
        EXPECT_EQ(p.Cfg(0x2007), c.reads);
    }
    for (const char* chip : {"PIC12F508", "PIC16F54"}) {
        Icsp p(chip);
        p.Poke(Space::Config, 0x3FF, 0x000);
        EXPECT_EQ(p.Read(), std::string(chip) == "PIC16F54" ? 0xFF0u : 0xFE0u) << chip;
    }
}

TEST(ChipCatalogue, UnpoweredChipIgnoresEverything) {
    for (const char* name : {"PIC16F84A", "PIC12F508"}) {
        SCOPED_TRACE(name);
        Icsp p(name);
        p.Poke(Space::Program, 0, 0x0123);
        p.Chip().PowerOff();
        EXPECT_FALSE(p.Chip().IsPowered());
        p.Inc();
        p.Load(kLoadProgram, 0);
        p.Cmd(kBegin);
        p.Cmd(kEnd0E);
        p.Cmd(kBulkProgram);
        EXPECT_EQ(p.Read(), 0u);
        EXPECT_EQ(p.Prog(0), 0x0123u);
    }
}

TEST(ChipCatalogue, StuckCellsKeepTheirValue) {
    Icsp p("PIC16F628A");
    p.Poke(Space::Program, 1, 0x1555);
    p.Poke(Space::Data, 1, 0x55);
    p.Poke(Space::Config, 0x2007, 0x3FF0);
    p.Chip().SetStuckCell(Space::Program, 1);
    p.Chip().SetStuckCell(Space::Data, 1);
    p.Chip().SetStuckCell(Space::Config, 0x2007);
    p.Inc();
    p.Load(kLoadProgram, 0x0000);
    p.Cmd(kBegin);
    p.Load(kLoadData, 0x00);
    p.Cmd(kBegin);
    p.Inc();
    p.Load(kLoadProgram, 0x0000);  // its neighbour programs normally
    p.Cmd(kBegin);
    p.Cmd(kBulkProgram);
    p.Cmd(kBulkData);
    EXPECT_EQ(p.Prog(1), 0x1555u);
    EXPECT_EQ(p.Data(1), 0x55u);
    EXPECT_EQ(p.Cfg(0x2007), 0x3FF0u);
    EXPECT_EQ(p.Prog(2), 0x3FFFu);  // erased again by the bulk erase

    Icsp b("PIC12F509");
    b.Chip().SetStuckCell(Space::Config, 0x7FF);
    b.Load(kLoadProgram, 0x000);
    b.Cmd(kBegin);
    b.Cmd(kEnd0E);
    EXPECT_EQ(b.Cfg(0x7FF), 0x0FFFu);
}

}  // namespace
}  // namespace tenlo::sim::testing
