#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>

#include "link/clock.h"
#include "sim/jdm/jdm_chip.h"
#include "sim/jdm/jdm_port_backend.h"

namespace tenlo::sim {
namespace {

using namespace std::chrono_literals;

// Drives the chip's pins directly, DS41191 style, without the host's line driver.
class Pins : public ::testing::Test {
  protected:
    void Pulse() {
        chip.SetRts(true);
        chip.SetRts(false);
    }
    void Bits(unsigned value, int count) {
        for (int i = 0; i < count; ++i) {
            chip.SetDtr(((value >> i) & 1) != 0);
            Pulse();
        }
        chip.SetDtr(false);
    }
    void Cmd(unsigned code) { Bits(code, 6); }
    void Load(unsigned code, unsigned word) {
        Cmd(code);
        Bits((word & 0x3FFF) << 1, 16);
    }
    std::uint16_t Read(unsigned code) {
        Cmd(code);
        Pulse();
        unsigned value = 0;
        for (int i = 0; i < 14; ++i) {
            Pulse();
            bool cts = false;
            chip.GetCts(cts);
            value |= (cts ? 1u : 0u) << i;
        }
        Pulse();
        return static_cast<std::uint16_t>(value);
    }
    void PowerCycle() {
        chip.SetBreak(false);
        chip.SetBreak(true);
    }
    void Increment(int n) {
        for (int i = 0; i < n; ++i) {
            Cmd(0x06);
        }
    }
    std::uint32_t Data(std::uint32_t a) {
        std::uint32_t v = 0;
        chip.Peek(Space::Data, a, v);
        return v;
    }

