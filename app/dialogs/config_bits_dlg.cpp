#include "app/dialogs/config_bits_dlg.h"

#include <QAbstractItemModel>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

#include "app/dialogs/dialog_template.h"
#include "app/widgets/hex_list_ctrl.h"
#include "device/catalogue.h"
#include "device/chip_config.h"

namespace tenlo::app {

namespace {

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString HexAddress(std::uint32_t address) {
    return QStringLiteral("0x%1")
        .arg(address, 4, 16, QLatin1Char('0'))
        .toUpper()
        .replace(QStringLiteral("0X"), QStringLiteral("0x"));
}

// The grid position of a cell.
std::pair<int, int> Position(const CHexListCtrl& grid, std::size_t cell) {
    const auto perRow = static_cast<std::size_t>(std::max(grid.Format().cellsPerRow, 1));
    return {static_cast<int>(cell / perRow), static_cast<int>(cell % perRow) + 1};
}

const ConfigField* FieldOf(const ChipConfig& config, int word, int field) {
    if (word < 0 || static_cast<std::size_t>(word) >= config.words.size()) {
        return nullptr;
    }
    const auto& fields = config.words[static_cast<std::size_t>(word)].fields;
    return field >= 0 && static_cast<std::size_t>(field) < fields.size()
               ? &fields[static_cast<std::size_t>(field)]
               : nullptr;
}

// The decoded fields of one word, a line each, under its address and name.
QString Tooltip(const DecodedWord& word) {
    QString text = HexAddress(word.address) + QLatin1Char(' ') + Text(word.word->name);
    for (const DecodedField& field : word.fields) {
        text += QLatin1Char('\n') + QString::fromStdString(field.Text());
    }
    return text;
}

}  // namespace

CConfigGridLink::CConfigGridLink(CHexListCtrl& grid, std::function<int()> chip, QObject* parent)
    : QObject(parent), grid_(grid), chip_(std::move(chip)) {
    // A fill sets the cells with the model's notices held back: the rows it makes say it,
    // and the cells are read once the fill is over.
    const auto later = [this] {
        if (!pending_) {
            pending_ = true;
            QTimer::singleShot(0, this, [this] {
                pending_ = false;
                Refresh();
            });
        }
    };
    connect(grid_.model(), &QAbstractItemModel::rowsInserted, this, later);
    connect(grid_.model(), &QAbstractItemModel::rowsRemoved, this, later);
    connect(&grid_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (!refreshing_ && item != nullptr && item->column() > 0) {
            Refresh();
        }
    });
}

std::vector<std::uint32_t> CConfigGridLink::Cells() const {
    std::vector<std::uint32_t> cells(grid_.Count());
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const auto [row, column] = Position(grid_, i);
        cells[i] = grid_.CellText(row, column).toUInt(nullptr, 16) & grid_.ValueMask();
    }
    return cells;
}

void CConfigGridLink::SetCell(std::size_t cell, std::uint32_t value) {
    if (cell >= grid_.Count()) {
        return;
    }
    const auto [row, column] = Position(grid_, cell);
    const int digits = grid_.Format().cellDigits;
    const QString text =
        QStringLiteral("%1").arg(value & grid_.ValueMask(), digits, 16, QLatin1Char('0')).toUpper();
    if (text == grid_.CellText(row, column)) {
        return;
    }
    grid_.SetCellText(row, column, text);
    grid_.UpdateAscii(row);
    // A setting chosen here is the user's edit as much as a cell typed: the document is changed.
    emit grid_.CellEdited(row, column);
}

void CConfigGridLink::Refresh() {
    refreshing_ = true;
    const std::vector<std::uint32_t> cells = Cells();
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const auto [row, column] = Position(grid_, i);
        if (QTableWidgetItem* item = grid_.item(row, column)) {
            item->setToolTip(QString());
        }
    }
    for (const DecodedWord& word : DecodeConfig(Chip(), cells)) {
        const auto [row, column] = Position(grid_, word.word->cell);
        QTableWidgetItem* item = grid_.item(row, column);
        if (item != nullptr && !word.fields.empty()) {
            item->setToolTip(Tooltip(word));
        }
    }
    refreshing_ = false;
    emit Changed();
}

CConfigBitsDlg::CConfigBitsDlg(CConfigGridLink& link, QWidget* parent)
    : QDialog(parent), link_(link) {
    setObjectName(QStringLiteral("configBits"));
    setWindowTitle(QStringLiteral("コンフィグレーションビット"));
    setFont(TemplateFont(kUiGothic));
    auto* layout = new QVBoxLayout(this);
    scroll_ = new QScrollArea(this);
    scroll_->setWidgetResizable(true);
    layout->addWidget(scroll_);
    auto* close = new QPushButton(QStringLiteral("閉じる"), this);
    close->setObjectName(QStringLiteral("IDCLOSE"));
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    layout->addWidget(close, 0, Qt::AlignRight);
    resize(760, 520);
    connect(&link_, &CConfigGridLink::Changed, this, [this] {
        if (link_.Chip() != shownChip_) {
            Rebuild();
        }
        Update();
    });
    Rebuild();
    Update();
}

