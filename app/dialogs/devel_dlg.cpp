#include "app/dialogs/devel_dlg.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <array>
#include <functional>
#include <vector>

#include "app/bridge/trace_bridge.h"
#include "link/ui_interfaces.h"
#include "qtcommon/dialog_units.h"
#include "qtcommon/hex_text.h"
#include "qtcommon/message_presenter.h"

namespace tenlo::app {

namespace {

enum class Kind { Button, Edit, Output, Static, Label, Combo };

struct ControlRow {
    int id;  // 0: a label without one
    Kind kind;
    const char* text;
    int x, y, width, height;
};

constexpr int kRow = 16;
constexpr int kButtonHeight = 14;
constexpr int kFieldHeight = 12;

// Dialog 130 in dialog units: power and plain commands on the left, the mid-range ICSP
// commands in the middle, the PIC18 and dsPIC30F sequences on the right, the trace below.
// clang-format off
constexpr std::array kControls{
    ControlRow{1003, Kind::Button, "Vdd Vpp ON", 7, 7, 56, kButtonHeight},
    ControlRow{1004, Kind::Button, "Vpp Vdd ON", 7, 7 + kRow, 56, kButtonHeight},
    ControlRow{1005, Kind::Button, "Vpp Vdd OFF", 7, 7 + 2 * kRow, 56, kButtonHeight},
    ControlRow{1006, Kind::Button, "Vdd Vpp OFF", 7, 7 + 3 * kRow, 56, kButtonHeight},
    ControlRow{1034, Kind::Button, "Enter EICSP", 7, 7 + 4 * kRow, 56, kButtonHeight},
    ControlRow{1035, Kind::Button, "Exit EICSP", 7, 7 + 5 * kRow, 56, kButtonHeight},
    ControlRow{1007, Kind::Button, "Version", 7, 7 + 6 * kRow, 56, kButtonHeight},
    ControlRow{1008, Kind::Output, "", 67, 8 + 6 * kRow, 62, kFieldHeight},
    ControlRow{1051, Kind::Button, "Set Option", 7, 7 + 7 * kRow, 56, kButtonHeight},
    ControlRow{1052, Kind::Edit, "", 67, 8 + 7 * kRow, 30, kFieldHeight},
    ControlRow{1060, Kind::Button, "FlashComBuf", 7, 7 + 8 * kRow, 56, kButtonHeight},
    ControlRow{1061, Kind::Button, "00", 7, 7 + 9 * kRow, 26, kButtonHeight},
    ControlRow{1062, Kind::Button, "02", 37, 7 + 9 * kRow, 26, kButtonHeight},
    ControlRow{1036, Kind::Button, "SCHECK", 7, 7 + 10 * kRow, 56, kButtonHeight},

    ControlRow{1009, Kind::Button, "Load Config", 137, 7, 62, kButtonHeight},
    ControlRow{1016, Kind::Edit, "0", 203, 8, 40, kFieldHeight},
    ControlRow{1010, Kind::Button, "Load Prog", 137, 7 + kRow, 62, kButtonHeight},
    ControlRow{1014, Kind::Edit, "0", 203, 8 + kRow, 40, kFieldHeight},
    ControlRow{1011, Kind::Button, "Load Data", 137, 7 + 2 * kRow, 62, kButtonHeight},
    ControlRow{1017, Kind::Edit, "0", 203, 8 + 2 * kRow, 40, kFieldHeight},
    ControlRow{1015, Kind::Button, "Increment", 137, 7 + 3 * kRow, 62, kButtonHeight},
    ControlRow{1018, Kind::Edit, "1", 203, 8 + 3 * kRow, 40, kFieldHeight},
    ControlRow{1019, Kind::Button, "Read Prog", 137, 7 + 4 * kRow, 62, kButtonHeight},
    ControlRow{1021, Kind::Static, "", 203, 10 + 4 * kRow, 40, 9},
    ControlRow{1020, Kind::Button, "Read Data", 137, 7 + 5 * kRow, 62, kButtonHeight},
    ControlRow{1022, Kind::Static, "", 203, 10 + 5 * kRow, 40, 9},
    ControlRow{1030, Kind::Button, "Multi Read Prog", 137, 7 + 6 * kRow, 62, kButtonHeight},
    ControlRow{1032, Kind::Edit, "1", 203, 8 + 6 * kRow, 30, kFieldHeight},
    ControlRow{1031, Kind::Button, "Multi Read Data", 137, 7 + 7 * kRow, 62, kButtonHeight},
    ControlRow{1033, Kind::Output, "", 137, 8 + 8 * kRow, 196, kFieldHeight},
    ControlRow{1012, Kind::Button, "Erase", 137, 7 + 9 * kRow, 45, kButtonHeight},
    ControlRow{1023, Kind::Combo, "", 186, 8 + 9 * kRow, 50, kFieldHeight + 1},
    ControlRow{1026, Kind::Combo, "", 240, 8 + 9 * kRow, 50, kFieldHeight + 1},
    ControlRow{1027, Kind::Edit, "100", 294, 8 + 9 * kRow, 38, kFieldHeight},
    ControlRow{1013, Kind::Button, "Program", 137, 7 + 10 * kRow, 45, kButtonHeight},
    ControlRow{1028, Kind::Combo, "", 186, 8 + 10 * kRow, 64, kFieldHeight + 1},
    ControlRow{1029, Kind::Edit, "100", 254, 8 + 10 * kRow, 38, kFieldHeight},

    ControlRow{0, Kind::Label, "Addr", 342, 10, 20, 9},
    ControlRow{1050, Kind::Edit, "0", 364, 8, 45, kFieldHeight},
    ControlRow{0, Kind::Label, "Read Len", 414, 10, 32, 9},
    ControlRow{1049, Kind::Edit, "1", 448, 8, 25, kFieldHeight},
    ControlRow{1065, Kind::Button, "PIC18 Read Prog", 342, 7 + kRow, 82, kButtonHeight},
    ControlRow{1070, Kind::Button, "PIC18 Read Data", 428, 7 + kRow, 82, kButtonHeight},
    ControlRow{1066, Kind::Button, "PIC18 SetupWrite", 342, 7 + 2 * kRow, 82, kButtonHeight},
    ControlRow{1067, Kind::Button, "PIC18 SinglePanel", 428, 7 + 2 * kRow, 82, kButtonHeight},
    ControlRow{1068, Kind::Button, "PIC18 SetupWrite", 342, 7 + 3 * kRow, 82, kButtonHeight},
    ControlRow{1076, Kind::Button, "PIC Wait", 428, 7 + 3 * kRow, 82, kButtonHeight},
    ControlRow{0, Kind::Label, "4bit Cmd", 342, 10 + 4 * kRow, 32, 9},
    ControlRow{1069, Kind::Edit, "0", 376, 8 + 4 * kRow, 24, kFieldHeight},
    ControlRow{0, Kind::Label, "Payload", 406, 10 + 4 * kRow, 28, 9},
    ControlRow{1071, Kind::Edit, "0", 436, 8 + 4 * kRow, 36, kFieldHeight},
    ControlRow{0, Kind::Label, "Wait", 342, 10 + 5 * kRow, 32, 9},
    ControlRow{1073, Kind::Edit, "100", 376, 8 + 5 * kRow, 36, kFieldHeight},
    ControlRow{1072, Kind::Button, "PIC18Send", 342, 7 + 6 * kRow, 54, kButtonHeight},
    ControlRow{1074, Kind::Button, "PIC18Prog", 400, 7 + 6 * kRow, 54, kButtonHeight},
    ControlRow{1075, Kind::Button, "PIC18Rcv", 458, 7 + 6 * kRow, 54, kButtonHeight},
    ControlRow{1077, Kind::Static, "", 458, 10 + 7 * kRow, 54, 9},
    ControlRow{1080, Kind::Button, "Test", 342, 7 + 8 * kRow, 40, kButtonHeight},
    ControlRow{1081, Kind::Button, "Test", 386, 7 + 8 * kRow, 40, kButtonHeight},

    // Buttons and fields that do nothing.
    ControlRow{1037, Kind::Button, "READD", 342, 7 + 9 * kRow, 32, kButtonHeight},
    ControlRow{1038, Kind::Button, "READP", 376, 7 + 9 * kRow, 32, kButtonHeight},
    ControlRow{1039, Kind::Button, "PROGD", 410, 7 + 9 * kRow, 32, kButtonHeight},
    ControlRow{1040, Kind::Button, "PROGP", 444, 7 + 9 * kRow, 32, kButtonHeight},
    ControlRow{1041, Kind::Button, "PROGC", 478, 7 + 9 * kRow, 32, kButtonHeight},
    ControlRow{1042, Kind::Button, "PROGC", 342, 7 + 10 * kRow, 32, kButtonHeight},
    ControlRow{1043, Kind::Button, "PROGC", 376, 7 + 10 * kRow, 32, kButtonHeight},
    ControlRow{1044, Kind::Button, "ERASEB", 410, 7 + 10 * kRow, 32, kButtonHeight},
    ControlRow{1045, Kind::Button, "ERASED", 444, 7 + 10 * kRow, 32, kButtonHeight},
    ControlRow{1046, Kind::Button, "ERASEP", 478, 7 + 10 * kRow, 32, kButtonHeight},
    ControlRow{0, Kind::Label, "Addr", 342, 10 + 11 * kRow, 20, 9},
    ControlRow{1047, Kind::Edit, "", 364, 8 + 11 * kRow, 40, kFieldHeight},
    ControlRow{0, Kind::Label, "Data", 410, 10 + 11 * kRow, 20, 9},
    ControlRow{1048, Kind::Edit, "", 432, 8 + 11 * kRow, 40, kFieldHeight},
    ControlRow{1058, Kind::Edit, "", 364, 8 + 12 * kRow, 40, kFieldHeight},
    ControlRow{1057, Kind::Label, "ReadData", 410, 10 + 12 * kRow, 40, 9},

    ControlRow{1025, Kind::Button, "クリア", 7, 7 + 11 * kRow, 40, kButtonHeight},
};
// clang-format on

constexpr int kTraceId = 1024;
constexpr int kMaxCount = 255;
const QString kSpace = QStringLiteral(" ");

// Each value as digits upper-case hex digits, with before and after around it, all joined.
QString Joined(const std::vector<unsigned>& values, int digits, const QString& before,
               const QString& after) {
    QString text;
    for (const unsigned v : values) {
        text +=
            before + QStringLiteral("%1").arg(v, digits, 16, QLatin1Char('0')).toUpper() + after;
    }
    return text;
}

}  // namespace

CDevelDlg::CDevelDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("130"));
    setWindowTitle(QStringLiteral("Dialog"));
    setFont(qt::DialogFont(QStringLiteral("MS Shell Dlg"), 8));
    Build();
}

