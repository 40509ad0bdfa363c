#include "app/widgets/hex_list_ctrl.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QScrollBar>
#include <QTableWidgetItem>
#include <QTest>
#include <QUrl>
#include <vector>

#include "device/catalogue.h"
#include "qtsupport/scripted_presenter.h"

namespace tenlo::app {
namespace {

using qt::testing::ScriptedPresenter;

// A list on a window of its own, shown and active, so the focus moves as it does for a user.
template <typename List>
class OnScreen : public ::testing::Test {
  protected:
    void SetUp() override {
        window_.resize(620, 320);
        list_ = new List(&window_);
        list_->setGeometry(0, 0, 520, 200);
        window_.show();
        window_.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
    }
    void Click(int row, int column) {
        QTest::mouseClick(list_->viewport(), Qt::LeftButton, {},
                          list_->visualRect(list_->model()->index(row, column)).center());
    }

    QWidget window_;
    List* list_ = nullptr;
};

// A hex grid, with a second control to take the focus away.
class HexGrid : public OnScreen<CHexListCtrl> {
  protected:
    void SetUp() override {
        OnScreen::SetUp();
        grid_ = list_;
        other_ = new QLineEdit(&window_);
        other_->setGeometry(0, 250, 100, 24);
        other_->show();
        layout_ = *CatalogueLayout(kStartupDeviceIndex);  // PIC16F84A: 14-bit cells
    }

