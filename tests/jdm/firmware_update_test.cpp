#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "jdm/jdm_rig.h"
#include "jdm/test_firmware.h"
#include "jobs/firmware_update.h"
#include "link/ui_interfaces.h"

namespace tenlo::test {
namespace {

namespace fs = std::filesystem;

struct Message {
    std::string text;
    unsigned type;
    bool operator==(const Message&) const = default;
};

struct RecordingView : IFirmwareUpdateView {
    void ShowStatus(const std::string& text) override {
        statuses.push_back(text);
        status = text;
    }
    void ShowMessage(const std::string& text, unsigned type) override {
        messages.push_back({text, type});
        statusUnderMessage = status;
    }
    std::vector<std::string> statuses;
    std::vector<Message> messages;
    std::string status;
    std::string statusUnderMessage;
};

class FirmwareFlow : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(rig.opened);
        dir = fs::temp_directory_path() /
              ("tenlo_jdm_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        // Old firmware everywhere, so an erase shows.
        for (unsigned a = 0; a < 0x3FF; ++a) {
            rig.chip.Poke(sim::Space::Program, a, 0x0123);
        }
        rig.chip.Poke(sim::Space::Config, 0x2007, 0x3184);
    }
    void TearDown() override {
        if (!oldCwd.empty()) {
            fs::current_path(oldCwd);
        }
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::string WriteFile(const std::string& name, const std::string& text) {
        std::ofstream(dir / name) << text;
        return (dir / name).string();
    }
    void EnterDir() {
        oldCwd = fs::current_path();
        fs::current_path(dir);
    }
    std::string AssembledFirmware() { return AssembledFirmwarePath(); }
    // The old firmware of SetUp, never touched: not a single line call reached the chip.
    void ExpectUntouchedSince(std::size_t lineCalls) {
        EXPECT_EQ(rig.chip.LineCalls(), lineCalls);
        for (unsigned a = 0; a < 0x3FF; ++a) {
            ASSERT_EQ(rig.chip.ProgramWord(a), 0x0123) << a;
        }
        EXPECT_EQ(rig.chip.OscCal(), 0x3480);
        EXPECT_EQ(rig.chip.ConfigWord(), 0x3184);
    }

    ChipRig rig;
    RecordingView view;
    CFirmwareUpdateFlow flow{rig.port, view};
    fs::path dir;
    fs::path oldCwd;
};

TEST_F(FirmwareFlow, WholeUpdateFromAnAssembledProgram) {
    const std::string hex = AssembledFirmware();
    ASSERT_FALSE(hex.empty());
    struct Calibration {
        std::uint16_t osccal, bandGap;
    };
    for (const Calibration c : {Calibration{0x3480, 0x3000}, Calibration{0x34A6, 0x2000}}) {
        SCOPED_TRACE(c.osccal);
        rig.chip.Poke(sim::Space::Program, 0x3FF, c.osccal);
        rig.chip.Poke(sim::Space::Config, 0x2007, c.bandGap | 0x0184);
        view = RecordingView{};
        flow.SetFirmwarePath(hex);

        EXPECT_EQ(flow.Run(), FirmwareUpdateResult::Success);

        EXPECT_EQ(view.statuses,
                  (std::vector<std::string>{"イレース中...", "書き込み中...", "ベリファイ中...",
                                            "書き込み中...", "ベリファイ中...", ""}));
        EXPECT_EQ(view.messages,
                  (std::vector<Message>{{"ファームウエア書き込み完了", kMbIconInformation}}));
        EXPECT_EQ(view.statusUnderMessage, "ベリファイ中...");
        const std::vector<std::uint16_t> expected = AssembledProgramWords();
        for (unsigned a = 0; a < 0x3FF; ++a) {
            ASSERT_EQ(rig.chip.ProgramWord(a), expected[a]) << a;
        }
        EXPECT_EQ(rig.chip.OscCal(), c.osccal);
        EXPECT_EQ(rig.chip.ConfigWord(), c.bandGap | 0x01C4) << "file's 0x3FC4, chip's bits";
        EXPECT_FALSE(rig.chip.IsPowered());
        EXPECT_EQ(rig.chip.AbortedCycles(), 0u);
        EXPECT_TRUE(rig.port.IsOpen());
    }
}

TEST_F(FirmwareFlow, MissingFileLeavesTheChipUntouched) {
    EnterDir();  // no Mossvane.HEX here
    const std::size_t calls = rig.chip.LineCalls();
    EXPECT_EQ(flow.Run(), FirmwareUpdateResult::FileOpenFailed);
    EXPECT_EQ(view.statuses, (std::vector<std::string>{""}));
    EXPECT_EQ(view.messages,
              (std::vector<Message>{
                  {"ファームウエアファイル Mossvane.HEX を開けません。", kMbIconError}}));
    ExpectUntouchedSince(calls);

    // Nor is a directory of that name a file.
    fs::create_directory(dir / "Mossvane.HEX");
    view = RecordingView{};
    EXPECT_EQ(flow.Run(), FirmwareUpdateResult::FileOpenFailed);
    ASSERT_EQ(view.messages.size(), 1u);

    // A name is shown as it stands, never taken as a format.
    view = RecordingView{};
    flow.SetFirmwarePath("no such dir/fw%s%d.HEX");
    EXPECT_EQ(flow.Run(), FirmwareUpdateResult::FileOpenFailed);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text,
              "ファームウエアファイル no such dir/fw%s%d.HEX を開けません。");
    ExpectUntouchedSince(calls);
}

// Anything but whole firmware is refused, with its reason on a line of its own under the
// message, before a single line call reaches the chip.
TEST_F(FirmwareFlow, AFileThatIsNotWholeFirmwareLeavesTheChipUntouched) {
    EnterDir();
    const std::string code = HexRecord(0, 0x0000, {0x05, 0x28});
    struct Case {
        std::string text;
        const char* reason;
    };
    const Case cases[] = {
        {code + HexRecord(0, 0x4200, {0x00}) + kHexEnd,
         "2 行目：バイトアドレス 4200H は、プログラマーのマイコンのプログラムメモリーにもコンフィ"
         "グレーションメモリーにもありません。"},
        {HexRecord(0, 0x0800, {0x00}) + kHexEnd,
         "1 行目：バイトアドレス 0800H は、プログラマーのマイコンのプログラムメモリーにもコンフィ"
         "グレーションメモリーにもありません。"},
        {":0200000005282F\n" + kHexEnd, "1 行目：チェックサムが一致しません。"},
        {"", "ファイルが空です。"},
        {kHexEnd, "プログラムメモリーに書き込むデータがありません。"},
        {HexRecord(0, 0x07FE, {0x80, 0x34}) + HexRecord(0, 0x0000, {0xFF, 0x3F}) + kHexEnd,
         "プログラムメモリーに書き込むデータがありません。"},
        {HexRecord(4, 0, {0, 0}),
         "終了レコードがありません。ファイルが途中で切れている可能性があります。"},
        {code + ":04000200", "2 行目：レコードが途中で切れているか、16 進数でない文字があります。"},
        {":020000000528D1:00000001FF\n",
         "1 行目：1 行に複数のレコードが続いています（改行が失われています）。"},
        {code + HexRecord(0, 0x0000, {0x06, 0x28}) + kHexEnd,
         "2 行目：バイトアドレス 0000H に、前のレコードと異なるデータ（05H と 06H）があります。"
         "どちらが正しいか分かりません。"},
    };
    const std::size_t calls = rig.chip.LineCalls();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        WriteFile("Mossvane.HEX", c.text);
        view = RecordingView{};
        EXPECT_EQ(flow.Run(), FirmwareUpdateResult::FileReadFailed);
        EXPECT_EQ(
            view.messages,
            (std::vector<Message>{
                {std::string("ファームウエアファイル Mossvane.HEX の読み込みに失敗しました。\n") +
                     c.reason,
                 kMbIconError}}));
        EXPECT_EQ(view.statuses, (std::vector<std::string>{""}));
        ExpectUntouchedSince(calls);
    }
}