CDevelDlg::~CDevelDlg() {
    // The link outlives the dialog; its trace must not point at a field that is gone.
    if (link_ != nullptr) {
        link_->SetTraceWindow(nullptr);
    }
}

void CDevelDlg::Build() {
    const qt::CDialogUnits du(font());
    setFixedSize(du.Size(519, 314));

    const std::map<int, std::function<void()>> actions{
        {1003, [this] { link_->PowerOnVddFirst(); }},
        {1004, [this] { link_->PowerOnVppFirst(); }},
        {1005, [this] { link_->PowerOffVppFirst(); }},
        {1006, [this] { link_->PowerOffVddFirst(); }},
        {1034, [this] { link_->EnterEicsp(); }},
        {1035, [this] { link_->ExitEicsp(); }},
        {1007, [this] { OnVersion(); }},
        {1051, [this] { OnSetOption(); }},
        {1009, [this] { OnLoadConfig(); }},
        {1010, [this] { OnLoadProg(); }},
        {1011, [this] { OnLoadData(); }},
        {1015, [this] { OnIncrement(); }},
        {1019, [this] { OnReadProg(); }},
        {1020, [this] { OnReadData(); }},
        {1030, [this] { OnMultiReadProg(); }},
        {1031, [this] { OnMultiReadData(); }},
        {1012, [this] { OnErase(); }},
        {1013, [this] { OnProgram(); }},
        {1072, [this] { OnPic18Send(); }},
        {1074, [this] { OnPic18Prog(); }},
        {1075, [this] { OnPic18Rcv(); }},
        {1076, [this] { OnPicWait(); }},
        {1066, [this] { OnPic18SetupWrite(); }},
        {1067, [this] { OnPic18SinglePanel(); }},
        {1068, [this] { OnPic18WriteAt(); }},
        {1065, [this] { OnPic18ReadProg(); }},
        {1070, [this] { OnPic18ReadData(); }},
        {1080, [this] { OnDsTest1(); }},
        {1081, [this] { OnDsTest2(); }},
        {1060, [this] { OnFlushInput(); }},
        {1061, [this] { link_->WriteByte(0x00); }},
        {1062, [this] { link_->WriteByte(0x02); }},
    };

    for (const ControlRow& row : kControls) {
        QWidget* widget = nullptr;
        const QString text = QString::fromUtf8(row.text);
        switch (row.kind) {
            case Kind::Button: {
                auto* button = new QPushButton(text, this);
                button->setAutoDefault(false);
                if (row.id == 1025) {
                    connect(button, &QPushButton::clicked, this, [this] { OnClear(); });
                } else if (const auto it = actions.find(row.id); it != actions.end()) {
                    connect(button, &QPushButton::clicked, this, [this, action = it->second] {
                        // The link is handed over as the dialog opens; before that, nothing.
                        if (link_ != nullptr) {
                            action();
                        }
                    });
                }
                widget = button;
                break;
            }
            case Kind::Edit:
            case Kind::Output: {
                auto* edit = new QLineEdit(text, this);
                edit->setReadOnly(row.kind == Kind::Output);
                widget = edit;
                break;
            }
            case Kind::Static:
            case Kind::Label:
                widget = new QLabel(text, this);
                break;
            case Kind::Combo:
                widget = new QComboBox(this);
                break;
        }
        widget->setGeometry(du.Rect(row.x, row.y, row.width, row.height));
        if (row.id != 0) {
            widget->setObjectName(QString::number(row.id));
            controls_[row.id] = widget;
        }
    }

    const auto fill = [this](int id, const QStringList& items, int selected) {
        auto* combo = static_cast<QComboBox*>(controls_.at(id));
        combo->addItems(items);
        combo->setCurrentIndex(selected);
    };
    fill(1023, {QStringLiteral("Bulk 12F"), QStringLiteral("Bulk F84"), QStringLiteral("Bulk F8x")},
         2);
    fill(1026, {QStringLiteral("W/O Data"), QStringLiteral("With Data")}, 0);
    fill(1028,
         {QStringLiteral("Internal08"), QStringLiteral("External08"), QStringLiteral("External18")},
         0);

    trace_ = new QPlainTextEdit(this);
    trace_->setObjectName(QString::number(kTraceId));
    trace_->setReadOnly(true);
    trace_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    trace_->setGeometry(du.Rect(7, 7 + 12 * kRow, 326, 314 - 14 - 12 * kRow));
    // The panel is locked while a device operation runs, which is when the trace is busiest:
    // it stays readable, not greyed.
    QPalette palette = trace_->palette();
    for (const QPalette::ColorRole role : {QPalette::Text, QPalette::Base}) {
        palette.setColor(QPalette::Disabled, role, palette.color(QPalette::Active, role));
    }
    trace_->setPalette(palette);
    controls_[kTraceId] = trace_;
    traceBridge_ = new CTraceBridge(*trace_);
}

