#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTranslator>
#include <atomic>
#include <chrono>

#include "app/dialogs/about_dlg.h"
#include "app/dialogs/calibration_dlg.h"
#include "app/dialogs/port_sel_dlg.h"
#include "app/dialogs/prog_option_dlg.h"
#include "app/dialogs/progress_dlg.h"
#include "app/translations.h"
#include "qtsupport/layout_checks.h"
#include "qtsupport/scripted_presenter.h"

namespace tenlo::app {
namespace {

using qt::testing::ExpectTidyLayout;

template <typename T>
T* Control(QWidget& dialog, const char* id) {
    auto* control = dialog.findChild<T*>(QString::fromLatin1(id));
    EXPECT_NE(control, nullptr) << id;
    return control;
}

void Press(QWidget& dialog, const char* id) {
    if (auto* button = Control<QAbstractButton>(dialog, id)) {
        button->click();
    }
}

TEST(PortSelDlg, ListsCom1ToCom99AndOpensOnThePresetPort) {
    CPortSelDlg dialog;
    dialog.SetPort(5);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Tenlo - 接続ポート");
    auto* ports = Control<QComboBox>(dialog, "1059");
    ASSERT_NE(ports, nullptr);
    ASSERT_EQ(ports->count(), 99);
    EXPECT_EQ(ports->itemText(0), "COM1");
    EXPECT_EQ(ports->itemText(9), "COM10");
    EXPECT_EQ(ports->itemText(98), "COM99");
    EXPECT_EQ(ports->currentText(), "COM5");
    EXPECT_FALSE(ports->isEditable());
    ExpectTidyLayout(dialog);

    ports->setCurrentIndex(ports->findText("COM12"));
    Press(dialog, "IDOK");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.GetPort(), 12);

    // The next run opens on the last choice; cancel keeps it.
    dialog.show();
    EXPECT_EQ(ports->currentText(), "COM12");
    EXPECT_EQ(ports->count(), 99);
    ports->setCurrentIndex(0);
    Press(dialog, "IDCANCEL");
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(dialog.GetPort(), 12);

    // Once the list is there, setting the port selects it.
    dialog.SetPort(42);
    EXPECT_EQ(ports->currentText(), "COM42");
}

TEST(PortSelDlg, PortsPresentComeFirstSayingWhatTheyAreAndAreAskedForAtEveryShowing) {
    std::vector<SerialPortInfo> present(2);
    present[0].product = "FT232R USB UART";
    present[0].comNumbers = {7};
    present[1].device = "/dev/ttyS0";
    present[1].kind = PortKind::Onboard;
    present[1].comNumbers = {1};
    int asked = 0;
    CPortSelDlg dialog;
    dialog.SetPortLister([&] {
        ++asked;
        return present;
    });
    EXPECT_EQ(dialog.PresetPort(5), 1) << "COM5 is not there: the first port that is";
    dialog.SetPort(1);
    dialog.show();
    auto* ports = Control<QComboBox>(dialog, "1059");
    ASSERT_NE(ports, nullptr);
    ASSERT_EQ(ports->count(), 99);
    EXPECT_EQ(ports->itemText(0), "COM1 (on-board serial port ttyS0)");
    EXPECT_EQ(ports->itemText(1), "COM7 (FT232R USB UART)");
    EXPECT_EQ(ports->itemText(2), "COM2");
    EXPECT_EQ(ports->itemText(98), "COM99");
    EXPECT_EQ(ports->currentIndex(), 0);
    EXPECT_EQ(ports->toolTip(), "COM1 (on-board serial port ttyS0)");
    ExpectTidyLayout(dialog);

    ports->setCurrentIndex(1);
    Press(dialog, "IDOK");
    EXPECT_EQ(dialog.GetPort(), 7);

    // Plugged in before the next try: there at the next showing, the last choice kept.
    present.push_back({});
    present.back().product = "CP2102 USB to UART Bridge Controller";
    present.back().comNumbers = {5};
    const int before = asked;
    dialog.show();
    EXPECT_GT(asked, before);
    EXPECT_EQ(ports->itemText(1), "COM5 (CP2102 USB to UART Bridge Controller)");
    EXPECT_EQ(ports->currentText(), "COM7 (FT232R USB UART)");
    EXPECT_EQ(dialog.PresetPort(5), 5);
    // And while it is up, when the list drops down.
    present.erase(present.begin() + 1);
    ports->showPopup();
    EXPECT_EQ(ports->itemText(1), "COM7 (FT232R USB UART)");
    EXPECT_EQ(ports->currentText(), "COM7 (FT232R USB UART)");
    ports->hidePopup();
    Press(dialog, "IDOK");
    EXPECT_EQ(dialog.GetPort(), 7);
}

TEST(CalibrationDlg, OffersTheNewestRecordAndWritesBackOnlyACalibrationWord) {
    std::vector<jobs::JournalEntry> entries{
        {"2026-12-09T16:20:01Z", {"PIC12F629", "COM5", 0x0F81, 0x3454, 1}},
        {"2026-11-30T08:00:00Z", {"PIC12F629", "COM3", 0x0F81, 0x3480, 3}},
    };
    CCalibrationDlg dialog(QStringLiteral("PIC12F629"), entries, true,
                           QStringLiteral("/home/u/.local/state/tenlo/calibration.log"));
    dialog.show();
    ASSERT_EQ(dialog.Entries()->count(), 2);
    EXPECT_TRUE(
        dialog.Entries()->item(0)->text().contains(QStringLiteral("COM5  ワード 3454H  "
                                                                  "バンドギャップ 1")))
        << dialog.Entries()->item(0)->text().toStdString();
    EXPECT_EQ(dialog.WordEdit()->text(), "3454H") << "the newest is taken";
    EXPECT_EQ(dialog.BandGapBox()->currentText(), "1");
    ExpectTidyLayout(dialog);
    dialog.Entries()->setCurrentRow(1);
    EXPECT_EQ(dialog.WordEdit()->text(), "3480H");
    EXPECT_EQ(dialog.BandGapBox()->currentText(), "3");

    // An erased word, or any other instruction, would "restore" a lost calibration.
    qt::testing::ScriptedPresenter presenter;
    for (const char* typed : {"3FFF", "34", "3480 1", "12345"}) {
        presenter.ExpectLead(QStringLiteral("キャリブレーションワードは RETLW 命令"),
                             kMbIconExclamation);
        dialog.WordEdit()->setText(QString::fromLatin1(typed));
        Press(dialog, "IDOK");
        EXPECT_TRUE(dialog.isVisible()) << typed;
    }
    EXPECT_TRUE(presenter.Exhausted());
    dialog.WordEdit()->setText(QStringLiteral("0x3455"));
    dialog.BandGapBox()->setCurrentIndex(0);  // 書き戻さない
    Press(dialog, "IDOK");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Word(), 0x3455);
    EXPECT_FALSE(dialog.BandGap());
}

