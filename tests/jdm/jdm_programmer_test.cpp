#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "jdm/jdm_rig.h"
#include "link/ui_interfaces.h"
#include "support/recording_port.h"

namespace tenlo::test {
namespace {

// An erase that takes whatever device ID the chip reads.
bool AnyChip(std::uint16_t /*id*/) {
    return true;
}

using namespace std::chrono_literals;
using L = LineCall;

// The line driver against a port that only records its modem-line calls.
class JdmLines : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(port.Open(ProgrammerPortDefinition(1))); }
    std::vector<LineCall>& Calls() { return backend->lines->calls; }
    std::vector<LineCall> CallsAfter(std::size_t n) {
        return {Calls().begin() + static_cast<std::ptrdiff_t>(n), Calls().end()};
    }

    VirtualClock clock;
    std::shared_ptr<CRecordingPortBackend> backend = std::make_shared<CRecordingPortBackend>();
    CSerialPort port{nullptr, backend, &clock};
    CJDMProgrammer jdm{port};
};

TEST_F(JdmLines, CommandClocksSixBitsLsbFirstAndEndsWithDtrCleared) {
    ASSERT_TRUE(jdm.SendCommand(0x06));
    const std::vector<LineCall> expected{
        {L::Rts, false}, {L::Dtr, false},                   // idle first
        {L::Dtr, false}, {L::Rts, true},  {L::Rts, false},  // bit 0
        {L::Dtr, true},  {L::Rts, true},  {L::Rts, false},  // bit 1
        {L::Dtr, true},  {L::Rts, true},  {L::Rts, false},  // bit 2
        {L::Dtr, false}, {L::Rts, true},  {L::Rts, false},  // bit 3
        {L::Dtr, false}, {L::Rts, true},  {L::Rts, false},  // bit 4
        {L::Dtr, false}, {L::Rts, true},  {L::Rts, false},  // bit 5
        {L::Dtr, false}};
    EXPECT_EQ(Calls(), expected);
    EXPECT_EQ(clock.Now(), 0ns) << "no wait between command edges";

    Calls().clear();
    ASSERT_TRUE(jdm.SendCommand(0xC9));  // only the low six bits go out
    EXPECT_EQ(LatchedBits(Calls()), (std::vector<bool>{1, 0, 0, 1, 0, 0}));
}

TEST_F(JdmLines, LoadDataFramesFourteenBitsWithStartAndStop) {
    ASSERT_TRUE(jdm.LoadData(0x02, 0x3FFF));
    EXPECT_EQ(clock.Now(), 1ms);
    const std::vector<LineCall> load = CommandCalls(0x02);
    const std::size_t command = load.size();
    ASSERT_GT(Calls().size(), command);
    EXPECT_TRUE(std::equal(load.begin(), load.end(), Calls().begin()));
    std::vector<bool> expected(16, true);
    expected.front() = expected.back() = false;
    EXPECT_EQ(LatchedBits(CallsAfter(command)), expected);
    EXPECT_EQ(Calls().back(), (L{L::Rts, false}));

    // Bits 14 and 15 are never sent.
    const std::vector<LineCall> ones = Calls();
    Calls().clear();
    ASSERT_TRUE(jdm.LoadData(0x02, 0xFFFF));
    EXPECT_EQ(Calls(), ones);

    Calls().clear();
    ASSERT_TRUE(jdm.LoadData(0x02, 0x0005));
    const std::vector<bool> bits = LatchedBits(CallsAfter(command));
    ASSERT_EQ(bits.size(), 16u);
    EXPECT_EQ(std::vector<bool>(bits.begin(), bits.begin() + 5),
              (std::vector<bool>{0, 1, 0, 1, 0}));
}