    void ShowProgram(std::vector<std::uint16_t>& words) {
        grid_->SetLayout(layout_.programGrid);
        ASSERT_TRUE(grid_->SetData(std::span(words), words.size()));
    }
    QStringList Headers() const {
        QStringList titles;
        for (int c = 0; c < grid_->columnCount(); ++c) {
            titles << grid_->horizontalHeaderItem(c)->text();
        }
        return titles;
    }
    // Opens the editor on a cell and types keys into it.
    CCellEdit* Type(int row, int column, const QString& keys) {
        Click(row, column);
        CCellEdit* editor = grid_->Editor();
        if (editor != nullptr) {
            QTest::keyClicks(editor, keys);
        }
        return editor;
    }
    // Types keys into a cell's editor, ends the edit with the key given and returns the cell.
    QString Edit(int row, int column, const QString& keys, Qt::Key end = Qt::Key_Return) {
        CCellEdit* editor = Type(row, column, keys);
        if (editor == nullptr) {
            ADD_FAILURE() << "no editor on " << row << "," << column;
            return {};
        }
        QTest::keyClick(editor, end);
        return grid_->CellText(row, column);
    }
    void Settle() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    CHexListCtrl* grid_ = nullptr;
    QLineEdit* other_ = nullptr;
    DeviceLayout layout_;
};

TEST_F(HexGrid, ProgramRowsAndColumnsFollowTheFormat) {
    std::vector<std::uint16_t> words(1024, 0x3FFF);
    ShowProgram(words);
    EXPECT_EQ(Headers(),
              (QStringList{"Addr", "+0", "+1", "+2", "+3", "+4", "+5", "+6", "+7", "ASCII"}));
    EXPECT_EQ(grid_->columnWidth(0), 40);
    EXPECT_EQ(grid_->columnWidth(1), 40);
    ASSERT_EQ(grid_->rowCount(), 128);
    EXPECT_EQ(grid_->CellText(0, 0), "0000");
    EXPECT_EQ(grid_->CellText(1, 0), "0008");
    EXPECT_EQ(grid_->CellText(2, 0), "0010");
    EXPECT_EQ(grid_->CellText(127, 0), "03F8");
    EXPECT_EQ(grid_->CellText(0, 1), "3FFF");
    EXPECT_EQ(grid_->ValueMask(), 0x3FFFu);
    EXPECT_TRUE(grid_->isEnabled());

    // The headers neither sort, nor move, nor let the columns be dragged wider.
    const QHeaderView* header = grid_->horizontalHeader();
    EXPECT_FALSE(header->sectionsClickable());
    EXPECT_FALSE(header->sectionsMovable());
    EXPECT_EQ(header->sectionResizeMode(3), QHeaderView::Fixed);
}

TEST_F(HexGrid, TheAsciiColumnHoldsTheWidestTextARowCanHave) {
    // Every cell 0x3FFF: a question mark and a full-width dot each, the widest 14-bit row.
    std::vector<std::uint16_t> words(1024, 0x3FFF);
    ShowProgram(words);
    const QString text = grid_->CellText(0, 9);
    ASSERT_EQ(text, QString("?・").repeated(8));
    const int margins = 2 * CHexListCtrl::kAsciiMargin;
    EXPECT_GE(grid_->columnWidth(9), grid_->fontMetrics().horizontalAdvance(text) + margins);
    EXPECT_GE(grid_->columnWidth(9), layout_.programGrid.asciiColumnWidth)
        << "never narrower than the layout says";

    // An 8-bit grid has half the characters a row, so it needs no more room than that.
    grid_->SetLayout(layout_.dataGrid);
    EXPECT_LE(grid_->columnWidth(9),
              CHexListCtrl::AsciiColumnWidth(layout_.programGrid, grid_->fontMetrics()));
}

TEST_F(HexGrid, ConfigurationStartsAtItsBaseAndWideStepsNameTheirOffsets) {
    std::vector<std::uint16_t> config(8, 0x3FFF);
    grid_->SetLayout(layout_.configGrid);
    ASSERT_TRUE(grid_->SetData(std::span(config), config.size()));
    EXPECT_EQ(grid_->CellText(0, 0), "2000");

    GridFormat stepped = layout_.programGrid;
    stepped.addressStep = 2;
    stepped.addressDigits = 6;
    stepped.showAscii = 0;
    grid_->SetLayout(stepped);
    std::vector<std::uint16_t> words(16, 0);
    ASSERT_TRUE(grid_->SetData(std::span(words), words.size()));
    EXPECT_EQ(Headers(), (QStringList{"Addr", "+0", "+2", "+4", "+6", "+8", "+A", "+C", "+E"}));
    EXPECT_EQ(grid_->CellText(1, 0), "000010");
}

TEST_F(HexGrid, ValuesShowUnmaskedAndTheAsciiColumnReadsTheirBytes) {
    std::vector<std::uint16_t> words(8, 0x3FFF);
    words[0] = 0x3F41;
    words[1] = 0xFFFF;  // beyond 14 bits: shown as stored
    words[2] = 0x0041;
    words[3] = 0x4142;
    ShowProgram(words);
    EXPECT_EQ(grid_->CellText(0, 1), "3F41");
    EXPECT_EQ(grid_->CellText(0, 2), "FFFF");
    EXPECT_EQ(grid_->CellText(0, 9), "?A・・・AAB?・?・?・?・");

    std::vector<std::uint8_t> data = {'H', 'i', 0x7F, 0x20, 0x00, 0xFF, '~', 0x1F};
    grid_->SetLayout(layout_.dataGrid);
    ASSERT_TRUE(grid_->SetData(std::span(data), data.size()));
    EXPECT_EQ(grid_->CellText(0, 1), "48");
    EXPECT_EQ(grid_->CellText(0, 9), "Hi・ ・・~・");
}

TEST_F(HexGrid, AShortLastRowLeavesItsTrailingCellsEmptyAndGetDataReadsOnlyTheCount) {
    std::vector<std::uint16_t> words(13);
    for (std::size_t i = 0; i < words.size(); ++i) {
        words[i] = static_cast<std::uint16_t>(0x100 + i);
    }
    ShowProgram(words);
    ASSERT_EQ(grid_->rowCount(), 2);
    EXPECT_EQ(grid_->CellText(1, 5), "010C");
    EXPECT_EQ(grid_->CellText(1, 6), "");
    EXPECT_EQ(grid_->CellText(1, 8), "");
    // Only cells the memory has are in the ASCII text.
    EXPECT_EQ(grid_->CellText(1, 9).size(), 10);

    std::vector<std::uint16_t> back(16, 0xBEEF);
    ASSERT_TRUE(grid_->GetData(std::span(back), 13));
    for (std::size_t i = 0; i < 13; ++i) {
        EXPECT_EQ(back[i], words[i]) << i;
    }
    EXPECT_EQ(back[13], 0xBEEF) << "past the count nothing is written";
}

TEST_F(HexGrid, GetDataReadsAnEmptyCellAsZeroAndTruncatesToTheCellSize) {
    std::vector<std::uint8_t> data = {0x12, 0x34};
    grid_->SetLayout(layout_.dataGrid);
    ASSERT_TRUE(grid_->SetData(std::span(data), data.size()));
    grid_->SetCellText(0, 1, "");
    grid_->SetCellText(0, 2, "1AB");
    std::vector<std::uint8_t> back(2, 0x55);
    ASSERT_TRUE(grid_->GetData(std::span(back), 2));
    EXPECT_EQ(back[0], 0x00);
    EXPECT_EQ(back[1], 0xAB);
}

TEST_F(HexGrid, AnEmptyMemoryDisablesTheGridAndAWrongBufferIsRefused) {
    std::vector<std::uint16_t> words(8, 0x1234);
    ShowProgram(words);
    std::vector<std::uint16_t> none;
    ASSERT_TRUE(grid_->SetData(std::span(none), 0));
    EXPECT_FALSE(grid_->isEnabled());
    EXPECT_EQ(grid_->rowCount(), 0);

    ShowProgram(words);
    std::vector<std::uint8_t> bytes(8);
    EXPECT_FALSE(grid_->SetData(std::span(bytes), 8)) << "8-bit cells for a 14-bit grid";
    EXPECT_FALSE(grid_->SetData(std::span(words), 9)) << "more cells than the buffer holds";
    EXPECT_FALSE(grid_->GetData(std::span(words), 9));
    EXPECT_EQ(grid_->CellText(0, 1), "1234");
}

TEST_F(HexGrid, TypingADigitAndEnterWritesItBackZeroPadded) {
    std::vector<std::uint16_t> words(16, 0x3F41);
    ShowProgram(words);
    CCellEdit* editor = Type(1, 3, "5");
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->objectName(), "1053");
    EXPECT_EQ(editor->text(), "5") << "the old text was selected, so typing replaced it";
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(grid_->CellText(1, 3), "0005");
    EXPECT_EQ(grid_->CellText(1, 9), "?A?A・・?A?A?A?A?A");
    EXPECT_EQ(grid_->Editor(), nullptr);
    EXPECT_TRUE(grid_->hasFocus());
    EXPECT_EQ(words[10], 0x3F41) << "the image changes only through GetData";
}

TEST_F(HexGrid, AValueBeyondTheCellWidthIsRefusedAndTheCellKeepsItsText) {
    ScriptedPresenter presenter;
    std::vector<std::uint16_t> words(8, 0x1234);
    ShowProgram(words);
    presenter.Expect("最大値は3FFFです。", kMbIconError);
    EXPECT_EQ(Edit(0, 2, "4000"), "1234");
    EXPECT_TRUE(presenter.Exhausted());
    EXPECT_EQ(presenter.Shown().at(0).caption, QCoreApplication::applicationName());

    // The check runs when the edit is abandoned too.
    presenter.Expect("最大値は3FFFです。", kMbIconError);
    EXPECT_EQ(Edit(0, 2, "FFFF", Qt::Key_Escape), "1234");

    // An 8-bit grid names its own maximum; two digits cannot pass it.
    std::vector<std::uint8_t> data(8, 0);
    grid_->SetLayout(layout_.dataGrid);
    ASSERT_TRUE(grid_->SetData(std::span(data), data.size()));
    EXPECT_EQ(Edit(0, 1, "1FF"), "1F");
}

TEST_F(HexGrid, OnlyHexDigitsGetInUpperCaseAndBackspaceDoesNothing) {
    std::vector<std::uint16_t> words(8, 0x0000);
    ShowProgram(words);
    CCellEdit* editor = Type(0, 1, "xg1a");
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), "1A");
    QTest::keyClick(editor, Qt::Key_Backspace);
    EXPECT_EQ(editor->text(), "1A");
    QTest::keyClicks(editor, "bcde");
    EXPECT_EQ(editor->text(), "1ABC") << "at most the cell's four digits";
    // Delete still removes the character after the caret.
    QTest::keyClick(editor, Qt::Key_Home);
    QTest::keyClick(editor, Qt::Key_Delete);
    EXPECT_EQ(editor->text(), "ABC");
    // Pasted text passes the same filter.
    editor->selectAll();
    editor->insert("zz");
    EXPECT_EQ(editor->text(), "ABC");
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(grid_->CellText(0, 1), "0ABC");
}