void CDevelDlg::SetLink(CProgrammerLink* link) {
    link_ = link;
    if (link_ != nullptr) {
        link_->SetTraceWindow(traceBridge_);
    }
}

QWidget* CDevelDlg::Control(int id) const {
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

QString CDevelDlg::TraceText() {
    traceBridge_->Flush();
    return trace_->toPlainText();
}

std::optional<std::uint32_t> CDevelDlg::Hex(int id) {
    const QString text = static_cast<QLineEdit*>(controls_.at(id))->text().trimmed();
    QStringView digits(text);
    if (digits.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive)) {
        digits = digits.mid(2);
    }
    // Empty reads 0, as "0x0" followed by nothing would.
    std::uint64_t value = 0;
    for (const QChar c : digits) {
        const int digit = qt::HexDigit(c);
        if (digit < 0 || value > 0xFFFFFFFu) {
            Refuse(id, QStringLiteral("16進数を入力してください。"));
            return std::nullopt;
        }
        value = value << 4 | static_cast<std::uint64_t>(digit);
    }
    return static_cast<std::uint32_t>(value);
}

std::optional<int> CDevelDlg::Decimal(int id) {
    bool ok = false;
    const int value = static_cast<QLineEdit*>(controls_.at(id))->text().trimmed().toInt(&ok, 10);
    if (!ok) {
        Refuse(id, QStringLiteral("数値を入力してください。"));
        return std::nullopt;
    }
    return value;
}

