#include "app/view/tenlo_view.h"

#include "app/dialogs/dialog_template.h"
#include "app/main_frame.h"

namespace tenlo::app {

CTenloView::CTenloView(CMainFrame& frame, CProgrammerLink& link, qt::CQtErrorBox& linkErrors)
    : QWidget(&frame), frame_(frame), link_(link), linkErrors_(linkErrors), mainWindow_(frame) {
    setObjectName(QStringLiteral("101"));
    setFont(TemplateFont(kUiGothic));
    setFixedSize(qt::CDialogUnits(font()).Size(344, 296));
}

CTenloView::~CTenloView() = default;

void CTenloView::OnInitialUpdate() {
    frame_.FitToView();
    // From now on the link's error boxes stand over the main window.
    linkErrors_.SetOwner(this);
    progressDlg_ = std::make_unique<CProgressDlg>(this);
    progress_ = std::make_unique<CProgressBridge>(*progressDlg_);
}

}  // namespace tenlo::app
