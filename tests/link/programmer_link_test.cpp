#include "link/programmer_link.h"

#include <functional>

#include <gtest/gtest.h>

#include "link/scripted_peer.h"

namespace tenlo {
namespace {

using test::Script;

class ProgrammerLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        link_.Connect(ProgrammerPortDefinition(5));
        ASSERT_TRUE(link_.IsConnected());
        peer_ = backend_->state;
        peer_->log.clear();
        clock_.log = &peer_->log;
    }

    // Plays the script's replies and checks the host did exactly what it lists.
    void Expect(const Script& script, const std::function<bool()>& op, bool result = true) {
        peer_->replies = script.replies;
        EXPECT_EQ(op(), result);
        EXPECT_EQ(peer_->log, script.expected);
        EXPECT_TRUE(peer_->replies.empty()) << "replies left unread";
    }

    std::shared_ptr<test::ScriptedBackend> backend_ = std::make_shared<test::ScriptedBackend>();
    test::LoggingClock clock_;
    CProgrammerLink link_{nullptr, backend_, &clock_};
    std::shared_ptr<test::PeerState> peer_;
};

TEST_F(ProgrammerLinkTest, CommandsWithoutArguments) {
    const std::pair<std::uint8_t, bool (CProgrammerLink::*)()> ops[] = {
        {0x00, &CProgrammerLink::Ping},
        {0x03, &CProgrammerLink::PowerOnVddFirst},
        {0x04, &CProgrammerLink::PowerOffVppFirst},
        {0x05, &CProgrammerLink::PowerOnVppFirst},
        {0x06, &CProgrammerLink::PowerOffVddFirst},
        {0x07, &CProgrammerLink::EnterEicsp},
        {0x08, &CProgrammerLink::ExitEicsp},
        {0x28, &CProgrammerLink::Pic18EeStartA},
        {0x29, &CProgrammerLink::Pic18EeStartB},
        {0x2C, &CProgrammerLink::Pic18EeEnd},
        {0x38, &CProgrammerLink::DsCommitWrite},
    };
    for (const auto& [code, op] : ops) {
        SCOPED_TRACE(test::Hex(code));
        peer_->log.clear();
        Expect(Script().Frame({code}), [&, op = op] { return (link_.*op)(); });
    }
}

TEST_F(ProgrammerLinkTest, FramedArguments) {
    Expect(Script().Frame({0x01}).Frame({7}), [&] { return link_.Wait(7); });
    peer_->log.clear();
    Expect(Script().Frame({0x0A}).Frame({8}), [&] { return link_.SetOption(8); });
    peer_->log.clear();
    Expect(Script().Frame({0x10}).Frame({6}), [&] { return link_.IcspCommand(6); });
    peer_->log.clear();
    Expect(Script().Frame({0x11}).Frame({6, 3}), [&] { return link_.IcspCommandRepeat(6, 3); });
    peer_->log.clear();
    Expect(Script().Frame({0x15}).Frame({8, 100}), [&] { return link_.IcspCommandWait(8, 100); });
    peer_->log.clear();
    Expect(Script().Frame({0x12}).Frame({2, 0xFF, 0x3F}),
           [&] { return link_.IcspLoad(2, 0x3FFF); });
    peer_->log.clear();
    Expect(Script().Frame({0x16}).Frame({0x18, 0x0E, 50}),
           [&] { return link_.IcspTimedProgram(0x18, 0x0E, 50); });
    peer_->log.clear();
    Expect(Script().Frame({0x25}).Frame({0x56, 0x34, 0x12}),
           [&] { return link_.Pic18SetTablePointer(0x00123456); });
    peer_->log.clear();
    Expect(Script().Frame({0x26}).Frame({0x10, 0x20}),
           [&] { return link_.Pic18SetEeAddress8(0x10, 0x20); });
    peer_->log.clear();
    Expect(Script().Frame({0x27}).Frame({0x34, 0x12, 0x56}),
           [&] { return link_.Pic18SetEeAddress16(0x1234, 0x56); });
    peer_->log.clear();
    Expect(Script().Frame({0x22}).Frame({9}).Frame({0x0F, 0xCD, 0xAB}),
           [&] { return link_.Pic18ProgramHold(0x0F, 0xABCD, 9); });
    peer_->log.clear();
    Expect(Script().Frame({0x23}).Frame({4}).Frame({0x00, 0x01, 0x02}),
           [&] { return link_.Pic18EraseHold(0x00, 0x0201, 4); });
}

