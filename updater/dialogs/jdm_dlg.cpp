#include "updater/dialogs/jdm_dlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

#include "link/ui_interfaces.h"
#include "qtcommon/dialog_units.h"
#include "qtcommon/hex_text.h"

namespace tenlo::updater {

namespace {

using qt::HexDigit;

struct Placement {
    int id;
    const char* text;
    int x, y, width, height;
};

struct ButtonPlacement {
    Placement place;
    void (CJDMDlg::*handler)();  // none: the button has no action
};

constexpr ButtonPlacement kButtons[] = {
    {{CJDMDlg::kIdPowerOn, "PowerON", 7, 7, 50, 14}, &CJDMDlg::OnPowerOn},
    {{CJDMDlg::kIdPowerOff, "PowerOFF", 59, 7, 50, 14}, &CJDMDlg::OnPowerOff},
    {{CJDMDlg::kIdLoadConfig, "Load Config", 7, 31, 50, 14}, &CJDMDlg::OnLoadConfig},
    {{CJDMDlg::kIdIncAddr, "Inc Addr", 7, 49, 50, 14}, &CJDMDlg::OnIncAddr},
    {{CJDMDlg::kIdSendProgMem, "Send Prog Mem", 7, 67, 50, 14}, &CJDMDlg::OnSendProgMem},
    {{CJDMDlg::kIdReadProg, "ReadProg", 108, 67, 50, 14}, &CJDMDlg::OnReadProg},
    {{CJDMDlg::kIdSendProgMem2, "Send Prog Mem", 7, 85, 50, 14}, nullptr},
    {{CJDMDlg::kIdReadData, "ReadData", 108, 83, 50, 14}, nullptr},
    {{CJDMDlg::kIdProgram, "Program", 7, 103, 50, 14}, &CJDMDlg::OnProgram},
    {{CJDMDlg::kIdErase, "Erase", 7, 121, 50, 14}, &CJDMDlg::OnErase},
};
constexpr Placement kEdits[] = {
    {CJDMDlg::kIdCount, "1", 59, 49, 29, 14},
    {CJDMDlg::kIdData, "", 59, 67, 29, 14},
    {CJDMDlg::kIdData2, "", 58, 85, 29, 14},
};
constexpr Placement kStatics[] = {
    {CJDMDlg::kIdReadResult, "", 163, 71, 26, 8},
    {CJDMDlg::kIdReadResult2, "", 162, 85, 36, 8},
};
constexpr int kDialogWidth = 205;
constexpr int kDialogHeight = 145;

}  // namespace

std::optional<std::uint16_t> ReadHexField(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace()) {
        ++i;
    }
    if (i + 1 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X') &&
        i + 2 < text.size() && HexDigit(text[i + 2]) >= 0) {
        i += 2;
    }
    unsigned value = 0;
    bool any = false;
    for (; i < text.size(); ++i) {
        const int digit = HexDigit(text[i]);
        if (digit < 0) {
            break;
        }
        value = value * 16 + static_cast<unsigned>(digit);
        if (value > 0xFFFF) {
            return std::nullopt;
        }
        any = true;
    }
    if (!any) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
}

CJDMDlg::CJDMDlg(CJDMProgrammer& jdm, QWidget* parent) : QDialog(parent), jdm_(jdm) {
    setWindowTitle(QStringLiteral("JDM Prog Debug"));
    setObjectName(QStringLiteral("103"));
    BuildControls();
    count_->setText(QStringLiteral("1"));
}

void CJDMDlg::BuildControls() {
    setFont(qt::DialogFont(QStringLiteral("ＭＳ Ｐゴシック"), 9));
    const QFontMetrics metrics(font());
    qt::CDialogUnits units(font());
    const int margin = 2 * style()->pixelMetric(QStyle::PM_ButtonMargin) + 4;
    for (const ButtonPlacement& b : kButtons) {
        units.WidenToFit(metrics, QString::fromUtf8(b.place.text), b.place.width, margin);
    }
    units.WidenToFit(metrics, QStringLiteral("FFFF"), kEdits[0].width, 8);
    units.WidenToFit(metrics, QStringLiteral("FFFF"), kStatics[0].width, 2);
    setFixedSize(units.Size(kDialogWidth, kDialogHeight));

    auto place = [&](QWidget* widget, const Placement& p) {
        widget->setObjectName(QString::number(p.id));
        widget->setGeometry(units.Rect(p.x, p.y, p.width, p.height));
    };
    for (const ButtonPlacement& b : kButtons) {
        auto* button = new QPushButton(QString::fromUtf8(b.place.text), this);
        button->setAutoDefault(false);
        place(button, b.place);
        if (b.handler != nullptr) {
            QObject::connect(button, &QPushButton::clicked, this,
                             [this, handler = b.handler] { (this->*handler)(); });
        }
    }
    QLineEdit* edits[std::size(kEdits)] = {};
    for (std::size_t i = 0; i < std::size(kEdits); ++i) {
        edits[i] = new QLineEdit(this);
        place(edits[i], kEdits[i]);
    }
    count_ = edits[0];
    data_ = edits[1];
    QLabel* statics[std::size(kStatics)] = {};
    for (std::size_t i = 0; i < std::size(kStatics); ++i) {
        statics[i] = new QLabel(this);
        place(statics[i], kStatics[i]);
    }
    readResult_ = statics[0];
}

void CJDMDlg::OnPowerOn() {
    jdm_.PowerOn();
}

void CJDMDlg::OnPowerOff() {
    jdm_.PowerOff();
}

void CJDMDlg::OnLoadConfig() {
    jdm_.LoadData(CJDMProgrammer::kLoadConfiguration, 0);
}

void CJDMDlg::OnIncAddr() {
    const std::optional<std::uint16_t> count = ReadHexField(count_->text());
    if (!count || counting_) {
        return;
    }
    // Up to 65535 commands: keep the window alive meanwhile, and let a close end the count.
    counting_ = true;
    for (unsigned i = 0; i < *count; ++i) {
        PumpMessages();
        if (closeRequested_) {
            break;
        }
        jdm_.SendCommand(CJDMProgrammer::kIncrementAddress);
    }
    counting_ = false;
    if (closeRequested_) {
        QDialog::reject();
    }
}

void CJDMDlg::OnSendProgMem() {
    const std::optional<std::uint16_t> word = ReadHexField(data_->text());
    if (word) {
        jdm_.LoadData(CJDMProgrammer::kLoadProgram, *word);
    }
}

void CJDMDlg::OnReadProg() {
    std::uint16_t word = 0;
    if (jdm_.ReadData(CJDMProgrammer::kReadProgram, &word)) {
        readResult_->setText(QStringLiteral("%1").arg(word, 4, 16, QLatin1Char('0')).toUpper());
    } else {
        readResult_->clear();
    }
}

void CJDMDlg::OnProgram() {
    jdm_.SendCommand(CJDMProgrammer::kBeginProgramming);
    jdm_.Wait(kProgramWait);
}

void CJDMDlg::OnErase() {
    jdm_.SendCommand(CJDMProgrammer::kBulkEraseProgram);
    jdm_.Wait(kEraseWait);
    jdm_.SendCommand(CJDMProgrammer::kBulkEraseData);
    jdm_.Wait(kEraseWait);
}

void CJDMDlg::reject() {
    if (counting_) {
        closeRequested_ = true;
        return;
    }
    QDialog::reject();
}

}  // namespace tenlo::updater
