#include "app/dialogs/calibration_dlg.h"

#include <QComboBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include "app/dialogs/dialog_template.h"
#include "link/ui_interfaces.h"
#include "qtcommon/message_presenter.h"

namespace tenlo::app {

namespace {

QString Hex4(std::uint16_t value) {
    return QString::asprintf("%04XH", value);
}

// The journal keeps UTC; the user reads the time of day where they are.
QString LocalTime(const std::string& utc) {
    const QDateTime time = QDateTime::fromString(QString::fromStdString(utc), Qt::ISODate);
    return time.isValid() ? time.toLocalTime().toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"))
                          : QString::fromStdString(utc);
}

QString EntryText(const jobs::JournalEntry& entry) {
    const jobs::CalibrationRecord& r = entry.record;
    QString text = QStringLiteral("%1  %2  ワード %3")
                       .arg(LocalTime(entry.time), QString::fromStdString(r.port), Hex4(r.word));
    if (r.bandGap) {
        text += QStringLiteral("  バンドギャップ %1").arg(*r.bandGap);
    }
    if (r.deviceId) {
        text += QStringLiteral("  (デバイスID %1)").arg(Hex4(*r.deviceId));
    }
    return text;
}

// "3454", "3454H" or "0x3454".
std::optional<std::uint16_t> ParseWord(const QString& text) {
    static const QRegularExpression kWord(
        QStringLiteral("^\\s*(?:0[xX])?([0-9A-Fa-f]{1,4})[hH]?\\s*$"));
    const QRegularExpressionMatch match = kWord.match(text);
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(match.captured(1).toUInt(nullptr, 16));
}

}  // namespace

CCalibrationDlg::CCalibrationDlg(const QString& chip, std::vector<jobs::JournalEntry> entries,
                                 bool hasBandGap, const QString& journal, QWidget* parent)
    : QDialog(parent), records_(std::move(entries)), hasBandGap_(hasBandGap) {
    setObjectName(QStringLiteral("calibration"));
    setWindowTitle(QStringLiteral("キャリブレーション値の書き戻し"));
    setFont(TemplateFont(kUiGothic));
    auto* layout = new QVBoxLayout(this);

    if (records_.empty()) {
        layout->addWidget(new QLabel(
            QStringLiteral("%1 のキャリブレーション値の記録はありません。").arg(chip), this));
        layout->addWidget(
            new QLabel(QStringLiteral("値がわかっていれば、下に入力してください。"), this));
    } else {
        layout->addWidget(new QLabel(
            QStringLiteral("イレース前に記録した %1 のキャリブレーション値（新しい順）：")
                .arg(chip),
            this));
    }

    entries_ = new QListWidget(this);
    entries_->setObjectName(QStringLiteral("entries"));
    for (const jobs::JournalEntry& entry : records_) {
        entries_->addItem(EntryText(entry));
    }
    entries_->setEnabled(!records_.empty());
    entries_->setMinimumWidth(entries_->fontMetrics().horizontalAdvance(
                                  QStringLiteral("2026/12/31 23:59:59  COM256  ワード 3480H  "
                                                 "バンドギャップ 3  (デバイスID 0F81H)")) +
                              40);
    layout->addWidget(entries_);

    auto* form = new QFormLayout;
    wordEdit_ = new QLineEdit(this);
    wordEdit_->setObjectName(QStringLiteral("word"));
    wordEdit_->setMaxLength(6);
    wordEdit_->setPlaceholderText(QStringLiteral("34xxH"));
    form->addRow(QStringLiteral("キャリブレーションワード(&W)："), wordEdit_);
    bandGapBox_ = new QComboBox(this);
    bandGapBox_->setObjectName(QStringLiteral("bandgap"));
    bandGapBox_->addItem(QStringLiteral("書き戻さない"));
    for (int n = 0; n <= 3; ++n) {
        bandGapBox_->addItem(QString::number(n), n);
    }
    if (hasBandGap) {
        form->addRow(QStringLiteral("バンドギャップ(&G)："), bandGapBox_);
    } else {
        bandGapBox_->hide();
    }

    // The journal's path, however long, can be read whole and copied.
    auto* where = new QLineEdit(journal, this);
    where->setObjectName(QStringLiteral("journal"));
    where->setReadOnly(true);
    where->setCursorPosition(0);
    form->addRow(QStringLiteral("記録："), where);
    layout->addLayout(form);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* write =
        buttons->addButton(QStringLiteral("書き戻し"), QDialogButtonBox::AcceptRole);
    write->setObjectName(QStringLiteral("IDOK"));
    write->setDefault(true);
    QPushButton* cancel =
        buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("IDCANCEL"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    connect(entries_, &QListWidget::currentRowChanged, this, [this](int row) { Take(row); });
    if (!records_.empty()) {
        entries_->setCurrentRow(0);
    }
}

void CCalibrationDlg::Take(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= records_.size()) {
        return;
    }
    const jobs::CalibrationRecord& record = records_[static_cast<std::size_t>(row)].record;
    wordEdit_->setText(Hex4(record.word));
    bandGapBox_->setCurrentIndex(record.bandGap ? bandGapBox_->findData(int{*record.bandGap}) : 0);
}

void CCalibrationDlg::accept() {
    const std::optional<std::uint16_t> word = ParseWord(wordEdit_->text());
    if (!word || !jobs::IsRetlw(*word)) {
        qt::ShowAppMessage(this,
                           QStringLiteral("キャリブレーションワードは RETLW 命令（3400H から "
                                          "34FFH）です。その範囲の 16 進数で入力してください。"),
                           kMbOk | kMbIconExclamation);
        wordEdit_->setFocus(Qt::OtherFocusReason);
        wordEdit_->selectAll();
        return;
    }
    word_ = *word;
    const QVariant number = bandGapBox_->currentData();
    bandGap_ = hasBandGap_ && number.isValid()
                   ? std::optional<std::uint16_t>(static_cast<std::uint16_t>(number.toInt()))
                   : std::nullopt;
    QDialog::accept();
}

}  // namespace tenlo::app
