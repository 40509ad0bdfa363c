#include "updater/dialogs/tenlo_update_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTimer>

#include "jdm/jdm_programmer.h"
#include "link/port_advice.h"
#include "qtcommon/dialog_units.h"
#include "qtcommon/message_presenter.h"
#include "qtcommon/port_combo_box.h"
#include "updater/dialogs/jdm_dlg.h"

namespace tenlo::updater {

namespace {

constexpr const char* kCaption = "TenloUpdate";
constexpr const char* kMsgAlreadyOpen = "ポートはすでに開かれています。";
constexpr const char* kMsgPortNotOpened = "Port is not opened";

// One control of the layout: id, text and rectangle in dialog units.
struct Placement {
    int id;
    const char* text;
    int x, y, width, height;
};

constexpr Placement kLabel{-1, "シリアルポート", 7, 11, 38, 8};
constexpr Placement kPortList{CTenloUpdateDlg::kIdPortList, "", 48, 7, 44, 178};
constexpr Placement kConnect{CTenloUpdateDlg::kIdConnect, "接続", 26, 29, 44, 14};
constexpr Placement kPgd{CTenloUpdateDlg::kIdPgd, "PGD", 14, 57, 29, 10};
constexpr Placement kPgdInput{CTenloUpdateDlg::kIdPgdInput, "PGD Input", 49, 57, 46, 10};
constexpr Placement kPgc{CTenloUpdateDlg::kIdPgc, "PGC", 14, 71, 29, 10};
constexpr Placement kPower{CTenloUpdateDlg::kIdPower, "Power", 14, 85, 34, 10};
constexpr Placement kDevelop{CTenloUpdateDlg::kIdDevelop, "Develop", 48, 77, 40, 14};
constexpr Placement kWrite{CTenloUpdateDlg::kIdWrite, "ファーム書き込み", 24, 103, 50, 14};
constexpr Placement kStatus{CTenloUpdateDlg::kIdStatus, "", 7, 123, 93, 8};
constexpr int kDialogWidth = 107;
constexpr int kDialogHeight = 143;

template <typename Widget>
Widget* Place(QWidget* parent, const qt::CDialogUnits& units, const Placement& p) {
    auto* widget = new Widget(QString::fromUtf8(p.text), parent);
    if (p.id >= 0) {
        widget->setObjectName(QString::number(p.id));
    }
    widget->setGeometry(units.Rect(p.x, p.y, p.width, p.height));
    return widget;
}

}  // namespace

CTenloUpdateDlg::CTenloUpdateDlg(UpdaterOptions options, QWidget* parent)
    : QDialog(parent), options_(std::move(options)), errorBox_(this) {
    setWindowTitle(QString::fromUtf8(kCaption));
    setObjectName(QStringLiteral("102"));
    BuildControls();

    // The port's own errors go to this dialog, in English, under the updater's caption.
    port_ = std::make_unique<CSerialPort>(&errorBox_, options_.backend, options_.clock);
    port_->SetErrorCaption(kUpdaterErrorCaption);
    port_->SetOpenFailureNote(PortOpenProblemJapanese);
    IFirmwareUpdateView& view = *this;
    flow_ = std::make_unique<CFirmwareUpdateFlow>(*port_, view);
    flow_->SetFirmwarePath(options_.firmwarePath);
    runner_ = [](CJDMDlg& dialog) { dialog.exec(); };

    // Port 1 first selected, unless it is absent and another port is present.
    if (options_.portLister) {
        portList_->SetLister(options_.portLister);
    } else {
        portList_->ListSystemPortsFor(options_.backend);
    }
    portList_->Fill();
    portList_->SelectPort(portList_->PresetPort(1));
    EnableLineControls(false);
}

CTenloUpdateDlg::~CTenloUpdateDlg() {
    poll_->stop();
    port_->Release();
}

void CTenloUpdateDlg::BuildControls() {
    setFont(qt::DialogFont(QStringLiteral("MS UI Gothic"), 9));
    const QFontMetrics metrics(font());
    qt::CDialogUnits units(font());
    const int indicator = style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                          style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing) + 4;
    const int buttonMargin = 2 * style()->pixelMetric(QStyle::PM_ButtonMargin) + 4;
    for (const Placement* p : {&kPgd, &kPgdInput, &kPgc, &kPower}) {
        units.WidenToFit(metrics, QString::fromUtf8(p->text), p->width, indicator);
    }
    for (const Placement* p : {&kConnect, &kDevelop, &kWrite}) {
        units.WidenToFit(metrics, QString::fromUtf8(p->text), p->width, buttonMargin);
    }
    units.WidenToFit(metrics, QString::fromUtf8(kLabel.text), kLabel.width, 2);
    for (const char* text : {kStatusErasing, kStatusWriting, kStatusVerifying}) {
        units.WidenToFit(metrics, QString::fromUtf8(text), kStatus.width, 2);
    }
    setFixedSize(units.Size(kDialogWidth, kDialogHeight));

    Place<QLabel>(this, units, kLabel);
    portList_ = new qt::CPortComboBox(kPortCount, this);
    portList_->setObjectName(QString::number(kPortList.id));
    // A drop-down with an edit field, of which only the list selection counts.
    portList_->setEditable(true);
    portList_->setInsertPolicy(QComboBox::NoInsert);
    portList_->setMaxVisibleItems(12);
    const QRect list = units.Rect(kPortList.x, kPortList.y, kPortList.width, kPortList.height);
    portList_->setGeometry(list.x(), list.y(), list.width(), portList_->sizeHint().height());

