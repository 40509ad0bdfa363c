#include "app/test_hook.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTextStream>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <utility>

#include "app/commands.h"
#include "app/dialogs/calibration_dlg.h"
#include "app/dialogs/config_bits_dlg.h"
#include "app/dialogs/modal_runner.h"
#include "app/main_frame.h"
#include "app/view/tenlo_view.h"
#include "device/catalogue.h"
#include "link/ui_interfaces.h"
#include "qtcommon/message_presenter.h"

namespace tenlo::app {

namespace {

// The path the next file dialog is answered with.
QString g_nextFile;
// The next question is answered no ("answer no").
bool g_answerNo = false;

class PrintingPresenter final : public qt::IMessagePresenter {
  public:
    int Show(QWidget* /*owner*/, const QString& /*caption*/, const QString& text,
             unsigned type) override {
        static const std::map<unsigned, const char*> kIcons{{kMbIconError, "error"},
                                                            {kMbIconQuestion, "question"},
                                                            {kMbIconExclamation, "exclamation"},
                                                            {kMbIconInformation, "information"}};
        const auto icon = kIcons.find(type & kMbIconMask);
        QString shown = text;
        shown.replace(u'\n', QStringLiteral("\\n")).replace(u'\t', QStringLiteral("\\t"));
        std::printf("box: %s: %s\n", icon == kIcons.end() ? "none" : icon->second,
                    shown.toUtf8().constData());
        std::fflush(stdout);
        if ((type & kMbButtonMask) != kMbYesNo) {
            return kIdOk;
        }
        const bool no = std::exchange(g_answerNo, false);
        return no ? kIdNo : kIdYes;
    }
};

PrintingPresenter g_presenter;

// "restore-calibration [WORD [BANDGAP]]": the journal's entries the dialog lists are printed,
// the newest taken, or the values typed; "restore-calibration cancel" cancels.
void AnswerCalibration(CCalibrationDlg& dialog) {
    for (int row = 0; row < dialog.Entries()->count(); ++row) {
        std::printf("calibration entry: %s\n",
                    dialog.Entries()->item(row)->text().toUtf8().constData());
    }
    std::fflush(stdout);
    const QStringList words = g_nextFile.split(u' ', Qt::SkipEmptyParts);
    if (words.value(0) == QStringLiteral("cancel")) {
        dialog.reject();
        return;
    }
    if (!words.isEmpty()) {
        dialog.WordEdit()->setText(words[0]);
        QComboBox* bandGap = dialog.BandGapBox();
        bandGap->setCurrentIndex(words.size() > 1 ? bandGap->findText(words[1]) : 0);
    }
    dialog.accept();
    if (dialog.isVisible()) {
        dialog.reject();  // the typed word was refused (its box printed)
    }
}

void Answer(QDialog& dialog, const QString& port) {
    if (auto* files = qobject_cast<QFileDialog*>(&dialog)) {
        files->selectFile(g_nextFile);
        static_cast<QDialog*>(files)->done(g_nextFile.isEmpty() ? QDialog::Rejected
                                                                : QDialog::Accepted);
        return;
    }
    if (auto* calibration = qobject_cast<CCalibrationDlg*>(&dialog)) {
        AnswerCalibration(*calibration);
        return;
    }
    auto* ports = dialog.findChild<QComboBox*>(QStringLiteral("1059"));
    if (port == QStringLiteral("cancel") || ports == nullptr) {
        dialog.reject();
        return;
    }
    // Present ports come first in the list: the entry is found by its number.
    ports->setCurrentIndex(ports->findData(port.toInt()));
    dialog.accept();
}

// "select CHIP": the chip chosen in the toolbar's selector, as a user does.
void SelectChip(CMainFrame& frame, const QString& name) {
    const int index = FindCatalogueIndex(name.toStdString());
    QComboBox* selector = frame.DeviceSelector();
    const int item = index < 0 ? -1 : selector->findData(index);
    if (item < 0) {
        std::printf("script: no chip \"%s\"\n", name.toUtf8().constData());
        return;
    }
    selector->setCurrentIndex(item);
}

// "write-stop N": the write command, with "中止" pressed in the progress dialog once its bar
// has reached N percent.
void WriteAndStop(CMainFrame& frame, int percent) {
    auto* view = frame.findChild<CTenloView*>();
    if (view == nullptr || view->ProgressDialog() == nullptr) {
        return;
    }
    CProgressDlg& dialog = *view->ProgressDialog();
    QTimer watch;
    watch.setInterval(5);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto* bar = dialog.findChild<QProgressBar*>(QStringLiteral("1051"));
        auto* stop = dialog.findChild<QPushButton*>(QStringLiteral("IDCANCEL"));
        if (dialog.isVisible() && bar->value() * 100 >= percent * bar->maximum() &&
            stop->isEnabled()) {
            std::printf("pressed 中止 at %d%%\n", bar->value() * 100 / bar->maximum());
            std::fflush(stdout);
            stop->click();
            watch.stop();
        }
    });
    watch.start();
    frame.Action(kCmdWrite)->trigger();
}