TEST_F(HexGrid, EscapeKeepsTheOldTextAndLosingTheFocusCommits) {
    std::vector<std::uint16_t> words(8, 0x0111);
    ShowProgram(words);
    EXPECT_EQ(Edit(0, 4, "22", Qt::Key_Escape), "0111");

    CCellEdit* editor = Type(0, 4, "33");
    ASSERT_NE(editor, nullptr);
    other_->setFocus(Qt::MouseFocusReason);
    EXPECT_EQ(grid_->CellText(0, 4), "0033");

    // Clicking another cell ends the open edit there and opens the next.
    editor = Type(0, 5, "44");
    ASSERT_NE(editor, nullptr);
    Click(0, 6);
    EXPECT_EQ(grid_->CellText(0, 5), "0044");
    ASSERT_NE(grid_->Editor(), nullptr);
    EXPECT_EQ(grid_->Editor()->Column(), 6);
    Settle();
    EXPECT_EQ(grid_->viewport()->findChildren<CCellEdit*>().size(), 1)
        << "the ended editor deleted itself";
}

TEST_F(HexGrid, TheAddressAndAsciiColumnsAndCellsPastTheEndOpenNoEditor) {
    std::vector<std::uint16_t> words(13, 0x0001);
    ShowProgram(words);
    Click(0, 0);
    EXPECT_EQ(grid_->Editor(), nullptr);
    Click(0, 9);
    EXPECT_EQ(grid_->Editor(), nullptr);
    Click(1, 7);
    EXPECT_EQ(grid_->Editor(), nullptr) << "row 1 holds cells 8 to 12 only";
    Click(1, 5);
    EXPECT_NE(grid_->Editor(), nullptr);
}

