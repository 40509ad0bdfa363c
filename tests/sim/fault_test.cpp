#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "sim/blank_chip.h"
#include "sim/fault_plan.h"
#include "sim/firmware_engine.h"
#include "sim/recording_chip.h"
#include "sim/virtual_programmer.h"

namespace tenlo::sim {
namespace {

using testing::Bytes;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::RecordingChip;
using testing::Send;

constexpr std::uint8_t A5 = 0xA5;

FaultPlan Parsed(std::initializer_list<const char*> texts) {
    FaultPlan plan;
    std::string error;
    for (const char* text : texts) {
        EXPECT_TRUE(ParseFault(text, plan, error)) << text << ": " << error;
    }
    return plan;
}

TEST(FaultSyntax, AcceptsEveryKind) {
    const FaultPlan plan = Parsed({"noack@12", "NOACK@0x10", "badack@3", "badack@4=0x5a",
                                   "silence@200", "disconnect@500", "nochip", "eebusy",
                                   "stuck:program:0x10", "stuck:config:8199", "stuck:data:3"});
    EXPECT_THAT(plan.noAckFrames, ElementsAre(12u, 16u));
    EXPECT_EQ(plan.badAcks.at(3), 0x00);
    EXPECT_EQ(plan.badAcks.at(4), 0x5A);
    EXPECT_EQ(plan.silenceFromByte, 200u);
    EXPECT_EQ(plan.disconnectAtByte, 500u);
    EXPECT_TRUE(plan.noChip);
    EXPECT_TRUE(plan.eeBusy);
    EXPECT_THAT(plan.stuckCells,
                ElementsAre(std::pair{Space::Program, 0x10u}, std::pair{Space::Config, 0x2007u},
                            std::pair{Space::Data, 3u}));
    EXPECT_FALSE(plan.Empty());
    EXPECT_TRUE(FaultPlan{}.Empty());
}

TEST(FaultSyntax, RejectsMalformedTextAndLeavesThePlanAlone) {
    for (const char* text :
         {"", "noack", "noack@", "noack@0", "noack@-1", "noack@12x", "badack@3=0x100", "badack@=1",
          "silence@abc", "stuck:program", "stuck:eeprom:1", "stuck:data:", "stuck:data:0x1FFFFFFFF",
          "hang@3", "nochips", "disconnect@0x"}) {
        FaultPlan plan;
        std::string error;
        EXPECT_FALSE(ParseFault(text, plan, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
        EXPECT_TRUE(plan.Empty()) << text;
    }
}

TEST(FaultFrames, NoAckDropsTheNthAnswerAndAbandonsThatCommand) {
    RecordingChip chip;
    // Frames: 1 = 0x03, 2 = 0x12 code, 3 = its arguments.
    CFirmwareEngine engine(chip, Parsed({"noack@2"}));
    EXPECT_THAT(Send(engine, {0x03}), ElementsAre(A5));
    EXPECT_THAT(Send(engine, {0x12}), IsEmpty());
    EXPECT_TRUE(engine.Idle());
    // The host gives up and powers down; the firmware takes that as a new command.
    EXPECT_THAT(Send(engine, {0x06}), ElementsAre(A5));
    EXPECT_FALSE(engine.Powered());
    EXPECT_THAT(chip.calls, ElementsAre("PowerOn vdd", "PowerOff"));
}

TEST(FaultFrames, BadAckAnswersWrongInsideAMultiFrameCommand) {
    RecordingChip chip;
    // 0x19 with two words: frames 1 code, 2 count, 3 first word, 4 second word.
    CFirmwareEngine engine(chip, Parsed({"badack@3=0x12"}));
    EXPECT_THAT(Send(engine, {0x19, 0x02, 0x01, 0x00}), ElementsAre(A5, A5, 0x12));
    EXPECT_TRUE(engine.Idle());
    EXPECT_THAT(Send(engine, {0x00}), ElementsAre(A5));
}

TEST(FaultFrames, The5AOfAFailedWordCountsAsAFrame) {
    RecordingChip chip;
    chip.readValue = 0;
    CFirmwareEngine engine(chip, Parsed({"noack@6"}));
    Send(engine, {0x03});                                                      // frame 1
    Send(engine, {0x17, 0x02, 0x08, 0x00, 0xFF, 0x04, 0x01, 0x01});            // frames 2, 3
    EXPECT_THAT(Send(engine, {0x18, 0x01, 0x01, 0x00}), ElementsAre(A5, A5));  // 4, 5, 6
    EXPECT_EQ(engine.Statistics().frames, 6u);
}

TEST(FaultLine, SilenceFromTheNthByteOn) {
    RecordingChip chip;
    CFirmwareEngine engine(chip, Parsed({"silence@3"}));
    EXPECT_THAT(Send(engine, {0x00, 0x03}), ElementsAre(A5, A5));
    EXPECT_THAT(Send(engine, {0x06, 0x00, 0x02}), IsEmpty());
    EXPECT_TRUE(engine.Powered());  // the power-down never happened
    EXPECT_FALSE(engine.Disconnected());
}

TEST(FaultLine, DisconnectAtTheNthByte) {
    RecordingChip chip;
    CFirmwareEngine engine(chip, Parsed({"disconnect@2"}));
    EXPECT_THAT(Send(engine, {0x00}), ElementsAre(A5));
    EXPECT_FALSE(engine.Disconnected());
    EXPECT_THAT(Send(engine, {0x00, 0x00}), IsEmpty());
    EXPECT_TRUE(engine.Disconnected());
}

TEST(FaultSocket, NoChipReadsZeroAndNeverReachesTheModel) {
    RecordingChip chip;
    CFirmwareEngine engine(chip, Parsed({"nochip"}));
    EXPECT_THAT(Send(engine, {0x03}), ElementsAre(A5));
    EXPECT_TRUE(engine.Powered());
    EXPECT_THAT(Send(engine, {0x13, 0x04}), ElementsAre(A5, 0x00, 0x00));
    EXPECT_THAT(Send(engine, {0x14, 0x04, 0x01}), ElementsAre(A5, A5, 0x00, 0x00));
    EXPECT_THAT(Send(engine, {0x24, 0x01, 0x09}), ElementsAre(A5, A5, 0x00));
    EXPECT_THAT(Send(engine, {0x33}), ElementsAre(A5, 0x00, 0x00));
    EXPECT_TRUE(chip.calls.empty());
}

TEST(FaultSocket, EepromThatStaysBusy) {
    RecordingChip chip;
    CFirmwareEngine engine(chip, Parsed({"eebusy"}));
    Send(engine, {0x03, 0x27, 0x00, 0x00, 0x11, 0x29});
    for (int poll = 0; poll < 10; ++poll) {
        EXPECT_THAT(Send(engine, {0x2A}), ElementsAre(A5, 0x02));
    }
}

TEST(FaultSocket, StuckCellMakesProgrammingFail) {
    auto programmer = std::make_unique<CVirtualProgrammer>(std::make_unique<BlankMidrangeChip>(),
                                                           Parsed({"stuck:program:1"}));
    Bytes out;
    const Bytes session = {0x03, 0x17, 0x02, 0x08, 0x00, 0xFF, 0x04, 0x03,
                           0x01, 0x18, 0x02, 0x00, 0x00, 0x00, 0x00};
    EXPECT_TRUE(programmer->Transfer(session.data(), session.size(), out));
    // Word 0 programs; word 1 stays 0x3FFF through three attempts.
    EXPECT_THAT(out, ElementsAre(A5, A5, A5, A5, A5, A5, 0x5A));
    std::uint32_t word = 0;
    ASSERT_TRUE(programmer->Chip().Peek(Space::Program, 1, word));
    EXPECT_EQ(word, 0x3FFFu);
    EXPECT_EQ(programmer->Engine().Statistics().programRetries, 2u);
}

TEST(FaultSocket, UnknownChipNamesGiveNoModel) {
    EXPECT_NE(CreateChip("blank14"), nullptr);
    EXPECT_EQ(CreateChip("Blank14")->Name(), "BLANK14");
    EXPECT_NE(CreateChip("pic16f84a"), nullptr);
    EXPECT_EQ(CreateChip("blank15"), nullptr);
    EXPECT_EQ(CreateChip(""), nullptr);
}

TEST(FaultSocket, NullChipIsAnEmptySocket) {
    CVirtualProgrammer programmer(nullptr);
    Bytes out;
    const Bytes session = {0x03, 0x13, 0x04};
    EXPECT_TRUE(programmer.Transfer(session.data(), session.size(), out));
    EXPECT_THAT(out, ElementsAre(A5, A5, 0x00, 0x00));
    EXPECT_TRUE(programmer.Engine().Faults().noChip);
}

}  // namespace
}  // namespace tenlo::sim
