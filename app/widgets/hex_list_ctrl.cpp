#include "app/widgets/hex_list_ctrl.h"

#include <QApplication>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>
#include <QValidator>
#include <algorithm>
#include <numeric>

#include "link/ui_interfaces.h"
#include "qtcommon/hex_text.h"
#include "qtcommon/message_presenter.h"

namespace tenlo::app {

namespace {

using qt::HexDigit;

// What a byte that is no printable ASCII character shows as.
const QString kNonPrintable = QStringLiteral("・");

// The leading hex digits of a text; an empty text, or one that starts with none, is 0.
std::uint32_t ParseHex(QStringView text) {
    std::uint32_t value = 0;
    for (QChar c : text) {
        const int digit = HexDigit(c);
        if (digit < 0) {
            break;
        }
        value = (value << 4) | static_cast<std::uint32_t>(digit);
    }
    return value;
}

// Upper-case hex, zero-padded to digits; a wider value keeps all its digits.
QString FormatHex(std::uint32_t value, int digits) {
    char16_t text[8];
    int n = 0;
    do {
        text[7 - n++] = u"0123456789ABCDEF"[value & 0xF];
        value >>= 4;
    } while (value != 0 && n < 8);
    QString out;
    const int pad = std::max(0, std::min(digits, 64) - n);
    out.reserve(pad + n);
    out.fill(u'0', pad);
    out.append(QStringView(text + 8 - n, n));
    return out;
}

// Hex digits only, turned upper case: typed, pasted or dropped alike.
class UpperHexValidator final : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int& /*pos*/) const override {
        for (QChar& c : input) {
            if (HexDigit(c) < 0) {
                return Invalid;
            }
            c = c.toUpper();
        }
        return Acceptable;
    }
};

}  // namespace

CHexCellEdit::CHexCellEdit(CEditListCtrl& list, int row, int column, const QString& text,
                           int digits, int cellBits)
    : CCellEdit(list, row, column, text),
      writeDigits_((cellBits + 3) / 4),
      mask_(BlankValueForWidth(static_cast<std::uint32_t>(std::max(cellBits, 0)))) {
    setValidator(new UpperHexValidator(this));
    setMaxLength(std::max(digits, 1));
}

void CHexCellEdit::keyPressEvent(QKeyEvent* event) {
    // Backspace is dropped with the other non-digits; Delete and the selection keys still work.
    if (event->key() == Qt::Key_Backspace) {
        return;
    }
    CCellEdit::keyPressEvent(event);
}

void CHexCellEdit::OnEnding() {
    // Runs even after Escape: a value out of range is reported whichever way the edit ends.
    const std::uint32_t value = ParseHex(text());
    if ((value & ~mask_) != 0) {
        qt::ShowAppMessage(&List(), QString::asprintf("最大値は%Xです。", mask_),
                           kMbOk | kMbIconError);
        Cancel();
        return;
    }
    const QString padded = FormatHex(value, writeDigits_);
    setMaxLength(std::max(maxLength(), static_cast<int>(padded.size())));
    setText(padded);
}

CHexListCtrl::CHexListCtrl(QWidget* parent) : CEditListCtrl(parent) {
    // The current cell, not its row, is what the keys act on: it is the one that shows.
    setSelectionBehavior(QAbstractItemView::SelectItems);
    SetAcceptsFiles(false);
    ShowFocus(false);
}

void CHexListCtrl::ShowFocus(bool focused) {
    // Three grids each with a current cell: only the one the keys go to shows it in full.
    const QPalette base = QApplication::palette(this);
    QPalette shown = palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        shown.setColor(group, QPalette::Highlight,
                       base.color(group, focused ? QPalette::Highlight : QPalette::Midlight));
        shown.setColor(group, QPalette::HighlightedText,
                       base.color(group, focused ? QPalette::HighlightedText : QPalette::Text));
    }
    setPalette(shown);
}

void CHexListCtrl::focusInEvent(QFocusEvent* event) {
    CEditListCtrl::focusInEvent(event);
    ShowFocus(true);
}