std::optional<int> CDevelDlg::Count(int id) {
    const std::optional<int> value = Decimal(id);
    if (value && (*value < 1 || *value > kMaxCount)) {
        // The firmware takes a count of one byte and the reply is read into that many places.
        Refuse(id, QStringLiteral("1から255までの数を入力してください。"));
        return std::nullopt;
    }
    return value;
}

void CDevelDlg::Refuse(int id, const QString& text) {
    qt::ShowAppMessage(this, text, kMbOk | kMbIconExclamation);
    if (auto* edit = qobject_cast<QLineEdit*>(controls_.at(id))) {
        edit->setFocus();
        edit->selectAll();
    }
}

QString CDevelDlg::Choice(int id) const {
    return static_cast<QComboBox*>(controls_.at(id))->currentText();
}

void CDevelDlg::Show(int id, const QString& text) {
    QWidget* widget = controls_.at(id);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setText(text);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(text);
    }
}

void CDevelDlg::OnVersion() {
    std::uint8_t version[4] = {};
    Show(1008, link_->GetVersion(version)
                   ? Joined({version[0], version[1], version[2], version[3]}, 2, kSpace, kSpace)
                   : QString());
}

void CDevelDlg::OnSetOption() {
    if (const auto option = Decimal(1052)) {
        link_->SetOption(static_cast<std::uint8_t>(*option & 0xFF));
    }
}

