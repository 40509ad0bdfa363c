#include "sim/firmware_engine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "sim/blank_chip.h"
#include "sim/recording_chip.h"

namespace tenlo::sim {
namespace {

using testing::Bytes;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using testing::RecordingChip;
using testing::Send;

constexpr std::uint8_t A5 = 0xA5;

// One host byte and exactly what the firmware answers right after it.
struct Step {
    std::uint8_t in;
    Bytes out;
};
struct Exchange {
    const char* name;
    std::vector<Step> steps;
};

// The wire of every command, byte by byte: an answer appears only once a frame is complete,
// raw bytes get none, and streamed bytes follow their request at once.
const std::vector<Exchange>& CommandTable() {
    static const std::vector<Exchange> table = {
        {"Ping", {{0x00, {A5}}}},
        {"Wait", {{0x01, {A5}}, {0x07, {A5}}}},
        {"GetVersion", {{0x02, {A5, 0x01, 0x00, 0x03, 0x00}}}},
        {"PowerOnVddFirst", {{0x03, {A5}}}},
        {"PowerOffVppFirst", {{0x04, {A5}}}},
        {"PowerOnVppFirst", {{0x05, {A5}}}},
        {"PowerOffVddFirst", {{0x06, {A5}}}},
        {"EnterEicsp", {{0x07, {A5}}}},
        {"ExitEicsp", {{0x08, {A5}}}},
        {"SetOption", {{0x0A, {A5}}, {0x08, {A5}}}},
        {"IcspCommand", {{0x10, {A5}}, {0x06, {A5}}}},
        {"IcspCommandRepeat", {{0x11, {A5}}, {0x06, {}}, {0x03, {A5}}}},
        {"IcspLoad", {{0x12, {A5}}, {0x02, {}}, {0x34, {}}, {0x12, {A5}}}},
        {"IcspRead", {{0x13, {A5}}, {0x04, {0x34, 0x12}}}},
        {"IcspReadMulti", {{0x14, {A5}}, {0x04, {}}, {0x02, {A5, 0x34, 0x12, 0x34, 0x12}}}},
        {"IcspCommandWait", {{0x15, {A5}}, {0x08, {}}, {100, {A5}}}},
        {"IcspTimedProgram", {{0x16, {A5}}, {0x18, {}}, {0x0A, {}}, {0x05, {A5}}}},
        {"SetWriteSequence",
         {{0x17, {A5}},
          {0x02, {}},
          {0x08, {}},
          {0x05, {}},
          {0xFF, {}},
          {0x04, {}},
          {0x03, {}},
          {0x01, {A5}}}},
        {"ProgramWords", {{0x18, {A5}}, {0x00, {A5}}}},  // no words
        {"LoadWords",
         {{0x19, {A5}}, {0x02, {A5}}, {0x11, {}}, {0x22, {A5}}, {0x33, {}}, {0x00, {A5}}}},
        {"Pic18Send", {{0x20, {A5}}, {0x01, {A5}}, {0x00, {}}, {0xA6, {}}, {0x8E, {A5}}}},
        {"Pic18SendPayloads",
         {{0x21, {A5}},
          {0x02, {}},
          {0x00, {A5}},
          {0xA6, {}},
          {0x8E, {A5}},
          {0xA6, {}},
          {0x8C, {A5}}}},
        {"Pic18ProgramHold", {{0x22, {A5}}, {0x0A, {A5}}, {0x00, {}}, {0x00, {}}, {0x00, {A5}}}},
        {"Pic18EraseHold", {{0x23, {A5}}, {0x32, {A5}}, {0x00, {}}, {0x00, {}}, {0x00, {A5}}}},
        {"Pic18Receive", {{0x24, {A5}}, {0x03, {}}, {0x09, {A5, 0x10, 0x11, 0x12}}}},
        {"Pic18SetTablePointer", {{0x25, {A5}}, {0x04, {}}, {0x00, {}}, {0x3C, {A5}}}},
        {"Pic18SetEeAddress8", {{0x26, {A5}}, {0x10, {}}, {0x55, {A5}}}},
        {"Pic18SetEeAddress16", {{0x27, {A5}}, {0x10, {}}, {0x01, {}}, {0x55, {A5}}}},
        {"Pic18EeStartA", {{0x28, {A5}}}},
        {"Pic18EeStartB", {{0x29, {A5}}}},
        {"Pic18EeStatus", {{0x2A, {A5, 0x00}}}},
        {"Pic18EeRead", {{0x2B, {A5}}, {0x10, {}}, {0x00, {0x4A}}}},
        {"Pic18EeEnd", {{0x2C, {A5}}}},
        {"DsSix", {{0x30, {A5}}, {0x01, {A5}}, {0x00, {}}, {0x01, {}}, {0x04, {A5}}}},
        {"DsRegOut", {{0x31, {A5, 0xEF, 0xBE}}}},
        {"DsReadProgram4",
         {{0x32, {A5, 0x56, 0x34, 0x12, 0xAB, 0xEF, 0xCD, 0x03, 0x02, 0x01, 0xFE, 0xBA, 0xDC}}}},
        {"DsReadWord", {{0x33, {A5, 0xA5, 0x5A}}}},
        {"DsReadData8", {{0x34, {A5, 0x22, 0x11, 0x44, 0x33, 0x66, 0x55, 0x88, 0x77}}}},
        {"DsWriteProgram4",
         {{0x35, {A5}},
          {1, {}},
          {2, {}},
          {3, {}},
          {4, {}},
          {5, {}},
          {6, {}},
          {7, {}},
          {8, {}},
          {9, {}},
          {10, {}},
          {11, {}},
          {12, {A5}}}},
        {"DsWriteConfig", {{0x36, {A5}}, {0x1F, {}}, {0xC7, {A5}}}},
        {"DsWriteData8",
         {{0x37, {A5}}, {1, {}}, {2, {}}, {3, {}}, {4, {}}, {5, {}}, {6, {}}, {7, {}}, {8, {A5}}}},
        {"DsCommitWrite", {{0x38, {A5}}}},
        {"DsBeginProgramRow", {{0x39, {A5}}, {0x00, {}}, {0x40, {}}, {0x01, {A5}}}},
        {"DsBeginDataRow", {{0x3A, {A5}}, {0x7F, {}}, {0x00, {}}, {0xFC, {A5}}}},
    };
    return table;
}

TEST(FirmwareEngineWire, EveryCommandAnswersExactlyAtItsFrameEnds) {
    for (const Exchange& exchange : CommandTable()) {
        RecordingChip chip;
        CFirmwareEngine engine(chip);
        Bytes powerUp;
        engine.Feed(0x03, powerUp);
        ASSERT_THAT(powerUp, ElementsAre(A5));
        for (std::size_t i = 0; i < exchange.steps.size(); ++i) {
            const Step& step = exchange.steps[i];
            Bytes out;
            engine.Feed(step.in, out);
            EXPECT_THAT(out, ElementsAreArray(step.out)) << exchange.name << " byte " << i;
        }
        EXPECT_TRUE(engine.Idle()) << exchange.name;
        // Back at the command level: the next byte is a command again.
        EXPECT_THAT(Send(engine, {0x00}), ElementsAre(A5)) << exchange.name;
    }
}

TEST(FirmwareEngineWire, TableCoversEveryKnownCodeByItsName) {
    std::vector<bool> covered(256, false);
    for (const Exchange& exchange : CommandTable()) {
        const std::uint8_t code = exchange.steps.front().in;
        covered[code] = true;
        ASSERT_NE(CFirmwareEngine::CommandName(code), nullptr) << exchange.name;
        EXPECT_STREQ(CFirmwareEngine::CommandName(code), exchange.name);
    }
    EXPECT_EQ(CFirmwareEngine::CommandName(0x09), nullptr);
    for (int code = 0; code < 256; ++code) {
        EXPECT_EQ(covered[code], CFirmwareEngine::IsKnownCommand(static_cast<std::uint8_t>(code)))
            << "code " << code;
    }
}

TEST(FirmwareEngineWire, UnknownCodesAreDroppedUnanswered) {
    RecordingChip chip;
    CFirmwareEngine engine(chip);
    for (std::uint8_t code : {0x09, 0x0B, 0x0F, 0x1A, 0x1F, 0x2D, 0x2F, 0x3B, 0x80, 0xFF}) {
        EXPECT_TRUE(Send(engine, {code}).empty()) << int(code);
        EXPECT_TRUE(engine.Idle());
    }
    EXPECT_EQ(engine.Statistics().droppedCodes, 10u);
    EXPECT_THAT(Send(engine, {0x00}), ElementsAre(A5));
}

TEST(FirmwareEngineState, PowerVersionOptionAndWaits) {
    RecordingChip chip;
    CFirmwareEngine engine(chip);
    EXPECT_FALSE(engine.Powered());
    Send(engine, {0x05});
    EXPECT_TRUE(engine.Powered());
    EXPECT_TRUE(engine.VppFirst());
    Send(engine, {0x06});
    EXPECT_FALSE(engine.Powered());
    Send(engine, {0x03});
    EXPECT_TRUE(engine.Powered());
    EXPECT_FALSE(engine.VppFirst());
    Send(engine, {0x04});
    EXPECT_FALSE(engine.Powered());
    EXPECT_THAT(chip.calls, ElementsAre("PowerOn vpp", "PowerOff", "PowerOn vdd", "PowerOff"));

    Send(engine, {0x0A, 0x0F, 0x07});
    EXPECT_EQ(engine.Option(), 0x0F);
    EXPECT_TRUE(engine.Eicsp());
    Send(engine, {0x08, 0x01, 60});
    EXPECT_FALSE(engine.Eicsp());
    EXPECT_EQ(engine.LastWait(), 60);
    Send(engine, {0x23, 50, 0, 0, 0});
    EXPECT_EQ(engine.LastHold(), 50);

    engine.SetVersion({0x01, 0x02, 0x03, 0x00});
    EXPECT_THAT(Send(engine, {0x02}), ElementsAre(A5, 0x01, 0x02, 0x03, 0x00));
    EXPECT_EQ(engine.CommandCount(0x02), 1u);
    EXPECT_EQ(engine.CommandCount(0x03), 1u);
}

TEST(FirmwareEngineState, WriteSequenceIsStoredInWireOrder) {
    RecordingChip chip;
    CFirmwareEngine engine(chip);
    EXPECT_FALSE(engine.HasWriteSequence());
    // load, begin, wait, end, read, retries, flag
    Send(engine, {0x17, 0x03, 0x18, 0x06, 0x0A, 0x05, 0x04, 0x00});
    ASSERT_TRUE(engine.HasWriteSequence());
    const CFirmwareEngine::WriteSequence expected{0x03, 0x18, 0x06, 0x0A, 0x05, 0x04, 0x00};
    EXPECT_EQ(engine.Sequence(), expected);
}

TEST(FirmwareEngineChip, UnpoweredChipHearsNothingAndReadsZero) {
    RecordingChip chip;
    CFirmwareEngine engine(chip);
    EXPECT_THAT(Send(engine, {0x10, 0x06, 0x12, 0x02, 0xFF, 0x3F}), ElementsAre(A5, A5, A5, A5));
    EXPECT_THAT(Send(engine, {0x13, 0x04}), ElementsAre(A5, 0x00, 0x00));
    EXPECT_THAT(Send(engine, {0x24, 2, 9}), ElementsAre(A5, A5, 0x00, 0x00));
    EXPECT_THAT(Send(engine, {0x31}), ElementsAre(A5, 0x00, 0x00));
    EXPECT_TRUE(chip.calls.empty());
}

TEST(FirmwareEngineChip, IcspCommandsReachTheChipAsTheTableSays) {
    RecordingChip chip;
    CFirmwareEngine engine(chip);
    Send(engine, {0x03});
    chip.calls.clear();

    Send(engine, {0x11, 0x06, 0x03});                    // repeat 3 times
    Send(engine, {0x11, 0x06, 0x00});                    // count 0: nothing
    Send(engine, {0x12, 0x02, 0xFF, 0xFF});              // bits 14-15 dropped
    Send(engine, {0x14, 0x04, 0x02});                    // read, increment after each word
    Send(engine, {0x16, 0x18, 0x0A, 0x05});              // begin, end
    Send(engine, {0x16, 0x08, 0xFF, 0x05});              // no end command
    Send(engine, {0x19, 0x02, 0x01, 0x00, 0x02, 0x00});  // no increment after the last
    EXPECT_THAT(chip.calls, ElementsAre("Cmd 06", "Cmd 06", "Cmd 06", "Load 02 3FFF", "Read 04",
                                        "Cmd 06", "Read 04", "Cmd 06", "Cmd 18", "Cmd 0A", "Cmd 08",
                                        "Load 02 0001", "Cmd 06", "Load 02 0002"));
}

TEST(FirmwareEngineChip, Pic18CommandsReachTheHooks) {
    RecordingChip chip;
    CFirmwareEngine engine(chip);
    Send(engine, {0x03});
    chip.calls.clear();

    Send(engine, {0x20, 0x02, 0xFC, 0x80, 0x00, 0x00, 0x00, 0x00});  // command kept to 4 bits
    Send(engine, {0x21, 0x02, 0x00, 0xA6, 0x8E, 0xA6, 0x8C});
    Send(engine, {0x22, 10, 0x00, 0x00, 0x00});
    Send(engine, {0x23, 50, 0x0F, 0x34, 0x12});
    Send(engine, {0x25, 0x06, 0x00, 0x3C});
    Send(engine, {0x26, 0x10, 0x55});
    Send(engine, {0x27, 0x34, 0x01, 0x66});
    Send(engine, {0x28, 0x29, 0x2A, 0x2C});
    EXPECT_THAT(Send(engine, {0x2B, 0x10, 0x00}), ElementsAre(A5, 0x4A));
    EXPECT_THAT(chip.calls, ElementsAre("P18 C 0080", "P18 0 0000", "P18 0 8EA6", "P18 0 8CA6",
                                        "P18Prog 0 0000 10", "P18Erase F 1234 50", "TBLPTR 3C0006",
                                        "EeAddr 0010 55", "EeAddr 0134 66", "EeStart A",
                                        "EeStart B", "EeStatus", "EeEnd", "EeRead 0010"));
}

TEST(FirmwareEngineChip, DsPicCommandsReachTheHooks) {
    RecordingChip chip;
    CFirmwareEngine engine(chip);
    Send(engine, {0x03});
    chip.calls.clear();

    Send(engine, {0x30, 0x02, 0x00, 0x01, 0x04, 0x90, 0x01, 0x88});
    // The packed block of 0x123456, 0xABCDEF, 0x010203, 0xFEDCBA.
    Send(engine, {0x35, 0x56, 0x34, 0x12, 0xAB, 0xEF, 0xCD, 0x03, 0x02, 0x01, 0xFE, 0xBA, 0xDC});
    Send(engine, {0x36, 0x1F, 0xC7});
    Send(engine, {0x37, 0x22, 0x11, 0x44, 0x33, 0x66, 0x55, 0x88, 0x77});
    Send(engine, {0x39, 0x00, 0x40, 0x01});  // upper byte first, then low, middle
    Send(engine, {0x3A, 0x7F, 0x00, 0xFC});
    Send(engine, {0x38});
    EXPECT_THAT(chip.calls,
                ElementsAre("SIX 040100", "SIX 880190", "DsWrite4 123456 ABCDEF 010203 FEDCBA",
                            "DsConfig C71F", "DsData4 1122 3344 5566 7788", "DsProgRow 000140",
                            "DsDataRow 7FFC00", "DsCommit"));
}

// 0x18 against a chip whose reads are fixed: the firmware loads, begins, ends and reads back
// until the word verifies or the attempts run out.
TEST(FirmwareEngineProgram, RetriesUpToTheStoredCountThenAnswers5A) {
    RecordingChip chip;
    chip.readValue = 0x0000;
    CFirmwareEngine engine(chip);
    Send(engine, {0x03});
    Send(engine, {0x17, 0x02, 0x18, 0x05, 0x0A, 0x04, 0x03, 0x01});  // 3 attempts
    chip.calls.clear();
    EXPECT_THAT(Send(engine, {0x18, 0x02, 0x34, 0x12}), ElementsAre(A5, A5, 0x5A));
    EXPECT_THAT(chip.calls,
                ElementsAre("Load 02 1234", "Cmd 18", "Cmd 0A", "Read 04", "Load 02 1234", "Cmd 18",
                            "Cmd 0A", "Read 04", "Load 02 1234", "Cmd 18", "Cmd 0A", "Read 04"));
    EXPECT_EQ(engine.Statistics().programFailures, 1u);
    EXPECT_EQ(engine.Statistics().programRetries, 2u);
    EXPECT_EQ(engine.LastWait(), 0x05);
    // The command stopped: the second word's bytes are read as commands now.
    EXPECT_TRUE(engine.Idle());
}

TEST(FirmwareEngineProgram, VerifiedWordsIncrementAndAnswerA5) {
    RecordingChip chip;
    CFirmwareEngine engine(chip);
    Send(engine, {0x03});
    Send(engine, {0x17, 0x02, 0x08, 0x05, 0xFF, 0x04, 0x00, 0x01});  // retries 0: one attempt
    chip.calls.clear();
    // 0x1234 reads back; bits 14 and 15 of the frame are not compared.
    EXPECT_THAT(Send(engine, {0x18, 0x02, 0x34, 0x12, 0x34, 0xD2}), ElementsAre(A5, A5, A5, A5));
    EXPECT_THAT(chip.calls, ElementsAre("Load 02 1234", "Cmd 08", "Read 04", "Cmd 06",
                                        "Load 02 1234", "Cmd 08", "Read 04", "Cmd 06"));
    EXPECT_EQ(engine.Statistics().wordsProgrammed, 2u);
}

TEST(FirmwareEngineProgram, DataBytesCompareUnderFF) {
    RecordingChip chip;
    chip.readValue = 0x3F12;  // a chip that leaves junk above the byte
    CFirmwareEngine engine(chip);
    Send(engine, {0x03});
    Send(engine, {0x17, 0x03, 0x08, 0x05, 0xFF, 0x05, 0x01, 0x00});
    EXPECT_THAT(Send(engine, {0x18, 0x01, 0x12, 0x00}), ElementsAre(A5, A5, A5));
    // The same read fails a word compare.
    Send(engine, {0x17, 0x02, 0x08, 0x05, 0xFF, 0x04, 0x01, 0x01});
    EXPECT_THAT(Send(engine, {0x18, 0x01, 0x12, 0x00}), ElementsAre(A5, A5, 0x5A));
}

// The blank chip through the engine: the firmware's view of a real programming session.
TEST(FirmwareEngineProgram, ProgramsAndReadsBackTheBlankChip) {
    BlankMidrangeChip chip;
    CFirmwareEngine engine(chip);
    Send(engine, {0x06, 0x0A, 0x08, 0x03});
    Send(engine, {0x17, 0x02, 0x08, 0x05, 0xFF, 0x04, 0x01, 0x01});
    EXPECT_THAT(Send(engine, {0x18, 0x03, 0x01, 0x28, 0x02, 0x30, 0xFF, 0x3F}),
                ElementsAre(A5, A5, A5, A5, A5));
    Send(engine, {0x06, 0x03});  // power cycle: PC back to 0
    EXPECT_THAT(Send(engine, {0x14, 0x04, 0x04}),
                ElementsAre(A5, A5, 0x01, 0x28, 0x02, 0x30, 0xFF, 0x3F, 0xFF, 0x3F));
    // Flash only clears bits without an erase: 0x2801 cannot become 0x0002 AND-free.
    Send(engine, {0x06, 0x03});
    EXPECT_THAT(Send(engine, {0x18, 0x01, 0x02, 0x10}), ElementsAre(A5, A5, 0x5A));
    std::uint32_t word = 0;
    ASSERT_TRUE(chip.Peek(Space::Program, 0, word));
    EXPECT_EQ(word, 0x2801u & 0x1002u);
}

}  // namespace
}  // namespace tenlo::sim