// Carriage returns alone for line ends: unusual, but every record is read and written.
TEST_F(FirmwareFlow, LinesEndedByCarriageReturnsAloneAreReadWhole) {
    std::string text = HexRecord(0, 0x0000, {0x05, 0x28}) + HexRecord(0, 0x0200, {0x09, 0x00}) +
                       HexRecord(0, 0x400E, {0xC4, 0x3F}) + kHexEnd;
    std::replace(text.begin(), text.end(), '\n', '\r');
    flow.SetFirmwarePath(WriteFile("cr.hex", text));
    EXPECT_EQ(flow.Run(), FirmwareUpdateResult::Success);
    EXPECT_EQ(rig.chip.ProgramWord(0), 0x2805);
    EXPECT_EQ(rig.chip.ProgramWord(0x100), 0x0009);
    EXPECT_EQ(rig.chip.ConfigWord(), 0x31C4);
}

TEST_F(FirmwareFlow, ConfigurationAndCalibrationWordsFromTheFile) {
    // No configuration word: the chip's bits 13 to 9 with the user bits erased. A word for
    // 0x3FF is loaded but neither written nor compared.
    flow.SetFirmwarePath(WriteFile("a.hex", HexRecord(0, 0x0000, {0x05, 0x28}) +
                                                HexRecord(0, 0x07FE, {0x00, 0x00}) + kHexEnd));
    EXPECT_EQ(flow.Run(), FirmwareUpdateResult::Success);
    EXPECT_EQ(rig.chip.ConfigWord(), 0x31FF);
    EXPECT_EQ(rig.chip.OscCal(), 0x3480);
    EXPECT_EQ(rig.chip.ProgramWord(0), 0x2805);

    // Bits above 13 in the file are dropped when written, and still verify.
    flow.SetFirmwarePath(WriteFile("b.hex", HexRecord(0, 0x0000, {0x05, 0xE8}) +
                                                HexRecord(0, 0x400E, {0x84, 0xFF}) + kHexEnd));
    EXPECT_EQ(flow.Run(), FirmwareUpdateResult::Success);
    EXPECT_EQ(rig.chip.ProgramWord(0), 0x2805);
    EXPECT_EQ(rig.chip.ConfigWord(), 0x3184);
}

