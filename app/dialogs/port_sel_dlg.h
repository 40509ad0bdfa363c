#pragma once

#include <QDialog>

class QComboBox;

namespace tenlo::app {

// Chooses the serial port at start-up (dialog 105). One object serves the whole port loop, so
// the last choice comes up selected again on every retry.
class CPortSelDlg : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kPortCount = 99;

    explicit CPortSelDlg(QWidget* parent = nullptr);

    // n is 1..99. Once the list is filled, its entry is selected at once.
    void SetPort(int n);
    int GetPort() const { return port_; }

    void accept() override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void OnInitDialog();

    int port_ = 1;
    bool initialised_ = false;
    QComboBox* ports_;
};

}  // namespace tenlo::app
