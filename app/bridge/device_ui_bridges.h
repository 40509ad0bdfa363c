#pragma once

#include <QPointer>
#include <string_view>

#include "device/device_ui.h"

class QWidget;

namespace tenlo::app {

class CProgressDlg;

// The progress display a device drives from its worker thread. Every call is queued to the GUI
// thread, in the order made, so the dialog is only ever touched there; none waits for it.
// The dialog must outlive every operation that uses the bridge (the view owns both).
class CProgressBridge final : public IProgressDisplay {
  public:
    explicit CProgressBridge(CProgressDlg& dialog) : dialog_(&dialog) {}

    void SetRange(int upper) override;
    // The window is made on the GUI thread later; there is nothing that can fail here.
    bool Open() override;
    void SetPosition(int position) override;
    void SetText(std::string_view text) override;
    void Close() override;

  private:
    CProgressDlg* dialog_;
};

// The main window as a device sees it: locked from the progress display's opening to its
// closing. Queued like the progress calls, so the order "open, disable ... close, enable"
// holds on the GUI thread too.
class CMainWindowBridge final : public IMainWindow {
  public:
    explicit CMainWindowBridge(QWidget& window) : window_(&window) {}

    void Enable() override;
    void Disable() override;
    void BringToFront() override;

  private:
    QWidget* window_;
};

}  // namespace tenlo::app