// "config NAME=SETTING,...": each setting chosen in the configuration bits dialog.
void ChooseSettings(CMainFrame& frame, const QString& list) {
    frame.Action(kCmdConfigBits)->trigger();
    auto* view = frame.findChild<CTenloView*>();
    CConfigBitsDlg* dialog = view != nullptr ? view->ConfigBitsDlg() : nullptr;
    if (dialog == nullptr) {
        std::printf("script: no configuration bits dialog\n");
        return;
    }
    QCoreApplication::processEvents();
    for (const QString& item : list.split(u',')) {
        const QStringList parts = item.split(u'=');
        QComboBox* combo = parts.size() == 2 ? dialog->Combo(parts[0].trimmed()) : nullptr;
        const int index = combo != nullptr ? combo->findText(parts[1].trimmed()) : -1;
        if (index < 0) {
            std::printf("script: no setting \"%s\"\n", item.toUtf8().constData());
            continue;
        }
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }
}

void RunLine(CMainFrame& frame, const QString& line) {
    static const std::map<QString, int> kCommands{
        {QStringLiteral("open-program"), kCmdOpenProgram},
        {QStringLiteral("open-data"), kCmdOpenData},
        {QStringLiteral("save-program"), kCmdSaveProgram},
        {QStringLiteral("save-data"), kCmdSaveData},
        {QStringLiteral("read"), kCmdRead},
        {QStringLiteral("erase"), kCmdErase},
        {QStringLiteral("write"), kCmdWrite},
        {QStringLiteral("compare"), kCmdCompare},
        {QStringLiteral("restore-calibration"), kCmdRestoreCalibration},
    };
    const qsizetype space = line.indexOf(u' ');
    const QString verb = line.left(space);
    g_nextFile = space < 0 ? QString() : line.mid(space + 1);
    if (verb == QStringLiteral("select")) {
        SelectChip(frame, g_nextFile);
        return;
    }
    if (verb == QStringLiteral("answer")) {
        g_answerNo = g_nextFile == QStringLiteral("no");
        return;
    }
    if (verb == QStringLiteral("title")) {
        std::printf("title: %s\n", frame.windowTitle().toUtf8().constData());
        return;
    }
    if (verb == QStringLiteral("write-stop")) {
        WriteAndStop(frame, g_nextFile.toInt());
        return;
    }
    if (verb == QStringLiteral("config")) {
        ChooseSettings(frame, g_nextFile);
        return;
    }
    const auto command = kCommands.find(verb);
    if (command == kCommands.end()) {
        std::printf("script: unknown line \"%s\"\n", line.toUtf8().constData());
        return;
    }
    frame.Action(command->second)->trigger();
}

}  // namespace

bool CTestHook::Install() {
    const char* answer = std::getenv("TENLO_TEST_PORT_ANSWER");
    if (answer == nullptr) {
        return false;
    }
    qt::SetMessagePresenter(&g_presenter);
    const QString port = QString::fromUtf8(answer);
    SetModalRunner([port](QDialog& dialog) {
        QTimer::singleShot(0, &dialog, [&dialog, port] { Answer(dialog, port); });
        return dialog.exec();
    });
    return true;
}

void CTestHook::Run(CMainFrame& frame) {
    QTimer::singleShot(0, &frame, [&frame] {
        std::printf("main window: %s\n", frame.windowTitle().toUtf8().constData());
        std::fflush(stdout);
        if (const char* script = std::getenv("TENLO_TEST_SCRIPT")) {
            QFile file(QFile::decodeName(script));
            if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
                std::printf("script: cannot open %s\n", script);
            }
            QTextStream lines(&file);
            while (!lines.atEnd()) {
                const QString line = lines.readLine().trimmed();
                if (!line.isEmpty()) {
                    RunLine(frame, line);
                }
            }
        }
        std::fflush(stdout);
        frame.close();
    });
}

}  // namespace tenlo::app