TEST(CalibrationDlg, WithoutARecordTheUserTypesTheWordAndNoBandGapIsAsked) {
    CCalibrationDlg dialog(QStringLiteral("PIC12F508"), {}, false, QStringLiteral("x.log"));
    dialog.show();
    EXPECT_FALSE(dialog.Entries()->isEnabled());
    EXPECT_TRUE(dialog.WordEdit()->text().isEmpty());
    EXPECT_FALSE(dialog.BandGapBox()->isVisible());
    ExpectTidyLayout(dialog);
    dialog.WordEdit()->setText(QStringLiteral("34c0h"));
    Press(dialog, "IDOK");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Word(), 0x34C0);
    EXPECT_FALSE(dialog.BandGap());
}

TEST(ProgOptionDlg, ShowsTheRecordAndOnlyOkChangesIt) {
    DeviceOptions options;
    options.keepCalibration = 1;
    options.skipCalibrationCompare = 0;
    CProgOptionDlg dialog;
    dialog.SetOptions(&options);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "プログラマー・オプション");
    auto* keep = Control<QCheckBox>(dialog, "1068");
    auto* skip = Control<QCheckBox>(dialog, "1067");
    ASSERT_TRUE(keep != nullptr && skip != nullptr);
    EXPECT_EQ(keep->text(), "イレース／書き込み時キャリブレーションデータを保持");
    EXPECT_EQ(skip->text(), "キャリブレーションデータをコンペアしない");
    EXPECT_TRUE(keep->isChecked());
    EXPECT_FALSE(skip->isChecked());
    ExpectTidyLayout(dialog);

    keep->setChecked(false);
    skip->setChecked(true);
    Press(dialog, "IDCANCEL");
    EXPECT_EQ(options.keepCalibration, 1);
    EXPECT_EQ(options.skipCalibrationCompare, 0);

    dialog.show();
    EXPECT_TRUE(keep->isChecked()) << "a new run shows the record again";
    keep->setChecked(false);
    skip->setChecked(true);
    Press(dialog, "IDOK");
    EXPECT_EQ(options.keepCalibration, 0);
    EXPECT_EQ(options.skipCalibrationCompare, 1);
}

TEST(ProgressDlg, OpensEmptyOnItsRangeAndTheUserCannotCloseIt) {
    CProgressDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), "Tenlo");
    const Qt::WindowFlags flags = dialog.windowFlags();
    EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowSystemMenuHint);
    EXPECT_TRUE(flags & Qt::WindowTitleHint);

    dialog.SetRange(100);
    ASSERT_TRUE(dialog.Open());
    auto* bar = Control<QProgressBar>(dialog, "1051");
    auto* text = Control<QLabel>(dialog, "1052");
    ASSERT_TRUE(bar != nullptr && text != nullptr);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_EQ(bar->value(), 0);
    dialog.SetText("プログラムメモリー読み出し中...");
    dialog.SetPosition(37);
    EXPECT_EQ(bar->value(), 37);
    ExpectTidyLayout(dialog);

    EXPECT_FALSE(dialog.close());
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_TRUE(dialog.isVisible());

    dialog.Close();
    EXPECT_FALSE(dialog.isVisible());
    // The next operation starts from nothing.
    ASSERT_TRUE(dialog.Open());
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(text->text(), "");
    dialog.Close();
}