// A configuration word that turns code protection on hides program memory once it is in, so
// program memory has to be verified before it is written.
TEST_F(FirmwareFlow, CodeProtectingConfigurationStillVerifies) {
    flow.SetFirmwarePath(WriteFile("cp.hex", HexRecord(0, 0x0000, {0x05, 0x28, 0x09, 0x00}) +
                                                 HexRecord(0, 0x400E, {0x44, 0x3F}) + kHexEnd));
    EXPECT_EQ(flow.Run(), FirmwareUpdateResult::Success);
    EXPECT_EQ(view.messages,
              (std::vector<Message>{{"ファームウエア書き込み完了", kMbIconInformation}}));
    EXPECT_EQ(rig.chip.ConfigWord(), 0x3144) << "protected, band-gap bits kept";
    EXPECT_EQ(rig.chip.ProgramWord(0), 0x2805);
    EXPECT_EQ(rig.chip.ProgramWord(1), 0x0009);
    EXPECT_EQ(rig.chip.ProgramWord(2), 0x3FFF);
    EXPECT_EQ(rig.chip.OscCal(), 0x3480);

    // A later update of the protected chip erases it and goes through as well.
    view = RecordingView{};
    flow.SetFirmwarePath(AssembledFirmware());
    EXPECT_EQ(flow.Run(), FirmwareUpdateResult::Success);
    EXPECT_EQ(rig.chip.ProgramWord(1), 0x3FFF);
    EXPECT_EQ(rig.chip.ConfigWord(), 0x3000 | kAssembledConfigBits);
}