TEST_F(JdmLines, ReadDataAssemblesCtsSamplesLsbFirst) {
    std::uint16_t word = 0;
    backend->lines->cts = [](std::size_t) { return true; };
    ASSERT_TRUE(jdm.ReadData(0x04, &word));
    EXPECT_EQ(word, 0x3FFF);
    const std::size_t command = CommandCalls(0x04).size();
    const std::vector<LineCall> read = CallsAfter(command);
    EXPECT_EQ(LatchedBits(read).size(), 16u) << "start, 14 data clocks, stop";
    EXPECT_EQ(std::count(read.begin(), read.end(), L{L::Cts, true}), 14);
    EXPECT_EQ(std::count_if(read.begin(), read.end(), [](const L& c) { return c.kind == L::Dtr; }),
              0)
        << "DTR stays cleared for the whole read";
    // Each sample follows a completed clock pulse.
    for (std::size_t i = 0; i < read.size(); ++i) {
        if (read[i].kind == L::Cts) {
            ASSERT_GE(i, 2u);
            EXPECT_EQ(read[i - 1], (L{L::Rts, false}));
            EXPECT_EQ(read[i - 2], (L{L::Rts, true}));
        }
    }

    backend->lines->ctsReads = 0;
    backend->lines->cts = [](std::size_t n) { return n == 0; };
    ASSERT_TRUE(jdm.ReadData(0x04, &word));
    EXPECT_EQ(word, 0x0001);

    backend->lines->ctsReads = 0;
    backend->lines->cts = [](std::size_t n) { return n == 13; };
    ASSERT_TRUE(jdm.ReadData(0x04, &word));
    EXPECT_EQ(word, 0x2000);
}

TEST_F(JdmLines, FirstFailingLineCallEndsThePrimitive) {
    backend->lines->failAfter = 2;
    EXPECT_FALSE(jdm.SendCommand(0x06));
    EXPECT_EQ(Calls().size(), 2u);

    // A failed status read stores nothing.
    backend->lines->failAfter.reset();
    Calls().clear();
    backend->lines->failAfter = CommandCalls(0x04).size() + 4;  // start pulse, one more pulse
    std::uint16_t word = 0xBEEF;
    EXPECT_FALSE(jdm.ReadData(0x04, &word));
    EXPECT_EQ(word, 0xBEEF);
}

TEST_F(JdmLines, BlankImageCostsOnlyIncrements) {
    JdmProgramImage image;
    image.fill(0x3FFF);
    ASSERT_TRUE(jdm.WriteProgram(image));
    std::vector<LineCall> expected{{L::Break, false}, {L::Break, true}};
    const std::vector<LineCall> inc = CommandCalls(0x06);
    for (int i = 0; i < 1023; ++i) {
        expected.insert(expected.end(), inc.begin(), inc.end());
    }
    expected.push_back({L::Break, false});
    EXPECT_EQ(Calls(), expected);
    EXPECT_EQ(clock.Now(), 1ms);
}

// The line driver against the simulated chip.
class JdmChip : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(rig.opened); }
    ChipRig rig;
    sim::CJdmChip& chip = rig.chip;
    CJDMProgrammer& jdm = rig.jdm;
};

TEST_F(JdmChip, GotosReachCalibrationAndConfigurationWords) {
    ASSERT_TRUE(jdm.PowerOn());
    ASSERT_TRUE(jdm.GotoCalibrationWord());
    EXPECT_EQ(chip.AddressCounter(), 0x3FFu);
    std::uint16_t word = 0;
    ASSERT_TRUE(jdm.ReadData(0x04, &word));
    EXPECT_EQ(word, sim::CJdmChip::kFactoryOscCal);
    ASSERT_TRUE(jdm.GotoConfigWord());
    EXPECT_EQ(chip.AddressCounter(), 0x2007u);
    ASSERT_TRUE(jdm.ReadData(0x04, &word));
    EXPECT_EQ(word, sim::CJdmChip::kFactoryConfig);
    EXPECT_TRUE(chip.IsPowered());
}

struct Counter : IMessagePump {
    void Pump() override { ++count; }
    int count = 0;
};

TEST_F(JdmChip, LongLoopsPumpMessages) {
    Counter pump;
    SetMessagePump(&pump);
    jdm.PowerOn();
    jdm.GotoCalibrationWord();
    SetMessagePump(nullptr);
    EXPECT_EQ(pump.count, 1023);
}

