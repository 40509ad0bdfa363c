// The power-down that ends every operation: its answer lost or garbled on the way, it is sent
// again; when no attempt gets through, the operation fails and says the chip may still be
// powered, whatever its body did.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "support/sim_rig.h"

namespace tenlo {
namespace {

using testing::SimRig;

std::uint64_t Frames(SimRig& rig) {
    return rig.programmer->With(
        [](sim::CFirmwareEngine& engine, sim::IChipModel&) { return engine.Statistics().frames; });
}

// Writes a program image of one word; returns the operation's result.
bool WriteOneWord(SimRig& rig) {
    rig.options.keepCalibration = 1;  // as the view sets it
    CMemoryImage image(rig.device->Layout());
    image.Set(Memory::Program, 0, 0x0000);
    return rig.device->RunWriteProgram(image.Program());
}

class PowerDown : public ::testing::TestWithParam<const char*> {};

TEST_P(PowerDown, ALostOrGarbledAnswerIsSentAgainAndTheOperationStands) {
    std::uint64_t last = 0;
    {
        SimRig clean(GetParam());
        ASSERT_TRUE(WriteOneWord(clean));
        last = Frames(clean);  // the answer to the closing power-down
    }
    for (const bool garbled : {false, true}) {
        SCOPED_TRACE(garbled ? "garbled" : "lost");
        sim::FaultPlan faults;
        if (garbled) {
            faults.badAcks[last] = 0x00;
        } else {
            faults.noAckFrames = {last};
        }
        SimRig rig(GetParam(), faults);
        EXPECT_TRUE(WriteOneWord(rig));
        EXPECT_FALSE(rig.Powered());
        EXPECT_EQ(rig.link.FirstFailure().fault, LinkFault::None)
            << DescribeLinkFailure(rig.link.FirstFailure());
        EXPECT_FALSE(rig.device->LastPlace().stillPowered);
        EXPECT_EQ(rig.Peek(sim::Space::Program, 0), 0u);
    }
}

TEST_P(PowerDown, NoAnswerToAnyAttemptFailsTheWorkDoneAndSaysTheChipMayBePowered) {
    std::uint64_t last = 0;
    {
        SimRig clean(GetParam());
        ASSERT_TRUE(WriteOneWord(clean));
        last = Frames(clean);
    }
    sim::FaultPlan faults;
    for (int i = 0; i < CProgrammerLink::kPowerOffAttempts; ++i) {
        faults.noAckFrames.insert(last + static_cast<std::uint64_t>(i));
    }
    SimRig rig(GetParam(), faults);
    EXPECT_FALSE(WriteOneWord(rig));
    EXPECT_TRUE(rig.Powered()) << "a frame that got no answer was not carried out";
    const CDevice::Place& place = rig.device->LastPlace();
    EXPECT_TRUE(place.stillPowered);
    EXPECT_TRUE(place.workDone);
    EXPECT_EQ(rig.Peek(sim::Space::Program, 0), 0u) << "the word itself went in";
    EXPECT_EQ(rig.link.FirstFailure().fault, LinkFault::NoAnswer);
    EXPECT_EQ(rig.link.FirstFailure().command, 0x06);
    EXPECT_EQ(rig.progress.Events().back(), "close") << "the display still closes";
    EXPECT_TRUE(rig.window.Enabled());

    // The next operation starts afresh.
    SimRig next(GetParam());
    ASSERT_TRUE(WriteOneWord(next));
    EXPECT_FALSE(next.device->LastPlace().stillPowered);
}

TEST_P(PowerDown, AProgrammerGoneSilentFailsTheBodyAndLeavesThePowerInDoubt) {
    sim::FaultPlan faults;
    faults.silenceFromByte = 40;
    SimRig rig(GetParam(), faults);
    EXPECT_FALSE(WriteOneWord(rig));
    EXPECT_TRUE(rig.device->LastPlace().stillPowered);
    EXPECT_FALSE(rig.device->LastPlace().workDone);
}

INSTANTIATE_TEST_SUITE_P(OneChipPerFamily, PowerDown,
                         ::testing::Values("PIC16F84A", "PIC16F877A", "PIC12F629", "PIC18F452",
                                           "dsPIC30F4013"));

// Choosing a dsPIC30F switches its socket off first; that answer counts too.
TEST(PowerDownOnSelection, ADsPic30fSocketThatCannotBeSwitchedOffFailsInitialize) {
    {
        sim::FaultPlan faults;
        faults.noAckFrames = {1};
        SimRig rig("dsPIC30F4013", faults);
        EXPECT_TRUE(rig.device->Initialize()) << "sent again";
        EXPECT_EQ(rig.Commands(0x04), 2u);
        EXPECT_EQ(rig.link.FirstFailure().fault, LinkFault::None);
    }
    sim::FaultPlan faults;
    faults.noAckFrames = {1, 2, 3};
    SimRig rig("dsPIC30F4013", faults);
    EXPECT_FALSE(rig.device->Initialize());
    EXPECT_TRUE(rig.device->LastPlace().stillPowered);
    EXPECT_EQ(rig.device->Layout().dataStart, 0x800000u - 1024u) << "still set up";
}

}  // namespace
}  // namespace tenlo
