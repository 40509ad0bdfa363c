#pragma once

#include <QFontMetrics>
#include <cstddef>
#include <cstdint>

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
class CHexListCtrl final : public CEditListCtrl {
    Q_OBJECT

  public:
    explicit CHexListCtrl(QWidget* parent = nullptr);

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

  protected:
    CCellEdit* CreateCellEditor(int row, int column) override;
    // Only a cell column opens an editor, and only on a cell the memory has.
    void OnLeftClick(const CellHit& hit) override;

  private:
    bool Fits(CellSpan cells, std::size_t count) const;
    int CellsPerRow() const;
    int AsciiColumn() const { return CellsPerRow() + 1; }

    GridFormat format_;
    std::uint32_t mask_ = 0;
    std::size_t count_ = 0;
    int columnsWidth_ = 0;
};

}  // namespace tenlo::app