QComboBox* CConfigBitsDlg::Combo(const QString& field) const {
    for (QComboBox* combo : combos_) {
        if (combo->objectName() == field) {
            return combo;
        }
    }
    return nullptr;
}

void CConfigBitsDlg::Rebuild() {
    // A new page of rows: the old one goes with its layout, whose rows were another chip's.
    combos_.clear();
    rows_ = new QWidget;
    grid_ = new QGridLayout(rows_);
    grid_->setColumnStretch(2, 1);
    shownChip_ = link_.Chip();
    const CatalogueEntry* entry = CatalogueEntryAt(shownChip_);
    if (entry == nullptr || entry->config == nullptr) {
        scroll_->setWidget(rows_);
        return;
    }
    int row = 0;
    const auto& words = entry->config->words;
    for (std::size_t w = 0; w < words.size(); ++w) {
        const ConfigWord& word = words[w];
        if (word.fields.empty()) {
            continue;
        }
        auto* title =
            new QLabel(HexAddress(entry->configStart + static_cast<std::uint32_t>(word.cell)) +
                           QLatin1Char(' ') + Text(word.name),
                       rows_);
        QFont bold = title->font();
        bold.setBold(true);
        title->setFont(bold);
        grid_->addWidget(title, row++, 0, 1, 3);
        for (std::size_t f = 0; f < word.fields.size(); ++f) {
            const ConfigField& field = word.fields[f];
            auto* name = new QLabel(Text(field.name), rows_);
            auto* combo = new QComboBox(rows_);
            combo->setObjectName(Text(field.name));
            combo->setProperty("cell", static_cast<qulonglong>(word.cell));
            combo->setProperty("word", static_cast<int>(w));
            combo->setProperty("field", static_cast<int>(f));
            combo->setEnabled(!field.settings.empty());
            auto* description = new QLabel(Text(field.description), rows_);
            grid_->addWidget(name, row, 0);
            grid_->addWidget(combo, row, 1);
            grid_->addWidget(description, row, 2);
            ++row;
            combos_.push_back(combo);
            connect(combo, &QComboBox::activated, this, [this, combo] { OnChosen(combo); });
        }
    }
    grid_->setRowStretch(row, 1);
    // Put in whole, so the scroll area takes the page's full height from the start.
    scroll_->setWidget(rows_);
    rows_->show();
}

void CConfigBitsDlg::Update() {
    const CatalogueEntry* entry = CatalogueEntryAt(shownChip_);
    if (entry == nullptr || entry->config == nullptr) {
        return;
    }
    const std::vector<std::uint32_t> cells = link_.Cells();
    for (QComboBox* combo : combos_) {
        const ConfigField* field = FieldOf(*entry->config, combo->property("word").toInt(),
                                           combo->property("field").toInt());
        const auto cell = static_cast<std::size_t>(combo->property("cell").toULongLong());
        if (field == nullptr || cell >= cells.size()) {
            continue;
        }
        const std::uint32_t value = FieldValue(*field, cells[cell]);
        const QSignalBlocker quiet(combo);
        combo->clear();
        for (const ConfigSetting& setting : field->settings) {
            // A name that stands for two values is offered once, as the first (the one written).
            if (combo->findText(Text(setting.name)) < 0) {
                combo->addItem(Text(setting.name), static_cast<qulonglong>(setting.value));
            }
        }
        const ConfigSetting* named = SettingFor(*field, value);
        if (named == nullptr) {
            combo->addItem(QString::fromStdString(FieldValueHex(value)),
                           static_cast<qulonglong>(value));
            combo->setCurrentIndex(combo->count() - 1);
        } else {
            combo->setCurrentIndex(combo->findText(Text(named->name)));
        }
    }
}

void CConfigBitsDlg::OnChosen(QComboBox* combo) {
    const CatalogueEntry* entry = CatalogueEntryAt(shownChip_);
    if (entry == nullptr || entry->config == nullptr) {
        return;
    }
    const ConfigField* field =
        FieldOf(*entry->config, combo->property("word").toInt(), combo->property("field").toInt());
    const auto cell = static_cast<std::size_t>(combo->property("cell").toULongLong());
    const std::vector<std::uint32_t> cells = link_.Cells();
    if (field == nullptr || cell >= cells.size()) {
        return;
    }
    const auto value = static_cast<std::uint32_t>(combo->currentData().toULongLong());
    link_.SetCell(cell, WithFieldValue(*field, cells[cell], value));
}

}  // namespace tenlo::app
