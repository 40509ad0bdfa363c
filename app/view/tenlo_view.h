#pragma once

#include <QWidget>
#include <memory>

#include "app/bridge/device_ui_bridges.h"
#include "app/dialogs/progress_dlg.h"
#include "device/device_ui.h"
#include "link/programmer_link.h"
#include "qtcommon/qt_ui_bridges.h"

namespace tenlo::app {

class CMainFrame;

// The main form (dialog 101) inside the frame. It borrows the application's link and owns what
// a device operation shows: the progress dialog, and the two bridges through which a device's
// worker thread reaches it and the main window.
//
// The memory grids with their check boxes, the chip menu and the selector's contents, and the
// device commands are added here by the main view's own work; the frame already routes its
// commands to whoever handles them (CMainFrame::OnCommand).
class CTenloView : public QWidget {
    Q_OBJECT

  public:
    // linkErrors is the box the link reports through; the view becomes its owner.
    CTenloView(CMainFrame& frame, CProgrammerLink& link, qt::CQtErrorBox& linkErrors);
    ~CTenloView() override;

    // Once, after the frame has put the view in place.
    void OnInitialUpdate();

    CMainFrame& Frame() { return frame_; }
    CProgrammerLink& Link() { return link_; }
    // What every device object is given. Valid from OnInitialUpdate on.
    IProgressDisplay* Progress() { return progress_.get(); }
    IMainWindow* MainWindow() { return &mainWindow_; }
    CProgressDlg* ProgressDialog() { return progressDlg_.get(); }

  private:
    CMainFrame& frame_;
    CProgrammerLink& link_;
    qt::CQtErrorBox& linkErrors_;
    CMainWindowBridge mainWindow_;
    // Declared before anything a device owns, so a device (which points at these) goes first.
    std::unique_ptr<CProgressDlg> progressDlg_;
    std::unique_ptr<CProgressBridge> progress_;
};

}  // namespace tenlo::app
