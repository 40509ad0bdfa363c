#pragma once

#include <QLineEdit>
#include <QPointer>
#include <QTableWidget>
#include <optional>

namespace tenlo::app {

class CEditListCtrl;

// The in-place editor of one cell: a child of the list (control id 1053) that lives from
// EditCell until it loses the focus, then tells the list its text (or nothing, when cancelled)
// and deletes itself.
class CCellEdit : public QLineEdit {
    Q_OBJECT

  public:
    static constexpr int kControlId = 1053;

    CCellEdit(CEditListCtrl& list, int row, int column, const QString& text);

    int Row() const { return row_; }
    int Column() const { return column_; }
    const QString& StartText() const { return startText_; }
    bool Cancelled() const { return cancelled_; }
    bool Ended() const { return ended_; }

    // Shows the editor over its cell with the focus and the whole text selected.
    void Start();
    // Ends the edit once: the check of a derived editor, then the list hears of it.
    void End();
    // Ends the edit without a word to the list: its cell is going away.
    void Discard();

  protected:
    // Before the list hears of the end: a derived editor checks its text here, and may rewrite
    // it or cancel the edit.
    virtual void OnEnding() {}
    void Cancel() { cancelled_ = true; }
    CEditListCtrl& List() { return list_; }

    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    void Widen();
    void Close();

    CEditListCtrl& list_;
    int row_;
    int column_;
    QString startText_;
    bool cancelled_ = false;
    bool ended_ = false;
};

// Where a point of the list's viewport falls: a row and a column, or -1 for either.
struct CellHit {
    int row = -1;
    int column = -1;
};

// A report-style list whose cells the user edits in place. The headers take no clicks and the
// columns keep their widths; every cell of a column is aligned as the column's header.
class CEditListCtrl : public QTableWidget {
    Q_OBJECT

  public:
    // Columns narrower than this open no editor.
    static constexpr int kMinEditWidth = 5;

    explicit CEditListCtrl(QWidget* parent = nullptr);
    ~CEditListCtrl() override;

    // The list view's edit-labels style; without it a click opens no editor.
    void SetEditLabels(bool on) { editLabels_ = on; }
    bool EditLabels() const { return editLabels_; }

    // Replaces every column with these titles and widths, all centred.
    void SetColumns(const QStringList& titles, const QList<int>& widths);
    Qt::Alignment ColumnAlignment(int column) const;

    QString CellText(int row, int column) const;
    void SetCellText(int row, int column, const QString& text);

    CellHit HitTestCell(const QPoint& point) const;
    // Opens the editor on a cell; nullptr when the cell is not there or too narrow.
    CCellEdit* EditCell(int row, int column);
    // The open editor, or nullptr.
    CCellEdit* Editor() const;
    // Ends the open edit as losing the focus would.
    void EndEdit();
    // Closes the open edit, keeping the cell as it was and saying nothing.
    void DiscardEdit();

    // The editor's last word: the text to set, or nothing when it was cancelled.
    virtual void OnEndLabelEdit(int row, int column, const std::optional<QString>& text);
    // An edit ended with Enter and kept its text: the place to move on from that cell.
    virtual void OnEnterCommitted(int /*row*/, int /*column*/) {}

  protected:
    // Makes the editor of a cell; EditCell places, aligns and starts it.
    virtual CCellEdit* CreateCellEditor(int row, int column);
    // A left click, after the list has selected the row under it.
    virtual void OnLeftClick(const CellHit& hit);

    void mousePressEvent(QMouseEvent* event) override;
    // Scrolling first ends an open edit, as taking the focus back would.
    void scrollContentsBy(int dx, int dy) override;

  private:
    QPointer<CCellEdit> editor_;
    bool editLabels_ = true;
};

}  // namespace tenlo::app
