// The grids as a document a user cannot lose: its name and "*" in the caption, the question
// before anything edited is dropped (another chip, a read, another file, closing), the chips
// of every family, a file dropped on a grid, and a write stopped from its progress dialog.

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDropEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <condition_variable>
#include <mutex>

#include "app/commands.h"
#include "device/catalogue.h"
#include "view_rig.h"

namespace tenlo::app {
namespace {

namespace fs = std::filesystem;

const QString kDrop = QStringLiteral("編集した内容は保存されていません。破棄しますか？");
// 0x2805 at word 0, configuration word 0x3FF1.
const std::string kProgram = ":020000000528D1\n:02400E00F13F80\n:00000001FF\n";
const std::string kData = ":0100000012ED\n:00000001FF\n";

class Document : public FilesRig {
  protected:
    // The caption's document part: the loaded file's checksum after it is HexCommands' concern.
    QString Title() {
        QString title = Frame().windowTitle();
        if (const qsizetype at = title.indexOf(QStringLiteral(" (チェックサム ")); at >= 0) {
            title.truncate(at);
        }
        return title;
    }
    // Types text into a cell's editor and keeps it with Enter, as a user edits.
    void EditCell(Memory memory, int row, int column, const QString& text) {
        CCellEdit* editor = Grid(memory).EditCell(row, column);
        ASSERT_NE(editor, nullptr);
        editor->insert(text);
        QTest::keyClick(editor, Qt::Key_Return);
    }
    QAction* ChipAction(const char* name) {
        return Frame().findChild<QAction*>(
            QString::number(kDeviceMenuCommandBase + FindCatalogueIndex(name)));
    }
    void Choose(const char* name) { ChipAction(name)->trigger(); }
    // Drops a file on a grid as a file manager would, and runs what the drop posts.
    bool DropOn(Memory memory, const fs::path& path) {
        QWidget* viewport = Grid(memory).viewport();
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(path.string()))});
        const QPoint at = viewport->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(viewport, &enter);
        if (!enter.isAccepted()) {
            return false;
        }
        QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(viewport, &drop);
        QCoreApplication::processEvents();
        return true;
    }
};

TEST_F(Document, EveryOtherChipIsOfferedByFamilyAfterTheMenusOwn) {
    QMenu* device = Frame().menuBar()->actions()[CTenloView::kDeviceMenuPosition]->menu();
    QMenu* others = View().OtherChipMenu();
    ASSERT_NE(others, nullptr);
    EXPECT_EQ(device->actions()[1]->menu(), others) << "right after 選択";
    EXPECT_EQ(others->title(), "その他");
    std::vector<std::pair<QString, int>> families;
    for (QAction* family : others->actions()) {
        families.emplace_back(family->text(), family->menu()->actions().size());
    }
    EXPECT_EQ(families, (std::vector<std::pair<QString, int>>{
                            {"PIC12/16", 23}, {"PIC18", 17}, {"dsPIC30F", 11}}));
    EXPECT_EQ(others->actions()[0]->menu()->actions()[0]->text(), "PIC12F508");
    EXPECT_EQ(others->actions()[1]->menu()->actions()[6]->text(), "PIC18F452");

    // A PIC18 from the menu: checked there alone, the selector on it, its own grids.
    Choose("PIC18F452");
    EXPECT_EQ(View().DeviceIndex(), FindCatalogueIndex("PIC18F452"));
    EXPECT_EQ(Frame().DeviceSelector()->currentText(), "PIC18F452");
    EXPECT_TRUE(ChipAction("PIC18F452")->isChecked());
    EXPECT_FALSE(ChipAction("PIC16F84A")->isChecked());
    EXPECT_EQ(Grid(Memory::Program).rowCount(), 16384 / 8);
    EXPECT_EQ(Cell(Memory::Program, 2047, 0), "003FF8");
    EXPECT_EQ(Cell(Memory::Program, 0, 1), "FFFF");
    EXPECT_EQ(Cell(Memory::Config, 0, 0), "300000");
    EXPECT_EQ(Grid(Memory::Data).Count(), 256u);

    // A dsPIC30F from the selector: its 24-bit words, and the menu's check mark follows.
    QComboBox* selector = Frame().DeviceSelector();
    selector->setCurrentIndex(selector->findText("dsPIC30F4013"));
    EXPECT_EQ(View().DeviceIndex(), FindCatalogueIndex("dsPIC30F4013"));
    EXPECT_TRUE(ChipAction("dsPIC30F4013")->isChecked());
    EXPECT_FALSE(ChipAction("PIC18F452")->isChecked());
    EXPECT_EQ(Cell(Memory::Program, 0, 1), "FFFFFF");
    EXPECT_EQ(Grid(Memory::Program).rowCount(), 16384 / 8);
    EXPECT_TRUE(Frame().rect().contains(View().geometry()));
}

