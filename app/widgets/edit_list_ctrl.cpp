#include "app/widgets/edit_list_ctrl.h"

#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyledItemDelegate>
#include <algorithm>

namespace tenlo::app {

namespace {

// A list view aligns every cell of a column as the column itself.
class ColumnAlignedDelegate final : public QStyledItemDelegate {
  public:
    explicit ColumnAlignedDelegate(CEditListCtrl& list) : QStyledItemDelegate(&list), list_(list) {}

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->displayAlignment = list_.ColumnAlignment(index.column()) | Qt::AlignVCenter;
    }

  private:
    CEditListCtrl& list_;
};

// The edit's own border and margins around its text.
constexpr int kTextSlack = 5;

}  // namespace

CCellEdit::CCellEdit(CEditListCtrl& list, int row, int column, const QString& text)
    : QLineEdit(list.viewport()), list_(list), row_(row), column_(column), startText_(text) {
    setObjectName(QString::number(kControlId));
    setFont(list.font());
    setFrame(true);
    setText(text);
    connect(this, &QLineEdit::textChanged, this, [this] { Widen(); });
}

void CCellEdit::Start() {
    show();
    setFocus(Qt::MouseFocusReason);
    selectAll();
    end(true);
}

bool CCellEdit::event(QEvent* event) {
    // Enter, Delete, Escape and anything with Ctrl belong to the edit, not to the menus'
    // shortcuts or the window around it.
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
            case Qt::Key_Delete:
            case Qt::Key_Escape:
                event->accept();
                return true;
            default:
                if ((key->modifiers() & Qt::ControlModifier) != 0) {
                    event->accept();
                    return true;
                }
        }
    }
    return QLineEdit::event(event);
}

void CCellEdit::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
            cancelled_ = true;
            [[fallthrough]];
        case Qt::Key_Return:
        case Qt::Key_Enter: {
            list_.setFocus(Qt::OtherFocusReason);
            // An inactive window moves no focus: the edit ends all the same.
            End();
            if (!cancelled_) {
                list_.OnEnterCommitted(row_, column_);
            }
            return;
        }
        default:
            QLineEdit::keyPressEvent(event);
    }
}

void CCellEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // The edit's own context menu takes the focus for a moment; that is no end.
    if (event->reason() != Qt::PopupFocusReason) {
        End();
    }
}

void CCellEdit::Widen() {
    const int wanted = fontMetrics().horizontalAdvance(text()) + kTextSlack;
    const QRect inside = contentsRect().marginsRemoved(textMargins());
    if (wanted <= inside.width()) {
        return;
    }
    const int frame = width() - inside.width();
    const int room = list_.viewport()->width() - x();
    resize(std::min(wanted + frame, room), height());
}

void CCellEdit::End() {
    if (ended_) {
        return;
    }
    ended_ = true;
    OnEnding();
    Close();
    list_.OnEndLabelEdit(row_, column_, cancelled_ ? std::nullopt : std::optional(text()));
}

void CCellEdit::Discard() {
    if (!ended_) {
        ended_ = true;
        Close();
    }
}

void CCellEdit::Close() {
    hide();
    deleteLater();
}

CEditListCtrl::CEditListCtrl(QWidget* parent) : QTableWidget(parent) {
    setItemDelegate(new ColumnAlignedDelegate(*this));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setShowGrid(false);
    setWordWrap(false);
    // Tab goes to the next control of the form, not to the next cell.
    setTabKeyNavigation(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 2);
    QHeaderView* header = horizontalHeader();
    header->setSectionsClickable(false);
    header->setSectionsMovable(false);
    header->setHighlightSections(false);
    header->setSectionResizeMode(QHeaderView::Fixed);
    header->setStretchLastSection(false);
    // Columns are as wide as their format says, however narrow.
    header->setMinimumSectionSize(0);
}

CEditListCtrl::~CEditListCtrl() {
    DiscardEdit();
}

