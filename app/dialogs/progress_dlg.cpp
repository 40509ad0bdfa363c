#include "app/dialogs/progress_dlg.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QWindow>
#include <algorithm>

#include "app/dialogs/dialog_template.h"

namespace tenlo::app {

CProgressDlg::CProgressDlg(QWidget* owner)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), owner_(owner) {
    const qt::CDialogUnits du =
        ApplyTemplate(*this, 103, QStringLiteral("Tenlo"), kPGothic, 187, 51);

    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("1052"));
    message_->setGeometry(du.Rect(7, 9, 173, 10));

    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("1051"));
    bar_->setTextVisible(false);
    bar_->setGeometry(du.Rect(7, 27, 174, 6));
}

bool CProgressDlg::Open() {
    // A bar of range 0..0 would show Qt's busy animation; an unset range shows an empty bar.
    bar_->setRange(0, std::max<int>(upper_, 1));
    bar_->setValue(0);
    message_->clear();
    if (owner_ != nullptr) {
        QWidget* window = owner_->window();
        move(window->geometry().center() - rect().center());
        winId();
        if (windowHandle() != nullptr) {
            windowHandle()->setTransientParent(window->windowHandle());
        }
    }
    show();
    raise();
    activateWindow();
    return true;
}

void CProgressDlg::SetPosition(int position) {
    bar_->setValue(std::clamp(position, bar_->minimum(), bar_->maximum()));
}

void CProgressDlg::SetText(const QString& text) {
    message_->setText(text);
}

void CProgressDlg::Close() {
    hide();
}

void CProgressDlg::closeEvent(QCloseEvent* event) {
    // Only the operation closes it, and that hides it without a close event.
    event->ignore();
}

}  // namespace tenlo::app