void CDevelDlg::OnLoadConfig() {
    if (const auto value = Hex(1016)) {
        link_->IcspLoad(0, static_cast<std::uint16_t>(*value & 0x3FFF));
    }
}

void CDevelDlg::OnLoadProg() {
    if (const auto value = Hex(1014)) {
        link_->IcspLoad(2, static_cast<std::uint16_t>(*value & 0x3FFF));
    }
}

void CDevelDlg::OnLoadData() {
    if (const auto value = Hex(1017)) {
        link_->IcspLoad(3, static_cast<std::uint16_t>(*value & 0xFF));
    }
}

void CDevelDlg::OnIncrement() {
    if (const auto count = Decimal(1018)) {
        link_->SendIcspCommand(6, *count, 0);
    }
}

void CDevelDlg::OnReadProg() {
    std::uint16_t word = 0;
    Show(1021, link_->IcspRead(4, &word) ? QString::asprintf("%04X", word & 0x3FFFu) : QString());
}

void CDevelDlg::OnReadData() {
    std::uint16_t word = 0;
    Show(1022, link_->IcspRead(5, &word) ? QString::asprintf("%02X", word & 0xFFu) : QString());
}

void CDevelDlg::OnMultiReadProg() {
    MultiRead(4, 0x3FFF, 4);
}

void CDevelDlg::OnMultiReadData() {
    MultiRead(5, 0xFF, 2);
}

void CDevelDlg::MultiRead(std::uint8_t command, unsigned mask, int digits) {
    const auto count = Count(1032);
    if (!count) {
        return;
    }
    std::vector<std::uint16_t> words(static_cast<std::size_t>(*count));
    if (!link_->IcspReadMulti(command, words.data(), *count)) {
        Show(1033, {});
        return;
    }
    std::vector<unsigned> values;
    for (const std::uint16_t w : words) {
        values.push_back(w & mask);
    }
    Show(1033, Joined(values, digits, {}, kSpace));
}

