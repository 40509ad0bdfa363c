#pragma once

#include <QString>
#include <memory>
#include <string>

#include "link/clock.h"
#include "link/port_backend.h"
#include "link/programmer_link.h"
#include "qtcommon/qt_ui_bridges.h"

namespace tenlo::app {

class CMainFrame;
class CTenloView;

// The port definition the start-up opens: "COM%d: baud=38400 parity=N data=8 stop=1".
std::string PortDefinition(int port);
// "COM%dにRavoniteが見つかりません。\n接続を確認してください。"
QString NotFoundText(int port);

// The application: owns the one programmer link for the whole run. Start-up chooses the port and
// finds the programmer before any window exists; then the frame and its view come up.
class CTenloApp {
  public:
    static constexpr int kPresetPort = 5;

    // backend and clock: where ports come from and the link's time (tests); none: the
    // process-wide ones (the OS ports, or the virtual programmer of --simulate).
    explicit CTenloApp(std::shared_ptr<IPortBackend> backend = nullptr, IClock* clock = nullptr);
    ~CTenloApp();
    CTenloApp(const CTenloApp&) = delete;
    CTenloApp& operator=(const CTenloApp&) = delete;

    // False when the user cancelled the port dialog: no window was opened.
    bool InitInstance();
    // Closes the window and the port; safe to call more than once.
    int ExitInstance();
    void OnAppAbout();
    // "ポート変更(&P)...": the port is closed and chosen and pinged again as at start-up (the
    // dialog on the port in use). Cancelled, the port in use is opened again.
    void OnChangePort();
    // The COMn the programmer answered on last.
    int Port() const { return port_; }

    CProgrammerLink* GetLink() { return link_.get(); }
    CMainFrame* MainFrame() { return frame_.get(); }
    CTenloView* View() { return view_; }

  private:
    // The port dialog, preset to port, until a programmer answers (true) or the user cancels.
    bool ConnectProgrammer(int preset);

    std::shared_ptr<IPortBackend> backend_;
    IClock* clock_;
    // Device operations and the serial layer pump the GUI thread's events through this.
    qt::CQtMessagePump pump_;
    // The link reports through this box from the first port it opens, with no owner window
    // until the view takes it.
    qt::CQtErrorBox linkErrors_;
    std::unique_ptr<CProgrammerLink> link_;
    int port_ = kPresetPort;  // the COMn the programmer answered on
    std::unique_ptr<CMainFrame> frame_;
    CTenloView* view_ = nullptr;  // owned by the frame
};

}  // namespace tenlo::app