TEST_F(JdmChip, EraseKeepsCalibrationWordAndBits) {
    struct Case {
        std::uint16_t osccal, config, configAfter;
    };
    for (const Case& c : {Case{0x3480, 0x31C4, 0x31FF}, Case{0x34A6, 0x2004, 0x21FF},
                          Case{0x3FFF, 0x01C4, 0x01FF}}) {
        SCOPED_TRACE(c.config);
        chip.Poke(sim::Space::Program, 0x3FF, c.osccal);
        chip.Poke(sim::Space::Config, 0x2007, c.config);
        chip.Poke(sim::Space::Program, 0x000, 0x2805);
        chip.Poke(sim::Space::Program, 0x3FE, 0x0000);
        chip.Poke(sim::Space::Data, 5, 0x42);
        ASSERT_TRUE(jdm.EraseChip(AnyChip));
        EXPECT_EQ(chip.ProgramWord(0x3FF), c.osccal);
        EXPECT_EQ(chip.ConfigWord(), c.configAfter);
        EXPECT_EQ(chip.ProgramWord(0x000), 0x3FFF);
        EXPECT_EQ(chip.ProgramWord(0x3FE), 0x3FFF);
        std::uint32_t data = 0;
        chip.Peek(sim::Space::Data, 5, data);
        EXPECT_EQ(data, 0xFFu);
        EXPECT_FALSE(chip.IsPowered());
        EXPECT_EQ(chip.AbortedCycles(), 0u);
    }
}

TEST_F(JdmChip, EraseRefusesAChipWhoseDeviceIdTheCallerDoesNotTake) {
    std::uint16_t id = 0;
    ASSERT_TRUE(jdm.PowerOn());
    ASSERT_TRUE(jdm.ReadDeviceId(&id));
    EXPECT_EQ(id, sim::CJdmChip::kDefaultDeviceId);
    EXPECT_EQ(chip.AddressCounter(), 0x2006u);

    for (const std::uint16_t bad : {std::uint16_t{0x0000}, std::uint16_t{0x3FFF}}) {
        SCOPED_TRACE(bad);
        VirtualClock clock;
        auto backend =
            std::make_shared<sim::CJdmPortBackend>(std::make_shared<sim::CJdmChip>(clock, bad));
        CSerialPort port(nullptr, backend, &clock);
        ASSERT_TRUE(port.Open(ProgrammerPortDefinition(1)));
        CJDMProgrammer other(port);
        sim::CJdmChip& target = backend->Chip();
        target.Poke(sim::Space::Program, 0x000, 0x2805);
        target.Poke(sim::Space::Program, 0x3FF, 0x34A6);
        EXPECT_FALSE(other.EraseChip([bad](std::uint16_t read) {
            EXPECT_EQ(read, bad);
            return false;
        }));
        for (const auto& c : target.Commands()) {
            EXPECT_NE(c.code, CJDMProgrammer::kBulkEraseProgram);
            EXPECT_NE(c.code, CJDMProgrammer::kBulkEraseData);
            EXPECT_NE(c.code, CJDMProgrammer::kBeginProgramming);
        }
        EXPECT_EQ(target.ProgramWord(0x000), 0x2805);
        EXPECT_EQ(target.OscCal(), 0x34A6);
        EXPECT_FALSE(target.IsPowered());
    }
}

TEST_F(JdmChip, WriteConfigTakesCalibrationBitsFromTheChip) {
    JdmConfigImage config;
    config.fill(0x3FFF);
    config[7] = 0x3FC4;
    ASSERT_TRUE(jdm.WriteConfig(config));
    EXPECT_EQ(chip.ConfigWord(), 0x31C4);
    EXPECT_TRUE(jdm.VerifyConfig(config));
    EXPECT_FALSE(chip.IsPowered());

    chip.Poke(sim::Space::Config, 0x2007, 0x21FF);
    ASSERT_TRUE(jdm.WriteConfig(config));
    EXPECT_EQ(chip.ConfigWord(), 0x21C4);

    // Only words 0x2007 is ever sent.
    chip.ClearCommands();
    config[0] = 0x0000;
    jdm.WriteConfig(config);
    EXPECT_EQ(rig.CountCommands(0x08), 1u);
}