    connect_ = Place<QPushButton>(this, units, kConnect);
    connect_->setCheckable(true);
    pgd_ = Place<QCheckBox>(this, units, kPgd);
    pgdInput_ = Place<QCheckBox>(this, units, kPgdInput);
    pgc_ = Place<QCheckBox>(this, units, kPgc);
    power_ = Place<QCheckBox>(this, units, kPower);
    develop_ = Place<QPushButton>(this, units, kDevelop);
    develop_->setVisible(false);
    develop_->setAutoDefault(false);
    write_ = Place<QPushButton>(this, units, kWrite);
    status_ = Place<QLabel>(this, units, kStatus);
    for (QPushButton* button : {connect_, write_}) {
        button->setAutoDefault(false);
    }

    poll_ = new QTimer(this);
    poll_->setObjectName(QStringLiteral("pollTimer"));
    poll_->setInterval(kPollMilliseconds);

    QObject::connect(connect_, &QPushButton::clicked, this, [this] { OnConnect(); });
    QObject::connect(pgd_, &QCheckBox::clicked, this, [this] { OnPgd(); });
    QObject::connect(pgc_, &QCheckBox::clicked, this, [this] { OnPgc(); });
    QObject::connect(power_, &QCheckBox::clicked, this, [this] { OnPower(); });
    QObject::connect(develop_, &QPushButton::clicked, this, [this] { OnDevelop(); });
    QObject::connect(write_, &QPushButton::clicked, this, [this] { OnFirmwareWrite(); });
    QObject::connect(poll_, &QTimer::timeout, this, [this] { OnTimer(); });
}

bool CTenloUpdateDlg::IsPolling() const {
    return poll_->isActive();
}

void CTenloUpdateDlg::EnableLineControls(bool enable) {
    for (QWidget* control :
         std::initializer_list<QWidget*>{pgd_, pgdInput_, pgc_, power_, write_}) {
        control->setEnabled(enable);
    }
}

void CTenloUpdateDlg::StartPolling() {
    poll_->start();
}

void CTenloUpdateDlg::StopPolling() {
    poll_->stop();
}

void CTenloUpdateDlg::ShowPortState() {
    const bool open = port_->IsOpen();
    if (open) {
        DriveLinesInactive(*port_);
        StartPolling();
    } else {
        StopPolling();
    }
    portList_->setEnabled(!open);
    EnableLineControls(open);
    // A failed open releases the button again.
    connect_->setChecked(open);
}

void CTenloUpdateDlg::OnConnect() {
    const bool wasOpen = port_->IsOpen();
    if (connect_->isChecked()) {
        if (wasOpen) {
            qt::ShowAppMessage(this, QString::fromUtf8(kMsgAlreadyOpen), kMbOk);
        } else {
            // Only the list selection counts; none selected names COM0, which cannot open.
            port_->Open(UpdaterPortDefinition(portList_->SelectedPort()));
        }
    } else {
        port_->Close();
    }
    ShowPortState();
    if (options_.develop && !wasOpen && port_->IsOpen()) {
        OnDevelop();
    }
}

void CTenloUpdateDlg::OnPgd() {
    if (port_->IsOpen()) {
        port_->SetDTR(pgd_->isChecked());
    }
}

void CTenloUpdateDlg::OnPgc() {
    if (port_->IsOpen()) {
        port_->SetRTS(pgc_->isChecked());
    }
}

void CTenloUpdateDlg::OnPower() {
    if (port_->IsOpen()) {
        port_->SetBreak(power_->isChecked());
    }
}

void CTenloUpdateDlg::OnTimer() {
    bool cts = false;
    if (port_->IsOpen() && port_->GetCTS(&cts)) {
        pgdInput_->setChecked(cts);
    }
}

void CTenloUpdateDlg::OnDevelop() {
    if (!port_->IsOpen()) {
        qt::ShowAppMessage(this, QString::fromUtf8(kMsgPortNotOpened), kMbOk | kMbIconError);
        return;
    }
    StopPolling();
    CJDMProgrammer jdm(*port_);
    CJDMDlg dialog(jdm, this);
    runner_(dialog);
    StartPolling();
}

void CTenloUpdateDlg::OnFirmwareWrite() {
    if (!port_->IsOpen()) {
        qt::ShowAppMessage(this, QString::fromUtf8(kMsgPortNotOpen), kMbOk | kMbIconError);
        return;
    }
    EnableLineControls(false);
    connect_->setEnabled(false);
    StopPolling();

    flow_->Run();

    status_->clear();
    EnableLineControls(true);
    connect_->setEnabled(true);
    StartPolling();
    if (flow_->ClosePending()) {
        reject();
    }
}

void CTenloUpdateDlg::reject() {
    if (!flow_->RequestClose()) {
        return;
    }
    StopPolling();
    port_->Release();
    QDialog::reject();
}

void CTenloUpdateDlg::ShowStatus(const std::string& text) {
    status_->setText(QString::fromStdString(text));
}

void CTenloUpdateDlg::ShowMessage(const std::string& text, unsigned type) {
    qt::ShowAppMessage(this, QString::fromStdString(text), type | kMbOk);
}

}  // namespace tenlo::updater