TEST_F(Document, TheCaptionNamesTheFileAndMarksEditsUntilTheyAreSavedOrWritten) {
    EXPECT_EQ(Title(), "無題 - Tenlo");
    EditCell(Memory::Program, 0, 1, "1");
    EXPECT_EQ(Title(), "無題* - Tenlo");
    EXPECT_TRUE(View().Edited(Memory::Program));

    presenter_.Expect(kDrop, kMbIconQuestion, kIdYes);
    Open(kCmdOpenProgram, Write("blink.hex", kProgram));
    EXPECT_EQ(Title(), "blink.hex - Tenlo");
    EditCell(Memory::Program, 0, 2, "2");
    EXPECT_EQ(Title(), "blink.hex* - Tenlo");
    Save(kCmdSaveProgram, dir_ / "saved.hex");
    EXPECT_EQ(Title(), "saved.hex - Tenlo");

    // Data memory is saved in a file of its own: only that save clears its edits.
    EditCell(Memory::Data, 0, 1, "12");
    EXPECT_EQ(Title(), "saved.hex* - Tenlo");
    Save(kCmdSaveProgram, dir_ / "again.hex");
    EXPECT_EQ(Title(), "again.hex* - Tenlo");
    Save(kCmdSaveData, dir_ / "data.hex");
    EXPECT_EQ(Title(), "again.hex - Tenlo");

    // What the chip took is safe there too.
    EditCell(Memory::Config, 0, 8, "3FF2");
    EXPECT_EQ(Title(), "again.hex* - Tenlo");
    presenter_.ExpectLead("書き込み結果", kMbIconInformation);
    Trigger(kCmdWrite);
    EXPECT_EQ(Title(), "again.hex - Tenlo");

    // A write that does not take a memory leaves its edits marked.
    EditCell(Memory::Program, 0, 1, "2");
    Tick(CTenloView::kWriteBoxes[0], false);
    presenter_.ExpectLead("書き込み結果", kMbIconInformation);
    Trigger(kCmdWrite);
    EXPECT_EQ(Title(), "again.hex* - Tenlo");
    EXPECT_TRUE(View().Edited(Memory::Program));
}

