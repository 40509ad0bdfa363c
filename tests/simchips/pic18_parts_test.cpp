// PIC18 chips driven by their 4-bit serial commands, as the programming documents lay the
// sequences out.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string_view>

#include "sim/chip_model.h"
#include "sim/chips/pic18_chip.h"

namespace tenlo::sim::testing {
namespace {

constexpr std::uint8_t kCore = 0x0;
constexpr std::uint8_t kReadPostInc = 0x9;
constexpr std::uint8_t kWrite = 0xC;
constexpr std::uint8_t kWritePostInc = 0xD;
constexpr std::uint8_t kWriteStart = 0xF;
constexpr std::uint16_t kNop = 0x0000;

// A powered PIC18 in the socket with the sequences of the documents as one-liners.
class Pic18 {
  public:
    explicit Pic18(std::string_view name) : chip_(CreateChip(name)) {
        EXPECT_NE(chip_, nullptr) << name;
        chip_->PowerOn(false);
    }
    Pic18Chip& Chip() { return static_cast<Pic18Chip&>(*chip_); }

    void Core(std::initializer_list<std::uint16_t> instructions) {
        for (std::uint16_t i : instructions) {
            chip_->Pic18Command(kCore, i);
        }
    }
    void Send(std::uint8_t command, std::uint16_t payload) {
        chip_->Pic18Command(command, payload);
    }
    void Pointer(std::uint32_t address) { chip_->Pic18SetTablePointer(address); }
    void Hold() { chip_->Pic18ProgramHold(kCore, kNop, 10); }
    std::uint8_t ReadByte() { return chip_->Pic18Receive(kReadPostInc); }
    std::uint16_t ReadWord() {
        const std::uint8_t low = ReadByte();
        return static_cast<std::uint16_t>(low | (ReadByte() << 8));
    }
    // Code memory selected, configuration access off.
    void CodeAccess() { Core({0x8EA6, 0x9CA6}); }
    // Words from address with table writes; the last one starts programming.
    void Program(std::uint32_t address, std::initializer_list<std::uint16_t> words,
                 bool start = true) {
        Pointer(address);
        std::size_t n = 0;
        for (std::uint16_t w : words) {
            const bool last = ++n == words.size();
            Send(last ? (start ? kWriteStart : kWrite) : kWritePostInc, w);
        }
    }
    std::uint32_t Peek(Space space, std::uint32_t address) {
        std::uint32_t value = 0xDEADBEEF;
        EXPECT_TRUE(chip_->Peek(space, address, value)) << std::hex << address;
        return value;
    }
    void Poke(Space space, std::uint32_t address, std::uint32_t value) {
        EXPECT_TRUE(chip_->Poke(space, address, value)) << std::hex << address;
    }
    std::uint32_t Word(std::uint32_t index) { return Peek(Space::Program, index); }

