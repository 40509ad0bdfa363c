// Renders Tenlo's windows to PNG files for the README (scripts/screenshots): the port dialog,
// the main window holding the example program, the result of writing it, the progress dialog
// of a write under way, the development dialog, the about box, a program grid with a cell being
// edited, the device menu open on "その他", and a PIC18 program in a window enlarged to fill a
// 1024x768 screen. The program runs as it
// does for a user, on the in-process virtual programmer; only the dialogs and message boxes are
// answered by this tool. The offscreen platform draws no window frames, so the pictures show
// the windows' insides.

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "app/command_line.h"
#include "app/commands.h"
#include "app/dialogs/calibration_dlg.h"
#include "app/dialogs/config_bits_dlg.h"
#include "app/dialogs/devel_dlg.h"
#include "app/dialogs/dialog_template.h"
#include "app/dialogs/modal_runner.h"
#include "app/dialogs/port_sel_dlg.h"
#include "app/dialogs/progress_dlg.h"
#include "app/main_frame.h"
#include "app/tenlo_app.h"
#include "app/view/tenlo_view.h"
#include "app/widgets/hex_list_ctrl.h"
#include "device/catalogue.h"
#include "link/port_discovery.h"
#include "link/ui_interfaces.h"
#include "qtcommon/message_presenter.h"

namespace {

using namespace tenlo;

bool SavePicture(const QPixmap& picture, const QDir& dir, const char* name) {
    const QString path = dir.filePath(QString::fromLatin1(name));
    if (!picture.save(path)) {
        std::fprintf(stderr, "screenshots: cannot write %s\n", path.toUtf8().constData());
        return false;
    }
    std::printf("%s\n", path.toUtf8().constData());
    return true;
}

bool Save(QWidget& widget, const QDir& dir, const char* name) {
    return SavePicture(widget.grab(), dir, name);
}

// The ports of a desk with two USB adapters, each with the COM number it was given.
std::vector<SerialPortInfo> Desk() {
    std::vector<SerialPortInfo> ports(2);
    ports[0].device = "/dev/ttyUSB0";
    ports[0].product = "FT232R USB UART";
    ports[0].comNumbers = {3};
    ports[1].device = "/dev/ttyUSB1";
    ports[1].product = "CP2102 USB to UART Bridge Controller";
    ports[1].comNumbers = {4};
    return ports;
}

// The top of the port dialog's list, dropped down: the ports present come first.
bool SavePortList(QDialog& dialog, const QDir& dir) {
    auto* ports = dialog.findChild<QComboBox*>(QStringLiteral("1059"));
    ports->showPopup();
    QCoreApplication::processEvents();
    QWidget* popup = ports->view()->window();
    const int rows = ports->view()->visualRect(ports->model()->index(5, 0)).bottom() + 4;
    const QPixmap picture = popup->grab(QRect(0, 0, popup->width(), rows));
    ports->hidePopup();
    return SavePicture(picture, dir, "port-list.png");
}

// A PIC16F84A program grid showing the example's first words, with cell 0x0009 open for edit.
bool SaveGridEdit(const QDir& dir) {
    const DeviceLayout layout = *CatalogueLayout(kStartupDeviceIndex);
    std::vector<std::uint16_t> program(layout.programSize, 0x3FFF);
    const std::uint16_t start[] = {0x2805, 0x3FFF, 0x3FFF, 0x3FFF, 0x0009, 0x1683,
                                   0x0186, 0x1283, 0x3001, 0x0086, 0x3041, 0x3F54};
    std::copy(std::begin(start), std::end(start), program.begin());
    QWidget window;
    window.setFont(app::TemplateFont(app::kUiGothic));
    auto* grid = new app::CHexListCtrl(&window);
    grid->SetLayout(layout.programGrid);
    grid->SetData(std::span(program), program.size());
    const int width = grid->horizontalHeader()->length() +
                      grid->verticalScrollBar()->sizeHint().width() + 2 * grid->frameWidth();
    grid->setGeometry(0, 0, width, 180);
    window.resize(width, 180);
    window.show();
    window.activateWindow();
    QCoreApplication::processEvents();
    if (app::CCellEdit* editor = grid->EditCell(1, 2)) {
        editor->insert(QStringLiteral("3F"));
    }
    QCoreApplication::processEvents();
    return Save(window, dir, "grid-edit.png");
}

// Message boxes as the program shows them, saved instead of waited on.
class PicturePresenter final : public qt::IMessagePresenter {
  public:
    explicit PicturePresenter(const QDir& dir) : dir_(dir) {}
    int Show(QWidget* owner, const QString& caption, const QString& text, unsigned type) override {
        if ((type & kMbButtonMask) == kMbYesNo) {
            return kIdNo;  // a question ("load the file again for this chip?") is not pictured
        }
        const bool information = (type & kMbIconMask) == kMbIconInformation;
        QMessageBox box(information ? QMessageBox::Information : QMessageBox::Warning, caption,
                        text, QMessageBox::Ok, owner);
        box.show();
        QCoreApplication::processEvents();
        ok = Save(box, dir_, information ? "write-result.png" : "message.png") && ok;
        return kIdOk;
    }
    bool ok = true;