TEST_F(ProgrammerLinkTest, WriteSequenceGoesOutInWireOrder) {
    // Arguments: load, begin, end, read, retries, wait, flag.
    Expect(Script().Frame({0x17}).Frame({2, 8, 40, 0x17, 4, 3, 1}),
           [&] { return link_.SetWriteSequence(2, 8, 0x17, 4, 3, 40, true); });
    peer_->log.clear();
    Expect(Script().Frame({0x17}).Frame({3, 0x18, 10, 0xFF, 5, 1, 0}),
           [&] { return link_.SetWriteSequence(3, 0x18, -1, 5, 1, 10, false); });
}

TEST_F(ProgrammerLinkTest, RawReads) {
    std::uint8_t version[4] = {};
    Expect(Script().Frame({0x02}).In({1, 2, 3, 0}), [&] { return link_.GetVersion(version); });
    const FirmwareVersion v = DecodeVersion(version);
    EXPECT_EQ(v.major, 258);
    EXPECT_EQ(v.minor, 3);
    EXPECT_FALSE(v.edition);
    const std::uint8_t edition[4] = {0, 1, 0, 7};
    EXPECT_TRUE(DecodeVersion(edition).edition);

    std::uint16_t word = 0;
    peer_->log.clear();
    Expect(Script().Frame({0x13}).Out({4}).In({0x34, 0x12}),
           [&] { return link_.IcspRead(4, &word); });
    EXPECT_EQ(word, 0x1234);

    std::uint8_t status = 0;
    peer_->log.clear();
    Expect(Script().Frame({0x2A}).In({0x02}), [&] { return link_.Pic18EeStatus(&status); });
    EXPECT_EQ(status, 0x02);

    // The data byte is taken as it comes, even when it looks like an acknowledgement.
    std::uint8_t ee = 0;
    peer_->log.clear();
    Expect(Script().Frame({0x2B}).Out({0x34, 0x12}).In({0xA5}),
           [&] { return link_.Pic18EeRead(0x1234, &ee); });
    EXPECT_EQ(ee, 0xA5);

    peer_->log.clear();
    Expect(Script().Frame({0x31}).In({0xCD, 0xAB}), [&] { return link_.DsRegOut(&word); });
    EXPECT_EQ(word, 0xABCD);
    peer_->log.clear();
    Expect(Script().Frame({0x33}).In({0x01, 0x80}), [&] { return link_.DsReadWord(&word); });
    EXPECT_EQ(word, 0x8001);

    std::uint8_t data[8] = {};
    peer_->log.clear();
    Expect(Script().Frame({0x34}).In({1, 2, 3, 4, 5, 6, 7, 8}),
           [&] { return link_.DsReadData8(data); });
    EXPECT_EQ(data[0], 1);
    EXPECT_EQ(data[7], 8);

    std::uint8_t bytes[3] = {};
    peer_->log.clear();
    Expect(Script().Frame({0x24}).Frame({3, 9}).In({0xAA, 0xBB, 0xCC}),
           [&] { return link_.Pic18Receive(9, bytes, 3); });
    EXPECT_EQ(bytes[2], 0xCC);
}