TEST_F(HexGrid, TheEditorSitsOverItsCell) {
    std::vector<std::uint16_t> words(8, 0x0001);
    ShowProgram(words);
    CCellEdit* editor = Type(0, 2, "");
    ASSERT_NE(editor, nullptr);
    const QRect cell = grid_->visualRect(grid_->model()->index(0, 2));
    EXPECT_EQ(editor->geometry().left(), cell.left() + 4);
    EXPECT_EQ(editor->width(), 40 - 3);
    EXPECT_EQ(editor->geometry().top(), cell.top());
    EXPECT_TRUE(editor->alignment() & Qt::AlignHCenter);
    EXPECT_EQ(editor->selectedText(), "0001");
    EXPECT_TRUE(editor->hasFocus()) << "the click's release must leave the focus in the edit";
    EXPECT_EQ(grid_->currentRow(), 0) << "the list selected the clicked row first";
    ASSERT_NE(grid_->EditCell(0, 5), nullptr) << "an edit begun by the program, not a click";
    EXPECT_EQ(grid_->CurrentCell(), std::optional<std::size_t>(4)) << "is at the current cell";
}

TEST_F(HexGrid, ScrollingEndsAnOpenEdit) {
    std::vector<std::uint16_t> words(1024, 0x0000);
    ShowProgram(words);
    CCellEdit* editor = Type(0, 1, "7");
    ASSERT_NE(editor, nullptr);
    grid_->verticalScrollBar()->setValue(20);
    EXPECT_EQ(grid_->Editor(), nullptr);
    EXPECT_EQ(grid_->CellText(0, 1), "0007");
    EXPECT_TRUE(grid_->hasFocus());
}