  private:
    QDir dir_;
};

// The development dialog after a few of its buttons, so that its fields and trace show them.
bool SaveDevelDialog(app::CTenloView& view, const QDir& dir) {
    view.OnDevelDlg();
    app::CDevelDlg* devel = view.DevelDlg();
    for (int id : {1007, 1003, 1019, 1030, 1006}) {
        static_cast<QPushButton*>(devel->Control(id))->click();
    }
    devel->TraceText();
    QCoreApplication::processEvents();
    return Save(*devel, dir, "devel-dialog.png");
}

// The device menu open on "その他" and its PIC18 popup, side by side as a user sees them.
bool SaveChipMenu(app::CMainFrame& frame, app::CTenloView& view, const QDir& dir) {
    QMenu* device = frame.menuBar()->actions().value(app::CTenloView::kDeviceMenuPosition)->menu();
    QMenu* others = view.OtherChipMenu();
    QMenu* pic18 = others->findChild<QMenu*>(QStringLiteral("PIC18"));
    device->popup({0, 0});
    QCoreApplication::processEvents();
    device->setActiveAction(others->menuAction());
    others->popup({device->width(), device->actionGeometry(others->menuAction()).top()});
    QCoreApplication::processEvents();
    others->setActiveAction(pic18->menuAction());
    pic18->popup({device->width() + others->width(),
                  others->y() + others->actionGeometry(pic18->menuAction()).top()});
    QCoreApplication::processEvents();
    const QPixmap parts[] = {device->grab(), others->grab(), pic18->grab()};
    const QPoint at[] = {{0, 0}, others->pos(), pic18->pos()};
    QPixmap picture(
        pic18->x() + pic18->width(),
        std::max({device->height(), others->y() + others->height(), pic18->y() + pic18->height()}));
    picture.fill(Qt::white);
    QPainter painter(&picture);
    for (int i = 0; i < 3; ++i) {
        painter.drawPixmap(at[i], parts[i]);
    }
    painter.end();
    pic18->hide();
    others->hide();
    device->hide();
    return SavePicture(picture, dir, "chip-menu.png");
}

// A PIC18 program as the chip makers' tools write one (configuration at 0x300000, EEPROM at
// 0xF00000), for the main window on a PIC18 chip.
constexpr const char* kPic18Program =
    ":020000040000FA\n"
    ":1000000010EF00F0000000006A920E556E810EAAFB\n"
    ":0E0010006E8128EF00F012006A0E6EF80C00F0\n"
    ":020000040030CA\n"
    ":06000100220E0E00018139\n"
    ":0200000400F00A\n"
    ":0500000054656E6C6FF9\n"
    ":00000001FF\n";

// The configuration bits dialog over a file of each chip: a PIC16F877A program (HS, power-up
// timer and brown-out reset on, LVP off) and a PIC18F452 one (HS, brown-out at 2.0 V, watchdog
// off, LVP off), opened as a user opens them.
bool SaveConfigBits(app::CTenloView& view, const QDir& dir, QString& fileToOpen) {
    struct Picture {
        const char* chip;
        const char* hex;
        const char* name;
    };
    static constexpr Picture kPictures[] = {
        {"PIC16F877A", ":020000000528D1\n:02400E00723FFF\n:00000001FF\n",
         "config-bits-16f877a.png"},
        {"PIC18F452",
         ":0400000010EF00F00D\n:020000040030CA\n:0D000100220E0EFF0181FF0FC00FE00F4027\n"
         ":00000001FF\n",
         "config-bits-18f452.png"},
    };
    QTemporaryDir files;
    bool ok = files.isValid();
    for (const Picture& p : kPictures) {
        const QString path = files.filePath(QString::fromLatin1(p.chip) + ".hex");
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(p.hex) < 0) {
            ok = false;
            continue;
        }
        file.close();
        view.SelectDevice(FindCatalogueIndex(p.chip));
        fileToOpen = path;
        view.Frame().Action(app::kCmdOpenProgram)->trigger();
        view.Frame().Action(app::kCmdConfigBits)->trigger();
        QCoreApplication::processEvents();
        app::CConfigBitsDlg* dialog = view.ConfigBitsDlg();
        // The dialog must show the chip just opened, not the one before.
        ok = dialog != nullptr &&
             (dialog->Combo(QStringLiteral("FOSC")) != nullptr) ==
                 (std::string_view(p.chip) == "PIC16F877A") &&
             Save(*dialog, dir, p.name) && ok;
    }
    if (view.ConfigBitsDlg() != nullptr) {
        view.ConfigBitsDlg()->close();
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication qapp(argc, argv);
    QApplication::setFont(app::TemplateFont(app::kUiGothic));
    const QDir dir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    if (!dir.exists() && !QDir().mkpath(dir.path())) {
        std::fprintf(stderr, "screenshots: no folder %s\n", dir.path().toUtf8().constData());
        return 1;
    }

    const QString example =
        QFileInfo(QString::fromLocal8Bit(argc > 2 ? argv[2] : "examples/blink16f84a.hex"))
            .absoluteFilePath();
    const QString pic18 = QDir::temp().filePath(
        QStringLiteral("tenlo-screenshots-%1.hex").arg(QCoreApplication::applicationPid()));
    std::ofstream(pic18.toStdString()) << kPic18Program;
    QString nextFile = example;

    std::string error;
    SetDefaultPortBackend(app::SimulatedBackend("PIC16F84A", error));
    bool ok = true;
    PicturePresenter boxes(dir);
    qt::SetMessagePresenter(&boxes);
    app::SetModalRunner([&](QDialog& dialog) {
        if (auto* files = qobject_cast<QFileDialog*>(&dialog)) {
            files->selectFile(nextFile);
            static_cast<QDialog*>(files)->done(QDialog::Accepted);
            return dialog.result();
        }
        if (auto* ports = qobject_cast<app::CPortSelDlg*>(&dialog)) {
            ports->SetPortLister(Desk);
            ports->SetPort(ports->PresetPort(app::CTenloApp::kPresetPort));
        }
        dialog.show();
        QCoreApplication::processEvents();
        if (dialog.objectName() == QStringLiteral("105")) {
            ok = Save(dialog, dir, "port-dialog.png") && ok;
            ok = SavePortList(dialog, dir) && ok;
            dialog.accept();
        } else {
            ok = Save(dialog, dir, "about.png") && ok;
            dialog.accept();
        }
        return dialog.result();
    });

    app::CTenloApp tenlo;
    if (!tenlo.InitInstance()) {
        std::fprintf(stderr, "screenshots: Tenlo did not start\n");
        return 1;
    }
    app::CMainFrame& frame = *tenlo.MainFrame();
    QCoreApplication::processEvents();
    frame.Action(app::kCmdOpenProgram)->trigger();
    QCoreApplication::processEvents();
    ok = Save(frame, dir, "main-window.png") && ok;
    // The progress dialog once the write is well under way and tells the time left.
    app::CProgressDlg& progress = *tenlo.View()->ProgressDialog();
    bool progressSaved = false;
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto* bar = progress.findChild<QProgressBar*>(QStringLiteral("1051"));
        auto* line = progress.findChild<QLabel*>(QStringLiteral("1054"));
        if (!progressSaved && progress.isVisible() && bar->value() * 100 >= 40 * bar->maximum() &&
            line->text().contains(QStringLiteral("残り"))) {
            progressSaved = true;
            ok = Save(progress, dir, "progress.png") && ok;
        }
    });
    watch.start();
    frame.Action(app::kCmdWrite)->trigger();
    watch.stop();
    if (!progressSaved) {
        std::fprintf(stderr, "screenshots: the write ended before its progress was pictured\n");
        ok = false;
    }
    ok = SaveDevelDialog(*tenlo.View(), dir) && ok;
    frame.Action(app::kCmdAppAbout)->trigger();
    ok = SaveChipMenu(frame, *tenlo.View(), dir) && ok;

    // A PIC18 program, in the window made as large as a 1024x768 screen.
    QComboBox* selector = frame.DeviceSelector();
    selector->setCurrentIndex(selector->findData(FindCatalogueIndex("PIC18F452")));
    nextFile = pic18;
    frame.Action(app::kCmdOpenProgram)->trigger();
    frame.resize(1024, 768);
    frame.activateWindow();
    tenlo.View()->Grid(Memory::Program).setFocus();
    QCoreApplication::processEvents();
    ok = Save(frame, dir, "main-window-pic18.png") && ok;
    QFile::remove(pic18);
    ok = SaveGridEdit(dir) && ok && boxes.ok;
    ok = SaveConfigBits(*tenlo.View(), dir, nextFile) && ok;
    {
        const std::vector<jobs::JournalEntry> journal{
            {"2026-12-09T07:20:01Z", {"PIC12F629", "COM5", 0x0F81, 0x3454, 1}},
            {"2026-11-30T10:02:45Z", {"PIC12F629", "COM6", 0x0F81, 0x3480, 3}},
        };
        app::CCalibrationDlg calibration(QStringLiteral("PIC12F629"), journal, true,
                                         QStringLiteral("/home/user/.local/state/tenlo/"
                                                        "calibration.log"),
                                         &frame);
        calibration.show();
        QCoreApplication::processEvents();
        ok = Save(calibration, dir, "calibration.png") && ok;
        calibration.reject();
    }
    app::SetModalRunner({});
    qt::SetMessagePresenter(nullptr);
    tenlo.ExitInstance();
    return ok ? 0 : 1;
}