TEST_F(ProgrammerLinkTest, DsPackedBlocks) {
    const std::uint32_t words[4] = {0x123456, 0xABCDEF, 0x0789AB, 0xFEDCBA};
    const std::uint8_t packed[12] = {0x56, 0x34, 0x12, 0xAB, 0xEF, 0xCD,
                                     0xAB, 0x89, 0x07, 0xFE, 0xBA, 0xDC};
    std::uint8_t bytes[12] = {};
    PackDsBlock(words, bytes);
    EXPECT_TRUE(std::equal(bytes, bytes + 12, packed));

    std::uint32_t back[4] = {};
    Expect(Script().Frame({0x32}).In(
               {0x56, 0x34, 0x12, 0xAB, 0xEF, 0xCD, 0xAB, 0x89, 0x07, 0xFE, 0xBA, 0xDC}),
           [&] { return link_.DsReadProgram4(back); });
    EXPECT_TRUE(std::equal(back, back + 4, words));

    peer_->log.clear();
    Expect(Script()
               .Frame({0x35})
               .Out({0x56, 0x34, 0x12, 0xAB, 0xEF, 0xCD, 0xAB, 0x89, 0x07, 0xFE, 0xBA, 0xDC})
               .In({0xA5}),
           [&] { return link_.DsWriteProgram4(words); });
    peer_->log.clear();
    Expect(Script().Frame({0x36}).Out({0x34, 0x12}).In({0xA5}),
           [&] { return link_.DsWriteConfig(0x1234); });
    const std::uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    peer_->log.clear();
    Expect(Script().Frame({0x37}).Out({1, 2, 3, 4, 5, 6, 7, 8}).In({0xA5}),
           [&] { return link_.DsWriteData8(data); });
    peer_->log.clear();
    Expect(Script().Frame({0x39}).Out({0x12, 0x56, 0x34}).In({0xA5}),
           [&] { return link_.DsBeginProgramRow(0x123456); });
    peer_->log.clear();
    Expect(Script().Frame({0x3A}).Out({0x7F, 0x00, 0xFC}).In({0xA5}),
           [&] { return link_.DsBeginDataRow(0x7FFC00); });
    // A block the firmware does not acknowledge fails.
    peer_->log.clear();
    Expect(
        Script().Frame({0x36}).Out({0x00, 0x00}).In({0x00}), [&] { return link_.DsWriteConfig(0); },
        false);
}

TEST_F(ProgrammerLinkTest, ArrayCommands) {
    const std::uint16_t words[2] = {0x3FFF, 0x0123};
    Expect(Script().Frame({0x18}).Frame({2}).Frame({0xFF, 0x3F}).Frame({0x23, 0x01}),
           [&] { return link_.ProgramWords(words, 2); });
    peer_->log.clear();
    Expect(Script().Frame({0x18}).Frame({0}), [&] { return link_.ProgramWords(words, 0); });
    const std::uint8_t bytes[2] = {0x12, 0xFE};
    peer_->log.clear();
    Expect(Script().Frame({0x18}).Frame({2}).Frame({0x12, 0x00}).Frame({0xFE, 0x00}),
           [&] { return link_.ProgramBytes(bytes, 2); });
    peer_->log.clear();
    Expect(Script().Frame({0x19}).Frame({2}).Frame({0xFF, 0x3F}).Frame({0x23, 0x01}),
           [&] { return link_.LoadWords(words, 2); });
    const std::uint8_t commands[2] = {0x00, 0x0D};
    peer_->log.clear();
    Expect(Script().Frame({0x20}).Frame({2}).Frame({0x00, 0xFF, 0x3F}).Frame({0x0D, 0x23, 0x01}),
           [&] { return link_.Pic18Send(commands, words, 2); });
    peer_->log.clear();
    Expect(Script().Frame({0x21}).Frame({2, 0x0D}).Frame({0xFF, 0x3F}).Frame({0x23, 0x01}),
           [&] { return link_.Pic18SendPayloads(0x0D, words, 2); });
    const std::uint32_t six[2] = {0x040200, 0x2FFFF6};
    peer_->log.clear();
    Expect(Script().Frame({0x30}).Frame({2}).Frame({0x00, 0x02, 0x04}).Frame({0xF6, 0xFF, 0x2F}),
           [&] { return link_.DsSix(six, 2); });
}

