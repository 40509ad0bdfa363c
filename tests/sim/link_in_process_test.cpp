// The real host protocol layer against the virtual programmer, in virtual time.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <memory>
#include <string>

#include "link/programmer_link.h"
#include "sim/blank_chip.h"
#include "sim/in_process_backend.h"
#include "support/recording_ui.h"

namespace tenlo::sim {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

const std::string kDefinition = ProgrammerPortDefinition(5);

// The host's clock when its pauses come back at once, as the Windows build's did: the same
// time, but a deadline is never waited for.
class SkipsPauses final : public IClock {
  public:
    explicit SkipsPauses(IClock& time) : time_(time) {}
    Duration Now() override { return time_.Now(); }
    void SleepFor(Duration d) override { time_.SleepFor(d); }
    void SleepUntil(Duration) override {}

  private:
    IClock& time_;
};

struct Session {
    explicit Session(FaultPlan faults = {}, bool lineRate = false, bool skipPauses = false) {
        auto owned = std::make_unique<BlankMidrangeChip>();
        chip = owned.get();
        programmer = std::make_shared<CVirtualProgrammer>(std::move(owned), std::move(faults));
        link = std::make_unique<CProgrammerLink>(
            &box, MakeInProcessBackend(programmer, clock, lineRate),
            skipPauses ? static_cast<IClock*>(&skipping) : &clock);
        link->Connect(kDefinition);
    }

    bool PowerUp() {
        return link->PowerOffVddFirst() && link->SetOption(8) && link->PowerOnVddFirst();
    }

    // Virtual time an operation took.
    template <class F>
    IClock::Duration Timed(F&& f) {
        const IClock::Duration start = clock.Now();
        f();
        return clock.Now() - start;
    }

    std::uint64_t LostBytes() {
        return programmer->With(
            [](CFirmwareEngine& engine, IChipModel&) { return engine.Statistics().lostBytes; });
    }

