#include "app/dialogs/port_sel_dlg.h"

#include <QLabel>
#include <QShowEvent>

#include "app/dialogs/dialog_template.h"

namespace tenlo::app {

CPortSelDlg::CPortSelDlg(QWidget* parent) : QDialog(parent) {
    const qt::CDialogUnits du =
        ApplyTemplate(*this, 105, QStringLiteral("Tenlo - 接続ポート"), kPGothic, 121, 55);

    auto* label = new QLabel(QStringLiteral("シリアルポート"), this);
    label->setGeometry(du.Rect(7, 5, 52, 8));

    // A list to choose from, not a field to type into: a typed name that is no entry would
    // leave no port to open. As wide as the dialog, with the buttons below, so an entry that
    // says what the port is ("COM3 (FT232R USB UART)") fits.
    ports_ = new qt::CPortComboBox(kPortCount, this);
    ports_->setObjectName(QStringLiteral("1059"));
    ports_->setMaxVisibleItems(12);
    ports_->setGeometry(du.X(7), du.Y(15), du.X(107), ports_->sizeHint().height());

    AddOkButton(*this, du.Rect(8, 35, 50, 14));
    AddCancelButton(*this, du.Rect(63, 35, 50, 14));
}

void CPortSelDlg::SetPort(int n) {
    port_ = n;
    if (initialised_) {
        ports_->SelectPort(n);
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
    ports_->Fill();
    ports_->SelectPort(port_);
    ports_->setFocus();
    initialised_ = true;
}

void CPortSelDlg::accept() {
    if (const int n = ports_->SelectedPort(); n > 0) {
        port_ = n;
    }
    QDialog::accept();
}

}  // namespace tenlo::app