TEST_F(ProgrammerLinkTest, SendIcspCommandChoosesTheForm) {
    Expect(Script().Frame({0x10}).Frame({6}), [&] { return link_.SendIcspCommand(6, 0, 0); });
    peer_->log.clear();
    Expect(Script().Frame({0x11}).Frame({6, 3}), [&] { return link_.SendIcspCommand(6, 3, 0); });
    peer_->log.clear();
    Expect(Script().Frame({0x15}).Frame({8, 100}).Frame({0x15}).Frame({8, 100}),
           [&] { return link_.SendIcspCommand(8, 2, 100); });
    // Beyond one count byte the chip must still see exactly count commands.
    peer_->log.clear();
    Expect(Script().Frame({0x11}).Frame({6, 255}).Frame({0x10}).Frame({6}),
           [&] { return link_.SendIcspCommand(6, 256, 0); });
    peer_->log.clear();
    Script skip;  // 1023 increments: four full repeats and one of 3
    for (int i = 0; i < 4; ++i) {
        skip.Frame({0x11}).Frame({6, 255});
    }
    Expect(skip.Frame({0x11}).Frame({6, 3}), [&] { return link_.SendIcspCommand(6, 0x3FF, 0); });
}

TEST_F(ProgrammerLinkTest, IcspReadWordsAndBytes) {
    std::uint16_t words[2] = {};
    Expect(Script().Frame({0x13}).Out({4}).In({0xFF, 0x3F}),
           [&] { return link_.IcspReadWords(4, words, 0); });
    EXPECT_EQ(words[0], 0x3FFF);
    peer_->log.clear();
    Expect(Script().Frame({0x14}).Frame({4, 1}).In({0x01, 0x02}),
           [&] { return link_.IcspReadWords(4, words, 1); });
    EXPECT_EQ(words[0], 0x0201);
    std::uint8_t bytes[2] = {};
    peer_->log.clear();
    Expect(Script().Frame({0x14}).Frame({5, 2}).In({0x11, 0x00, 0x22, 0x3F}),
           [&] { return link_.IcspReadBytes(5, bytes, 2); });
    EXPECT_EQ(bytes[0], 0x11);
    EXPECT_EQ(bytes[1], 0x22);
    peer_->log.clear();
    Expect(Script().Frame({0x13}).Out({5}).In({0x7E, 0x00}),
           [&] { return link_.IcspReadBytes(5, bytes, 0); });
    EXPECT_EQ(bytes[0], 0x7E);
}

// Every operation, as the caller issues it, for the tests that break the conversation.
std::vector<std::pair<std::uint8_t, std::function<bool(CProgrammerLink&)>>> AllOperations() {
    static std::uint16_t w16[4];
    static std::uint8_t b8[12];
    static std::uint32_t w32[4];
    using L = CProgrammerLink;
    return {
        {0x00, [](L& l) { return l.Ping(); }},
        {0x01, [](L& l) { return l.Wait(1); }},
        {0x02, [](L& l) { return l.GetVersion(b8); }},
        {0x03, [](L& l) { return l.PowerOnVddFirst(); }},
        {0x04, [](L& l) { return l.PowerOffVppFirst(); }},
        {0x05, [](L& l) { return l.PowerOnVppFirst(); }},
        {0x06, [](L& l) { return l.PowerOffVddFirst(); }},
        {0x07, [](L& l) { return l.EnterEicsp(); }},
        {0x08, [](L& l) { return l.ExitEicsp(); }},
        {0x0A, [](L& l) { return l.SetOption(8); }},
        {0x10, [](L& l) { return l.IcspCommand(6); }},
        {0x11, [](L& l) { return l.IcspCommandRepeat(6, 2); }},
        {0x12, [](L& l) { return l.IcspLoad(2, 1); }},
        {0x13, [](L& l) { return l.IcspRead(4, w16); }},
        {0x14, [](L& l) { return l.IcspReadMulti(4, w16, 2); }},
        {0x15, [](L& l) { return l.IcspCommandWait(8, 1); }},
        {0x16, [](L& l) { return l.IcspTimedProgram(8, 0x0E, 1); }},
        {0x17, [](L& l) { return l.SetWriteSequence(2, 8, -1, 4, 1, 1, true); }},
        {0x18, [](L& l) { return l.ProgramWords(w16, 2); }},
        {0x18, [](L& l) { return l.ProgramBytes(b8, 2); }},
        {0x19, [](L& l) { return l.LoadWords(w16, 2); }},
        {0x20, [](L& l) { return l.Pic18Send(b8, w16, 2); }},
        {0x21, [](L& l) { return l.Pic18SendPayloads(0, w16, 2); }},
        {0x22, [](L& l) { return l.Pic18ProgramHold(15, 0, 1); }},
        {0x23, [](L& l) { return l.Pic18EraseHold(15, 0, 1); }},
        {0x24, [](L& l) { return l.Pic18Receive(2, b8, 2); }},
        {0x25, [](L& l) { return l.Pic18SetTablePointer(0); }},
        {0x26, [](L& l) { return l.Pic18SetEeAddress8(0, 0); }},
        {0x27, [](L& l) { return l.Pic18SetEeAddress16(0, 0); }},
        {0x28, [](L& l) { return l.Pic18EeStartA(); }},
        {0x29, [](L& l) { return l.Pic18EeStartB(); }},
        {0x2A, [](L& l) { return l.Pic18EeStatus(b8); }},
        {0x2B, [](L& l) { return l.Pic18EeRead(0, b8); }},
        {0x2C, [](L& l) { return l.Pic18EeEnd(); }},
        {0x30, [](L& l) { return l.DsSix(w32, 2); }},
        {0x31, [](L& l) { return l.DsRegOut(w16); }},
        {0x32, [](L& l) { return l.DsReadProgram4(w32); }},
        {0x33, [](L& l) { return l.DsReadWord(w16); }},
        {0x34, [](L& l) { return l.DsReadData8(b8); }},
        {0x35, [](L& l) { return l.DsWriteProgram4(w32); }},
        {0x36, [](L& l) { return l.DsWriteConfig(0); }},
        {0x37, [](L& l) { return l.DsWriteData8(b8); }},
        {0x38, [](L& l) { return l.DsCommitWrite(); }},
        {0x39, [](L& l) { return l.DsBeginProgramRow(0); }},
        {0x3A, [](L& l) { return l.DsBeginDataRow(0); }},
    };
}

