#pragma once

#include <QDialog>

#include "qtcommon/port_combo_box.h"

namespace tenlo::app {

// Chooses the serial port at start-up (dialog 105). One object serves the whole port loop, so
// the last choice comes up selected again on every retry.
class CPortSelDlg : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kPortCount = 99;

    explicit CPortSelDlg(QWidget* parent = nullptr);

    // Where the ports present come from; asked again at every showing, so an adapter plugged
    // in between two tries shows up. None set: the plain list COM1 to COM99.
    void SetPortLister(qt::CPortComboBox::Lister lister) { ports_->SetLister(std::move(lister)); }
    // The machine's own ports, unless backend (or the process's) serves the ports instead.
    void ListSystemPortsFor(const std::shared_ptr<IPortBackend>& backend) {
        ports_->ListSystemPortsFor(backend);
    }
    // preferred when that port is present or none is, else the first port present.
    int PresetPort(int preferred) const { return ports_->PresetPort(preferred); }

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
    qt::CPortComboBox* ports_;
};

}  // namespace tenlo::app