TEST_F(Document, EveryGuardAsksAndNoKeepsEverything) {
    Open(kCmdOpenProgram, Write("blink.hex", kProgram));
    EditCell(Memory::Program, 0, 2, "1234");
    const QString title = Title();
    ASSERT_EQ(title, "blink.hex* - Tenlo");
    const auto unchanged = [&](const char* after) {
        EXPECT_EQ(View().DeviceIndex(), kStartupDeviceIndex) << after;
        EXPECT_EQ(Frame().DeviceSelector()->currentText(), "PIC16F84A") << after;
        EXPECT_TRUE(ChipAction("PIC16F84A")->isChecked()) << after;
        EXPECT_EQ(Cell(Memory::Program, 0, 1), "2805") << after;
        EXPECT_EQ(Cell(Memory::Program, 0, 2), "1234") << after;
        EXPECT_EQ(Title(), title) << after;
        EXPECT_EQ(PowerUps(), 0u) << after;
    };

    presenter_.Expect(kDrop, kMbIconQuestion, kIdNo);
    Choose("PIC16F628A");
    unchanged("another chip from the menu");
    presenter_.Expect(kDrop, kMbIconQuestion, kIdNo);
    Frame().DeviceSelector()->setCurrentIndex(Frame().DeviceSelector()->findText("PIC18F452"));
    unchanged("another chip in the selector");
    presenter_.Expect(kDrop, kMbIconQuestion, kIdNo);
    Trigger(kCmdRead);
    unchanged("a read");
    presenter_.Expect(kDrop, kMbIconQuestion, kIdNo);
    Open(kCmdOpenProgram, Write("other.hex", ":020000000128D5\n:00000001FF\n"));
    unchanged("another program file");
    presenter_.Expect(kDrop, kMbIconQuestion, kIdNo);
    ASSERT_TRUE(DropOn(Memory::Program, dir_ / "other.hex"));
    unchanged("a dropped file");
    presenter_.Expect(kDrop, kMbIconQuestion, kIdNo);
    EXPECT_FALSE(Frame().close());
    EXPECT_TRUE(Frame().isVisible());
    unchanged("closing");
    EXPECT_TRUE(presenter_.Exhausted());

    // Nothing is asked where no edit would go: data memory was not edited, and a read of it
    // alone or a data file touches nothing else.
    Tick(CTenloView::kReadBoxes[0], false);
    Tick(CTenloView::kReadBoxes[1], false);
    Trigger(kCmdRead);
    Open(kCmdOpenData, Write("data.hex", kData));
    EXPECT_EQ(Cell(Memory::Data, 0, 1), "12");
    EXPECT_EQ(Cell(Memory::Program, 0, 2), "1234");
    // Nor by a program file that leaves the edited cells as they are.
    Open(kCmdOpenProgram, Write("same.hex", ":040000000528341289\n:02400E00F13F80\n:00000001FF\n"));
    EXPECT_EQ(Title(), "same.hex - Tenlo");
}

TEST_F(Document, YesDropsTheEdits) {
    EditCell(Memory::Program, 0, 1, "1234");
    presenter_.Expect(kDrop, kMbIconQuestion, kIdYes);
    Trigger(kCmdRead);
    EXPECT_EQ(Cell(Memory::Program, 0, 1), "3FFF") << "what the chip holds";
    EXPECT_EQ(Title(), "無題 - Tenlo");

    EditCell(Memory::Data, 0, 1, "55");
    presenter_.Expect(kDrop, kMbIconQuestion, kIdYes);
    Choose("PIC16F628A");
    EXPECT_EQ(View().DeviceIndex(), FindCatalogueIndex("PIC16F628A"));
    EXPECT_EQ(Cell(Memory::Data, 0, 1), "FF");
    EXPECT_EQ(Title(), "無題 - Tenlo");

    EditCell(Memory::Config, 0, 8, "0");
    presenter_.Expect(kDrop, kMbIconQuestion, kIdYes);
    EXPECT_TRUE(Frame().close());
}

TEST_F(Document, WhatIsBeingTypedCountsAsAnEdit) {
    CCellEdit* editor = Grid(Memory::Program).EditCell(3, 4);
    ASSERT_NE(editor, nullptr);
    editor->insert("77");
    presenter_.Expect(kDrop, kMbIconQuestion, kIdNo);
    EXPECT_FALSE(Frame().close());
    EXPECT_EQ(Cell(Memory::Program, 3, 4), "0077");
}

TEST_F(Document, AnotherChipKeepsTheFileAndOffersItAgain) {
    Open(kCmdOpenProgram, Write("blink.hex", kProgram));
    presenter_.Expect("blink.hex を PIC16F628A 用にもう一度読み込みますか？", kMbIconQuestion,
                      kIdYes);
    Choose("PIC16F628A");
    EXPECT_EQ(View().DeviceIndex(), FindCatalogueIndex("PIC16F628A"));
    EXPECT_EQ(Grid(Memory::Program).Count(), 2048u);
    EXPECT_EQ(Cell(Memory::Program, 0, 1), "2805");
    EXPECT_EQ(Cell(Memory::Config, 0, 8), "3FF1");
    EXPECT_EQ(Title(), "blink.hex - Tenlo");

    presenter_.Expect("blink.hex を PIC16F84A 用にもう一度読み込みますか？", kMbIconQuestion,
                      kIdNo);
    Choose("PIC16F84A");
    EXPECT_EQ(Cell(Memory::Program, 0, 1), "3FFF");
    EXPECT_EQ(Title(), "blink.hex - Tenlo") << "the document keeps its name";
}

