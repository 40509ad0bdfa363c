#include "updater/dialogs/tenlo_update_dlg.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "jdm/test_firmware.h"
#include "link/clock.h"
#include "link/ui_interfaces.h"
#include "qtsupport/layout_checks.h"
#include "qtsupport/scripted_presenter.h"
#include "sim/jdm/jdm_chip.h"
#include "sim/jdm/jdm_port_backend.h"
#include "support/refusing_backend.h"
#include "updater/dialogs/jdm_dlg.h"

namespace tenlo::updater {
namespace {

namespace fs = std::filesystem;
using qt::testing::ScriptedPresenter;
using test::AssembledFirmwarePath;
using test::HexRecord;
using test::kHexEnd;
using Dlg = CTenloUpdateDlg;

// The simulated chip behind every port, remembering the names it was asked to open.
class NamingBackend final : public IPortBackend {
  public:
    explicit NamingBackend(std::shared_ptr<sim::CJdmPortBackend> inner)
        : inner_(std::move(inner)) {}
    std::unique_ptr<IPortHandle> Open(const std::string& deviceName) override {
        names.push_back(deviceName);
        return inner_->Open(deviceName);
    }
    std::vector<std::string> names;

  private:
    std::shared_ptr<sim::CJdmPortBackend> inner_;
};

// Runs a hook at every event dispatch the line loops ask for, then dispatches.
struct ObservingPump final : IMessagePump {
    void Pump() override {
        ++calls;
        if (each) {
            each();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    std::function<void()> each;
    int calls = 0;
};

// The columns of the dialog's state table.
struct State {
    bool portListEnabled;
    bool connectPressed;
    bool connectEnabled;
    bool lineControlsEnabled;
    bool polling;
    bool operator==(const State&) const = default;
};
std::ostream& operator<<(std::ostream& os, const State& s) {
    return os << "{list " << s.portListEnabled << ", pressed " << s.connectPressed << ", connect "
              << s.connectEnabled << ", lines " << s.lineControlsEnabled << ", timer " << s.polling
              << "}";
}
constexpr State kDisconnected{true, false, true, false, false};
constexpr State kConnectedIdle{false, true, true, true, true};
constexpr State kWriting{false, true, false, false, false};
constexpr State kDebugOpen{false, true, true, true, false};

UpdaterOptions WithFile(std::string path) {
    UpdaterOptions options;
    options.firmwarePath = std::move(path);
    return options;
}

// One dialog on its own simulated chip, in virtual time.
struct DialogRig {
    explicit DialogRig(UpdaterOptions options = {}) {
        options.backend = naming;
        options.clock = &clock;
        if (options.firmwarePath == kFirmwareFileName) {
            options.firmwarePath = AssembledFirmwarePath();
        }
        dlg = std::make_unique<Dlg>(std::move(options));
        dlg->show();
        // Old firmware, so an erase shows.
        for (unsigned a = 0; a < 0x3FF; ++a) {
            chip.Poke(sim::Space::Program, a, 0x0123);
        }
        chip.Poke(sim::Space::Config, 0x2007, 0x3184);
    }

    template <typename T>
    T* Control(int id) const {
        T* control = dlg->findChild<T*>(QString::number(id));
        EXPECT_NE(control, nullptr) << id;
        return control;
    }
    QComboBox* PortList() const { return Control<QComboBox>(Dlg::kIdPortList); }
    QPushButton* ConnectButton() const { return Control<QPushButton>(Dlg::kIdConnect); }
    QCheckBox* Check(int id) const { return Control<QCheckBox>(id); }
    QPushButton* WriteButton() const { return Control<QPushButton>(Dlg::kIdWrite); }
    QString Status() const { return Control<QLabel>(Dlg::kIdStatus)->text(); }

    bool ConnectPort(int index) {
        PortList()->setCurrentIndex(index);
        ConnectButton()->click();
        return dlg->IsPortOpen();
    }

    State Now() const {
        bool lines = true;
        bool mixed = false;
        const int ids[] = {Dlg::kIdPgd, Dlg::kIdPgdInput, Dlg::kIdPgc, Dlg::kIdPower,
                           Dlg::kIdWrite};
        for (std::size_t i = 0; i < std::size(ids); ++i) {
            const bool enabled = dlg->findChild<QWidget*>(QString::number(ids[i]))->isEnabled();
            mixed = mixed || (i > 0 && enabled != lines);
            lines = enabled;
        }
        EXPECT_FALSE(mixed) << "the five line controls are enabled together";
        return {PortList()->isEnabled(), ConnectButton()->isChecked(), ConnectButton()->isEnabled(),
                lines, dlg->IsPolling()};
    }

    VirtualClock clock;
    std::shared_ptr<sim::CJdmPortBackend> backend = sim::MakeJdmSimulatorBackend(clock);
    std::shared_ptr<NamingBackend> naming = std::make_shared<NamingBackend>(backend);
    sim::CJdmChip& chip = backend->Chip();
    std::unique_ptr<Dlg> dlg;
};

// Waits, dispatching events, until done() or about two seconds have passed.
bool WaitFor(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 2000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}

class UpdaterDialog : public ::testing::Test {
  protected:
    void SetUp() override { SetMessagePump(&pump); }
    void TearDown() override { SetMessagePump(nullptr); }

    ScriptedPresenter presenter;
    ObservingPump pump;
};

TEST_F(UpdaterDialog, StartsDisconnectedWithNinetyNinePortsAndTheFirstSelected) {
    DialogRig rig;
    EXPECT_EQ(rig.dlg->windowTitle(), "TenloUpdate");
    QComboBox* list = rig.PortList();
    ASSERT_EQ(list->count(), 99);
    for (int i = 0; i < 99; ++i) {
        ASSERT_EQ(list->itemText(i), QStringLiteral("COM%1").arg(i + 1));
    }
    EXPECT_EQ(list->currentIndex(), 0);
    EXPECT_EQ(rig.Now(), kDisconnected);
    EXPECT_FALSE(rig.Control<QPushButton>(Dlg::kIdDevelop)->isVisible());
    EXPECT_TRUE(rig.Status().isEmpty());
    EXPECT_TRUE(rig.naming->names.empty()) << "nothing opened before 接続";
}

TEST_F(UpdaterDialog, PortsPresentComeFirstAndConnectOpensTheOneChosen) {
    UpdaterOptions options;
    options.portLister = [] {
        std::vector<SerialPortInfo> present(2);
        present[0].product = "FT232R USB UART";
        present[0].comNumbers = {7};
        present[1].device = "/dev/pts/3";
        present[1].kind = PortKind::PseudoTerminal;
        present[1].comNumbers = {12};
        return present;
    };
    DialogRig rig(options);
    QComboBox* list = rig.PortList();
    ASSERT_EQ(list->count(), 99);
    EXPECT_EQ(list->itemText(0), "COM7 (FT232R USB UART)");
    EXPECT_EQ(list->itemText(1), "COM12 (pseudo-terminal)");
    EXPECT_EQ(list->itemText(2), "COM1");
    EXPECT_EQ(list->currentIndex(), 0) << "COM1 is not there: the first port that is";
    EXPECT_EQ(list->lineEdit()->text(), "COM7") << "the field shows the port's name";
    EXPECT_EQ(list->toolTip(), "COM7 (FT232R USB UART)");
    ASSERT_TRUE(rig.ConnectPort(1));
    EXPECT_EQ(rig.naming->names, std::vector<std::string>{"COM12"});
}

TEST_F(UpdaterDialog, APortHeldByAnotherProgramNamesItInJapanese) {
    VirtualClock clock;
    UpdaterOptions options;
    options.backend = std::make_shared<tenlo::testing::RefusingBackend>(PortOpenFailure{
        PortOpenFailure::Reason::Busy, "/dev/ttyUSB0", EBUSY, "", "minicom (pid 4242)"});
    options.clock = &clock;
    Dlg dialog(options);
    presenter.Expect(
        "Cannot open COM1.\n/dev/ttyUSB0 は他のプログラム minicom (pid 4242) "
        "が使用中です。そのプログラムを終了してから、もう一度試してください。",
        kMbIconError);
    dialog.findChild<QPushButton*>(QString::number(Dlg::kIdConnect))->click();
    EXPECT_FALSE(dialog.IsPortOpen());
}

TEST_F(UpdaterDialog, EveryVisibleTextFitsItsControlAndNoControlsOverlap) {
    DialogRig rig;
    EXPECT_GE(qt::testing::ExpectTidyLayout(*rig.dlg), 9);
    // The status line holds the longest phase text.
    QLabel* status = rig.Control<QLabel>(Dlg::kIdStatus);
    EXPECT_LE(status->fontMetrics().horizontalAdvance(QString::fromUtf8(kStatusVerifying)),
              status->width());
}

TEST_F(UpdaterDialog, ConnectOpensTheSelectedPortDrivesTheLinesInactiveAndPolls) {
    DialogRig rig;
    // Lines left active by someone else: connecting must drop them.
    rig.chip.SetBreak(true);
    rig.chip.SetDtr(true);
    ASSERT_TRUE(rig.ConnectPort(4));
    EXPECT_EQ(rig.naming->names, (std::vector<std::string>{"COM5"}));
    EXPECT_FALSE(rig.chip.IsPowered());
    bool cts = true;
    ASSERT_TRUE(rig.chip.GetCts(cts));
    EXPECT_FALSE(cts) << "DTR low reads back on the JDM wiring";
    EXPECT_EQ(rig.Now(), kConnectedIdle);
    EXPECT_EQ(rig.dlg->findChild<QTimer*>("pollTimer")->interval(), 100);

    // Released: closed again, and the port is free for another program.
    rig.ConnectButton()->click();
    EXPECT_FALSE(rig.dlg->IsPortOpen());
    EXPECT_FALSE(rig.backend->InUse());
    EXPECT_EQ(rig.Now(), kDisconnected);
}

TEST_F(UpdaterDialog, AFailedOpenLeavesConnectReleasedWithTheMessageOfThePort) {
    DialogRig rig;
    // Another program holds the port.
    std::unique_ptr<IPortHandle> held = rig.backend->Open("COM1");
    presenter.Expect("Cannot open COM5.", kMbIconError);
    EXPECT_FALSE(rig.ConnectPort(4));
    EXPECT_EQ(rig.Now(), kDisconnected);
    ASSERT_EQ(presenter.Shown().size(), 1u);
    EXPECT_EQ(presenter.Shown()[0].caption, "Reader/Writer");

    // No selection names COM0, which no system has.
    held.reset();
    presenter.Expect("Cannot open COM0.", kMbIconError);
    EXPECT_FALSE(rig.ConnectPort(-1));
    EXPECT_EQ(rig.Now(), kDisconnected);
}

TEST_F(UpdaterDialog, ConnectStatesThePortCannotBeInAreReportedNotActedOn) {
    DialogRig rig;
    ASSERT_TRUE(rig.ConnectPort(0));
    // 接続 shown released while the port is open, then pressed.
    rig.ConnectButton()->setChecked(false);
    presenter.Expect("ポートはすでに開かれています。", 0);
    rig.ConnectButton()->click();
    EXPECT_TRUE(rig.dlg->IsPortOpen());
    EXPECT_EQ(rig.Now(), kConnectedIdle);

    rig.ConnectButton()->click();
    ASSERT_FALSE(rig.dlg->IsPortOpen());
    // 接続 shown pressed while the port is closed, then released.
    rig.ConnectButton()->setChecked(true);
    presenter.Expect("COM port has already been closed.", kMbIconError);
    rig.ConnectButton()->click();
    EXPECT_EQ(rig.Now(), kDisconnected);

    // The write and the debug dialog need an open port.
    presenter.Expect("シリアルポートが接続されていません。", kMbIconError);
    rig.dlg->OnFirmwareWrite();
    presenter.Expect("Port is not opened", kMbIconError);
    bool ran = false;
    rig.dlg->SetDialogRunner([&](CJDMDlg&) { ran = true; });
    rig.Control<QPushButton>(Dlg::kIdDevelop)->click();
    EXPECT_FALSE(ran);
    EXPECT_EQ(rig.Now(), kDisconnected);
    EXPECT_EQ(rig.chip.CompletedEraseCycles(), 0u);
}

TEST_F(UpdaterDialog, LineBoxesDriveTheLinesAndKeepTheirMarksAcrossConnects) {
    DialogRig rig;
    ASSERT_TRUE(rig.ConnectPort(0));
    rig.Check(Dlg::kIdPower)->click();
    EXPECT_TRUE(rig.chip.IsPowered());
    rig.Check(Dlg::kIdPgd)->click();
    bool cts = false;
    ASSERT_TRUE(rig.chip.GetCts(cts));
    EXPECT_TRUE(cts) << "DTR up";
    const std::uint32_t before = rig.chip.AddressCounter();
    rig.Check(Dlg::kIdPgc)->click();  // clock up
    rig.Check(Dlg::kIdPgc)->click();  // and down: one bit into the chip
    EXPECT_EQ(rig.chip.AddressCounter(), before);
    EXPECT_TRUE(rig.chip.IsPowered());

    rig.ConnectButton()->click();
    EXPECT_FALSE(rig.chip.IsPowered()) << "closing the port drops the break";
    ASSERT_TRUE(rig.ConnectPort(0));
    EXPECT_FALSE(rig.chip.IsPowered()) << "connecting drives every line inactive";
    EXPECT_TRUE(rig.Check(Dlg::kIdPower)->isChecked()) << "marks are the user's";
    EXPECT_TRUE(rig.Check(Dlg::kIdPgd)->isChecked());
}

TEST_F(UpdaterDialog, PgdInputFollowsCtsWhileIdle) {
    DialogRig rig;
    ASSERT_TRUE(rig.ConnectPort(0));
    QCheckBox* input = rig.Check(Dlg::kIdPgdInput);
    rig.chip.SetCtsStuck(true);
    EXPECT_TRUE(WaitFor([&] { return input->isChecked(); }));
    rig.chip.SetCtsStuck(false);
    EXPECT_TRUE(WaitFor([&] { return !input->isChecked(); }));

    // Disconnected, nothing polls.
    rig.ConnectButton()->click();
    rig.chip.SetCtsStuck(true);
    const std::size_t calls = rig.chip.LineCalls();
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 300) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    EXPECT_EQ(rig.chip.LineCalls(), calls);
    EXPECT_FALSE(input->isChecked());
}

TEST_F(UpdaterDialog, WholeUpdateOfAnAssembledProgram) {
    DialogRig rig;
    rig.chip.Poke(sim::Space::Program, 0x3FF, 0x34A6);
    rig.chip.Poke(sim::Space::Config, 0x2007, 0x2184);
    ASSERT_TRUE(rig.ConnectPort(2));

    QCheckBox* input = rig.Check(Dlg::kIdPgdInput);
    input->setChecked(true);  // CTS is low: a poll during the write would clear it
    std::vector<QString> statuses;
    std::vector<State> states;
    pump.each = [&] {
        if (statuses.empty() || statuses.back() != rig.Status()) {
            statuses.push_back(rig.Status());
            states.push_back(rig.Now());
            if (rig.Status() == QString::fromUtf8(kStatusWriting) && statuses.size() == 2 &&
                !qEnvironmentVariableIsEmpty("TENLO_SCREENSHOT_DIR")) {
                rig.dlg->grab().save(QDir(qEnvironmentVariable("TENLO_SCREENSHOT_DIR"))
                                         .filePath("tenlo_update_writing.png"));
            }
        }
        EXPECT_TRUE(input->isChecked()) << "PGD Input holds still during the write";
    };
    presenter.Expect("ファームウエア書き込み完了", kMbIconInformation, kIdOk, [&] {
        EXPECT_EQ(rig.Status(), QString::fromUtf8(kStatusVerifying)) << "phase text under the box";
        EXPECT_EQ(rig.Now(), kWriting);
    });
    rig.WriteButton()->click();
    pump.each = nullptr;

    const std::vector<QString> expected{"イレース中...", "書き込み中...", "ベリファイ中...",
                                        "書き込み中...", "ベリファイ中..."};
    EXPECT_EQ(statuses, expected);
    for (const State& s : states) {
        EXPECT_EQ(s, kWriting);
    }
    EXPECT_TRUE(rig.Status().isEmpty());
    EXPECT_EQ(rig.Now(), kConnectedIdle);
    EXPECT_TRUE(rig.dlg->IsPortOpen());

    const std::vector<std::uint16_t> words = test::AssembledProgramWords();
    for (unsigned a = 0; a < 0x3FF; ++a) {
        ASSERT_EQ(rig.chip.ProgramWord(a), words[a]) << a;
    }
    EXPECT_EQ(rig.chip.OscCal(), 0x34A6);
    EXPECT_EQ(rig.chip.ConfigWord(), 0x2000 | test::kAssembledConfigBits);
    EXPECT_FALSE(rig.chip.IsPowered());
    EXPECT_EQ(rig.chip.AbortedCycles(), 0u);
}

// Each failure of the write, from a fault of its own, with its message; the dialog returns to
// connected and idle after every one.
// Each failure of the write, from a fault of its own, with its message; the dialog returns to
// connected and idle after every one. A file that cannot be read, or a chip that does not
// answer, leaves the chip as it was.
TEST_F(UpdaterDialog, EachFailureOfTheWriteShowsItsMessage) {
    const fs::path dir =
        fs::temp_directory_path() / ("tenlo_update_dlg_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string eeprom = (dir / "eeprom.hex").string();
    std::ofstream(eeprom) << HexRecord(0, 0x0000, {0x05, 0x28}) + HexRecord(0, 0x4200, {0x00}) +
                                 kHexEnd;
    struct Case {
        const char* message;
        std::string file;
        std::function<void(sim::CJdmChip&)> fault;
        bool untouched;
    };
    const std::string missing = (dir / "none.HEX").string();
    const Case cases[] = {
        {"イレースに失敗しました。", "",
         [](sim::CJdmChip& chip) { chip.FailLineCallsAfter(chip.LineCalls() + 2000); }, true},
        {"イレースに失敗しました。", "", [](sim::CJdmChip& chip) { chip.SetCtsStuck(true); }, true},
        {"ファームウエアファイル %s を開けません。", missing, nullptr, true},
        {"ファームウエアファイル %s の読み込みに失敗しました。\n2 行目：バイトアドレス 4200H は、"
         "プログラマーのマイコンのプログラムメモリーにもコンフィグレーションメモリーにもありません"
         "。",
         eeprom, nullptr, true},
        {"書き込みに失敗しました。", "",
         [](sim::CJdmChip& chip) { chip.SetStuckCell(sim::Space::Program, 0x100); }, false},
        {"ベリファイに失敗しました。", "",
         [](sim::CJdmChip& chip) { chip.SetLeakyCell(sim::Space::Program, 0x009); }, false},
    };
    for (const Case& c : cases) {
        DialogRig rig(c.file.empty() ? UpdaterOptions{} : WithFile(c.file));
        ASSERT_TRUE(rig.ConnectPort(0));
        if (c.fault) {
            c.fault(rig.chip);
        }
        std::string text = c.message;
        if (const std::size_t at = text.find("%s"); at != std::string::npos) {
            text.replace(at, 2, c.file);
        }
        SCOPED_TRACE(text);
        presenter.Expect(QString::fromStdString(text), kMbIconError);
        rig.WriteButton()->click();
        EXPECT_TRUE(presenter.Exhausted());
        EXPECT_EQ(rig.Now(), kConnectedIdle);
        EXPECT_TRUE(rig.Status().isEmpty());
        EXPECT_FALSE(rig.chip.IsPowered());
        EXPECT_EQ(rig.chip.CompletedEraseCycles() == 0, c.untouched);
        EXPECT_EQ(rig.chip.ProgramWord(0) == 0x0123, c.untouched);
        EXPECT_EQ(rig.chip.OscCal(), sim::CJdmChip::kFactoryOscCal);
    }
    fs::remove_all(dir);
}

// The files a user can end up with after a failed copy or download, or from a tool that lost
// its line ends: each is refused with its reason under the message, the chip left as it was.
// A file with carriage returns alone for line ends is whole: all of it goes in.
TEST_F(UpdaterDialog, AFileThatIsNotWholeFirmwareIsRefusedWithItsReason) {
    const fs::path dir =
        fs::temp_directory_path() / ("tenlo_update_whole_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string code = HexRecord(0, 0x0000, {0x05, 0x28});
    const std::string firmware = code + HexRecord(0, 0x0200, {0x09, 0x00}) + kHexEnd;
    struct Case {
        std::string text;
        const char* reason;
    };
    const Case cases[] = {
        {"", "ファイルが空です。"},
        {kHexEnd, "プログラムメモリーに書き込むデータがありません。"},
        {HexRecord(4, 0, {0, 0}),
         "終了レコードがありません。ファイルが途中で切れている可能性があります。"},
        {firmware.substr(0, firmware.size() - 8),
         "3 行目：レコードが途中で切れているか、16 進数でない文字があります。"},
        {":020000000528D1:020200000900F3:00000001FF\n",
         "1 行目：1 行に複数のレコードが続いています（改行が失われています）。"},
        {code + HexRecord(0, 0x0001, {0x30}) + kHexEnd,
         "2 行目：バイトアドレス 0001H に、前のレコードと異なるデータ（28H と 30H）があります。"
         "どちらが正しいか分かりません。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        const std::string file = (dir / "fw.hex").string();
        std::ofstream(file, std::ios::binary | std::ios::trunc) << c.text;
        DialogRig rig(WithFile(file));
        ASSERT_TRUE(rig.ConnectPort(0));
        presenter.Expect(QString::fromStdString("ファームウエアファイル " + file +
                                                " の読み込みに失敗しました。\n" + c.reason),
                         kMbIconError);
        rig.WriteButton()->click();
        EXPECT_TRUE(presenter.Exhausted());
        EXPECT_EQ(rig.Now(), kConnectedIdle);
        EXPECT_EQ(rig.chip.CompletedEraseCycles(), 0u);
        EXPECT_EQ(rig.chip.ProgramWord(0), 0x0123);
    }

    std::string cr = firmware;
    std::replace(cr.begin(), cr.end(), '\n', '\r');
    const std::string file = (dir / "cr.hex").string();
    std::ofstream(file, std::ios::binary) << cr;
    DialogRig rig(WithFile(file));
    ASSERT_TRUE(rig.ConnectPort(0));
    presenter.Expect("ファームウエア書き込み完了", kMbIconInformation);
    rig.WriteButton()->click();
    EXPECT_EQ(rig.chip.ProgramWord(0), 0x2805);
    EXPECT_EQ(rig.chip.ProgramWord(0x100), 0x0009);
    fs::remove_all(dir);
}

TEST_F(UpdaterDialog, ACodeProtectingFirmwareVerifies) {
    const fs::path file =
        fs::temp_directory_path() / ("tenlo_update_cp_" + std::to_string(::getpid()) + ".hex");
    std::ofstream(file) << HexRecord(0, 0x0000, {0x05, 0x28}) + HexRecord(0, 0x400E, {0x44, 0x3F}) +
                               kHexEnd;
    DialogRig rig(WithFile(file.string()));
    ASSERT_TRUE(rig.ConnectPort(0));
    presenter.Expect("ファームウエア書き込み完了", kMbIconInformation);
    rig.WriteButton()->click();
    EXPECT_EQ(rig.chip.ConfigWord(), 0x3144);
    EXPECT_EQ(rig.chip.ProgramWord(0), 0x2805);
    fs::remove(file);
}

TEST_F(UpdaterDialog, TheDefaultFileIsMossvaneHexInTheCurrentFolder) {
    const QString old = QDir::currentPath();
    const fs::path dir =
        fs::temp_directory_path() / ("tenlo_update_cwd_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(dir.string())));
    {
        VirtualClock clock;
        auto backend = sim::MakeJdmSimulatorBackend(clock);
        UpdaterOptions options;
        options.backend = backend;
        options.clock = &clock;
        Dlg dlg(options);
        dlg.findChild<QPushButton*>("1001")->click();
        presenter.Expect("ファームウエアファイル Mossvane.HEX を開けません。", kMbIconError);
        dlg.findChild<QPushButton*>("1019")->click();

        fs::copy_file(AssembledFirmwarePath(), dir / "Mossvane.HEX");
        presenter.Expect("ファームウエア書き込み完了", kMbIconInformation);
        dlg.findChild<QPushButton*>("1019")->click();
        EXPECT_EQ(backend->Chip().ProgramWord(0), 0x2805);
    }
    QDir::setCurrent(old);
    fs::remove_all(dir);
}

TEST_F(UpdaterDialog, ACloseDuringTheWriteWaitsForItsEnd) {
    DialogRig rig;
    ASSERT_TRUE(rig.ConnectPort(0));
    bool closedEarly = false;
    pump.each = [&] {
        if (pump.calls == 1500) {
            rig.dlg->close();
        }
        closedEarly = closedEarly || !rig.dlg->isVisible() || !rig.dlg->IsPortOpen();
    };
    presenter.Expect("ファームウエア書き込み完了", kMbIconInformation);
    rig.WriteButton()->click();
    pump.each = nullptr;
    EXPECT_GT(pump.calls, 1500);
    EXPECT_FALSE(closedEarly);
    EXPECT_EQ(rig.chip.ProgramWord(0), 0x2805) << "the write went on to its end";
    EXPECT_FALSE(rig.dlg->isVisible()) << "then the dialog closed";
    EXPECT_FALSE(rig.dlg->IsPortOpen());
    EXPECT_FALSE(rig.backend->InUse());
    EXPECT_FALSE(rig.dlg->IsPolling());
}

TEST_F(UpdaterDialog, DevelopRunsTheDebugDialogWithThePollStopped) {
    DialogRig rig;
    ASSERT_TRUE(rig.ConnectPort(0));
    int runs = 0;
    rig.dlg->SetDialogRunner([&](CJDMDlg& debug) {
        ++runs;
        EXPECT_EQ(debug.windowTitle(), "JDM Prog Debug");
        EXPECT_EQ(rig.Now(), kDebugOpen);
        debug.OnPowerOn();
        debug.OnLoadConfig();
    });
    rig.Control<QPushButton>(Dlg::kIdDevelop)->click();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(rig.Now(), kConnectedIdle);
    EXPECT_EQ(rig.chip.AddressCounter(), 0x2000u) << "bound to the open port";
    EXPECT_TRUE(rig.chip.IsPowered()) << "lines stay as the debug dialog left them";
}

TEST_F(UpdaterDialog, WithDevelopEveryConnectOpensTheDebugDialog) {
    UpdaterOptions options;
    options.develop = true;
    DialogRig rig(options);
    int runs = 0;
    rig.dlg->SetDialogRunner([&](CJDMDlg&) {
        ++runs;
        EXPECT_EQ(rig.Now(), kDebugOpen);
    });
    ASSERT_TRUE(rig.ConnectPort(0));
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(rig.Now(), kConnectedIdle);
    rig.ConnectButton()->click();
    EXPECT_EQ(runs, 1) << "not on a disconnect";
    ASSERT_TRUE(rig.ConnectPort(0));
    EXPECT_EQ(runs, 2);
}

}  // namespace
}  // namespace tenlo::updater
