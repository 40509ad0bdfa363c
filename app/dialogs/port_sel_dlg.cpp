#include "app/dialogs/port_sel_dlg.h"

#include <QComboBox>
#include <QLabel>
#include <QShowEvent>

#include "app/dialogs/dialog_template.h"

namespace tenlo::app {

CPortSelDlg::CPortSelDlg(QWidget* parent) : QDialog(parent) {
    const qt::CDialogUnits du =
        ApplyTemplate(*this, 105, QStringLiteral("Tenlo - 接続ポート"), kPGothic, 121, 55);

    auto* label = new QLabel(QStringLiteral("シリアルポート"), this);
    label->setGeometry(du.Rect(7, 9, 52, 8));

    // A list to choose from, not a field to type into: a typed name that is no entry would
    // leave no port to open.
    ports_ = new QComboBox(this);
    ports_->setObjectName(QStringLiteral("1059"));
    ports_->setMaxVisibleItems(12);
    ports_->setGeometry(du.X(7), du.Y(21), du.X(52), ports_->sizeHint().height());

    AddOkButton(*this, du.Rect(64, 7, 50, 14));
    AddCancelButton(*this, du.Rect(64, 25, 50, 14));
}

void CPortSelDlg::SetPort(int n) {
    port_ = n;
    if (initialised_) {
        ports_->setCurrentIndex(n - 1);
    }
}

void CPortSelDlg::showEvent(QShowEvent* event) {
    // Every run starts as a fresh window would; a window manager's re-show changes nothing.
    if (!event->spontaneous()) {
        OnInitDialog();
    }
    QDialog::showEvent(event);
}

void CPortSelDlg::OnInitDialog() {
    ports_->clear();
    for (int n = 1; n <= kPortCount; ++n) {
        ports_->addItem(QStringLiteral("COM%1").arg(n));
    }
    ports_->setCurrentIndex(port_ - 1);
    ports_->setFocus();
    initialised_ = true;
}

void CPortSelDlg::accept() {
    if (const int index = ports_->currentIndex(); index >= 0) {
        port_ = index + 1;
    }
    QDialog::accept();
}

}  // namespace tenlo::app