TEST_F(Document, AFileDroppedOnTheProgramOrDataGridOpensThere) {
    ASSERT_TRUE(DropOn(Memory::Program, Write("blink.hex", kProgram)));
    EXPECT_EQ(Cell(Memory::Program, 0, 1), "2805");
    EXPECT_EQ(Title(), "blink.hex - Tenlo");
    ASSERT_TRUE(DropOn(Memory::Data, Write("data.hex", kData)));
    EXPECT_EQ(Cell(Memory::Data, 0, 1), "12");
    EXPECT_EQ(Title(), "blink.hex - Tenlo") << "a data file names no document";
    EXPECT_FALSE(DropOn(Memory::Config, dir_ / "blink.hex"));

    // Refused as the menu refuses it.
    presenter_.ExpectLead("Hexファイルの読み込みに失敗しました。\nnotes.hex の 1 行目",
                          kMbIconError);
    ASSERT_TRUE(DropOn(Memory::Program, Write("notes.hex", "notes\n")));
    EXPECT_EQ(Cell(Memory::Program, 0, 1), "2805");
}

// Holds the worker in the middle of the program write until the test's timer on the GUI thread
// has pressed "中止" in the progress dialog, so the stop lands mid-write every time.
TEST_F(Document, StopInTheProgressDialogEndsAWriteWithTheChipPoweredDown) {
    Open(kCmdOpenProgram, Write("blink.hex", kProgram));
    std::mutex mutex;
    std::condition_variable pressed;
    bool stop = false;
    wire_->afterWrite = [&](std::size_t total) {
        if (total == 600) {
            std::unique_lock lock(mutex);
            pressed.wait_for(lock, std::chrono::seconds(20), [&] { return stop; });
        }
    };
    CProgressDlg& dialog = *View().ProgressDialog();
    QTimer press;
    press.setInterval(1);
    QObject::connect(&press, &QTimer::timeout, [&] {
        if (wire_->Written().size() >= 600 && dialog.isVisible()) {
            dialog.findChild<QPushButton*>("IDCANCEL")->click();
            press.stop();
            const std::lock_guard lock(mutex);
            stop = true;
            pressed.notify_all();
        }
    });
    press.start();
    presenter_.Expect(
        "書き込み結果\nプログラムメモリー : 失敗\n中止しました。プログラムメモリーは一部だけ書き"
        "込まれている可能性があります。",
        kMbIconExclamation);
    Trigger(kCmdWrite);
    wire_->afterWrite = nullptr;
    EXPECT_TRUE(stop) << "the button was pressed during the write";

    // The command under way ran to its end; then nothing but the power-down went out.
    const std::vector<std::uint8_t> wire = wire_->Written();
    ASSERT_GT(wire.size(), 600u);
    const std::vector<std::uint8_t> tail(wire.begin() + 600, wire.end());
    EXPECT_LE(tail.size(), 8u) << "the rest of the write was not sent";
    ASSERT_FALSE(tail.empty());
    EXPECT_TRUE(wire.back() == 0x04 || wire.back() == 0x06) << int{wire.back()};
    EXPECT_FALSE(socket_->Powered());
    EXPECT_LT(socket_->WordsProgrammed(), 1024u);
    EXPECT_TRUE(Frame().isEnabled());
    EXPECT_TRUE(View().Edited(Memory::Program) || Title() == "blink.hex - Tenlo");

    // The next command starts afresh, its "中止" offered again.
    presenter_.ExpectLead("書き込み結果\nプログラムメモリー : 完了", kMbIconInformation);
    Trigger(kCmdWrite);
}

}  // namespace
}  // namespace tenlo::app
