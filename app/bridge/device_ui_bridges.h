#pragma once

#include <QPointer>
#include <memory>
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
    explicit CMainWindowBridge(QWidget& window)
        : window_(&window), held_(std::make_shared<bool>(false)) {}

    void Enable() override;
    void Disable() override;
    void BringToFront() override;

    // GUI thread. While held, the window stays disabled whatever the device asks: a command
    // made of several operations keeps it locked in the gaps between them too.
    void Hold();
    void Release();
    bool Held() const { return *held_; }

  private:
    QWidget* window_;
    // Shared with the queued calls, which may run after the bridge is gone.
    std::shared_ptr<bool> held_;
};

}  // namespace tenlo::app