TEST_F(ProgrammerLinkTest, WrongOrMissingAcknowledgementStopsBeforeTheArguments) {
    bool silentBefore = false;
    for (const auto& [code, op] : AllOperations()) {
        SCOPED_TRACE(test::Hex(code));
        peer_->log.clear();
        Script wrong = Script().Frame({code}, 0x5A);
        if (silentBefore) {
            wrong.expected.push_back("timeouts 1000 1000");  // a byte came back
        }
        Expect(
            wrong, [&, op = op] { return op(link_); }, false);
        peer_->log.clear();
        Script silent;
        silent.expected = {"> " + test::Hex(code), "1ms", "< timeout", "timeouts 50 1000"};
        silentBefore = true;
        Expect(
            silent, [&, op = op] { return op(link_); }, false);
    }
}

TEST_F(ProgrammerLinkTest, FailuresPartWayEndTheOperation) {
    const std::uint16_t words[3] = {1, 2, 3};
    // The second data frame is refused: the third is never sent.
    Expect(
        Script().Frame({0x18}).Frame({3}).Frame({1, 0}).Frame({2, 0}, 0x00),
        [&] { return link_.ProgramWords(words, 3); }, false);
    // A stream that stops short is a failure.
    std::uint16_t read[2] = {};
    peer_->log.clear();
    Script shortRead = Script().Frame({0x14}).Frame({4, 2}).In({1, 2, 3});
    shortRead.expected.push_back("< timeout");
    shortRead.expected.push_back("timeouts 50 1000");
    Expect(
        shortRead, [&] { return link_.IcspReadMulti(4, read, 2); }, false);
    // A write the port refuses ends the frame before any pause or reply.
    peer_->log.clear();
    peer_->failWriteAt = peer_->writes + 1;
    Script refused = Script().Frame({0x12});
    refused.expected.push_back("timeouts 1000 1000");  // the peer answers again
    refused.expected.push_back("> fail");
    Expect(
        refused, [&] { return link_.IcspLoad(2, 0x1234); }, false);
}

