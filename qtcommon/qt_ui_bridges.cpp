#include "qtcommon/qt_ui_bridges.h"

#include <QCoreApplication>

#include "qtcommon/gui_thread.h"
#include "qtcommon/message_presenter.h"

namespace tenlo::qt {

int CQtErrorBox::ShowMessage(const std::string& caption, const std::string& text, unsigned type) {
    int result = 0;
    // The owner is read on the GUI thread, where it may go away.
    RunOnGui([&] {
        result = MessagePresenter().Show(owner_.data(), QString::fromStdString(caption),
                                         QString::fromStdString(text), type);
    });
    return result;
}

void CQtMessagePump::Pump() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace tenlo::qt