TEST_F(FirmwareFlow, EraseFailureFromAnUnpluggedAdapter) {
    rig.chip.FailLineCallsAfter(rig.chip.LineCalls() + 300);
    flow.SetFirmwarePath(AssembledFirmware());
    EXPECT_EQ(flow.Run(), FirmwareUpdateResult::EraseFailed);
    EXPECT_EQ(view.messages, (std::vector<Message>{{"イレースに失敗しました。", kMbIconError}}));
    EXPECT_EQ(view.statuses, (std::vector<std::string>{"イレース中...", ""}));
    EXPECT_FALSE(rig.chip.IsPowered());
    EXPECT_EQ(rig.chip.ProgramWord(0), 0x0123) << "failed before the bulk erase";
    EXPECT_EQ(rig.chip.CompletedEraseCycles(), 0u);
}

TEST_F(FirmwareFlow, WriteFailureFromACellThatWillNotProgram) {
    rig.chip.SetStuckCell(sim::Space::Program, 0x100);
    flow.SetFirmwarePath(AssembledFirmware());
    EXPECT_EQ(flow.Run(), FirmwareUpdateResult::WriteFailed);
    EXPECT_EQ(view.messages, (std::vector<Message>{{"書き込みに失敗しました。", kMbIconError}}));
    EXPECT_EQ(view.statuses, (std::vector<std::string>{"イレース中...", "書き込み中...", ""}));
    // Partly written: everything below the stuck cell, nothing above, no configuration.
    EXPECT_EQ(rig.chip.ProgramWord(0x005), 0x1683);
    EXPECT_EQ(rig.chip.ProgramWord(0x100), 0x0123);
    EXPECT_EQ(rig.chip.ProgramWord(0x101), 0x3FFF);
    EXPECT_EQ(rig.chip.ConfigWord(), 0x31FF);
    EXPECT_EQ(rig.chip.OscCal(), 0x3480);
    EXPECT_FALSE(rig.chip.IsPowered());
}

TEST_F(FirmwareFlow, VerifyFailureFromACellThatDoesNotHoldItsCharge) {
    // Reads back right while the write is on, so only the verify can see it.
    rig.chip.SetLeakyCell(sim::Space::Program, 0x009);
    flow.SetFirmwarePath(AssembledFirmware());
    EXPECT_EQ(flow.Run(), FirmwareUpdateResult::VerifyFailed);
    EXPECT_EQ(view.messages, (std::vector<Message>{{"ベリファイに失敗しました。", kMbIconError}}));
    EXPECT_EQ(view.statuses,
              (std::vector<std::string>{"イレース中...", "書き込み中...", "ベリファイ中...", ""}));
    EXPECT_EQ(rig.chip.ProgramWord(0x009), 0x3FFF);
    EXPECT_EQ(rig.chip.ProgramWord(0x00A), 0x00A0);
    EXPECT_EQ(rig.chip.ConfigWord(), 0x31FF) << "program memory fails before the configuration";
}

TEST_F(FirmwareFlow, VerifyFailureFromAConfigurationWordThatDoesNotHold) {
    rig.chip.SetLeakyCell(sim::Space::Config, 0x2007);
    flow.SetFirmwarePath(AssembledFirmware());
    EXPECT_EQ(flow.Run(), FirmwareUpdateResult::VerifyFailed);
    EXPECT_EQ(view.messages, (std::vector<Message>{{"ベリファイに失敗しました。", kMbIconError}}));
    EXPECT_EQ(view.statuses,
              (std::vector<std::string>{"イレース中...", "書き込み中...", "ベリファイ中...",
                                        "書き込み中...", "ベリファイ中...", ""}));
    EXPECT_EQ(rig.chip.ProgramWord(0x00A), 0x00A0);
}

// A data line stuck at one level, or a chip that is not there, reads the device ID as all ones
// or all zeros: nothing is erased, so the calibration the chip holds survives.
TEST_F(FirmwareFlow, ChipThatDoesNotAnswerIsNotErased) {
    flow.SetFirmwarePath(AssembledFirmware());
    for (const bool level : {true, false}) {
        SCOPED_TRACE(level);
        rig.chip.SetCtsStuck(level);
        view = RecordingView{};
        EXPECT_EQ(flow.Run(), FirmwareUpdateResult::EraseFailed);
        EXPECT_EQ(view.messages,
                  (std::vector<Message>{{"イレースに失敗しました。", kMbIconError}}));
        EXPECT_EQ(view.statuses, (std::vector<std::string>{"イレース中...", ""}));
        EXPECT_EQ(rig.chip.CompletedEraseCycles(), 0u);
        EXPECT_EQ(rig.chip.CompletedProgramCycles(), 0u);
        EXPECT_EQ(rig.chip.ProgramWord(0), 0x0123);
        EXPECT_EQ(rig.chip.OscCal(), 0x3480);
        EXPECT_EQ(rig.chip.ConfigWord(), 0x3184);
        EXPECT_FALSE(rig.chip.IsPowered());
    }
}

