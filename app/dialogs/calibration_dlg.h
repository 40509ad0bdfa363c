#pragma once

#include <QDialog>
#include <cstdint>
#include <optional>
#include <vector>

#include "jobs/calibration.h"

class QComboBox;
class QLineEdit;
class QListWidget;

namespace tenlo::app {

// "キャリブレーション値の書き戻し": what earlier erases recorded of the chip's calibration,
// the newest first, one chosen (or the values typed, as from a note of the user's own), to be
// written back once the dialog is accepted.
class CCalibrationDlg : public QDialog {
    Q_OBJECT

  public:
    // hasBandGap: the chip keeps band-gap bits beside its calibration word.
    CCalibrationDlg(const QString& chip, std::vector<jobs::JournalEntry> entries, bool hasBandGap,
                    const QString& journal, QWidget* parent = nullptr);

    // The values to write back, once accepted: the word, and the band-gap number unless the
    // bits are to stay as they are.
    std::uint16_t Word() const { return word_; }
    std::optional<std::uint16_t> BandGap() const { return bandGap_; }

    QListWidget* Entries() const { return entries_; }
    QLineEdit* WordEdit() const { return wordEdit_; }
    QComboBox* BandGapBox() const { return bandGapBox_; }

    // Refuses a word that is no RETLW, saying so; the dialog stays for another try.
    void accept() override;

  private:
    void Take(int row);

    std::vector<jobs::JournalEntry> records_;
    bool hasBandGap_;
    QListWidget* entries_;
    QLineEdit* wordEdit_;
    QComboBox* bandGapBox_;
    std::uint16_t word_ = 0;
    std::optional<std::uint16_t> bandGap_;
};

}  // namespace tenlo::app