void CDevelDlg::OnErase() {
    // Only the 16F8x bulk erase is built in; the other choices send nothing.
    if (Choice(1023) != QStringLiteral("Bulk F8x")) {
        return;
    }
    const auto wait = Decimal(1027);
    if (!wait) {
        return;
    }
    const auto waitByte = static_cast<std::uint8_t>(*wait & 0xFF);
    link_->IcspLoad(2, 0x3FFF);
    link_->SendIcspCommand(9, 0, 0);
    link_->SendIcspCommand(8, 0, waitByte);
    if (Choice(1026) == QStringLiteral("With Data")) {
        link_->IcspLoad(3, 0x3FFF);
        link_->SendIcspCommand(11, 0, 0);
        link_->SendIcspCommand(8, 0, waitByte);
    }
}

void CDevelDlg::OnProgram() {
    const QString timing = Choice(1028);
    if (timing != QStringLiteral("Internal08") && timing != QStringLiteral("External08")) {
        return;
    }
    const auto wait = Decimal(1029);
    if (!wait) {
        return;
    }
    const auto waitByte = static_cast<std::uint8_t>(*wait & 0xFF);
    if (timing == QStringLiteral("Internal08")) {
        link_->SendIcspCommand(0x18, 0, waitByte);
    } else {
        link_->IcspTimedProgram(0x18, 0x17, waitByte);
    }
}

void CDevelDlg::OnPic18Send() {
    const auto command = Hex(1069);
    const auto payload = command ? Hex(1071) : std::nullopt;
    if (!payload) {
        return;
    }
    const std::uint8_t commands[1] = {static_cast<std::uint8_t>(*command & 0xFF)};
    const std::uint16_t payloads[1] = {static_cast<std::uint16_t>(*payload & 0xFFFF)};
    link_->Pic18Send(commands, payloads, 1);
}

void CDevelDlg::OnPic18Prog() {
    if (const auto hold = Hex(1073)) {
        link_->Pic18ProgramHold(0, 0, static_cast<std::uint8_t>(*hold & 0xFF));
    }
}

void CDevelDlg::OnPic18Rcv() {
    const auto command = Hex(1069);
    if (!command) {
        return;
    }
    std::uint8_t byte = 0;
    Show(1077, link_->Pic18Receive(static_cast<std::uint8_t>(*command & 0xFF), &byte, 1)
                   ? QString::asprintf("%02X", byte)
                   : QStringLiteral("Read Failed"));
}

void CDevelDlg::OnPicWait() {
    if (const auto wait = Hex(1073)) {
        link_->Wait(static_cast<std::uint8_t>(*wait & 0xFF));
    }
}

void CDevelDlg::OnPic18SetupWrite() {
    // Set EEPGD, CFGS and WREN in EECON1.
    const std::uint8_t commands[3] = {0, 0, 0};
    const std::uint16_t payloads[3] = {0x8EA6, 0x8CA6, 0x86A6};
    link_->Pic18Send(commands, payloads, 3);
}

void CDevelDlg::OnPic18SinglePanel() {
    // Table pointer to 0x3C0006, a table write of 0x0000 there, set EEPGD, clear CFGS.
    const std::uint8_t commands[9] = {0, 0, 0, 0, 0, 0, 0x0C, 0, 0};
    const std::uint16_t payloads[9] = {0x0E3C, 0x6EF8, 0x0E00, 0x6EF7, 0x0E06,
                                       0x6EF6, 0x0000, 0x8EA6, 0x9CA6};
    link_->Pic18Send(commands, payloads, 9);
}