TEST(ProgressDlg, ShowsThePercentageAndTheTimeLeftAtThePaceOfThePassSoFar) {
    CProgressDlg dialog;
    std::chrono::steady_clock::time_point now{};
    dialog.SetClock([&now] { return now; });
    dialog.SetRange(100);
    ASSERT_TRUE(dialog.Open());
    auto* line = Control<QLabel>(dialog, "1054");
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->text(), "0%");
    dialog.SetText("プログラムメモリー書き込み中...");
    now += std::chrono::milliseconds(500);
    dialog.SetPosition(2);
    EXPECT_EQ(line->text(), "2%") << "too soon to tell the pace";
    now += std::chrono::milliseconds(9500);
    dialog.SetPosition(25);
    EXPECT_EQ(line->text(), "25%　残り 約 30 秒");
    now += std::chrono::seconds(30);
    dialog.SetPosition(50);
    EXPECT_EQ(line->text(), "50%　残り 約 40 秒");
    ExpectTidyLayout(dialog);

    // The next operation (another memory) is timed on its own.
    dialog.Close();
    ASSERT_TRUE(dialog.Open());
    dialog.SetText("データメモリー書き込み中...");
    now += std::chrono::seconds(2);
    dialog.SetPosition(10);
    EXPECT_EQ(line->text(), "10%　残り 約 20 秒");
    // A bar that goes back begins another pass (a verify), whose pace is not known yet.
    now += std::chrono::seconds(2);
    dialog.SetPosition(5);
    EXPECT_EQ(line->text(), "5%");
    dialog.SetPosition(100);
    EXPECT_EQ(line->text(), "100%");
    dialog.Close();

    EXPECT_EQ(CProgressDlg::ProgressLine(7, std::chrono::seconds(0)), "7%　残り 約 5 秒");
    EXPECT_EQ(CProgressDlg::ProgressLine(7, std::chrono::seconds(61)), "7%　残り 約 1 分 5 秒");
    EXPECT_EQ(CProgressDlg::ProgressLine(7, std::chrono::seconds(118)), "7%　残り 約 2 分");
}

TEST(ProgressDlg, StopRaisesTheFlagOnceAndSaysItIsStopping) {
    CProgressDlg dialog;
    dialog.SetRange(100);
    ASSERT_TRUE(dialog.Open());
    auto* stop = Control<QAbstractButton>(dialog, "IDCANCEL");
    ASSERT_NE(stop, nullptr);
    EXPECT_EQ(stop->text(), "中止");
    EXPECT_FALSE(stop->isEnabled()) << "nothing to stop without a flag";
    dialog.Close();

    std::atomic<bool> flag{false};
    dialog.SetStopFlag(&flag);
    ASSERT_TRUE(dialog.Open());
    EXPECT_TRUE(stop->isEnabled());
    stop->click();
    EXPECT_TRUE(flag.load());
    EXPECT_FALSE(stop->isEnabled());
    EXPECT_EQ(Control<QLabel>(dialog, "1054")->text(), "中止しています...");
    dialog.SetPosition(60);
    EXPECT_EQ(Control<QLabel>(dialog, "1054")->text(), "中止しています...")
        << "the bar goes on, the words stay";
    dialog.Close();
    // Another operation of the same command does not offer it again; the next command does.
    ASSERT_TRUE(dialog.Open());
    EXPECT_FALSE(stop->isEnabled());
    dialog.Close();
    flag = false;
    ASSERT_TRUE(dialog.Open());
    EXPECT_TRUE(stop->isEnabled());
    dialog.Close();
}

TEST(QtJapanese, QtsOwnButtonsSpeakJapaneseOnceItsCatalogueIsLoaded) {
    const QLocale before;
    ASSERT_TRUE(InstallQtJapanese(*QCoreApplication::instance()))
        << "Qt's qtbase_ja catalogue (Debian: qt6-translations-l10n) was not found";
    QDialogButtonBox buttons(QDialogButtonBox::Cancel | QDialogButtonBox::Save);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), "キャンセル");
    EXPECT_EQ(buttons.button(QDialogButtonBox::Save)->text(), "保存");
    EXPECT_EQ(QLocale().language(), QLocale::Japanese);
    // The other tests of this program see Qt as it was.
    for (QTranslator* translator : QCoreApplication::instance()->findChildren<QTranslator*>()) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
    QLocale::setDefault(before);
}

TEST(AboutDlg, ShowsTheProgramAndTheFirmwareLine) {
    CAboutDlg dialog;
    auto* firmware = Control<QLabel>(dialog, "1081");
    ASSERT_NE(firmware, nullptr);
    EXPECT_EQ(firmware->text(), "FirmwareVersion");
    dialog.SetVersionText("Firmware Version 1.5RZ");
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "バージョン情報 Tenlo");
    EXPECT_EQ(firmware->text(), "Firmware Version 1.5RZ");
    bool named = false;
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        named = named || label->text() == "Tenlo Version 1.0";
    }
    EXPECT_TRUE(named);
    ExpectTidyLayout(dialog);
    Press(dialog, "IDOK");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

}  // namespace
}  // namespace tenlo::app
