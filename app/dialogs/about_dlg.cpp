#include "app/dialogs/about_dlg.h"

#include <QLabel>
#include <QShowEvent>

#include "app/app_icons.h"
#include "app/dialogs/dialog_template.h"

namespace tenlo::app {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    const qt::CDialogUnits du =
        ApplyTemplate(*this, 100, QStringLiteral("バージョン情報 Tenlo"), kUiGothic, 235, 55);

    auto* icon = new QLabel(this);
    icon->setPixmap(ApplicationIcon().pixmap(32, 32));
    icon->move(du.X(11), du.Y(17));
    icon->resize(32, 32);

    auto* name = new QLabel(QStringLiteral("Tenlo Version 1.0"), this);
    name->setGeometry(du.Rect(40, 10, 119, 8));

    firmware_ = new QLabel(QStringLiteral("FirmwareVersion"), this);
    firmware_->setObjectName(QStringLiteral("1081"));
    firmware_->setGeometry(du.Rect(40, 25, 119, 8));

    AddOkButton(*this, du.Rect(178, 7, 50, 14));
}

void CAboutDlg::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        firmware_->setText(versionText_);
    }
    QDialog::showEvent(event);
}

}  // namespace tenlo::app
