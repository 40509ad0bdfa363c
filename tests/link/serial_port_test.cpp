#include "link/serial_port.h"

#include <gtest/gtest.h>

#include "link/scripted_peer.h"
#include "support/recording_ui.h"

namespace tenlo {
namespace {

const std::string kDefinition = ProgrammerPortDefinition(5);
constexpr unsigned kErrorStyle = kMbOk | kMbIconError | kMbSystemModal | kMbSetForeground;

class SerialPortTest : public ::testing::Test {
  protected:
    std::shared_ptr<test::ScriptedBackend> backend_ = std::make_shared<test::ScriptedBackend>();
    testing::RecordingErrorBox box_;
    VirtualClock clock_;
    CSerialPort port_{&box_, backend_, &clock_};
};

TEST_F(SerialPortTest, OpenTakesTheDeviceNameAndConfiguresThePort) {
    backend_->initial.baud = 9600;
    backend_->initial.parity = 'E';
    backend_->initial.dtr = DtrControl::Disable;
    ASSERT_TRUE(port_.Open(kDefinition));
    EXPECT_TRUE(port_.IsOpen());
    EXPECT_FALSE(port_.IsConnected());
    EXPECT_EQ(backend_->names, std::vector<std::string>{"COM5"});
    const std::vector<std::string> steps = {"get-settings", "apply-settings", "queues 4096 4096",
                                            "purge"};
    EXPECT_EQ(backend_->state->log, steps);
    const CommSettings& applied = backend_->state->applied.at(0);
    EXPECT_EQ(applied.baud, 38400u);
    EXPECT_EQ(applied.parity, 'N');
    EXPECT_EQ(applied.dataBits, 8);
    EXPECT_EQ(applied.stopBits, StopBits::One);
    EXPECT_TRUE(applied.parityCheck);
    EXPECT_EQ(applied.dtr, DtrControl::Disable) << "settings not named keep the driver's";
    EXPECT_TRUE(box_.Shown().empty());

    EXPECT_TRUE(port_.Open("com5: baud=38400 parity=N data=8 stop=1"));
    EXPECT_TRUE(port_.Open("COM12: baud=38400 parity=N data=8 stop=1"));
    EXPECT_EQ(backend_->names, (std::vector<std::string>{"COM5", "com5", "COM12"}));
}

TEST_F(SerialPortTest, OpenRefusesWhatIsNotAComPort) {
    for (const std::string definition :
         {"COM12345: baud=38400", "COM5 baud=38400 parity=N", "LPT1:", "", "CO"}) {
        box_.Clear();
        EXPECT_FALSE(port_.Open(definition));
        ASSERT_EQ(box_.Shown().size(), 1u);
        EXPECT_EQ(box_.Shown()[0].text,
                  "Device definition string must start with \"COMn:\".\n" + definition);
        EXPECT_EQ(box_.Shown()[0].caption, "Error");
        EXPECT_EQ(box_.Shown()[0].type, kErrorStyle);
    }
    EXPECT_TRUE(backend_->names.empty());

    box_.Clear();
    backend_->refuse = true;
    port_.SetErrorCaption("Reader/Writer");
    EXPECT_FALSE(port_.Open("COM7:"));
    ASSERT_EQ(box_.Shown().size(), 1u);
    EXPECT_EQ(box_.Shown()[0].text, "Cannot open COM7.");
    EXPECT_EQ(box_.Shown()[0].caption, "Reader/Writer");
    EXPECT_FALSE(port_.IsOpen());
}

TEST_F(SerialPortTest, RejectedDefinitionClosesThePortAgain) {
    EXPECT_FALSE(port_.Open("COM5: baud=fast"));
    EXPECT_FALSE(port_.IsOpen());
    EXPECT_TRUE(backend_->state->destroyed);
    EXPECT_TRUE(backend_->state->applied.empty());
    EXPECT_EQ(box_.Texts(), std::vector<std::string>{
                                "Cannot analyze device definition string.\nCOM5: baud=fast"});
}

TEST_F(SerialPortTest, ReopeningReleasesTheEarlierPort) {
    ASSERT_TRUE(port_.Open(kDefinition));
    auto first = backend_->state;
    ASSERT_TRUE(port_.Open(kDefinition));
    EXPECT_TRUE(first->destroyed);
    EXPECT_FALSE(backend_->state->destroyed);
}

TEST_F(SerialPortTest, ConnectFlushesThenSetsOneSecondTimeouts) {
    port_.Connect(kDefinition);
    ASSERT_TRUE(port_.IsConnected());
    const auto& log = backend_->state->log;
    ASSERT_GE(log.size(), 1u);
    EXPECT_EQ(log.back(), "timeouts 1000 1000");

    backend_->refuse = true;
    port_.Connect("COM6:");
    EXPECT_FALSE(port_.IsConnected());
}

TEST_F(SerialPortTest, DisconnectCloseAndReleaseMessages) {
    EXPECT_FALSE(port_.Disconnect());
    EXPECT_EQ(box_.Texts(), std::vector<std::string>{"COM port has already been disconnected."});
    box_.Clear();
    EXPECT_FALSE(port_.Close());
    EXPECT_EQ(box_.Texts(), std::vector<std::string>{"COM port has already been closed."});

    box_.Clear();
    port_.Connect(kDefinition);
    ASSERT_TRUE(port_.Close());
    EXPECT_FALSE(port_.Disconnect());
    EXPECT_EQ(box_.Texts(), (std::vector<std::string>{"COM port has already been closed.",
                                                      "Can not close COM port."}));

    box_.Clear();
    port_.Connect(kDefinition);
    auto peer = backend_->state;
    EXPECT_TRUE(port_.Disconnect());
    EXPECT_FALSE(port_.IsConnected());
    EXPECT_TRUE(peer->destroyed);
    EXPECT_TRUE(box_.Shown().empty());

    // Release is silent, then and for ever after.
    port_.Release();
    EXPECT_FALSE(port_.Close());
    EXPECT_FALSE(port_.Open("LPT1:"));
    EXPECT_TRUE(box_.Shown().empty());
    EXPECT_EQ(port_.ShowError(kMbOk, "x"), 0);
}

TEST_F(SerialPortTest, ShowErrorFormatsAndCutsLongTexts) {
    EXPECT_EQ(port_.ShowError(kMbOk, "%s %d", "port", 5), kIdOk);
    EXPECT_EQ(box_.Shown().at(0).text, "port 5");
    EXPECT_EQ(box_.Shown().at(0).type, kErrorStyle);
    // 254 ASCII bytes then a three-byte character that does not fit: dropped whole.
    const std::string text = std::string(254, 'a') + "\xE3\x81\x82" + "tail";
    port_.ShowError(kMbOk, "%s", text.c_str());
    EXPECT_EQ(box_.Shown().at(1).text, std::string(254, 'a'));

    CSerialPort ownerless(nullptr, backend_, &clock_);
    EXPECT_EQ(ownerless.ShowError(kMbOk, "nobody sees this"), 0);
}

TEST_F(SerialPortTest, TraceMarksDirectionChanges) {
    test::RecordingTrace trace;
    port_.SetTraceWindow(&trace);
    port_.Connect(kDefinition);
    backend_->state->replies = {0x00, 0x01};
    std::uint8_t b = 0;
    ASSERT_TRUE(port_.WriteByte(0xA5));
    ASSERT_TRUE(port_.ReadByte(&b));
    ASSERT_TRUE(port_.ReadByte(&b));
    EXPECT_EQ(b, 0x01);
    EXPECT_EQ(trace.text, "\nTx: A5 \nRx: 00 01 ");

    // The first bytes received after construction get no header.
    CSerialPort fresh(&box_, backend_, &clock_);
    test::RecordingTrace freshTrace;
    fresh.SetTraceWindow(&freshTrace);
    fresh.Connect(kDefinition);
    backend_->state->replies = {0x3C, 0x4D};
    std::uint8_t block[3] = {0xFF, 0xFF, 0xFF};
    std::size_t got = 0;
    ASSERT_TRUE(fresh.ReadBlock(block, 2, &got));
    EXPECT_EQ(got, 2u);
    EXPECT_EQ(block[2], 0) << "terminator behind the bytes read";
    ASSERT_TRUE(fresh.WriteByte(0x00));
    EXPECT_EQ(freshTrace.text, "3C 4D \nTx: 00 ");
}

TEST_F(SerialPortTest, ByteTransfersFailWithoutShowingAnything) {
    std::uint8_t b = 0;
    EXPECT_FALSE(port_.WriteByte(1));
    EXPECT_FALSE(port_.ReadByte(&b));
    port_.Connect(kDefinition);
    EXPECT_FALSE(port_.ReadByte(&b)) << "nothing to read: the time-out";
    std::uint8_t block[5] = {9, 9, 9, 9, 9};
    std::size_t got = 7;
    EXPECT_FALSE(port_.ReadBlock(block, 4, &got));
    EXPECT_EQ(got, 0u);
    backend_->state->replies = {0x11};
    EXPECT_TRUE(port_.ReadBlock(block, 4, &got)) << "a short read succeeds";
    EXPECT_EQ(got, 1u);
    EXPECT_EQ(block[1], 0);
    backend_->state->failWriteAt = backend_->state->writes;
    EXPECT_FALSE(port_.WriteByte(2));
    EXPECT_TRUE(box_.Shown().empty());
}

TEST_F(SerialPortTest, FlushInputReadsInChunksOfAHundred) {
    port_.Connect(kDefinition);
    auto peer = backend_->state;
    peer->replies.assign(250, 0x55);
    peer->readSizes.clear();
    port_.FlushInput();
    EXPECT_EQ(peer->readSizes, (std::vector<std::size_t>{100, 100, 50}));
    EXPECT_TRUE(peer->replies.empty());

    // A port that never stops claiming input cannot keep the flush going for ever.
    peer->extraWaiting = 1000;
    peer->replies.assign(100000, 0x55);
    port_.FlushInput();
    EXPECT_GT(peer->replies.size(), 0u);
    EXPECT_LT(peer->readSizes.size(), 1000u);
}

TEST_F(SerialPortTest, ModemLinesNeedAnOpenPort) {
    bool cts = false;
    EXPECT_FALSE(port_.SetDTR(true));
    EXPECT_FALSE(port_.GetCTS(&cts));
    ASSERT_TRUE(port_.Open(kDefinition));
    auto peer = backend_->state;
    peer->log.clear();
    EXPECT_TRUE(port_.SetDTR(true));
    EXPECT_TRUE(port_.SetRTS(false));
    EXPECT_TRUE(port_.SetBreak(true));
    EXPECT_TRUE(port_.GetCTS(&cts));
    EXPECT_TRUE(cts);
    EXPECT_EQ(peer->log, (std::vector<std::string>{"dtr on", "rts off", "break on", "cts?"}));
    peer->modemOk = false;
    cts = false;
    EXPECT_FALSE(port_.GetCTS(&cts));
    EXPECT_FALSE(port_.SetBreak(false));
}

class CountingPump final : public IMessagePump {
  public:
    void Pump() override { ++calls; }
    int calls = 0;
};

TEST(MessagePump, RunsTheInstalledPumpOnly) {
    PumpMessages();  // nothing installed: no-op
    CountingPump pump;
    SetMessagePump(&pump);
    PumpMessages();
    PumpMessages();
    SetMessagePump(nullptr);
    PumpMessages();
    EXPECT_EQ(pump.calls, 2);
}

}  // namespace
}  // namespace tenlo
