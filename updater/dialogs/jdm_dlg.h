#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <optional>

#include "jdm/jdm_programmer.h"

class QLabel;
class QLineEdit;

namespace tenlo::updater {

// Reads an edit field's text as the debug dialog's numbers: hexadecimal, at most 16 bits,
// leading white space and a "0x" prefix skipped, reading up to the first character that is no
// hexadecimal digit. Nothing when there is no digit to read or the number exceeds FFFF.
std::optional<std::uint16_t> ReadHexField(const QString& text);

// "JDM Prog Debug": single ICSP operations by hand on the programmer's own microcontroller.
// No button cycles power or shows a message; each acts on whatever address the chip's counter
// holds.
class CJDMDlg final : public QDialog {
  public:
    enum : int {
        kIdPowerOn = 1006,
        kIdPowerOff = 1007,
        kIdSendProgMem = 1008,
        kIdIncAddr = 1009,
        kIdLoadConfig = 1010,
        kIdSendProgMem2 = 1011,
        kIdData = 1012,
        kIdData2 = 1013,
        kIdReadProg = 1014,
        kIdReadData = 1015,
        kIdReadResult = 1016,
        kIdReadResult2 = 1017,
        kIdCount = 1018,
        kIdProgram = 1020,
        kIdErase = 1021,
    };
    static constexpr std::chrono::milliseconds kProgramWait{10};
    static constexpr std::chrono::milliseconds kEraseWait{10};

    // jdm must stay bound to an open port for the dialog's life.
    CJDMDlg(CJDMProgrammer& jdm, QWidget* parent = nullptr);

    void OnPowerOn();
    void OnPowerOff();
    void OnLoadConfig();
    void OnIncAddr();
    void OnSendProgMem();
    void OnReadProg();
    void OnProgram();
    void OnErase();

    // A close request during a long count ends the count first.
    void reject() override;

  private:
    void BuildControls();

    CJDMProgrammer& jdm_;
    QLineEdit* count_ = nullptr;
    QLineEdit* data_ = nullptr;
    QLabel* readResult_ = nullptr;
    bool counting_ = false;
    bool closeRequested_ = false;
};

}  // namespace tenlo::updater
