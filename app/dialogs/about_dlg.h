#pragma once

#include <QDialog>
#include <QString>

class QLabel;

namespace tenlo::app {

// "バージョン情報 Tenlo" (dialog 100): the program's version and the line the firmware gave.
class CAboutDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    // Before the dialog is shown; empty when the programmer did not say.
    void SetVersionText(const QString& text) { versionText_ = text; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QString versionText_;
    QLabel* firmware_;
};

}  // namespace tenlo::app
