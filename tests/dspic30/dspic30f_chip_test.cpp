// The simulated dsPIC30F parts, driven the way DS70102 drives a chip: instructions executed one
// at a time, then the programmer firmware's table reads and row writes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "sim/chips/dspic30f_chip.h"
#include "sim/firmware_engine.h"

namespace tenlo::sim {
namespace {

using ::testing::ElementsAre;
using Bytes = std::vector<std::uint8_t>;

// Encodings from the dsPIC30F instruction set.
constexpr std::uint32_t kNop = 0x000000;
constexpr std::uint32_t kGoto100 = 0x040100;
constexpr std::uint32_t MovLiteral(std::uint16_t k, unsigned wd) {
    return 0x200000u | std::uint32_t{k} << 4 | wd;
}
constexpr std::uint32_t MovToFile(std::uint16_t file, unsigned ws) {
    return 0x880000u | std::uint32_t{file} << 3 | ws;
}
constexpr std::uint32_t Clr(unsigned wd) {
    return 0xEB0000u | wd << 7;
}
constexpr std::uint16_t kTblpag = 0x0032;
constexpr std::uint16_t kNvmcon = 0x0760;
constexpr std::uint16_t kVisi = 0x0784;

struct Socket {
    explicit Socket(const char* name) : chip(CreateDsPic30FChip(name)) {
        if (chip) {
            chip->PowerOn(false);
        }
    }
    void Six(std::initializer_list<std::uint32_t> instructions) {
        for (std::uint32_t i : instructions) {
            chip->DsSix(i);
        }
    }
    // TBLPAG and W6 at a program-space address, as the reads expect them.
    void PointAt(std::uint32_t address) {
        Six({kNop, kGoto100, kNop, MovLiteral(static_cast<std::uint16_t>(address >> 16), 0),
             MovToFile(kTblpag, 0), MovLiteral(static_cast<std::uint16_t>(address), 6)});
    }
    std::uint32_t Peek(Space space, std::uint32_t address) const {
        std::uint32_t v = 0xDEADBEEF;
        EXPECT_TRUE(chip->Peek(space, address, v)) << std::hex << address;
        return v;
    }
    void Poke(Space space, std::uint32_t address, std::uint32_t value) {
        ASSERT_TRUE(chip->Poke(space, address, value)) << std::hex << address;
    }
    DsPic30FChip& Model() { return static_cast<DsPic30FChip&>(*chip); }