void CDevelDlg::OnPic18WriteAt() {
    const auto address = Hex(1050);
    const auto hold = address ? Hex(1073) : std::nullopt;
    if (!hold) {
        return;
    }
    const std::uint32_t a = *address;
    // Table pointer to A, three table writes with post-increment, one that starts programming.
    const std::uint8_t commands[10] = {0, 0, 0, 0, 0, 0, 0x0D, 0x0D, 0x0D, 0x0F};
    const std::uint16_t payloads[10] = {static_cast<std::uint16_t>(0x0E00 + ((a >> 16) & 0xFF)),
                                        0x6EF8,
                                        static_cast<std::uint16_t>(0x0E00 + ((a >> 8) & 0xFF)),
                                        0x6EF7,
                                        static_cast<std::uint16_t>(0x0E00 + (a & 0xFF)),
                                        0x6EF6,
                                        0xABCD,
                                        0x1234,
                                        0x00AA,
                                        0x00BB};
    link_->Pic18Send(commands, payloads, 10);
    link_->Pic18ProgramHold(0, 0, static_cast<std::uint8_t>(*hold & 0xFF));
}

void CDevelDlg::OnPic18ReadProg() {
    const auto address = Hex(1050);
    const auto length = address ? Count(1049) : std::nullopt;
    if (!length) {
        return;
    }
    const std::uint32_t a = *address;
    const std::uint8_t commands[6] = {0, 0, 0, 0, 0, 0};
    const std::uint16_t payloads[6] = {
        static_cast<std::uint16_t>(0x0E00 + ((a >> 16) & 0x3F)), 0x6EF8,
        static_cast<std::uint16_t>(0x0E00 + ((a >> 8) & 0xFF)),  0x6EF7,
        static_cast<std::uint16_t>(0x0E00 + (a & 0xFF)),         0x6EF6};
    const bool pointed = link_->Pic18Send(commands, payloads, 6);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(*length));
    const bool read = link_->Pic18Receive(9, bytes.data(), *length);
    if (!pointed || !read) {
        Show(1033, QStringLiteral("PIC18 Read Failed"));
        return;
    }
    Show(1033, Joined(std::vector<unsigned>(bytes.begin(), bytes.end()), 2, {}, kSpace));
}

void CDevelDlg::OnPic18ReadData() {
    const auto address = Hex(1050);
    if (!address) {
        return;
    }
    const std::uint32_t a = *address;
    // Point EECON1 at data memory, load EEADR and EEADRH, start the read, EEDATA to TABLAT.
    const std::uint8_t commands[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
    const std::uint16_t payloads[9] = {0x9EA6,
                                       0x9CA6,
                                       static_cast<std::uint16_t>(0x0E00 + (a & 0xFF)),
                                       0x6EA9,
                                       static_cast<std::uint16_t>(0x0E00 + ((a >> 8) & 0xFF)),
                                       0x6EAA,
                                       0x80A6,
                                       0x50A8,
                                       0x6EF5};
    const bool started = link_->Pic18Send(commands, payloads, 9);
    std::uint8_t bytes[2] = {};
    const bool read = link_->Pic18Receive(2, bytes, 2);
    Show(1033, started && read ? QString::asprintf("%02X %02X", bytes[0], bytes[1])
                               : QStringLiteral("PIC18 Read Failed"));
}

void CDevelDlg::OnDsTest1() {
    const std::uint32_t words[11] = {0x000000, 0x000000, 0x040100, 0x000000, 0x200800, 0x880190,
                                     0x205BE0, 0x207841, 0xBA0890, 0x000000, 0x000000};
    const std::uint32_t nop[1] = {0x000000};
    std::uint16_t visi = 0;
    link_->DsSix(words, 11);
    link_->DsRegOut(&visi);
    link_->DsSix(nop, 1);
}

void CDevelDlg::OnDsTest2() {
    const std::uint32_t words[10] = {0x000000, 0x000000, 0x200800, 0x880190, 0x000000,
                                     0x000000, 0x212340, 0x000000, 0x883C20, 0x000000};
    const std::uint32_t nop[1] = {0x000000};
    std::uint16_t visi = 0;
    link_->DsSix(words, 10);
    link_->DsRegOut(&visi);
    link_->DsSix(nop, 1);
}

void CDevelDlg::OnFlushInput() {
    link_->FlushInput();
}

void CDevelDlg::OnClear() {
    traceBridge_->Clear();
}

}  // namespace tenlo::app
