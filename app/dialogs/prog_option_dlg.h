#pragma once

#include <QDialog>

#include "device/device.h"

class QCheckBox;

namespace tenlo::app {

// The two programmer options (dialog 106), edited in place on the view's record. Cancel leaves
// the record as it was.
class CProgOptionDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CProgOptionDlg(QWidget* parent = nullptr);

    // The record stays the caller's; it must outlive the dialog's run.
    void SetOptions(DeviceOptions* options) { options_ = options; }

    void accept() override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    DeviceOptions* options_ = nullptr;
    QCheckBox* keepCalibration_;
    QCheckBox* skipCalibrationCompare_;
};

}  // namespace tenlo::app