TEST_F(HexGrid, GetDataTakesWhatIsStillBeingTyped) {
    std::vector<std::uint16_t> words(8, 0x0000);
    ShowProgram(words);
    ASSERT_NE(Type(0, 3, "2805"), nullptr);
    std::vector<std::uint16_t> back(8, 0xFFFF);
    ASSERT_TRUE(grid_->GetData(std::span(back), 8));
    EXPECT_EQ(back[2], 0x2805);
    EXPECT_EQ(grid_->Editor(), nullptr);
}

TEST_F(HexGrid, NewDataClosesAnOpenEditWithoutWritingIt) {
    std::vector<std::uint16_t> words(8, 0x0000);
    ShowProgram(words);
    ASSERT_NE(Type(0, 3, "9"), nullptr);
    std::vector<std::uint16_t> fresh(8, 0x1111);
    ASSERT_TRUE(grid_->SetData(std::span(fresh), 8));
    EXPECT_EQ(grid_->Editor(), nullptr);
    other_->setFocus(Qt::MouseFocusReason);
    EXPECT_EQ(grid_->CellText(0, 3), "1111");
}

// Keys pressed on the grid itself, as a user types with no editor open.
class HexKeys : public HexGrid {
  protected:
    void SetUp() override {
        HexGrid::SetUp();
        words_.assign(1024, 0x3FFF);
        ShowProgram(words_);
        grid_->setFocus(Qt::OtherFocusReason);
        edited_ = 0;
        QObject::connect(grid_, &CHexListCtrl::CellEdited, [this] { ++edited_; });
    }
    void Press(int key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(grid_, static_cast<Qt::Key>(key), modifiers);
    }
    std::size_t Current() const { return grid_->CurrentCell().value_or(99999); }

    std::vector<std::uint16_t> words_;
    int edited_ = 0;
};

TEST_F(HexKeys, OnlyTheGridTheKeysGoToShowsItsCurrentCellInTheHighlight) {
    const QPalette base = QApplication::palette(grid_);
    const auto marked = [this] { return grid_->palette().color(QPalette::Highlight); };
    QFocusEvent out(QEvent::FocusOut);
    QCoreApplication::sendEvent(grid_, &out);
    EXPECT_NE(marked(), base.color(QPalette::Highlight));
    EXPECT_EQ(grid_->palette().color(QPalette::HighlightedText), base.color(QPalette::Text))
        << "its text stays readable on the pale mark";
    QFocusEvent in(QEvent::FocusIn);
    QCoreApplication::sendEvent(grid_, &in);
    EXPECT_EQ(marked(), base.color(QPalette::Highlight));
}