void CHexListCtrl::focusOutEvent(QFocusEvent* event) {
    CEditListCtrl::focusOutEvent(event);
    ShowFocus(false);
}

void CHexListCtrl::SetAcceptsFiles(bool on) {
    setAcceptDrops(on);
    viewport()->setAcceptDrops(on);
}

QString CHexListCtrl::DroppedFile(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls() || data->urls().size() != 1) {
        return {};
    }
    const QUrl url = data->urls().front();
    return url.isLocalFile() ? url.toLocalFile() : QString();
}

void CHexListCtrl::dragEnterEvent(QDragEnterEvent* event) {
    if (DroppedFile(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void CHexListCtrl::dragMoveEvent(QDragMoveEvent* event) {
    if (DroppedFile(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void CHexListCtrl::dropEvent(QDropEvent* event) {
    const QString path = DroppedFile(event->mimeData());
    if (path.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // Loading may ask questions: not inside the drop, whose source waits for it to end.
    QMetaObject::invokeMethod(
        this, [this, path] { emit FileDropped(path); }, Qt::QueuedConnection);
}

std::optional<std::size_t> CHexListCtrl::CurrentCell() const {
    const int row = currentRow();
    const int column = currentColumn();
    if (row < 0 || column < 1 || column > CellsPerRow()) {
        return std::nullopt;
    }
    const std::size_t index =
        static_cast<std::size_t>(row) * static_cast<std::size_t>(CellsPerRow()) +
        static_cast<std::size_t>(column - 1);
    return index < count_ ? std::optional(index) : std::nullopt;
}

void CHexListCtrl::SetCurrentCell(std::size_t index) {
    if (count_ == 0) {
        return;
    }
    index = std::min(index, count_ - 1);
    const auto perRow = static_cast<std::size_t>(CellsPerRow());
    const auto row = static_cast<int>(index / perRow);
    const auto column = static_cast<int>(index % perRow) + 1;
    setCurrentCell(row, column);
    scrollTo(model()->index(row, column));
}

std::optional<std::size_t> CHexListCtrl::MoveTarget(const QKeyEvent& event,
                                                    std::size_t index) const {
    if ((event.modifiers() & (Qt::AltModifier | Qt::MetaModifier)) != 0) {
        return std::nullopt;
    }
    const bool ctrl = (event.modifiers() & Qt::ControlModifier) != 0;
    const auto perRow = static_cast<std::size_t>(CellsPerRow());
    const std::size_t last = count_ - 1;
    const std::size_t rowStart = index - index % perRow;
    const int rowHeight = std::max(1, verticalHeader()->defaultSectionSize());
    const auto page =
        perRow * static_cast<std::size_t>(std::max(1, viewport()->height() / rowHeight - 1));
    switch (event.key()) {
        case Qt::Key_Left:
            return index == 0 ? 0 : index - 1;
        case Qt::Key_Right:
            return std::min(index + 1, last);
        case Qt::Key_Up:
            return index >= perRow ? index - perRow : index;
        case Qt::Key_Down:
            return index + perRow <= last ? index + perRow : index;
        case Qt::Key_PageUp:
            return index >= page ? index - page : index % perRow;
        case Qt::Key_PageDown:
            if (index + page <= last) {
                return index + page;
            }
            // The last row, in the same column where the memory has it.
            return std::min(last - last % perRow + index % perRow, last);
        case Qt::Key_Home:
            return ctrl ? 0 : rowStart;
        case Qt::Key_End:
            return ctrl ? last : std::min(rowStart + perRow - 1, last);
        default:
            return std::nullopt;
    }
}

void CHexListCtrl::EditCurrent(std::size_t index, const QString& typed) {
    SetCurrentCell(index);
    const auto perRow = static_cast<std::size_t>(CellsPerRow());
    CCellEdit* editor =
        EditCell(static_cast<int>(index / perRow), static_cast<int>(index % perRow) + 1);
    if (editor != nullptr && !typed.isEmpty()) {
        editor->insert(typed);  // over the whole text, which the editor starts selected
    }
}

void CHexListCtrl::keyPressEvent(QKeyEvent* event) {
    if (count_ == 0 || Editor() != nullptr) {
        CEditListCtrl::keyPressEvent(event);
        return;
    }
    const std::size_t from = CurrentCell().value_or(0);
    if (const std::optional<std::size_t> to = MoveTarget(*event, from)) {
        SetCurrentCell(*to);
        event->accept();
        return;
    }
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (EditLabels()) {
        const bool plain = modifiers == Qt::NoModifier;
        const bool start = event->key() == Qt::Key_F2 || event->key() == Qt::Key_Return ||
                           event->key() == Qt::Key_Enter;
        const QString text = event->text();
        if (plain && start) {
            EditCurrent(from, {});
            event->accept();
            return;
        }
        if ((modifiers & ~Qt::ShiftModifier) == Qt::NoModifier && text.size() == 1 &&
            HexDigit(text.front()) >= 0) {
            EditCurrent(from, text);
            event->accept();
            return;
        }
    }
    CEditListCtrl::keyPressEvent(event);
}

int CHexListCtrl::AsciiColumnWidth(const GridFormat& format, const QFontMetrics& metrics) {
    // The widest a row's text can be: every byte shown as the widest character it may become.
    int widest = metrics.horizontalAdvance(kNonPrintable);
    for (char16_t c = 0x20; c <= 0x7E; ++c) {
        widest = std::max(widest, metrics.horizontalAdvance(QChar(c)));
    }
    const int characters = std::max(format.cellsPerRow, 1) * (std::max(format.cellDigits, 0) / 2);
    // The cell's margins on both sides, and a character's width to spare for rounding.
    const int text = characters * widest + 2 * kAsciiMargin + widest;
    return std::max(format.asciiColumnWidth, text);
}

int CHexListCtrl::CellsPerRow() const {
    return std::max(format_.cellsPerRow, 1);
}

void CHexListCtrl::SetLayout(const GridFormat& format) {
    format_ = format;
    QStringList titles{QStringLiteral("Addr")};
    QList<int> widths{format.addressColumnWidth};
    for (int i = 0; i < CellsPerRow(); ++i) {
        titles << QStringLiteral("+%1")
                      .arg(static_cast<std::uint32_t>(format.addressStep) *
                               static_cast<std::uint32_t>(i),
                           0, 16)
                      .toUpper();
        widths << format.cellColumnWidth;
    }
    if (format.showAscii != 0) {
        titles << QStringLiteral("ASCII");
        widths << AsciiColumnWidth(format, fontMetrics());
    }
    setRowCount(0);
    count_ = 0;
    SetColumns(titles, widths);
    columnsWidth_ = std::accumulate(widths.begin(), widths.end(), 0);
    mask_ = BlankValueForWidth(static_cast<std::uint32_t>(std::max(format.cellBits, 0)));
}

bool CHexListCtrl::Fits(CellSpan cells, std::size_t count) const {
    const auto bits = static_cast<std::uint32_t>(std::max(format_.cellBits, 0));
    return cells.CellSize() == CellSizeForWidth(bits) && cells.Count() >= count;
}

bool CHexListCtrl::SetData(CellSpan cells, std::size_t count) {
    if (!Fits(cells, count)) {
        return false;
    }
    DiscardEdit();
    const std::optional<std::size_t> current = CurrentCell();
    setRowCount(0);
    count_ = count;
    if (count == 0) {
        setEnabled(false);
        return true;
    }
    setEnabled(true);

    const int perRow = CellsPerRow();
    const auto rows = static_cast<int>((count + static_cast<std::size_t>(perRow) - 1) /
                                       static_cast<std::size_t>(perRow));
    setUpdatesEnabled(false);
    setRowCount(rows);
    // One change notice per cell would cost more than the cells; the view repaints once.
    const bool blocked = model()->blockSignals(true);
    const auto step = static_cast<std::uint32_t>(format_.addressStep);
    for (int r = 0; r < rows; ++r) {
        const std::size_t first = static_cast<std::size_t>(r) * static_cast<std::size_t>(perRow);
        const auto address = format_.baseAddress + step * static_cast<std::uint32_t>(first);
        setItem(r, 0, new QTableWidgetItem(FormatHex(address, format_.addressDigits)));
        for (int c = 0; c < perRow && first + static_cast<std::size_t>(c) < count; ++c) {
            setItem(r, c + 1,
                    new QTableWidgetItem(FormatHex(cells.Get(first + static_cast<std::size_t>(c)),
                                                   format_.cellDigits)));
        }
    }
    model()->blockSignals(blocked);
    UpdateAscii(-1);
    setUpdatesEnabled(true);
    // The current cell stays where it was, as far as the new memory reaches.
    SetCurrentCell(current.value_or(0));
    viewport()->update();
    return true;
}

bool CHexListCtrl::GetData(CellSpan cells, std::size_t count) {
    if (!Fits(cells, count)) {
        return false;
    }
    EndEdit();
    const int perRow = CellsPerRow();
    for (std::size_t i = 0; i < count; ++i) {
        const auto row = static_cast<int>(i / static_cast<std::size_t>(perRow));
        const auto column = static_cast<int>(i % static_cast<std::size_t>(perRow)) + 1;
        cells.Set(i, ParseHex(CellText(row, column)));
    }
    return true;
}

void CHexListCtrl::UpdateAscii(int row) {
    if (format_.showAscii == 0) {
        return;
    }
    const int perRow = CellsPerRow();
    const int bytes = std::max(format_.cellDigits, 0) / 2;
    const int first = row < 0 ? 0 : row;
    const int last = row < 0 ? rowCount() - 1 : std::min(row, rowCount() - 1);
    for (int r = first; r <= last; ++r) {
        QString ascii;
        ascii.reserve(perRow * bytes);
        for (int c = 0; c < perRow; ++c) {
            // Past the end of the memory there are no cells, so nothing to show.
            if (static_cast<std::size_t>(r) * static_cast<std::size_t>(perRow) +
                    static_cast<std::size_t>(c) >=
                count_) {
                break;
            }
            const std::uint32_t value = ParseHex(CellText(r, c + 1));
            for (int b = bytes - 1; b >= 0; --b) {
                const std::uint32_t byte = b < 4 ? (value >> (8 * b)) & 0xFF : 0;
                if (byte >= 0x20 && byte <= 0x7E) {
                    ascii += QChar(static_cast<char16_t>(byte));
                } else {
                    ascii += kNonPrintable;
                }
            }
        }
        SetCellText(r, AsciiColumn(), ascii);
    }
}

void CHexListCtrl::OnEndLabelEdit(int row, int column, const std::optional<QString>& text) {
    const QString before = CellText(row, column);
    CEditListCtrl::OnEndLabelEdit(row, column, text);
    if (text) {
        UpdateAscii(row);
        if (*text != before) {
            emit CellEdited(row, column);
        }
    }
}

void CHexListCtrl::OnEnterCommitted(int row, int column) {
    const std::size_t index =
        static_cast<std::size_t>(row) * static_cast<std::size_t>(CellsPerRow()) +
        static_cast<std::size_t>(column - 1);
    SetCurrentCell(index + 1);
}

CCellEdit* CHexListCtrl::CreateCellEditor(int row, int column) {
    // The cell being edited is the current one, however its edit began.
    setCurrentCell(row, column);
    return new CHexCellEdit(*this, row, column, CellText(row, column), format_.cellDigits,
                            format_.cellBits);
}

void CHexListCtrl::OnLeftClick(const CellHit& hit) {
    if (hit.row < 0 || hit.column < 1 || hit.column > CellsPerRow() || !EditLabels()) {
        return;
    }
    // A position past the last cell shows nothing and stands for nothing: what was typed there
    // would never reach the memory.
    const std::size_t index =
        static_cast<std::size_t>(hit.row) * static_cast<std::size_t>(CellsPerRow()) +
        static_cast<std::size_t>(hit.column - 1);
    if (index >= count_) {
        return;
    }
    EditCell(hit.row, hit.column);
}

}  // namespace tenlo::app