TEST_F(ProgrammerLinkTest, CountsBeyondOneByteAreRefusedBeforeSending) {
    std::vector<std::uint16_t> w16(300);
    std::vector<std::uint8_t> b8(300);
    std::vector<std::uint32_t> w32(300);
    EXPECT_FALSE(link_.ProgramWords(w16.data(), 256));
    EXPECT_FALSE(link_.ProgramBytes(b8.data(), 300));
    EXPECT_FALSE(link_.LoadWords(w16.data(), -1));
    EXPECT_FALSE(link_.Pic18Send(b8.data(), w16.data(), 256));
    EXPECT_FALSE(link_.Pic18SendPayloads(0, w16.data(), 256));
    EXPECT_FALSE(link_.Pic18Receive(0, b8.data(), 256));
    EXPECT_FALSE(link_.DsSix(w32.data(), 256));
    EXPECT_FALSE(link_.IcspReadMulti(4, w16.data(), 256));
    EXPECT_FALSE(link_.IcspReadMulti(4, w16.data(), 0));
    EXPECT_FALSE(link_.IcspReadWords(4, w16.data(), 256));
    EXPECT_FALSE(link_.IcspReadBytes(4, b8.data(), 256));
    EXPECT_FALSE(link_.ProgramWords(nullptr, 2));
    EXPECT_FALSE(link_.IcspRead(4, nullptr));
    EXPECT_TRUE(peer_->log.empty());
    // 255 is the largest count that fits.
    Script full = Script().Frame({0x24}).Frame({255, 2});
    for (int i = 0; i < 255; ++i) {
        full.In({static_cast<std::uint8_t>(i)});
    }
    Expect(full, [&] { return link_.Pic18Receive(2, b8.data(), 255); });
    EXPECT_EQ(b8[254], 254);
}

TEST_F(ProgrammerLinkTest, TheFirstFailureIsKeptWithItsCommandFrameAndAnswer) {
    const std::uint16_t words[3] = {1, 2, 3};
    EXPECT_EQ(link_.FirstFailure().fault, LinkFault::None);

    peer_->replies = {0xA5, 0xA5, 0xA5, 0x00};
    EXPECT_FALSE(link_.ProgramWords(words, 3));
    LinkFailure f = link_.FirstFailure();
    EXPECT_EQ(f.fault, LinkFault::WrongAnswer);
    EXPECT_EQ(f.command, 0x18);
    EXPECT_EQ(f.frame, 3);
    EXPECT_EQ(f.answer, 0x00);
    EXPECT_EQ(DescribeLinkFailure(f),
              "the programmer answered frame 3 of ProgramWords (0x18) with 0x00 instead of 0xA5");

    // What fails later (the power-down after it) does not replace it.
    EXPECT_FALSE(link_.PowerOffVddFirst());
    EXPECT_EQ(link_.FirstFailure().command, 0x18);

    link_.ClearFailure();
    EXPECT_FALSE(link_.IcspLoad(2, 0x1234));
    f = link_.FirstFailure();
    EXPECT_EQ(f.fault, LinkFault::NoAnswer);
    EXPECT_EQ(f.command, 0x12);
    EXPECT_EQ(f.frame, 0);
    EXPECT_EQ(DescribeLinkFailure(f),
              "no answer came from the programmer to IcspLoad (0x12): an acknowledgement or data "
              "was lost");

    // The firmware's own "did not program" is told apart from a garbled acknowledgement, and
    // only on the word frames of 0x18.
    link_.ClearFailure();
    peer_->replies = {0xA5, 0xA5, 0x5A};
    EXPECT_FALSE(link_.ProgramWords(words, 3));
    EXPECT_EQ(link_.FirstFailure().fault, LinkFault::NotProgrammed);
    EXPECT_EQ(link_.FirstFailure().frame, 2);
    link_.ClearFailure();
    peer_->replies = {0xA5, 0x5A};
    EXPECT_FALSE(link_.ProgramWords(words, 3));
    EXPECT_EQ(link_.FirstFailure().fault, LinkFault::WrongAnswer) << "the count frame";
    link_.ClearFailure();
    peer_->replies = {0x5A};
    EXPECT_FALSE(link_.LoadWords(words, 3));
    EXPECT_EQ(link_.FirstFailure().fault, LinkFault::WrongAnswer);

    link_.ClearFailure();
    peer_->failWriteAt = peer_->writes;
    EXPECT_FALSE(link_.Ping());
    EXPECT_EQ(link_.FirstFailure().fault, LinkFault::LineBroken);
    EXPECT_EQ(link_.FirstFailure().command, 0x00);
}

