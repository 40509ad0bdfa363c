#pragma once

#include <QFontMetrics>
#include <cstddef>
#include <cstdint>
#include <optional>

class QMimeData;

#include "app/widgets/edit_list_ctrl.h"
#include "device/device_layout.h"
#include "device/memory_image.h"

namespace tenlo::app {

// The editor of a hex cell: hex digits only, in upper case, at most the cell's digits. On its
// end a value with bits beyond the cell's width is refused with "最大値は%Xです。" and the
// cell keeps its text; any other value is written back zero-padded.
class CHexCellEdit final : public CCellEdit {
    Q_OBJECT

  public:
    CHexCellEdit(CEditListCtrl& list, int row, int column, const QString& text, int digits,
                 int cellBits);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void OnEnding() override;

  private:
    int writeDigits_;
    std::uint32_t mask_;
};

// One memory as a hex grid: an address column, cells per row columns, and an ASCII column.
// The grid keeps its own texts: the view fills it from the memory image and takes the texts
// back just before writing or comparing.
//
// From the keyboard: the current cell shows; the arrows, Page Up/Down, Home and End (with Ctrl:
// the whole memory's ends) move it over the memory's cells; a hex digit starts an edit of it
// with that digit, F2 or Enter with its text; Enter keeps the edit and moves to the next cell,
// Escape drops it.
class CHexListCtrl final : public CEditListCtrl {
    Q_OBJECT

  public:
    explicit CHexListCtrl(QWidget* parent = nullptr);

    // A HEX file dropped on the grid is offered through FileDropped; off by default.
    void SetAcceptsFiles(bool on);
    // The current cell as an index into the memory, or nullopt when there is none.
    std::optional<std::size_t> CurrentCell() const;
    // Makes cell index current (clamped to the memory) and scrolls it into view.
    void SetCurrentCell(std::size_t index);
    // The file a drop carries: a single local file, or empty.
    static QString DroppedFile(const QMimeData* data);

    // The ASCII column is at least as wide as the layout says and wide enough for the widest
    // text a row can have in metrics' font, so that no row's text is cut short.
    static int AsciiColumnWidth(const GridFormat& format, const QFontMetrics& metrics);
    // What a cell keeps free on each side of its text.
    static constexpr int kAsciiMargin = 4;

    void SetLayout(const GridFormat& format);
    // Shows count cells of cells. False, with nothing changed, when the buffer's cells are not
    // of the layout's size or hold fewer than count.
    bool SetData(CellSpan cells, std::size_t count);
    // Reads the first count cell texts back into cells (an empty text is 0), truncated to the
    // cell size. An edit still open is ended first, so what the user typed is taken. False,
    // with nothing stored, on the same mismatches as SetData.
    bool GetData(CellSpan cells, std::size_t count);
    // The ASCII column of one row, or of every row for -1.
    void UpdateAscii(int row = -1);

    const GridFormat& Format() const { return format_; }
    // The columns' widths as the layout sets them, added up.
    int ColumnsWidth() const { return columnsWidth_; }
    std::uint32_t ValueMask() const { return mask_; }
    std::size_t Count() const { return count_; }

    void OnEndLabelEdit(int row, int column, const std::optional<QString>& text) override;
    void OnEnterCommitted(int row, int column) override;

  signals:
    // The user changed a cell's value (not a fill by SetData).
    void CellEdited(int row, int column);
    void FileDropped(const QString& path);

  protected:
    CCellEdit* CreateCellEditor(int row, int column) override;
    // Only a cell column opens an editor, and only on a cell the memory has.
    void OnLeftClick(const CellHit& hit) override;

    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    // Typing is for the cells: no jumping to a row that starts with the letters typed.
    void keyboardSearch(const QString& /*search*/) override {}
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    bool Fits(CellSpan cells, std::size_t count) const;
    int CellsPerRow() const;
    int AsciiColumn() const { return CellsPerRow() + 1; }
    // The current cell in the highlight's colour while the grid has the focus, in a pale one
    // while it has not.
    void ShowFocus(bool focused);
    // Where a key moves the current cell from index; nullopt for a key that moves nothing.
    std::optional<std::size_t> MoveTarget(const QKeyEvent& event, std::size_t index) const;
    // Opens the editor on cell index; typed, when given, replaces the text.
    void EditCurrent(std::size_t index, const QString& typed);

    GridFormat format_;
    std::uint32_t mask_ = 0;
    std::size_t count_ = 0;
    int columnsWidth_ = 0;
};

}  // namespace tenlo::app
