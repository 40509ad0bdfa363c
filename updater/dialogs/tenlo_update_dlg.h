#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <string>

#include "jobs/firmware_update.h"
#include "link/clock.h"
#include "link/port_backend.h"
#include "link/port_discovery.h"
#include "link/serial_port.h"
#include "qtcommon/qt_ui_bridges.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTimer;

namespace tenlo::qt {
class CPortComboBox;
}

namespace tenlo::updater {

class CJDMDlg;

// How the updater was started.
struct UpdaterOptions {
    // The firmware file; the bare name is looked up in the current directory.
    std::string firmwarePath = kFirmwareFileName;
    // Opens the debug dialog through the hidden "Develop" handler after every connect.
    bool develop = false;
    // Where ports come from (none: the process-wide backend) and the clock the line waits
    // sleep on (none: the real one).
    std::shared_ptr<IPortBackend> backend;
    IClock* clock = nullptr;
    // The ports present, for the list (tests); none: the machine's own, when backend is none.
    std::function<std::vector<SerialPortInfo>()> portLister;
};

// The updater's main dialog: port choice, connect, the three output lines by hand, the input
// line polled every 100 ms, and the firmware write with its status line. One thread: the
// write runs inside its click handler and the line loops dispatch pending events meanwhile.
class CTenloUpdateDlg final : public QDialog, private IFirmwareUpdateView {
  public:
    // Control ids; each control carries its id as object name.
    enum : int {
        kIdPortList = 1000,
        kIdConnect = 1001,
        kIdPgd = 1002,
        kIdPgdInput = 1003,
        kIdPgc = 1004,
        kIdPower = 1005,
        kIdDevelop = 1018,
        kIdWrite = 1019,
        kIdStatus = 1022,
    };
    static constexpr int kPortCount = 99;
    static constexpr int kPollMilliseconds = 100;

    // Runs the debug dialog modally. Tests put in one that drives it without exec().
    using DialogRunner = std::function<void(CJDMDlg&)>;

    explicit CTenloUpdateDlg(UpdaterOptions options, QWidget* parent = nullptr);
    ~CTenloUpdateDlg() override;

    CTenloUpdateDlg(const CTenloUpdateDlg&) = delete;
    CTenloUpdateDlg& operator=(const CTenloUpdateDlg&) = delete;

    void SetDialogRunner(DialogRunner runner) { runner_ = std::move(runner); }

    bool IsPolling() const;
    bool IsWriting() const { return flow_->IsRunning(); }
    bool IsPortOpen() const { return port_->IsOpen(); }

    // The handlers behind the controls.
    void OnConnect();
    void OnPgd();
    void OnPgc();
    void OnPower();
    void OnTimer();
    void OnDevelop();
    void OnFirmwareWrite();

    // Every close request (title bar, Escape) comes here. During a write it is only noted and
    // honoured once the write has ended: the port must outlive the line operations.
    void reject() override;

  private:
    void BuildControls();
    // Connected idle or disconnected, from whether the port is open.
    void ShowPortState();
    void EnableLineControls(bool enable);
    void StartPolling();
    void StopPolling();

    void ShowStatus(const std::string& text) override;
    void ShowMessage(const std::string& text, unsigned type) override;

    UpdaterOptions options_;
    qt::CQtErrorBox errorBox_;
    std::unique_ptr<CSerialPort> port_;
    std::unique_ptr<CFirmwareUpdateFlow> flow_;
    DialogRunner runner_;

    qt::CPortComboBox* portList_ = nullptr;
    QPushButton* connect_ = nullptr;
    QCheckBox* pgd_ = nullptr;
    QCheckBox* pgdInput_ = nullptr;
    QCheckBox* pgc_ = nullptr;
    QCheckBox* power_ = nullptr;
    QPushButton* develop_ = nullptr;
    QPushButton* write_ = nullptr;
    QLabel* status_ = nullptr;
    QTimer* poll_ = nullptr;
};

}  // namespace tenlo::updater