    VirtualClock clock;
    SkipsPauses skipping{clock};
    tenlo::testing::RecordingErrorBox box;
    BlankMidrangeChip* chip = nullptr;
    std::shared_ptr<CVirtualProgrammer> programmer;
    std::unique_ptr<CProgrammerLink> link;
};

FaultPlan Plan(const char* text) {
    FaultPlan plan;
    std::string error;
    EXPECT_TRUE(ParseFault(text, plan, error)) << error;
    return plan;
}

TEST(LinkInProcess, ConnectPingAndVersion) {
    Session s;
    ASSERT_TRUE(s.link->IsConnected());
    EXPECT_TRUE(s.link->Ping());
    std::uint8_t version[4] = {};
    ASSERT_TRUE(s.link->GetVersion(version));
    EXPECT_THAT(version, ElementsAre(0x01, 0x00, 0x03, 0x00));
    const FirmwareVersion decoded = DecodeVersion(version);
    EXPECT_EQ(decoded.major, 256);
    EXPECT_EQ(decoded.minor, 3);
    EXPECT_FALSE(decoded.edition);
    EXPECT_TRUE(s.box.Shown().empty());
}

TEST(LinkInProcess, ProgramsVerifiesAndReadsBackWordsAndBytes) {
    Session s;
    ASSERT_TRUE(s.PowerUp());
    EXPECT_EQ(s.programmer->With([](CFirmwareEngine& e, IChipModel&) { return e.Option(); }), 8);

    const std::array<std::uint16_t, 5> words = {0x2805, 0x0000, 0x3FFF, 0x1234, 0x0A5A};
    ASSERT_TRUE(s.link->SetWriteSequence(2, 8, -1, 4, 3, 5, true));
    ASSERT_TRUE(s.link->ProgramWords(words.data(), static_cast<int>(words.size())));
    ASSERT_TRUE(s.link->PowerOffVddFirst() && s.link->PowerOnVddFirst());
    std::array<std::uint16_t, 5> back{};
    ASSERT_TRUE(s.link->IcspReadWords(4, back.data(), static_cast<int>(back.size())));
    EXPECT_THAT(back, ElementsAreArray(words));
    std::uint16_t one = 0;
    ASSERT_TRUE(s.link->IcspReadWords(4, &one, 0));  // 0x13: the word at PC, no increment
    EXPECT_EQ(one, 0x3FFF);

    const std::array<std::uint8_t, 3> bytes = {0x00, 0x7F, 0xA5};
    ASSERT_TRUE(s.link->PowerOffVddFirst() && s.link->PowerOnVddFirst());
    ASSERT_TRUE(s.link->SetWriteSequence(3, 8, -1, 5, 3, 5, false));
    ASSERT_TRUE(s.link->ProgramBytes(bytes.data(), static_cast<int>(bytes.size())));
    ASSERT_TRUE(s.link->PowerOffVddFirst() && s.link->PowerOnVddFirst());
    std::array<std::uint8_t, 3> dataBack{};
    ASSERT_TRUE(s.link->IcspReadBytes(5, dataBack.data(), static_cast<int>(dataBack.size())));
    EXPECT_THAT(dataBack, ElementsAreArray(bytes));

    const CFirmwareEngine::WriteSequence stored =
        s.programmer->With([](CFirmwareEngine& e, IChipModel&) { return e.Sequence(); });
    EXPECT_EQ(stored, (CFirmwareEngine::WriteSequence{3, 8, 5, 0xFF, 5, 3, 0}));
}

TEST(LinkInProcess, LoadWordsAndChoosingOperationsDriveTheChip) {
    Session s;
    ASSERT_TRUE(s.PowerUp());
    const std::array<std::uint16_t, 2> words = {0x0101, 0x0202};
    ASSERT_TRUE(s.link->LoadWords(words.data(), 2));
    ASSERT_TRUE(s.link->SendIcspCommand(0x08, 0, 0));    // 0x10
    ASSERT_TRUE(s.link->SendIcspCommand(0x06, 3, 0));    // 0x11
    ASSERT_TRUE(s.link->SendIcspCommand(0x06, 2, 100));  // 0x15 twice
    ASSERT_TRUE(s.link->IcspLoad(0x00, 0x3FF0));
    ASSERT_TRUE(s.link->IcspTimedProgram(0x18, 0x0A, 5));
    EXPECT_THAT(s.chip->History(), ElementsAre(0x02, 0x06, 0x02, 0x08, 0x06, 0x06, 0x06, 0x06, 0x06,
                                               0x00, 0x18, 0x0A));
    std::uint32_t value = 0;
    ASSERT_TRUE(s.chip->Peek(Space::Program, 1, value));
    EXPECT_EQ(value, 0x0202u);  // the last loaded latch went to PC 1
    ASSERT_TRUE(s.chip->Peek(Space::Config, 0x2000, value));
    EXPECT_EQ(value, 0x3FF0u);
    EXPECT_EQ(s.programmer->With([](CFirmwareEngine& e, IChipModel&) { return e.LastWait(); }), 5);
}

// Each fault must turn the operation it hits into false, within the one-second time-out.
TEST(LinkInProcessFaults, EveryFaultFailsTheOperationItHits) {
    struct Case {
        const char* fault;
        bool (*operation)(CProgrammerLink&);
    };
    const Case cases[] = {
        {"noack@1", [](CProgrammerLink& l) { return l.Ping(); }},
        {"badack@1=0x5a", [](CProgrammerLink& l) { return l.Ping(); }},
        {"noack@2",  // the argument frame of SetOption
         [](CProgrammerLink& l) { return l.SetOption(8); }},
        {"silence@1", [](CProgrammerLink& l) { return l.PowerOnVddFirst(); }},
        {"silence@2",  // the word of an IcspRead never comes
         [](CProgrammerLink& l) {
             std::uint16_t w = 0;
             return l.IcspRead(4, &w);
         }},
        {"disconnect@1", [](CProgrammerLink& l) { return l.Ping(); }},
        {"disconnect@2",  // the line breaks under the argument frame
         [](CProgrammerLink& l) { return l.SetOption(8); }},
        {"badack@5",  // the third word frame of LoadWords
         [](CProgrammerLink& l) {
             const std::uint16_t words[3] = {1, 2, 3};
             return l.LoadWords(words, 3);
         }},
    };
    for (const Case& c : cases) {
        Session s(Plan(c.fault));
        const IClock::Duration took =
            s.Timed([&] { EXPECT_FALSE(c.operation(*s.link)) << c.fault; });
        EXPECT_LE(took, IClock::Duration(1100ms)) << c.fault;
        EXPECT_TRUE(s.link->IsConnected()) << c.fault;  // no re-synchronisation, port stays open
    }
}

TEST(LinkInProcessFaults, DisconnectedLineFailsEverythingAfter) {
    Session s(Plan("disconnect@2"));
    EXPECT_TRUE(s.link->Ping());
    EXPECT_FALSE(s.link->Ping());
    EXPECT_FALSE(s.link->Ping());
    std::uint16_t word = 0;
    const IClock::Duration took = s.Timed([&] { EXPECT_FALSE(s.link->IcspRead(4, &word)); });
    EXPECT_LT(took, IClock::Duration(1000ms));  // an I/O error, not a time-out
}

TEST(LinkInProcessFaults, EmptySocketAndStuckCellsFailVerifiedWrites) {
    {
        Session s(Plan("nochip"));
        ASSERT_TRUE(s.PowerUp());
        std::array<std::uint16_t, 4> words{};
        words.fill(0x1111);
        ASSERT_TRUE(s.link->IcspReadWords(4, words.data(), 4));
        EXPECT_THAT(words, ElementsAre(0, 0, 0, 0));
        ASSERT_TRUE(s.link->SetWriteSequence(2, 8, -1, 4, 2, 5, true));
        const std::uint16_t word = 0x1234;
        EXPECT_FALSE(s.link->ProgramWords(&word, 1));
    }
    {
        Session s(Plan("stuck:program:2"));
        ASSERT_TRUE(s.PowerUp());
        ASSERT_TRUE(s.link->SetWriteSequence(2, 8, -1, 4, 2, 5, true));
        const std::array<std::uint16_t, 4> words = {1, 2, 3, 4};
        EXPECT_FALSE(s.link->ProgramWords(words.data(), 4));
        EXPECT_EQ(s.programmer->With([](CFirmwareEngine& e, IChipModel&) {
            return e.Statistics().wordsProgrammed;
        }),
                  2u);
    }
}

TEST(LinkInProcessFaults, BusyEepromKeepsItsStatusBit) {
    Session s(Plan("eebusy"));
    ASSERT_TRUE(s.PowerUp());
    ASSERT_TRUE(s.link->Pic18SetEeAddress16(0x0010, 0x55));
    ASSERT_TRUE(s.link->Pic18EeStartB());
    for (int poll = 0; poll < 10; ++poll) {
        std::uint8_t status = 0;
        ASSERT_TRUE(s.link->Pic18EeStatus(&status));
        EXPECT_EQ(status & 0x02, 0x02);
    }
}

TEST(LinkInProcessLineRate, ReadMultiTakesItsWireTime) {
    Session s({}, true);
    ASSERT_TRUE(s.PowerUp());
    std::array<std::uint16_t, 64> words{};
    const IClock::Duration took =
        s.Timed([&] { ASSERT_TRUE(s.link->IcspReadMulti(4, words.data(), 64)); });
    const IClock::Duration byte = ByteTime(kProgrammerBaud);
    // Three framed bytes with their pauses; the answer and the 128 word bytes stream behind
    // the last one while the host still pauses.
    EXPECT_EQ(took, 2ms + byte + 129 * byte);
    EXPECT_THAT(words, ::testing::Each(0x3FFF));
}

// Every operation the link has, framed and raw bytes alike, once over the line. False at the
// first that fails.
bool EveryOperation(CProgrammerLink& link) {
    std::uint8_t bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    std::uint16_t words[4] = {0x3FFF, 0x0123, 0x2805, 0x0000};
    std::uint32_t ds[4] = {0x040000, 0x000000, 0x2ABCD0, 0xEB0300};
    const std::uint8_t pic18[2] = {0x0, 0xD};
    std::uint16_t word = 0;
    std::uint8_t byte = 0;
    return link.PowerOffVddFirst() && link.SetOption(8) && link.PowerOnVddFirst() &&
           link.SetWriteSequence(2, 8, -1, 4, 1, 5, true) && link.ProgramWords(words, 4) &&
           link.ProgramBytes(bytes, 2) && link.LoadWords(words, 4) && link.Ping() && link.Wait(3) &&
           link.GetVersion(bytes) && link.EnterEicsp() && link.ExitEicsp() && link.IcspCommand(6) &&
           link.IcspCommandRepeat(6, 3) && link.IcspLoad(2, 0x1234) && link.IcspRead(4, &word) &&
           link.IcspReadMulti(4, words, 4) && link.IcspCommandWait(8, 5) &&
           link.IcspTimedProgram(0x18, 0x0A, 5) && link.PowerOffVppFirst() &&
           link.PowerOnVppFirst() && link.Pic18Send(pic18, words, 2) &&
           link.Pic18SendPayloads(0xD, words, 3) && link.Pic18ProgramHold(0xF, 0x1234, 5) &&
           link.Pic18EraseHold(0x0, 0x0000, 5) && link.Pic18Receive(0x9, bytes, 4) &&
           link.Pic18SetTablePointer(0x300000) && link.Pic18SetEeAddress8(0x10, 0x55) &&
           link.Pic18SetEeAddress16(0x0110, 0x55) && link.Pic18EeStartA() && link.Pic18EeStartB() &&
           link.Pic18EeStatus(&byte) && link.Pic18EeRead(0x0010, &byte) && link.Pic18EeEnd() &&
           link.DsSix(ds, 4) && link.DsRegOut(&word) && link.DsReadProgram4(ds) &&
           link.DsReadWord(&word) && link.DsReadData8(bytes) && link.DsBeginProgramRow(0x000100) &&
           link.DsWriteProgram4(ds) && link.DsBeginDataRow(0x7FFC00) && link.DsWriteData8(bytes) &&
           link.DsWriteConfig(0xC100) && link.DsCommitWrite() && link.PowerOffVddFirst();
}

TEST(LinkInProcessLineRate, TheFirmwareTakesEveryByteOfAHostThatPauses) {
    Session s({}, true);
    EXPECT_TRUE(EveryOperation(*s.link)) << DescribeLinkFailure(s.link->FirstFailure());
    EXPECT_EQ(s.LostBytes(), 0u);
}

TEST(LinkInProcessLineRate, AHostThatSkipsThePauseLosesBytesAndFails) {
    Session s({}, true, true);
    // A lone one-byte frame has nothing before it to collide with...
    EXPECT_TRUE(s.link->Ping());
    // ...but the next byte comes 2 byte times after it, while the firmware is still busy.
    EXPECT_FALSE(s.link->Ping());
    EXPECT_EQ(s.LostBytes(), 1u);
    EXPECT_FALSE(EveryOperation(*s.link));
    EXPECT_GT(s.LostBytes(), 1u);

    // The same host without line-rate timing: the firmware is as fast as the host.
    Session fast({}, false, true);
    EXPECT_TRUE(EveryOperation(*fast.link)) << DescribeLinkFailure(fast.link->FirstFailure());
}

}  // namespace
}  // namespace tenlo::sim