TEST_F(FirmwareFlow, PortNotOpen) {
    rig.port.Close();
    EXPECT_EQ(flow.Run(), FirmwareUpdateResult::PortNotOpen);
    EXPECT_EQ(view.messages,
              (std::vector<Message>{{"シリアルポートが接続されていません。", kMbIconError}}));
    EXPECT_TRUE(view.statuses.empty());
}

// A window close that the loops' message dispatch delivers mid-run, as the dialog would
// handle it: release the port only when the flow allows.
struct ClosingPump : IMessagePump {
    void Pump() override {
        if (++calls == 2000) {
            allowed = flow->RequestClose();
            if (allowed) {
                port->Release();
            }
            nested = flow->Run();
        }
    }
    CFirmwareUpdateFlow* flow = nullptr;
    CSerialPort* port = nullptr;
    int calls = 0;
    bool allowed = true;
    FirmwareUpdateResult nested = FirmwareUpdateResult::Success;
};

TEST_F(FirmwareFlow, CloseDuringTheRunIsDeferredUntilItEnds) {
    ClosingPump pump;
    pump.flow = &flow;
    pump.port = &rig.port;
    SetMessagePump(&pump);
    flow.SetFirmwarePath(AssembledFirmware());
    const FirmwareUpdateResult result = flow.Run();
    SetMessagePump(nullptr);

    EXPECT_GE(pump.calls, 2000);
    EXPECT_FALSE(pump.allowed);
    EXPECT_EQ(pump.nested, FirmwareUpdateResult::Busy);
    EXPECT_EQ(result, FirmwareUpdateResult::Success);
    EXPECT_EQ(view.messages.size(), 1u);
    EXPECT_TRUE(rig.port.IsOpen());
    EXPECT_TRUE(flow.ClosePending());
    EXPECT_FALSE(flow.IsRunning());
    EXPECT_TRUE(flow.RequestClose());
    EXPECT_FALSE(flow.ClosePending());
}

}  // namespace
}  // namespace tenlo::test

namespace tenlo::test {
namespace {

// What a command line does with --simulate: install the backend, open COMn by number, run.
TEST(FirmwareUpdateEntry, RunsOnTheSimulatorBackendByPortNumber) {
    EXPECT_EQ(UpdaterPortDefinition(5), "COM5: baud=38400 parity=N data=8 stop=1");
    VirtualClock clock;
    auto backend = sim::MakeJdmSimulatorBackend(clock);
    SetDefaultPortBackend(backend);
    {
        CSerialPort port(nullptr, nullptr, &clock);
        ASSERT_TRUE(OpenUpdaterPort(port, 12));
        bool cts = true;
        ASSERT_TRUE(port.GetCTS(&cts));
        EXPECT_FALSE(cts) << "DTR driven low";
        EXPECT_FALSE(backend->Chip().IsPowered());

        RecordingView view;
#ifdef JDM_TEST_FIRMWARE_HEX
        EXPECT_EQ(RunFirmwareUpdate(port, view, JDM_TEST_FIRMWARE_HEX),
                  FirmwareUpdateResult::Success);
#else
        ADD_FAILURE() << "gpasm was not found when the tests were configured";
#endif
        EXPECT_EQ(backend->Chip().ProgramWord(0), 0x2805);
        port.Release();
    }
    SetDefaultPortBackend(nullptr);
    EXPECT_FALSE(backend->InUse());
}

}  // namespace
}  // namespace tenlo::test
