#include "app/dialogs/prog_option_dlg.h"

#include <QCheckBox>
#include <QShowEvent>

#include "app/dialogs/dialog_template.h"

namespace tenlo::app {

CProgOptionDlg::CProgOptionDlg(QWidget* parent) : QDialog(parent) {
    const qt::CDialogUnits du =
        ApplyTemplate(*this, 106, QStringLiteral("プログラマー・オプション"), kPGothic, 298, 139);

    keepCalibration_ =
        new QCheckBox(QStringLiteral("イレース／書き込み時キャリブレーションデータを保持"), this);
    keepCalibration_->setObjectName(QStringLiteral("1068"));
    keepCalibration_->setGeometry(du.Rect(14, 14, 210, 10));

    skipCalibrationCompare_ =
        new QCheckBox(QStringLiteral("キャリブレーションデータをコンペアしない"), this);
    skipCalibrationCompare_->setObjectName(QStringLiteral("1067"));
    skipCalibrationCompare_->setGeometry(du.Rect(14, 32, 210, 10));

    AddOkButton(*this, du.Rect(241, 7, 50, 14));
    AddCancelButton(*this, du.Rect(241, 25, 50, 14));
}

void CProgOptionDlg::showEvent(QShowEvent* event) {
    if (!event->spontaneous() && options_ != nullptr) {
        keepCalibration_->setChecked(options_->keepCalibration != 0);
        skipCalibrationCompare_->setChecked(options_->skipCalibrationCompare != 0);
    }
    QDialog::showEvent(event);
}

void CProgOptionDlg::accept() {
    if (options_ != nullptr) {
        options_->keepCalibration = keepCalibration_->isChecked() ? 1 : 0;
        options_->skipCalibrationCompare = skipCalibrationCompare_->isChecked() ? 1 : 0;
    }
    QDialog::accept();
}

}  // namespace tenlo::app