TEST_F(JdmChip, VerifyConfigComparesOnlyTheUserBits) {
    chip.Poke(sim::Space::Config, 0x2007, 0x31C4);
    JdmConfigImage config;
    config.fill(0x3FFF);
    config[7] = 0x0FC4;  // bits 13 to 9 differ from the chip's
    EXPECT_TRUE(jdm.VerifyConfig(config));
    config[7] = 0x31C5;
    EXPECT_FALSE(jdm.VerifyConfig(config));
    EXPECT_FALSE(chip.IsPowered());
}

TEST_F(JdmChip, WriteWordRetriesExactlyTenTimesOnAStuckCell) {
    chip.SetStuckCell(sim::Space::Program, 0);
    jdm.PowerOn();
    const auto start = rig.clock.Now();
    EXPECT_FALSE(jdm.WriteWord(0x2805));
    EXPECT_EQ(rig.CountCommands(0x02), 10u);
    EXPECT_EQ(rig.CountCommands(0x08), 10u);
    EXPECT_EQ(rig.CountCommands(0x04), 10u);
    EXPECT_EQ(rig.CountCommands(0x06), 0u) << "the address never moves";
    EXPECT_EQ(rig.clock.Now() - start, 10 * 22ms);

    chip.ClearCommands();
    jdm.SendCommand(0x06);
    chip.ClearCommands();
    EXPECT_TRUE(jdm.WriteWord(0xC805)) << "masked to 14 bits before it is compared";
    EXPECT_EQ(rig.CountCommands(0x08), 1u);
    EXPECT_EQ(chip.ProgramWord(1), 0x0805);
}

TEST_F(JdmChip, ProgramWriteAndVerifyRoundTrip) {
    JdmProgramImage image;
    image.fill(0x3FFF);
    for (unsigned a = 0; a < 0x3FF; a += 7) {
        image[a] = static_cast<std::uint16_t>((a * 0x155) & 0x3FFF);
    }
    image[0x3FE] = 0x0123;
    image[0x3FD] = 0xC000;  // not blank: written with bits 14 and 15 dropped
    image[0x3FF] = 0x0000;  // the calibration word is neither written nor compared
    chip.ClearCommands();
    ASSERT_TRUE(jdm.WriteProgram(image));
    for (unsigned a = 0; a < 0x3FF; ++a) {
        ASSERT_EQ(chip.ProgramWord(a), image[a] & 0x3FFF) << a;
    }
    EXPECT_EQ(chip.ProgramWord(0x3FF), sim::CJdmChip::kFactoryOscCal);
    EXPECT_EQ(rig.CountCommands(0x06), 1023u);
    EXPECT_TRUE(jdm.VerifyProgram(image));
    EXPECT_FALSE(chip.IsPowered());

    chip.Poke(sim::Space::Program, 0x200, 0x0000);
    EXPECT_FALSE(jdm.VerifyProgram(image)) << "blank words are compared too";
    EXPECT_FALSE(chip.IsPowered());
}

TEST_F(JdmChip, FailedSequencesLeaveTheTargetUnpowered) {
    JdmProgramImage image;
    image.fill(0x3FFF);
    image[3] = 0x1234;
    chip.SetStuckCell(sim::Space::Program, 3);
    EXPECT_FALSE(jdm.WriteProgram(image));
    EXPECT_FALSE(chip.IsPowered());
    EXPECT_EQ(chip.ProgramWord(3), 0x3FFF);

    chip.FailLineCallsAfter(chip.LineCalls() + 500);
    EXPECT_FALSE(jdm.EraseChip(AnyChip));
    EXPECT_FALSE(jdm.VerifyProgram(image));
    EXPECT_EQ(chip.ProgramWord(0x3FF), sim::CJdmChip::kFactoryOscCal)
        << "unplugged before the erase: nothing lost";
}

}  // namespace
}  // namespace tenlo::test
