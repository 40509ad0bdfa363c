#include "app/tenlo_app.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <map>

#include "app/commands.h"
#include "app/main_frame.h"
#include "app/view/tenlo_view.h"
#include "app_rig.h"
#include "device/catalogue.h"
#include "qtcommon/gui_thread.h"
#include "support/refusing_backend.h"

namespace tenlo::app {
namespace {

using testing::ScriptedDialogs;

TEST_F(AppRig, CancellingTheFirstPortDialogEndsWithNoWindow) {
    QCoreApplication::setOrganizationName({});
    dialogs_.Expect("105", [](QDialog& dialog) {
        auto* ports = dialog.findChild<QComboBox*>("1059");
        ASSERT_NE(ports, nullptr);
        EXPECT_EQ(ports->currentText(), "COM5");
        ScriptedDialogs::Press(dialog, "IDCANCEL");
    });
    EXPECT_FALSE(app_.InitInstance());
    EXPECT_EQ(app_.MainFrame(), nullptr);
    EXPECT_TRUE(rack_->opened.empty());
    EXPECT_TRUE(QCoreApplication::organizationName().isEmpty())
        << "the profile key is set only once the programmer is found";
}

TEST_F(AppRig, APortWhereNothingAnswersIsNamedAndOfferedAgain) {
    dialogs_.Expect("105", ScriptedDialogs::ChoosePort(3));
    presenter_.Expect("COM3にRavoniteが見つかりません。\n接続を確認してください。", kMbIconError);
    dialogs_.Expect("105", [](QDialog& dialog) {
        EXPECT_EQ(dialog.findChild<QComboBox*>("1059")->currentText(), "COM3");
        ScriptedDialogs::ChoosePort(5)(dialog);
    });
    ASSERT_TRUE(app_.InitInstance());
    EXPECT_EQ(rack_->opened, (std::vector<std::string>{"COM3", "COM5"}));
    EXPECT_EQ(presenter_.Shown().at(0).caption, "Tenlo");
    EXPECT_TRUE(app_.GetLink()->IsConnected());
    EXPECT_TRUE(app_.MainFrame()->isVisible());
    EXPECT_EQ(QCoreApplication::organizationName(), "Tenlo");
}

TEST_F(AppRig, APortThatWillNotOpenSaysWhyBeforeAnyWindowExists) {
    dialogs_.Expect("105", ScriptedDialogs::ChoosePort(12));
    presenter_.Expect("Cannot open COM12.", kMbIconError);
    dialogs_.Expect("105", [](QDialog& dialog) {
        EXPECT_EQ(dialog.findChild<QComboBox*>("1059")->currentText(), "COM12");
        ScriptedDialogs::Press(dialog, "IDCANCEL");
    });
    EXPECT_FALSE(app_.InitInstance());
    EXPECT_EQ(rack_->opened, std::vector<std::string>{"COM12"});
    EXPECT_EQ(presenter_.Shown().at(0).caption, "Error");
    EXPECT_EQ(PortDefinition(12), "COM12: baud=38400 parity=N data=8 stop=1");
}

TEST_F(AppRig, APortThisUserMayNotOpenSaysHowToGetAccessInJapanese) {
    CTenloApp denied{
        std::make_shared<tenlo::testing::RefusingBackend>(PortOpenFailure{
            PortOpenFailure::Reason::PermissionDenied, "/dev/ttyUSB0", EACCES, "dialout", ""}),
        &clock_};
    dialogs_.Expect("105", ScriptedDialogs::ChoosePort(3));
    presenter_.Expect(
        "Cannot open COM3.\n/dev/ttyUSB0 を開く権限がありません。このポートのグループ "
        "(dialout) に自分を加えてください: sudo usermod -aG dialout $USER "
        "を実行し、ログインし直してください。",
        kMbIconError);
    dialogs_.Expect("105", ScriptedDialogs::Cancel());
    EXPECT_FALSE(denied.InitInstance());
}

TEST_F(AppRig, LeavingClosesThePortForTheNextProgram) {
    Start(5);
    app_.ExitInstance();
    EXPECT_EQ(app_.MainFrame(), nullptr);
    EXPECT_EQ(app_.GetLink(), nullptr);
    EXPECT_NE(rack_->Port(5).Open("COM5"), nullptr) << "the port is free again";
}

TEST_F(AppRig, ChangingThePortAsksAgainAndAnswersOnTheNewOneWithoutARestart) {
    CMainFrame& frame = Start(5);
    // A port where nothing answers is named, and the dialog comes back on it.
    dialogs_.Expect("105", [](QDialog& dialog) {
        EXPECT_EQ(dialog.findChild<QComboBox*>("1059")->currentText(), "COM5")
            << "on the port in use";
        ScriptedDialogs::ChoosePort(3)(dialog);
    });
    presenter_.Expect("COM3にRavoniteが見つかりません。\n接続を確認してください。", kMbIconError);
    dialogs_.Expect("105", ScriptedDialogs::ChoosePort(7));
    frame.Action(kCmdChangePort)->trigger();
    EXPECT_EQ(app_.Port(), 7);
    EXPECT_EQ(app_.View()->PortName(), "COM7");
    EXPECT_TRUE(app_.GetLink()->IsConnected());
    EXPECT_NE(rack_->Port(5).Open("COM5"), nullptr) << "the old port was given back";

    // Cancelled, the port in use opens again.
    dialogs_.Expect("105", ScriptedDialogs::Cancel());
    frame.Action(kCmdChangePort)->trigger();
    EXPECT_EQ(app_.Port(), 7);
    EXPECT_TRUE(app_.GetLink()->IsConnected());
    EXPECT_EQ(rack_->opened, (std::vector<std::string>{"COM5", "COM3", "COM7", "COM7"}));
    EXPECT_TRUE(frame.isVisible());
}

TEST_F(AppRig, TheMainWindowHasTheMenusOfTheResource) {
    CMainFrame& frame = Start(5);
    QStringList titles;
    for (QAction* a : frame.menuBar()->actions()) {
        titles << a->text();
    }
    EXPECT_EQ(titles, (QStringList{"ファイル(&F)", "デバイス(&D)", "表示(&V)"}));
    auto* helpBar = qobject_cast<QMenuBar*>(frame.menuBar()->cornerWidget(Qt::TopRightCorner));
    ASSERT_NE(helpBar, nullptr) << "the help menu stands at the right end";
    ASSERT_EQ(helpBar->actions().size(), 1);
    EXPECT_EQ(helpBar->actions()[0]->text(), "ヘルプ(&H)");

    // Each menu's items by id (0 a separator) and text.
    const auto items = [](QMenu* menu) {
        std::vector<std::pair<int, QString>> out;
        for (QAction* a : menu->actions()) {
            out.emplace_back(a->isSeparator() ? 0 : a->objectName().toInt(), a->text());
        }
        return out;
    };
    using Items = std::vector<std::pair<int, QString>>;
    const QList<QAction*> menus = frame.menuBar()->actions();
    EXPECT_EQ(items(menus[0]->menu()), (Items{{32771, "プログラムを開く(&O)..."},
                                              {32772, "プログラムを保存(&S)..."},
                                              {0, ""},
                                              {32773, "データを開く(&D)..."},
                                              {32774, "データを保存(&F)..."},
                                              {0, ""},
                                              {32790, "ポート変更(&P)..."},
                                              {0, ""},
                                              {57665, "終了(&X)"}}));
    // The view has put the chip list where the resource's placeholder "選択(&S)" stood, and
    // the rest of the catalogue after it.
    EXPECT_EQ(items(menus[1]->menu()), (Items{{32785, "選択"},
                                              {0, "その他"},
                                              {0, ""},
                                              {32775, "読み出し(&R)"},
                                              {32776, "イレース(&E)"},
                                              {32777, "書き込み(&W)"},
                                              {32782, "コンペア(&C)"},
                                              {0, ""},
                                              {32791, "コンフィグレーションビット(&B)..."},
                                              {32792, "キャリブレーション値の書き戻し(&K)..."},
                                              {32788, "プログラマー・オプション..."}}));
    EXPECT_EQ(items(menus[2]->menu()), (Items{{59392, "ツール バー(&T)"}}));
    EXPECT_EQ(items(helpBar->actions()[0]->menu()),
              (Items{{57664, "バージョン情報 Tenlo(&A)..."}}));

    // Every command has its handler, saving included.
    for (int command : {kCmdOpenProgram, kCmdSaveProgram, kCmdOpenData, kCmdSaveData, kCmdRead,
                        kCmdErase, kCmdWrite, kCmdCompare, kCmdProgOption, kCmdChangePort,
                        kCmdConfigBits, kCmdRestoreCalibration}) {
        EXPECT_TRUE(frame.Action(command)->isEnabled()) << command;
    }
    EXPECT_TRUE(frame.Action(kCmdAppExit)->isEnabled());
    EXPECT_TRUE(frame.Action(kCmdAppAbout)->isEnabled());
    EXPECT_TRUE(frame.Action(kCmdViewToolbar)->isEnabled());
}

TEST_F(AppRig, TheToolbarHoldsTheButtonsAndTheDeviceSelector) {
    CMainFrame& frame = Start(5);
    QToolBar* bar = frame.ToolBar();
    QStringList ids;
    for (QAction* a : bar->actions()) {
        ids << (a->isSeparator() ? "-" : a->objectName());
    }
    ids.removeLast();  // the selector's own slot
    EXPECT_EQ(ids, (QStringList{"32771", "32772", "-", "32773", "32774", "-", "32775", "32776",
                                "32777", "32782"}));
    EXPECT_EQ(frame.Action(kCmdOpenProgram)->toolTip(), "プログラムを開く");
    EXPECT_EQ(frame.Action(kCmdCompare)->toolTip(), "コンペア");
    EXPECT_FALSE(frame.Action(kCmdOpenData)->icon().isNull());

    QComboBox* selector = frame.DeviceSelector();
    ASSERT_NE(selector, nullptr);
    EXPECT_EQ(selector->objectName(), "32783");
    EXPECT_EQ(selector->parentWidget(), bar);
    EXPECT_EQ(selector->width(), 130);
    EXPECT_FALSE(selector->isEditable());
    EXPECT_TRUE(bar->isMovable());

    auto* save = qobject_cast<QWidget*>(bar->widgetForAction(frame.Action(kCmdSaveData)));
    ASSERT_NE(save, nullptr);
    EXPECT_TRUE(save->isEnabled());
}

TEST_F(AppRig, TheMainWindowOpensAtItsOwnSizeGrowsButNeverShrinksAndHasNoStatusBar) {
    CMainFrame& frame = Start(5);
    EXPECT_EQ(frame.windowTitle(), "無題 - Tenlo");
    EXPECT_EQ(frame.findChild<QStatusBar*>(), nullptr);
    EXPECT_EQ(frame.size(), frame.minimumSize()) << "opens at the form's own size";
    EXPECT_EQ(frame.maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    EXPECT_TRUE(frame.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(frame.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(frame.centralWidget(), app_.View());
    EXPECT_EQ(app_.View()->objectName(), "101");
    EXPECT_TRUE(frame.rect().contains(app_.View()->geometry()));
}

TEST_F(AppRig, TheToolbarItemHidesAndShowsTheToolbarWithItsSelector) {
    CMainFrame& frame = Start(5);
    QAction* toggle = frame.Action(kCmdViewToolbar);
    ASSERT_TRUE(toggle->isChecked());
    const int tall = frame.height();
    toggle->trigger();
    QCoreApplication::processEvents();
    EXPECT_FALSE(frame.ToolBar()->isVisible());
    EXPECT_FALSE(frame.DeviceSelector()->isVisible());
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_LT(frame.height(), tall) << "the frame fits what is left";
    EXPECT_EQ(frame.size(), frame.minimumSize());
    toggle->trigger();
    QCoreApplication::processEvents();
    EXPECT_TRUE(frame.DeviceSelector()->isVisible());
    EXPECT_EQ(frame.height(), tall);
}

TEST_F(AppRig, ExitClosesTheWindowUnlessAnOperationHoldsIt) {
    CMainFrame& frame = Start(5);
    frame.setEnabled(false);
    EXPECT_FALSE(frame.close());
    EXPECT_TRUE(frame.isVisible());
    frame.setEnabled(true);
    frame.Action(kCmdAppExit)->trigger();
    EXPECT_FALSE(frame.isVisible());
}

// The about box over a programmer that reports the given version bytes.
QString AboutLine(AppRig& rig, ScriptedDialogs& dialogs) {
    QString line = "(not shown)";
    dialogs.Expect("100", [&line, &rig](QDialog& dialog) {
        EXPECT_EQ(dialog.parentWidget(), rig.App().MainFrame());
        line = dialog.findChild<QLabel*>("1081")->text();
        ScriptedDialogs::Press(dialog, "IDOK");
    });
    rig.App().MainFrame()->Action(kCmdAppAbout)->trigger();
    return line;
}

TEST_F(AppRig, TheAboutBoxShowsTheFirmwareVersionTheProgrammerGives) {
    Start(5);
    rack_->SetVersion(5, {0x00, 0x01, 0x05, 0x00});
    EXPECT_EQ(AboutLine(*this, dialogs_), "Firmware Version 1.5RZ");
    rack_->SetVersion(5, {0x01, 0x00, 0x00, 0x01});
    EXPECT_EQ(AboutLine(*this, dialogs_), "Firmware Version 256.0KX");
}

TEST_F(AppRig, TheAboutBoxStillOpensWhenTheProgrammerDoesNotSay) {
    Start(PortRack::kAnswersPingOnly);
    EXPECT_EQ(AboutLine(*this, dialogs_), "");
}

// Watches the main window and the progress dialog on the GUI thread while a device runs.
class OperationWatch : public QObject {
  public:
    OperationWatch(CMainFrame& frame, CProgressDlg& dialog) : frame_(frame), dialog_(dialog) {
        frame.installEventFilter(this);
        dialog.installEventFilter(this);
        auto* bar = dialog.findChild<QProgressBar*>("1051");
        // Direct: the slot runs on whichever thread moved the bar.
        QObject::connect(
            bar, &QProgressBar::valueChanged, this,
            [this](int value) {
                positions.push_back(value);
                offGuiThread = offGuiThread || !qt::OnGuiThread();
            },
            Qt::DirectConnection);
    }

    struct Moment {
        bool frameEnabled;
        bool dialogVisible;
        QString text;
    };
    std::vector<Moment> lockChanges;
    std::vector<int> positions;
    bool offGuiThread = false;
    bool closeRefused = false;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        offGuiThread = offGuiThread || !qt::OnGuiThread();
        if (watched == &frame_ && event->type() == QEvent::EnabledChange) {
            lockChanges.push_back({frame_.isEnabled(), dialog_.isVisible(),
                                   dialog_.findChild<QLabel*>("1052")->text()});
            if (!frame_.isEnabled()) {
                closeRefused = !frame_.close();
            }
        }
        return false;
    }

  private:
    CMainFrame& frame_;
    CProgressDlg& dialog_;
};

TEST_F(AppRig, ADeviceOperationShowsItsProgressAndLocksTheMainWindowUntilItEnds) {
    CMainFrame& frame = Start(5);
    CTenloView* view = app_.View();
    ASSERT_NE(view->Progress(), nullptr);
    DeviceOptions options;
    std::unique_ptr<CDevice> device =
        CreateDevice(kStartupDeviceIndex, *app_.GetLink(), &options, view->Progress());
    ASSERT_NE(device, nullptr);
    device->SetMainWindow(view->MainWindow());
    CMemoryImage image(device->Layout());
    OperationWatch watch(frame, *view->ProgressDialog());

    ASSERT_TRUE(device->RunReadProgram(image.Program()));
    ASSERT_EQ(watch.lockChanges.size(), 2u);
    EXPECT_FALSE(watch.lockChanges[0].frameEnabled);
    EXPECT_TRUE(watch.lockChanges[0].dialogVisible);
    EXPECT_EQ(watch.lockChanges[0].text, "プログラムメモリー読み出し中...");
    EXPECT_TRUE(watch.closeRefused) << "the locked window cannot be closed";
    EXPECT_TRUE(watch.lockChanges[1].frameEnabled);
    EXPECT_FALSE(watch.lockChanges[1].dialogVisible);
    EXPECT_FALSE(watch.offGuiThread) << "a widget was touched from the worker";
    ASSERT_FALSE(watch.positions.empty());
    EXPECT_TRUE(std::is_sorted(watch.positions.begin(), watch.positions.end()));
    EXPECT_LE(watch.positions.back(), 100);
    EXPECT_GT(watch.positions.back(), 50);

    // When the call returns, the dialog is gone and the window is the user's again.
    EXPECT_FALSE(view->ProgressDialog()->isVisible());
    EXPECT_TRUE(frame.isEnabled());
    EXPECT_TRUE(frame.isVisible());
}

TEST_F(AppRig, AFailedOperationStillClosesItsProgressAndUnlocksTheWindow) {
    CMainFrame& frame = Start(PortRack::kBreaksDuringRead);
    CTenloView* view = app_.View();
    DeviceOptions options;
    std::unique_ptr<CDevice> device =
        CreateDevice(kStartupDeviceIndex, *app_.GetLink(), &options, view->Progress());
    device->SetMainWindow(view->MainWindow());
    CMemoryImage image(device->Layout());
    EXPECT_FALSE(device->RunReadProgram(image.Program()));
    EXPECT_FALSE(view->ProgressDialog()->isVisible());
    EXPECT_TRUE(frame.isEnabled());
}

}  // namespace
}  // namespace tenlo::app
