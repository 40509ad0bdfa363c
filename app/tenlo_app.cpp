#include "app/tenlo_app.h"

#include <QCoreApplication>

#include "app/commands.h"
#include "app/dialogs/about_dlg.h"
#include "app/dialogs/modal_runner.h"
#include "app/dialogs/port_sel_dlg.h"
#include "app/main_frame.h"
#include "app/view/tenlo_view.h"
#include "link/port_advice.h"
#include "link/serial_port.h"
#include "link/ui_interfaces.h"
#include "qtcommon/message_presenter.h"

namespace tenlo::app {

std::string PortDefinition(int port) {
    return ProgrammerPortDefinition(port);
}

QString NotFoundText(int port) {
    return QString::asprintf("COM%dにRavoniteが見つかりません。\n接続を確認してください。", port);
}

CTenloApp::CTenloApp(std::shared_ptr<IPortBackend> backend, IClock* clock)
    : backend_(std::move(backend)), clock_(clock) {
    // The title every message box of the program carries.
    QCoreApplication::setApplicationName(QStringLiteral("Tenlo"));
    SetMessagePump(&pump_);
}

CTenloApp::~CTenloApp() {
    ExitInstance();
    SetMessagePump(nullptr);
}

bool CTenloApp::InitInstance() {
    // The box has no owner yet: the port's own reasons for failing are shown all the same.
    link_ = std::make_unique<CProgrammerLink>(&linkErrors_, backend_, clock_);
    link_->SetOpenFailureNote(PortOpenProblemJapanese);
    if (!ConnectProgrammer(kPresetPort)) {
        return false;
    }

    // The framework's profile key. Nothing of Tenlo's own is stored under it.
    QCoreApplication::setOrganizationName(QStringLiteral("Tenlo"));

    frame_ = std::make_unique<CMainFrame>();
    frame_->OnCommand(kCmdAppAbout, frame_.get(), [this] { OnAppAbout(); });
    frame_->OnCommand(kCmdChangePort, frame_.get(), [this] { OnChangePort(); });
    view_ = new CTenloView(*frame_, *link_, linkErrors_, "COM" + std::to_string(port_));
    frame_->setCentralWidget(view_);
    view_->OnInitialUpdate();
    frame_->show();
    return true;
}

bool CTenloApp::ConnectProgrammer(int preset) {
    CPortSelDlg dialog(frame_.get());
    // Only the machine's own ports are worth listing: a test's or the simulator's backend
    // serves every name.
    dialog.ListSystemPortsFor(backend_);
    dialog.SetPort(dialog.PresetPort(preset));
    for (;;) {
        if (RunModal(dialog) != QDialog::Accepted) {
            return false;
        }
        const int port = dialog.GetPort();
        link_->Connect(PortDefinition(port));
        // A port that does not open has said why itself; back to the dialog.
        if (!link_->IsConnected()) {
            continue;
        }
        if (link_->Ping()) {
            port_ = port;
            return true;
        }
        link_->Disconnect();
        qt::ShowAppMessage(frame_.get(), NotFoundText(port), kMbOk | kMbIconError);
    }
}

void CTenloApp::OnChangePort() {
    if (!link_ || view_ == nullptr || !view_->Idle()) {
        return;
    }
    // Closed first: the port chosen may be the same one, which opens only once at a time.
    if (link_->IsConnected()) {
        link_->Disconnect();
    }
    if (ConnectProgrammer(port_)) {
        view_->SetPortName("COM" + std::to_string(port_));
        return;
    }
    // Nothing chosen: back on the port in use, if it still opens. If not, the next command
    // says that the programmer does not answer there.
    link_->Connect(PortDefinition(port_));
}

int CTenloApp::ExitInstance() {
    view_ = nullptr;
    frame_.reset();
    if (link_) {
        if (link_->IsConnected()) {
            link_->Disconnect();
        }
        link_->Release();
        link_.reset();
    }
    return 0;
}

void CTenloApp::OnAppAbout() {
    QString version;
    std::uint8_t bytes[4] = {};
    if (link_ && link_->GetVersion(bytes)) {
        version = QString::fromStdString(FormatFirmwareVersion(bytes));
    }
    CAboutDlg about(frame_.get());
    about.SetVersionText(version);
    RunModal(about);
}

}  // namespace tenlo::app