    VirtualClock clock;
    CJdmChip chip{clock};
};

TEST_F(Pins, FactoryStateAndAddressing) {
    EXPECT_FALSE(chip.IsPowered());
    chip.SetBreak(true);
    EXPECT_EQ(Read(0x04), 0x3FFF);
    Increment(0x3FF);
    EXPECT_EQ(Read(0x04), CJdmChip::kFactoryOscCal);
    Increment(1);
    EXPECT_EQ(chip.AddressCounter(), 0x400u);
    chip.Poke(Space::Program, 0, 0x2805);
    EXPECT_EQ(Read(0x04), 0x2805) << "program memory aliases above 1024 words";

    Load(0x00, 0);
    EXPECT_EQ(chip.AddressCounter(), 0x2000u);
    Increment(6);
    EXPECT_EQ(Read(0x04), CJdmChip::kDefaultDeviceId);
    Increment(1);
    EXPECT_EQ(Read(0x04), CJdmChip::kFactoryConfig);

    // Break set again while set is no new entry; only off-then-on resets the counter.
    chip.SetBreak(true);
    EXPECT_EQ(chip.AddressCounter(), 0x2007u);
    PowerCycle();
    EXPECT_EQ(chip.AddressCounter(), 0u);
}

TEST_F(Pins, CommandBitsAreTakenAtTheFallingEdge) {
    chip.SetBreak(true);
    // Increment Address (0x06) with each bit set only while the clock is already high.
    for (int i = 0; i < 6; ++i) {
        chip.SetDtr(false);
        chip.SetRts(true);
        chip.SetDtr(((0x06 >> i) & 1) != 0);
        chip.SetRts(false);
    }
    EXPECT_EQ(chip.AddressCounter(), 1u);
    ASSERT_EQ(chip.Commands().size(), 1u);
    EXPECT_EQ(chip.Commands()[0].code, 0x06);
    // Edges while unpowered are not commands.
    chip.SetBreak(false);
    Cmd(0x06);
    EXPECT_EQ(chip.Commands().size(), 1u);
}

TEST_F(Pins, ReadDrivesBitKFromTheRisingEdgeOfClockKPlus2) {
    chip.Poke(Space::Program, 0, 0x2AAA);  // bit 0 is 0, bit 1 is 1, ...
    chip.SetBreak(true);
    Cmd(0x04);
    chip.SetDtr(true);  // host data line high: what CTS shows while the chip does not drive
    chip.SetRts(true);
    bool cts = false;
    chip.GetCts(cts);
    EXPECT_TRUE(cts) << "start bit: the chip is not driving yet";
    chip.SetRts(false);
    chip.SetDtr(false);
    for (int k = 0; k < 14; ++k) {
        chip.SetRts(true);
        chip.GetCts(cts);
        EXPECT_EQ(cts, ((0x2AAA >> k) & 1) != 0) << "after rise, bit " << k;
        chip.SetRts(false);
        chip.GetCts(cts);
        EXPECT_EQ(cts, ((0x2AAA >> k) & 1) != 0) << "after fall, bit " << k;
    }
    Pulse();
    chip.SetDtr(true);
    chip.GetCts(cts);
    EXPECT_TRUE(cts) << "released after the stop bit";
    chip.SetDtr(false);
    EXPECT_EQ(Read(0x04), 0x2AAA);
}

TEST_F(Pins, ProgrammingNeedsItsTimeBeforeTheNextEdge) {
    chip.SetBreak(true);
    Load(0x02, 0x0F0F);
    Cmd(0x08);
    clock.Advance(2400us);
    EXPECT_EQ(Read(0x04), 0x3FFF);
    EXPECT_EQ(chip.AbortedCycles(), 1u);

    Load(0x02, 0x0F0F);
    Cmd(0x08);
    clock.Advance(2500us);
    EXPECT_EQ(Read(0x04), 0x0F0F);
    // Flash only clears bits without an erase.
    Load(0x02, 0x30F0);
    Cmd(0x08);
    clock.Advance(3ms);
    EXPECT_EQ(Read(0x04), 0x0000);
    EXPECT_EQ(chip.CompletedProgramCycles(), 2u);

    // Power removed before the cycle had its time.
    Increment(1);
    Load(0x02, 0x1111);
    Cmd(0x08);
    clock.Advance(1ms);
    chip.SetBreak(false);
    EXPECT_EQ(chip.ProgramWord(1), 0x3FFF);
    // A cycle that has had its time completes even with nothing more on the lines.
    chip.SetBreak(true);
    Increment(1);
    Load(0x02, 0x1111);
    Cmd(0x08);
    clock.Advance(3ms);
    EXPECT_EQ(chip.ProgramWord(1), 0x1111);
    EXPECT_EQ(chip.CompletedProgramCycles(), 3u);
}

TEST_F(Pins, ExternallyTimedProgrammingNeedsItsEndCommand) {
    chip.SetBreak(true);
    Load(0x02, 0x1234);
    Cmd(0x18);
    clock.Advance(3ms);
    Cmd(0x0A);
    EXPECT_EQ(Read(0x04), 0x1234);

    Increment(1);
    Load(0x02, 0x1234);
    Cmd(0x18);
    clock.Advance(3ms);
    Cmd(0x06);  // no end command
    EXPECT_EQ(chip.ProgramWord(1), 0x3FFF);

    Load(0x02, 0x1234);
    Cmd(0x18);
    clock.Advance(1ms);  // ended too early
    Cmd(0x0A);
    EXPECT_EQ(chip.ProgramWord(2), 0x3FFF);
    EXPECT_EQ(chip.AbortedCycles(), 2u);
}

TEST_F(Pins, BulkEraseTakesCalibrationAndNeedsFiveMilliseconds) {
    chip.Poke(Space::Config, 0x2007, 0x21C4);
    chip.Poke(Space::Program, 5, 0x0000);
    chip.Poke(Space::Data, 3, 0x12);
    chip.SetBreak(true);
    Cmd(0x09);
    clock.Advance(4ms);
    Increment(1);  // the next edges
    EXPECT_EQ(chip.ProgramWord(5), 0x0000) << "cut short";

    Cmd(0x09);
    clock.Advance(5ms);
    Increment(1);  // the next edges
    EXPECT_EQ(chip.ProgramWord(5), 0x3FFF);
    EXPECT_EQ(chip.OscCal(), 0x3FFF);
    EXPECT_EQ(chip.ConfigWord(), 0x31FF) << "band-gap bits erased to 11";
    EXPECT_EQ(Data(3), 0x12u) << "data memory has its own erase";

    Cmd(0x0B);
    clock.Advance(5ms);
    chip.SetBreak(false);
    EXPECT_EQ(Data(3), 0xFFu);
    EXPECT_EQ(chip.CompletedEraseCycles(), 2u);
}

TEST_F(Pins, DataMemoryIsReplacedNotAnded) {
    chip.SetBreak(true);
    Increment(3);
    Load(0x03, 0x01A5);
    Cmd(0x08);
    clock.Advance(3ms);
    EXPECT_EQ(Read(0x05), 0x00A5);
    Load(0x03, 0x005A);
    Cmd(0x08);
    clock.Advance(3ms);
    EXPECT_EQ(Read(0x05), 0x005A);
    EXPECT_EQ(chip.ProgramWord(3), 0x3FFF);
}

TEST_F(Pins, CodeProtection) {
    chip.Poke(Space::Program, 0, 0x2805);
    chip.Poke(Space::Data, 0, 0x77);
    chip.Poke(Space::Config, 0x2007, 0x3004);  // CP and CPD on
    chip.SetBreak(true);
    EXPECT_EQ(Read(0x04), 0x0000);
    EXPECT_EQ(Read(0x05), 0x0000);
    Increment(0x3FF);
    EXPECT_EQ(Read(0x04), CJdmChip::kFactoryOscCal) << "OSCCAL stays readable";
    Load(0x00, 0);
    Increment(7);
    EXPECT_EQ(Read(0x04), 0x3004);
    // Program-memory bulk erase with data protection on erases data too, and lifts both.
    Cmd(0x09);
    clock.Advance(5ms);
    chip.SetBreak(false);
    EXPECT_EQ(Data(0), 0xFFu);
    EXPECT_EQ(chip.ConfigWord(), 0x31FF);
}

TEST_F(Pins, Faults) {
    chip.SetStuckCell(Space::Program, 4);
    chip.SetLeakyCell(Space::Program, 6);
    chip.SetBreak(true);
    Increment(4);
    Load(0x02, 0x0000);
    Cmd(0x08);
    clock.Advance(3ms);
    EXPECT_EQ(Read(0x04), 0x3FFF) << "stuck cell does not program";
    Increment(2);
    Load(0x02, 0x0000);
    Cmd(0x08);
    clock.Advance(3ms);
    EXPECT_EQ(Read(0x04), 0x0000) << "leaky cell reads back right at first";
    chip.SetBreak(false);
    EXPECT_EQ(chip.ProgramWord(6), 0x3FFF) << "and forgets at power-off";

    chip.Poke(Space::Program, 4, 0x0000);
    chip.SetBreak(true);
    Cmd(0x09);
    clock.Advance(5ms);
    chip.SetBreak(false);
    EXPECT_EQ(chip.ProgramWord(4), 0x0000) << "stuck cell does not erase either";

    bool cts = false;
    chip.SetCtsStuck(true);
    ASSERT_TRUE(chip.GetCts(cts));
    EXPECT_TRUE(cts);
    chip.SetCtsStuck(false);
    chip.SetDtr(true);
    ASSERT_TRUE(chip.GetCts(cts));
    EXPECT_FALSE(cts);
    chip.SetCtsStuck(std::nullopt);

    chip.SetBreak(true);
    chip.FailLineCallsAfter(chip.LineCalls() + 2);
    EXPECT_TRUE(chip.SetDtr(false));
    EXPECT_TRUE(chip.SetRts(false));
    EXPECT_FALSE(chip.SetRts(true));
    EXPECT_FALSE(chip.GetCts(cts));
    EXPECT_FALSE(chip.IsPowered()) << "unplugging takes the supply with it";
}

TEST(JdmPortBackend, ServesComNamesOneAtATime) {
    VirtualClock clock;
    auto backend = MakeJdmSimulatorBackend(clock);
    EXPECT_EQ(backend->Open("LPT1"), nullptr);
    EXPECT_EQ(backend->Open("COM0"), nullptr);
    EXPECT_EQ(backend->Open("COM"), nullptr);
    EXPECT_EQ(backend->Open("COM1x"), nullptr);
    {
        auto handle = backend->Open("com12");
        ASSERT_NE(handle, nullptr);
        EXPECT_EQ(backend->Open("COM5"), nullptr) << "no sharing";
        std::uint8_t byte = 0x55;
        EXPECT_EQ(handle->Write(&byte, 1), -1);
        EXPECT_EQ(handle->Read(&byte, 1), -1);
        EXPECT_TRUE(handle->SetBreak(true));
        EXPECT_TRUE(backend->Chip().IsPowered());
    }
    EXPECT_FALSE(backend->Chip().IsPowered()) << "closing the port ends the break";
    EXPECT_NE(backend->Open("COM99"), nullptr);
}

}  // namespace
}  // namespace tenlo::sim