    std::unique_ptr<IChipModel> chip;
};

TEST(DsPic30FChip, EveryPartHasItsSizesAndDeviceIdAt0xFF0000) {
    struct Part {
        const char* name;
        std::uint32_t words;
        std::uint32_t dataBytes;
        std::uint16_t devid;
    };
    constexpr Part kParts[] = {
        {"dsPIC30F2010", 4096, 1024, 0x0040},  {"dsPIC30F2011", 4096, 0, 0x0240},
        {"dsPIC30F2012", 4096, 0, 0x0241},     {"dsPIC30F3010", 8192, 1024, 0x01C0},
        {"dsPIC30F3011", 8192, 1024, 0x01C1},  {"dsPIC30F3012", 8192, 1024, 0x00C1},
        {"dsPIC30F3013", 8192, 1024, 0x00C3},  {"dsPIC30F3014", 8192, 1024, 0x0160},
        {"dsPIC30F4011", 16384, 1024, 0x0101}, {"dsPIC30F4012", 16384, 1024, 0x0100},
        {"dsPIC30F4013", 16384, 1024, 0x0141},
    };
    for (const Part& p : kParts) {
        SCOPED_TRACE(p.name);
        Socket s(p.name);
        ASSERT_TRUE(s.chip);
        EXPECT_EQ(s.chip->Name(), p.name);
        std::uint32_t v = 0;
        EXPECT_TRUE(s.chip->Peek(Space::Program, p.words - 1, v));
        EXPECT_FALSE(s.chip->Peek(Space::Program, p.words, v));
        EXPECT_EQ(s.chip->Peek(Space::Data, p.dataBytes - 1, v), p.dataBytes != 0);
        EXPECT_FALSE(s.chip->Peek(Space::Data, p.dataBytes, v));
        s.PointAt(0xFF0000);
        EXPECT_EQ(s.chip->DsReadWord(), p.devid);
        // Factory-set: it takes no value from outside.
        EXPECT_FALSE(s.chip->Poke(Space::Config, 0xFF0000, 0));
    }
    for (const char* alias : {"DSPIC30F4013", "30f4013", "dspic30f4013"}) {
        auto chip = CreateDsPic30FChip(alias);
        ASSERT_NE(chip, nullptr) << alias;
        EXPECT_EQ(chip->Name(), "dsPIC30F4013");
    }
    for (const char* unknown : {"", "dsPIC", "dsPIC30F4014", "dsPIC30F40130", "PIC16F84A"}) {
        EXPECT_EQ(CreateDsPic30FChip(unknown), nullptr) << unknown;
    }
    // The catalogue-wide factory finds them too.
    EXPECT_NE(CreateChip("dsPIC30F3012"), nullptr);
}

TEST(DsPic30FChip, ProgramReadsFollowTblpagAndW6FourInstructionsAtATime) {
    Socket s("dsPIC30F3012");
    for (std::uint32_t i = 0; i < 16; ++i) {
        s.Poke(Space::Program, i, 0x110000 + i);
    }
    s.PointAt(0x000010);  // instruction 8
    EXPECT_THAT(s.chip->DsReadProgram4(), ElementsAre(0x110008, 0x110009, 0x11000A, 0x11000B));
    EXPECT_EQ(s.Model().W(6), 0x18);
    EXPECT_THAT(s.chip->DsReadProgram4(), ElementsAre(0x11000C, 0x11000D, 0x11000E, 0x11000F));
    // 16-bit reads give the low word (TBLRDL) and step by one instruction.
    s.PointAt(0x000002);
    EXPECT_EQ(s.chip->DsReadWord(), 0x0001);
    EXPECT_EQ(s.chip->DsReadWord(), 0x0002);

    // Past the last instruction (8192 on this part) nothing is implemented: it reads 0.
    s.Poke(Space::Program, 8191, 0x123456);
    s.PointAt(2 * 8190);
    EXPECT_THAT(s.chip->DsReadProgram4(), ElementsAre(0xFFFFFF, 0x123456, 0, 0));
}

TEST(DsPic30FChip, ConfigurationAndDataReadsStepThroughTheirRegisters) {
    Socket s("dsPIC30F4013");
    for (std::uint32_t k = 0; k < 7; ++k) {
        s.Poke(Space::Config, 0xF80000 + 2 * k, 0x1000 + k);
    }
    s.Six({kNop, kNop, kGoto100, kNop, MovLiteral(0xF8, 0), MovToFile(kTblpag, 0), Clr(6), Clr(7)});
    for (std::uint16_t k = 0; k < 7; ++k) {
        EXPECT_EQ(s.chip->DsReadWord(), 0x1000 + k);
    }
    EXPECT_EQ(s.Model().W(6), 14);

    // Data EEPROM: 1 KB ending at 0x7FFFFF, each word two bytes, low first.
    for (std::uint32_t i = 0; i < 16; ++i) {
        s.Poke(Space::Data, i, 0xA0 + i);
    }
    s.PointAt(0x7FFC00);
    EXPECT_THAT(s.chip->DsReadData4(), ElementsAre(0xA1A0, 0xA3A2, 0xA5A4, 0xA7A6));
    EXPECT_THAT(s.chip->DsReadData4(), ElementsAre(0xA9A8, 0xABAA, 0xADAC, 0xAFAE));
    EXPECT_EQ(s.Model().W(6), 0xFC10);

    // A part without data EEPROM has nothing there.
    Socket none("dsPIC30F2011");
    none.PointAt(0x7FFC00);
    EXPECT_THAT(none.chip->DsReadData4(), ElementsAre(0, 0, 0, 0));
}

TEST(DsPic30FChip, SerialExecutionReachesTheRegistersItNames) {
    Socket s("dsPIC30F2010");
    s.Six({MovLiteral(0xBEEF, 3), MovToFile(kVisi, 3), MovLiteral(0x407F, 10),
           MovToFile(kNvmcon, 10), MovLiteral(0x12, 1), MovToFile(kTblpag, 1)});
    EXPECT_EQ(s.chip->DsRegOut(), 0xBEEF);
    EXPECT_EQ(s.Model().Nvmcon(), 0x407F);
    EXPECT_EQ(s.Model().Tblpag(), 0x12);
    s.Six({Clr(3), 0xFB0000 /* unmodelled: ignored */});
    EXPECT_EQ(s.Model().W(3), 0);
    EXPECT_EQ(s.Model().W(10), 0x407F);

    // A power cycle is a reset: working registers clear, W15 at the stack's start.
    s.chip->PowerOff();
    s.chip->PowerOn(false);
    EXPECT_EQ(s.Model().W(10), 0);
    EXPECT_EQ(s.Model().W(15), 0x0800);
    EXPECT_EQ(s.Model().Nvmcon(), 0);
    EXPECT_EQ(s.chip->DsRegOut(), 0);
}

TEST(DsPic30FChip, ProgramRowsOf32InstructionsAndIntoFlash) {
    Socket s("dsPIC30F3012");
    s.Poke(Space::Program, 32, 0x0F0F0F);
    s.Poke(Space::Program, 64, 0x000000);
    // A row address inside the row selects the whole aligned row.
    s.chip->DsBeginProgramRow(0x000046);
    for (std::uint32_t block = 0; block < 8; ++block) {
        std::array<std::uint32_t, 4> words{};
        for (std::uint32_t i = 0; i < 4; ++i) {
            words[i] = 0xFFFF00 | (block * 4 + i);
        }
        s.chip->DsWriteProgram4(words);
    }
    EXPECT_EQ(s.Peek(Space::Program, 33), 0xFFFFFFu);  // nothing before the commit
    s.chip->DsCommitWrite();
    EXPECT_EQ(s.Peek(Space::Program, 32), 0x0F0F00u);  // ANDed with what was there
    EXPECT_EQ(s.Peek(Space::Program, 33), 0xFFFF01u);
    EXPECT_EQ(s.Peek(Space::Program, 63), 0xFFFF1Fu);
    EXPECT_EQ(s.Peek(Space::Program, 31), 0xFFFFFFu);  // the rows beside it untouched
    EXPECT_EQ(s.Peek(Space::Program, 64), 0x000000u);

    // A row that lost power before its commit writes nothing; a commit with nothing open
    // writes nothing either.
    s.chip->DsBeginProgramRow(0x000000);
    s.chip->DsWriteProgram4({0, 0, 0, 0});
    s.chip->PowerOff();
    s.chip->PowerOn(false);
    s.chip->DsCommitWrite();
    EXPECT_EQ(s.Peek(Space::Program, 0), 0xFFFFFFu);
}

TEST(DsPic30FChip, DataRowsAndConfigurationRegistersAreReplaced) {
    Socket s("dsPIC30F4013");
    for (std::uint32_t i = 0; i < 96; ++i) {
        s.Poke(Space::Data, i, 0x00);
    }
    s.chip->DsBeginDataRow(0x7FFC20);  // words 16-31, bytes 32-63
    for (std::uint16_t block = 0; block < 4; ++block) {
        const auto w = static_cast<std::uint16_t>(0xC000 + 4 * block);
        s.chip->DsWriteData4({w, static_cast<std::uint16_t>(w + 1),
                              static_cast<std::uint16_t>(w + 2),
                              static_cast<std::uint16_t>(w + 3)});
    }
    s.chip->DsCommitWrite();
    EXPECT_EQ(s.Peek(Space::Data, 31), 0x00u);
    EXPECT_EQ(s.Peek(Space::Data, 32), 0x00u);  // 0xC000, low byte first
    EXPECT_EQ(s.Peek(Space::Data, 33), 0xC0u);
    EXPECT_EQ(s.Peek(Space::Data, 62), 0x0Fu);
    EXPECT_EQ(s.Peek(Space::Data, 63), 0xC0u);
    EXPECT_EQ(s.Peek(Space::Data, 64), 0x00u);

    // Registers follow W7, which moves on by one register a commit.
    s.Poke(Space::Config, 0xF80000, 0x0000);
    s.Six({kNop, kNop, kGoto100, kNop, MovLiteral(0, 7)});
    for (std::uint16_t value : {0xC71F, 0x803F}) {
        s.chip->DsWriteConfig(value);
        s.chip->DsCommitWrite();
    }
    EXPECT_EQ(s.Peek(Space::Config, 0xF80000), 0xC71Fu);  // 0 bits set again: replaced
    EXPECT_EQ(s.Peek(Space::Config, 0xF80002), 0x803Fu);
    EXPECT_EQ(s.Peek(Space::Config, 0xF80004), 0xFFFFu);
    EXPECT_EQ(s.Model().W(7), 4);
}

TEST(DsPic30FChip, BulkEraseNeedsNvmcon407FAndSparesStuckCells) {
    Socket s("dsPIC30F3010");
    s.Poke(Space::Program, 0, 0x000000);
    s.Poke(Space::Program, 1, 0x000000);
    s.Poke(Space::Data, 0, 0x12);
    s.Poke(Space::Config, 0xF8000C, 0x0000);
    s.chip->SetStuckCell(Space::Program, 1);

    // Any other NVMCON value commits nothing.
    s.Six({MovLiteral(0x4041, 10), MovToFile(kNvmcon, 10)});
    s.chip->DsCommitWrite();
    EXPECT_EQ(s.Peek(Space::Program, 0), 0u);

    s.Six({kNop, kNop, kGoto100, kNop, MovLiteral(0x407F, 10), MovToFile(kNvmcon, 10)});
    s.chip->DsCommitWrite();
    EXPECT_EQ(s.Peek(Space::Program, 0), 0xFFFFFFu);
    EXPECT_EQ(s.Peek(Space::Program, 1), 0u);
    EXPECT_EQ(s.Peek(Space::Data, 0), 0xFFu);
    EXPECT_EQ(s.Peek(Space::Config, 0xF8000C), 0xFFFFu);
    EXPECT_EQ(s.Peek(Space::Config, 0xFF0000), 0x01C0u);
}

TEST(DsPic30FChip, AnUnpoweredChipTakesNothing) {
    Socket s("dsPIC30F3013");
    s.Poke(Space::Program, 0, 0x123456);
    s.chip->PowerOff();
    EXPECT_FALSE(s.chip->IsPowered());
    s.Six({MovLiteral(0x407F, 10), MovToFile(kNvmcon, 10)});
    s.chip->DsCommitWrite();
    s.chip->DsBeginProgramRow(0);
    s.chip->DsWriteProgram4({0, 0, 0, 0});
    s.chip->DsCommitWrite();
    EXPECT_EQ(s.Peek(Space::Program, 0), 0x123456u);
    EXPECT_THAT(s.chip->DsReadProgram4(), ElementsAre(0, 0, 0, 0));
    EXPECT_EQ(s.chip->DsReadWord(), 0);
}

// Through the firmware: 24-bit instructions cross the line packed, low word and upper byte of
// the first, upper byte and low word of the second, in both directions.
TEST(DsPic30FChip, TheFirmwareCarriesPackedInstructionsBothWays) {
    auto chip = CreateDsPic30FChip("dsPIC30F4013");
    CFirmwareEngine engine(*chip);
    auto send = [&](const Bytes& in) {
        Bytes out;
        for (std::uint8_t b : in) {
            engine.Feed(b, out);
        }
        return out;
    };
    constexpr std::uint8_t A5 = 0xA5;
    send({0x06, 0x0A, 7, 0x03});
    // Row at 0x000100 (instruction 128): the first block packed, seven blocks of all ones.
    const Bytes first{0x56, 0x34, 0x12, 0xAB, 0xEF, 0xCD, 0x03, 0x02, 0x01, 0xFE, 0xBA, 0xDC};
    EXPECT_EQ(send({0x39, 0x00, 0x00, 0x01}), (Bytes{A5, A5}));
    Bytes blocks(8 * 13, 0xFF);
    for (std::size_t block = 0; block < 8; ++block) {
        blocks[13 * block] = 0x35;
    }
    std::copy(first.begin(), first.end(), blocks.begin() + 1);
    EXPECT_EQ(send(blocks), Bytes(16, A5));
    send({0x38});
    std::uint32_t v = 0;
    ASSERT_TRUE(chip->Peek(Space::Program, 128, v));
    EXPECT_EQ(v, 0x123456u);
    ASSERT_TRUE(chip->Peek(Space::Program, 129, v));
    EXPECT_EQ(v, 0xABCDEFu);
    ASSERT_TRUE(chip->Peek(Space::Program, 131, v));
    EXPECT_EQ(v, 0xFEDCBAu);

    // MOV #0, W0; MOV W0, TBLPAG; MOV #0x100, W6; then the packed block back.
    send({0x30, 3, 0x00, 0x00, 0x20, 0x90, 0x01, 0x88, 0x06, 0x10, 0x20});
    Bytes back = send({0x32});
    ASSERT_EQ(back.size(), 13u);
    EXPECT_EQ(back[0], A5);
    EXPECT_EQ(Bytes(back.begin() + 1, back.end()), first);
}

}  // namespace
}  // namespace tenlo::sim