TEST_F(ProgrammerLinkTest, AfterATimeOutTheNextReadsWaitFiftyMillisecondsUntilAByteComes) {
    Script silent;
    silent.expected = {"> 00", "1ms", "< timeout", "timeouts 50 1000"};
    Expect(
        silent, [&] { return link_.Ping(); }, false);
    // The power-down after it is not kept waiting a second, nor told twice.
    peer_->log.clear();
    Script again;
    again.expected = {"> 06", "1ms", "< timeout"};
    Expect(
        again, [&] { return link_.PowerOffVddFirst(); }, false);
    // The first byte back restores the full second.
    peer_->log.clear();
    Script back = Script().Frame({0x00});
    back.expected.push_back("timeouts 1000 1000");
    Expect(back, [&] { return link_.Ping(); });
    peer_->log.clear();
    Expect(Script().Frame({0x00}), [&] { return link_.Ping(); });
}

TEST_F(ProgrammerLinkTest, APowerDownWhoseAnswerIsLostOrGarbledIsSentAgain) {
    peer_->extraWaiting = 0;  // no late byte waits: clearing the input between attempts reads none
    Expect(Script().Frame({0x06}, 0x00).Frame({0x06}),
           [&] { return link_.PowerOffVddFirstRetried(); });
    EXPECT_EQ(link_.FirstFailure().fault, LinkFault::None) << "the retry took the failure back";

    // Every answer lost: three attempts, the later ones waiting only the shorter time.
    peer_->log.clear();
    Script lost;
    lost.expected = {"> 04",      "1ms",  "< timeout", "timeouts 50 1000", "> 04", "1ms",
                     "< timeout", "> 04", "1ms",       "< timeout"};
    Expect(
        lost, [&] { return link_.PowerOffVppFirstRetried(); }, false);
    EXPECT_EQ(link_.FirstFailure().fault, LinkFault::NoAnswer);
    EXPECT_EQ(link_.FirstFailure().command, 0x04);

    // No attempt acknowledged: false, with the first of the failures kept.
    link_.ClearFailure();
    peer_->log.clear();
    peer_->replies = {0x11, 0x22, 0x33};
    EXPECT_FALSE(link_.PowerOffVddFirstRetried());
    EXPECT_EQ(peer_->log, (std::vector<std::string>{"> 06", "1ms", "< 11", "timeouts 1000 1000",
                                                    "> 06", "1ms", "< 22", "> 06", "1ms", "< 33"}));
    EXPECT_EQ(link_.FirstFailure().fault, LinkFault::WrongAnswer);
    EXPECT_EQ(link_.FirstFailure().command, 0x06);
    EXPECT_EQ(link_.FirstFailure().answer, 0x11);

    // A failure from before the power-down is neither hidden nor replaced by it.
    link_.ClearFailure();
    peer_->replies = {0x00};
    EXPECT_FALSE(link_.Ping());
    peer_->replies = {0x00, 0xA5};
    EXPECT_TRUE(link_.PowerOffVddFirstRetried());
    EXPECT_EQ(link_.FirstFailure().command, 0x00);
    EXPECT_EQ(link_.FirstFailure().fault, LinkFault::WrongAnswer);
}

// Sets the stop flag when a given byte goes out, as a signal arriving mid-command would.
class StopOnByte final : public ITraceSink {
  public:
    StopOnByte(std::atomic<bool>& flag, std::string byte) : flag_(flag), byte_(std::move(byte)) {}
    void Append(std::string_view text) override {
        if (text == byte_ + " ") {
            flag_ = true;
        }
    }

  private:
    std::atomic<bool>& flag_;
    std::string byte_;
};