TEST_F(HexKeys, TheCurrentCellShowsAndTheKeysMoveItOverTheMemorysCellsOnly) {
    ASSERT_EQ(Current(), 0u) << "a filled grid starts on its first cell";
    const auto selected = [this] {
        const QList<QTableWidgetItem*> items = grid_->selectedItems();
        return items.size() == 1 ? std::pair(items[0]->row(), items[0]->column())
                                 : std::pair(-1, -1);
    };
    EXPECT_EQ(selected(), std::pair(0, 1)) << "the current cell alone is marked";

    Press(Qt::Key_Left);
    EXPECT_EQ(Current(), 0u) << "nothing before the first cell";
    Press(Qt::Key_Right);
    EXPECT_EQ(Current(), 1u);
    EXPECT_EQ(selected(), std::pair(0, 2));
    Press(Qt::Key_End);
    EXPECT_EQ(Current(), 7u) << "the row's last cell, not the ASCII column";
    Press(Qt::Key_Right);
    EXPECT_EQ(Current(), 8u) << "on to the next row's first cell";
    Press(Qt::Key_Left);
    EXPECT_EQ(Current(), 7u);
    Press(Qt::Key_Down);
    EXPECT_EQ(Current(), 15u);
    Press(Qt::Key_Home);
    EXPECT_EQ(Current(), 8u) << "the row's first cell, not the address";
    Press(Qt::Key_Up);
    Press(Qt::Key_Up);
    EXPECT_EQ(Current(), 0u);
    Press(Qt::Key_PageDown);
    EXPECT_GT(Current(), 8u);
    EXPECT_EQ(Current() % 8, 0u) << "a page down keeps the column";
    Press(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(Current(), 1023u);
    EXPECT_EQ(grid_->currentRow(), 127);
    EXPECT_TRUE(grid_->visualRect(grid_->currentIndex()).intersects(grid_->viewport()->rect()))
        << "scrolled into view";
    Press(Qt::Key_Down);
    Press(Qt::Key_Right);
    EXPECT_EQ(Current(), 1023u) << "nothing after the last cell";
    Press(Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(Current(), 0u);

    // A memory whose last row is short: the keys stay on the cells it has.
    std::vector<std::uint16_t> thirteen(13, 0x0001);
    ShowProgram(thirteen);
    Press(Qt::Key_Down);
    EXPECT_EQ(Current(), 8u);
    Press(Qt::Key_End);
    EXPECT_EQ(Current(), 12u);
    Press(Qt::Key_Up);
    Press(Qt::Key_Down);
    EXPECT_EQ(Current(), 12u);
}

TEST_F(HexKeys, ADigitF2OrEnterEditsTheCurrentCellAndEnterMovesToTheNext) {
    Press(Qt::Key_Right);
    QTest::keyClicks(grid_, "5");
    ASSERT_NE(grid_->Editor(), nullptr) << "a digit opens the editor";
    EXPECT_EQ(grid_->Editor()->Column(), 2);
    EXPECT_EQ(grid_->Editor()->text(), "5") << "the digit stands in place of the old text";
    QTest::keyClicks(grid_->Editor(), "a");
    QTest::keyClick(grid_->Editor(), Qt::Key_Return);
    EXPECT_EQ(grid_->CellText(0, 2), "005A");
    EXPECT_EQ(Current(), 2u) << "Enter kept the value and moved on";
    EXPECT_TRUE(grid_->hasFocus());
    EXPECT_EQ(edited_, 1);

    // F2 and Enter open the editor on the cell's own text, all of it selected.
    Press(Qt::Key_F2);
    ASSERT_NE(grid_->Editor(), nullptr);
    EXPECT_EQ(grid_->Editor()->text(), "3FFF");
    EXPECT_EQ(grid_->Editor()->selectedText(), "3FFF");
    QTest::keyClick(grid_->Editor(), Qt::Key_Escape);
    EXPECT_EQ(grid_->CellText(0, 3), "3FFF");
    EXPECT_EQ(Current(), 2u) << "Escape stays";
    Press(Qt::Key_Return);
    ASSERT_NE(grid_->Editor(), nullptr);
    QTest::keyClick(grid_->Editor(), Qt::Key_Return);
    EXPECT_EQ(Current(), 3u);
    EXPECT_EQ(edited_, 1) << "a cell left as it was is no edit";

    // Typing a row of values: digit, digit, Enter, and on.
    QTest::keyClicks(grid_, "1");
    QTest::keyClick(grid_->Editor(), Qt::Key_Enter);
    QTest::keyClicks(grid_, "2");
    QTest::keyClick(grid_->Editor(), Qt::Key_Enter);
    EXPECT_EQ(grid_->CellText(0, 4), "0001");
    EXPECT_EQ(grid_->CellText(0, 5), "0002");
    EXPECT_EQ(Current(), 5u);
    EXPECT_EQ(edited_, 3);

    // A letter that is no hex digit neither edits nor jumps to a row that begins with it.
    const int top = grid_->verticalScrollBar()->value();
    QTest::keyClicks(grid_, "g");
    EXPECT_EQ(grid_->Editor(), nullptr);
    EXPECT_EQ(Current(), 5u);
    EXPECT_EQ(grid_->verticalScrollBar()->value(), top);
}

TEST_F(HexKeys, AValueBeyondTheCellKeepsTheCellAndStaysOnIt) {
    ScriptedPresenter presenter;
    presenter.Expect("最大値は3FFFです。", kMbIconError);
    QTest::keyClicks(grid_, "4");
    ASSERT_NE(grid_->Editor(), nullptr);
    QTest::keyClicks(grid_->Editor(), "000");
    QTest::keyClick(grid_->Editor(), Qt::Key_Return);
    EXPECT_EQ(grid_->CellText(0, 1), "3FFF");
    EXPECT_EQ(Current(), 0u);
    EXPECT_EQ(edited_, 0);
}

// Drops a drag of mime onto the grid as a file manager would, and runs what it posts.
bool Drop(CHexListCtrl& grid, QMimeData& mime) {
    const QPoint at = grid.viewport()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, {});
    QCoreApplication::sendEvent(grid.viewport(), &enter);
    if (!enter.isAccepted()) {
        return false;
    }
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QCoreApplication::sendEvent(grid.viewport(), &drop);
    QCoreApplication::processEvents();
    return drop.isAccepted();
}

TEST_F(HexKeys, OneLocalFileDroppedOnTheGridIsOfferedAndNothingElse) {
    QStringList offered;
    QObject::connect(grid_, &CHexListCtrl::FileDropped,
                     [&offered](const QString& path) { offered << path; });
    QMimeData one;
    one.setUrls({QUrl::fromLocalFile("/tmp/blink.hex")});
    EXPECT_FALSE(Drop(*grid_, one)) << "a grid takes no files unless told to";

    grid_->SetAcceptsFiles(true);
    EXPECT_TRUE(Drop(*grid_, one));
    EXPECT_EQ(offered, QStringList{"/tmp/blink.hex"});

    QMimeData two;
    two.setUrls({QUrl::fromLocalFile("/tmp/a.hex"), QUrl::fromLocalFile("/tmp/b.hex")});
    QMimeData remote;
    remote.setUrls({QUrl("https://example.org/blink.hex")});
    QMimeData text;
    text.setText("/tmp/blink.hex");
    for (QMimeData* refused : {&two, &remote, &text}) {
        EXPECT_FALSE(Drop(*grid_, *refused));
    }
    EXPECT_EQ(offered.size(), 1);
}

// A plain editable list of two columns, the generic editor behind the hex grid's.
class EditList : public OnScreen<CEditListCtrl> {
  protected:
    void SetUp() override {
        OnScreen::SetUp();
        list_->SetColumns({"Name", "Value"}, {60, 80});
        list_->setRowCount(2);
        list_->SetCellText(0, 0, "a");
        list_->SetCellText(0, 1, "x");
    }
};

TEST_F(EditList, AClickOnTheFocusedRowEditsTheCellAndEnterKeepsTheTextAsTyped) {
    Click(0, 0);
    EXPECT_EQ(list_->Editor(), nullptr) << "the first column only selects";
    EXPECT_EQ(list_->currentRow(), 0);
    Click(0, 1);
    ASSERT_NE(list_->Editor(), nullptr);
    QTest::keyClicks(list_->Editor(), "yz Q");
    QTest::keyClick(list_->Editor(), Qt::Key_Return);
    EXPECT_EQ(list_->CellText(0, 1), "yz Q");

    list_->SetEditLabels(false);
    Click(0, 1);
    EXPECT_EQ(list_->Editor(), nullptr) << "without the edit-labels style nothing opens";

    list_->SetEditLabels(true);
    list_->setColumnWidth(1, 4);
    EXPECT_EQ(list_->EditCell(0, 1), nullptr) << "too narrow to edit";
    EXPECT_EQ(list_->EditCell(5, 1), nullptr);
    EXPECT_EQ(list_->EditCell(0, 7), nullptr);
}

TEST_F(EditList, TheEditorWidensForALongTextButStaysInsideTheList) {
    CCellEdit* editor = list_->EditCell(0, 1);
    ASSERT_NE(editor, nullptr);
    const int start = editor->width();
    QTest::keyClicks(editor, "a rather long text");
    EXPECT_GT(editor->width(), start);
    QTest::keyClicks(editor, QString(200, 'w'));
    EXPECT_LE(editor->geometry().right(), list_->viewport()->width());
}

}  // namespace
}  // namespace tenlo::app