void CEditListCtrl::SetColumns(const QStringList& titles, const QList<int>& widths) {
    DiscardEdit();
    setColumnCount(0);
    setColumnCount(static_cast<int>(titles.size()));
    for (int c = 0; c < titles.size(); ++c) {
        auto* item = new QTableWidgetItem(titles[c]);
        item->setTextAlignment(Qt::AlignCenter);
        setHorizontalHeaderItem(c, item);
        setColumnWidth(c, c < widths.size() ? widths[c] : 0);
    }
}

Qt::Alignment CEditListCtrl::ColumnAlignment(int column) const {
    const QTableWidgetItem* item = horizontalHeaderItem(column);
    if (item == nullptr) {
        return Qt::AlignLeft;
    }
    return Qt::Alignment(item->textAlignment()) & Qt::AlignHorizontal_Mask;
}

QString CEditListCtrl::CellText(int row, int column) const {
    const QTableWidgetItem* cell = item(row, column);
    return cell == nullptr ? QString() : cell->text();
}

void CEditListCtrl::SetCellText(int row, int column, const QString& text) {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) {
        return;
    }
    if (QTableWidgetItem* cell = item(row, column)) {
        cell->setText(text);
    } else {
        setItem(row, column, new QTableWidgetItem(text));
    }
}

CellHit CEditListCtrl::HitTestCell(const QPoint& point) const {
    CellHit hit;
    hit.row = rowAt(point.y());
    if (hit.row >= 0) {
        hit.column = columnAt(point.x());
    }
    return hit;
}

CCellEdit* CEditListCtrl::Editor() const {
    return editor_ != nullptr && !editor_->Ended() ? editor_.data() : nullptr;
}

void CEditListCtrl::EndEdit() {
    if (CCellEdit* editor = Editor()) {
        editor->End();
    }
}

void CEditListCtrl::DiscardEdit() {
    if (CCellEdit* editor = Editor()) {
        editor->Discard();
    }
}

CCellEdit* CEditListCtrl::EditCell(int row, int column) {
    EndEdit();
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) {
        return nullptr;
    }
    const int width = columnWidth(column);
    if (width < kMinEditWidth) {
        return nullptr;
    }
    // The cell comes into view first, across and down.
    scrollTo(model()->index(row, column));

    const QRect cell = visualRect(model()->index(row, column));
    QRect rect(cell.left() + 4, cell.top(), width - 3, cell.height());
    rect.setRight(std::min(rect.right(), viewport()->width() - 1));
    editor_ = CreateCellEditor(row, column);
    if (editor_ == nullptr) {
        return nullptr;
    }
    editor_->setAlignment(ColumnAlignment(column) | Qt::AlignVCenter);
    editor_->setGeometry(rect);
    editor_->Start();
    return editor_;
}

CCellEdit* CEditListCtrl::CreateCellEditor(int row, int column) {
    return new CCellEdit(*this, row, column, CellText(row, column));
}

void CEditListCtrl::OnEndLabelEdit(int row, int column, const std::optional<QString>& text) {
    if (text) {
        SetCellText(row, column, *text);
    }
}

void CEditListCtrl::mousePressEvent(QMouseEvent* event) {
    QTableWidget::mousePressEvent(event);
    if (event->button() == Qt::LeftButton) {
        OnLeftClick(HitTestCell(event->position().toPoint()));
    }
}

void CEditListCtrl::OnLeftClick(const CellHit& hit) {
    if (hit.row < 0) {
        return;
    }
    if (currentRow() == hit.row && hit.column > 0 && editLabels_) {
        EditCell(hit.row, hit.column);
        return;
    }
    selectRow(hit.row);
    setCurrentCell(hit.row, std::max(hit.column, 0));
}

void CEditListCtrl::scrollContentsBy(int dx, int dy) {
    if (CCellEdit* editor = Editor()) {
        setFocus(Qt::OtherFocusReason);
        editor->End();
    }
    QTableWidget::scrollContentsBy(dx, dy);
}

}  // namespace tenlo::app