TEST_F(ProgrammerLinkTest, AStopLetsTheCommandUnderWayEndAndOnlyPowerDownFollow) {
    std::atomic<bool> stop{false};
    link_.SetStopFlag(&stop);
    StopOnByte trace(stop, "18");
    link_.SetTraceWindow(&trace);
    const std::uint16_t words[2] = {0x1234, 0x0567};
    // The words of the 0x18 already started all go out: cut short, the firmware would read
    // the power-down code as a word.
    Expect(Script().Frame({0x18}).Frame({2}).Frame({0x34, 0x12}).Frame({0x67, 0x05}),
           [&] { return link_.ProgramWords(words, 2); });
    EXPECT_TRUE(link_.StopRequested());

    peer_->log.clear();
    Expect(
        Script(), [&] { return link_.IcspCommand(6); }, false);
    EXPECT_EQ(link_.FirstFailure().fault, LinkFault::Stopped);
    EXPECT_EQ(link_.FirstFailure().command, 0x10);
    Expect(
        Script(), [&] { return link_.PowerOnVddFirst(); }, false);
    Expect(Script().Frame({0x06}), [&] { return link_.PowerOffVddFirst(); });
    peer_->log.clear();
    Expect(Script().Frame({0x04}), [&] { return link_.PowerOffVppFirst(); });

    stop = false;
    peer_->log.clear();
    Expect(Script().Frame({0x00}), [&] { return link_.Ping(); });
    link_.SetTraceWindow(nullptr);
}

// A trace that takes its time, as a slow terminal does, and notes when each byte went out.
class SlowTrace final : public ITraceSink {
  public:
    explicit SlowTrace(VirtualClock& clock) : clock_(clock) {}
    void Append(std::string_view text) override {
        if (text.find("Tx") != std::string_view::npos) {
            sending_ = true;
            return;
        }
        if (text.find("Rx") != std::string_view::npos) {
            sending_ = false;
            return;
        }
        if (sending_) {
            sent.push_back(clock_.Now());
        }
        clock_.Advance(std::chrono::microseconds(300));
    }
    std::vector<IClock::Duration> sent;

  private:
    VirtualClock& clock_;
    bool sending_ = false;
};

TEST(ProgrammerLinkPauses, RunOneMillisecondFromEachByteWhateverTheTraceCosts) {
    auto backend = std::make_shared<test::ScriptedBackend>();
    VirtualClock clock;
    CProgrammerLink link(nullptr, backend, &clock);
    link.Connect("COM5: baud=38400 parity=N data=8 stop=1");
    ASSERT_TRUE(link.IsConnected());
    SlowTrace trace(clock);
    link.SetTraceWindow(&trace);
    backend->state->replies = {0xA5, 0xA5};

    ASSERT_TRUE(link.IcspLoad(2, 0x3FFF));
    ASSERT_EQ(trace.sent.size(), 4u);
    // Inside a frame the trace of a byte falls in its pause instead of being added to it.
    EXPECT_EQ(trace.sent[2] - trace.sent[1], std::chrono::milliseconds(1));
    EXPECT_EQ(trace.sent[3] - trace.sent[2], std::chrono::milliseconds(1));
    // Between frames the acknowledgement is read and traced after the pause.
    EXPECT_EQ(trace.sent[1] - trace.sent[0], std::chrono::microseconds(1300));
}

TEST(ProgrammerLinkPauses, TheRealClockNeverWakesBeforeTheDeadline) {
    RealClock clock;
    for (int i = 0; i < 200; ++i) {
        const IClock::Duration deadline = clock.Now() + std::chrono::microseconds(250 + i);
        clock.SleepUntil(deadline);
        ASSERT_GE(clock.Now(), deadline) << i;
    }
    const IClock::Duration start = clock.Now();
    clock.SleepFor(std::chrono::milliseconds(1));
    EXPECT_GE(clock.Now() - start, std::chrono::milliseconds(1));
    // A deadline already passed returns at once (no time limit is asserted: the machine may be
    // busy), and does not throw the next pause off.
    clock.SleepUntil(start);
    const IClock::Duration again = clock.Now() + std::chrono::microseconds(500);
    clock.SleepUntil(again);
    EXPECT_GE(clock.Now(), again);
}

}  // namespace
}  // namespace tenlo