  private:
    std::unique_ptr<IChipModel> chip_;
};

TEST(Pic18Chip, DeviceIdsCarryTheRevisionBelowTheId) {
    struct Id {
        const char* name;
        std::uint16_t id;
    };
    for (const Id& c : {Id{"PIC18F452", 0x0420}, Id{"PIC18F1220", 0x07E0}, Id{"PIC18F2431", 0x08C0},
                        Id{"PIC18F4550", 0x1200}}) {
        Pic18 p(c.name);
        p.Pointer(Pic18Chip::kDevId1);
        EXPECT_EQ(p.ReadWord(), c.id | Pic18Chip::kRevision) << c.name;
        EXPECT_FALSE(p.Chip().Poke(Space::Config, Pic18Chip::kDevId1, 0));
    }
}

TEST(Pic18Chip, TableReadsWalkProgramAndConfiguration) {
    Pic18 p("PIC18F1220");
    p.Poke(Space::Program, 0x7FF, 0xBEEF);
    p.Poke(Space::Config, 0x300001, 0x22);
    p.Pointer(0xFFE);
    EXPECT_EQ(p.ReadWord(), 0xBEEFu);
    EXPECT_EQ(p.ReadByte(), 0x00);  // past the implemented memory
    p.Pointer(0x300000);
    EXPECT_EQ(p.ReadWord(), 0x22FFu);
    p.Chip().Pic18Command(0xB, 0);  // pre-increment read clocked without taking the byte
    EXPECT_EQ(p.Chip().TablePointer(), 0x300003u);
    EXPECT_EQ(p.Chip().Pic18Receive(0x2), 0xFF);  // TABLAT still holds what was read
}

TEST(Pic18Chip, ProgrammingCompletesOnlyInTheHoldAndAnds) {
    Pic18 p("PIC18F2320");
    p.Poke(Space::Program, 0x11, 0x0FF0);
    p.CodeAccess();
    p.Program(0x20, {0x1111, 0x2222, 0x3333, 0x4444});
    EXPECT_EQ(p.Word(0x10), 0xFFFFu);
    p.Hold();
    EXPECT_EQ(p.Word(0x10), 0x1111u);
    EXPECT_EQ(p.Word(0x11), 0x0220u);  // flash only clears bits
    EXPECT_EQ(p.Word(0x13), 0x4444u);
    EXPECT_EQ(p.Chip().Cycles(), 1u);

    // Anything but the hold after the start: the cycle never happens.
    p.Program(0x28, {0x0000, 0x0000, 0x0000, 0x0000});
    p.Core({kNop});
    p.Hold();
    EXPECT_EQ(p.Word(0x14), 0xFFFFu);
    EXPECT_EQ(p.Chip().Cycles(), 1u);

    // Without EEPGD the start goes to data memory, not here.
    p.Core({0x9EA6});
    p.Program(0x30, {0x0000, 0x0000, 0x0000, 0x0000});
    p.Hold();
    EXPECT_EQ(p.Word(0x18), 0xFFFFu);
}

TEST(Pic18Chip, MultiPanelCycleProgramsEveryPanelAtTheOffset) {
    Pic18 p("PIC18F452");
    p.Core({0x8EA6, 0x8CA6, 0x86A6});
    p.Pointer(0x3C0006);
    p.Send(kWrite, 0x0040);
    p.CodeAccess();
    ASSERT_TRUE(p.Chip().MultiPanel());
    for (std::uint32_t panel = 0; panel < 4; ++panel) {
        const auto w = static_cast<std::uint16_t>(0x1000 * (panel + 1));
        p.Program(panel * 0x2000 + 0x18, {w, w, w, w}, panel == 3);
    }
    p.Hold();
    for (std::uint32_t panel = 0; panel < 4; ++panel) {
        EXPECT_EQ(p.Word(panel * 0x1000 + 0x0C), 0x1000u * (panel + 1)) << panel;
        EXPECT_EQ(p.Word(panel * 0x1000 + 0x0F), 0x1000u * (panel + 1)) << panel;
    }
    EXPECT_EQ(p.Chip().Cycles(), 1u);

    // Back to single-panel: only the addressed panel's buffer is programmed.
    p.Pointer(0x3C0006);
    p.Send(kWrite, 0x0000);
    p.CodeAccess();
    p.Program(0x0100, {0, 0, 0, 0}, false);
    p.Program(0x2100, {0, 0, 0, 0});
    p.Hold();
    EXPECT_EQ(p.Word(0x0080), 0xFFFFu);
    EXPECT_EQ(p.Word(0x1080), 0x0000u);
}

TEST(Pic18Chip, The2431HasOneBufferAndNoPanelRegister) {
    Pic18 p("PIC18F2431");
    p.Pointer(0x3C0006);
    p.Send(kWrite, 0x0040);
    EXPECT_FALSE(p.Chip().MultiPanel());
    p.CodeAccess();
    // What a multi-panel write does here: the second panel's words replace the first's in the
    // one buffer, and only the last address is programmed.
    p.Program(0x0000, {0x0A0A, 0x0A0A, 0x0A0A, 0x0A0A}, false);
    p.Program(0x2000, {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF});
    p.Hold();
    EXPECT_EQ(p.Word(0), 0xFFFFu);
    EXPECT_EQ(p.Word(0x1000), 0xFFFFu);
}

TEST(Pic18Chip, The2550ProgramsThirtyTwoBytesAtOnce) {
    Pic18 p("PIC18F4550");
    p.CodeAccess();
    p.Pointer(0x7FE0);
    for (int i = 0; i < 15; ++i) {
        p.Send(kWritePostInc, static_cast<std::uint16_t>(0x0100 + i));
    }
    p.Send(kWriteStart, 0x01FF);
    p.Hold();
    for (std::uint32_t i = 0; i < 15; ++i) {
        EXPECT_EQ(p.Word(0x3FF0 + i), 0x0100u + i);
    }
    EXPECT_EQ(p.Word(0x3FFF), 0x01FFu);
}

TEST(Pic18Chip, ConfigurationBytesAreReplacedOneByteEachCycle) {
    Pic18 p("PIC18F452");
    p.Poke(Space::Config, 0x300003, 0x0E);
    // The documented sequence: configuration access, the jump out of user memory.
    p.Core({0x8EA6, 0x8CA6, 0xEF00, 0xF800});
    p.Pointer(0x300002);
    p.Send(kWriteStart, 0x00A5);  // even address: the low byte
    p.Hold();
    p.Core({0x2AF6});
    p.Send(kWriteStart, 0x5A00);  // odd address: the high byte
    p.Hold();
    EXPECT_EQ(p.Peek(Space::Config, 0x300002), 0xA5u);
    EXPECT_EQ(p.Peek(Space::Config, 0x300003), 0x5Au);  // replaced, not ANDed with 0x0E

    // Without the jump these groups do not write configuration; the 2550 group needs none.
    Pic18 q("PIC18F1320");
    q.Core({0x8EA6, 0x8CA6});
    q.Pointer(0x300000);
    q.Send(kWriteStart, 0x0000);
    q.Hold();
    EXPECT_EQ(q.Peek(Space::Config, 0x300000), 0xFFu);
    Pic18 r("PIC18F2550");
    r.Core({0x8EA6, 0x8CA6});
    r.Pointer(0x300000);
    r.Send(kWriteStart, 0x0000);
    r.Hold();
    EXPECT_EQ(r.Peek(Space::Config, 0x300000), 0x00u);
}

TEST(Pic18Chip, ChipEraseRunsInTheTwoNops) {
    for (const char* name : {"PIC18F258", "PIC18F1220", "PIC18F2431"}) {
        SCOPED_TRACE(name);
        Pic18 p(name);
        p.Poke(Space::Program, 3, 0);
        p.Poke(Space::Config, 0x200001, 0);
        p.Poke(Space::Config, 0x30000D, 0);
        p.Poke(Space::Data, 0xFF, 0);
        p.Pointer(0x3C0004);
        p.Send(kWrite, 0x0080);
        p.Core({kNop});
        EXPECT_EQ(p.Word(3), 0u);
        p.Core({kNop});
        EXPECT_EQ(p.Word(3), 0xFFFFu);
        EXPECT_EQ(p.Peek(Space::Config, 0x200001), 0xFFu);
        EXPECT_EQ(p.Peek(Space::Config, 0x30000D), 0xFFu);
        EXPECT_EQ(p.Peek(Space::Data, 0xFF), 0xFFu);

        // Broken off by another command, nothing is erased.
        p.Poke(Space::Program, 3, 0);
        p.Pointer(0x3C0004);
        p.Send(kWrite, 0x0080);
        p.Core({kNop, 0x2AF6, kNop});
        EXPECT_EQ(p.Word(3), 0u);
    }
}

TEST(Pic18Chip, The2550EraseIsChosenByBothRegisters) {
    Pic18 p("PIC18F2550");
    auto fill = [&p] {
        p.Poke(Space::Program, 0x3FFF, 0);
        p.Poke(Space::Config, 0x300000, 0);
        p.Poke(Space::Data, 0, 0);
    };
    auto erase = [&p](std::uint16_t blocks, std::uint16_t options) {
        p.Pointer(0x3C0005);
        p.Send(kWrite, blocks);
        p.Pointer(0x3C0004);
        p.Send(kWrite, options);
        p.Core({kNop, kNop});
    };
    fill();
    erase(0x0000, 0x8484);  // data EEPROM alone
    EXPECT_EQ(p.Peek(Space::Data, 0), 0xFFu);
    EXPECT_EQ(p.Word(0x3FFF), 0u);
    EXPECT_EQ(p.Peek(Space::Config, 0x300000), 0u);

    fill();
    erase(0x3F3F, 0x8F8F);
    EXPECT_EQ(p.Peek(Space::Data, 0), 0xFFu);
    EXPECT_EQ(p.Word(0x3FFF), 0xFFFFu);
    EXPECT_EQ(p.Peek(Space::Config, 0x300000), 0xFFu);
}

TEST(Pic18Chip, DataEepromWritesTakeTheirPollsOrTheHold) {
    Pic18 p("PIC18F452");
    p.Chip().SetEeBusyPolls(2);
    p.Chip().Pic18EeSetAddress(0x0110, 0x42);  // 256 bytes: the address wraps
    p.Chip().Pic18EeStart(true);
    EXPECT_EQ(p.Chip().Pic18EeStatus() & Pic18Chip::kEeBusy, Pic18Chip::kEeBusy);
    // A start while busy is lost, as WR cannot be set again.
    p.Chip().Pic18EeSetAddress(0x11, 0x43);
    p.Chip().Pic18EeStart(true);
    EXPECT_EQ(p.Chip().Pic18EeStatus() & Pic18Chip::kEeBusy, Pic18Chip::kEeBusy);
    EXPECT_EQ(p.Chip().Pic18EeRead(0x10), 0xFF);
    EXPECT_EQ(p.Chip().Pic18EeStatus() & Pic18Chip::kEeBusy, 0);
    p.Chip().Pic18EeEnd();
    EXPECT_EQ(p.Peek(Space::Data, 0x10), 0x42u);
    EXPECT_EQ(p.Peek(Space::Data, 0x11), 0xFFu);

    // The hold completes it at once; switching off before either loses it.
    p.Chip().Pic18EeSetAddress(0x20, 0x00);
    p.Chip().Pic18EeStart(false);
    p.Chip().Pic18EraseHold(kCore, kNop, 50);
    EXPECT_EQ(p.Peek(Space::Data, 0x20), 0x00u);
    p.Chip().Pic18EeSetAddress(0x21, 0x00);
    p.Chip().Pic18EeStart(false);
    p.Chip().PowerOff();
    p.Chip().PowerOn(false);
    EXPECT_EQ(p.Chip().Pic18EeStatus(), 0);
    EXPECT_EQ(p.Peek(Space::Data, 0x21), 0xFFu);
}

TEST(Pic18Chip, UnpoweredOrStuckCellsKeepTheirContents) {
    Pic18 p("PIC18F242");
    p.Chip().SetStuckCell(Space::Program, 0);
    p.CodeAccess();
    p.Program(0, {0, 0, 0, 0});
    p.Hold();
    EXPECT_EQ(p.Word(0), 0xFFFFu);
    EXPECT_EQ(p.Word(1), 0u);

    p.Chip().PowerOff();
    p.Chip().Pic18SetTablePointer(0x3C0004);
    p.Chip().Pic18Command(kWrite, 0x0080);
    p.Chip().Pic18Command(kCore, kNop);
    p.Chip().Pic18Command(kCore, kNop);
    EXPECT_EQ(p.Word(1), 0u);
    EXPECT_EQ(p.Chip().Pic18Receive(kReadPostInc), 0);
}

}  // namespace
}  // namespace tenlo::sim::testing
