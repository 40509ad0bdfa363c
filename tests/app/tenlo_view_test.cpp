// The main view over the virtual programmer: chip selection, the four device commands with
// their exact messages, and what the chip and the grids hold afterwards.

#include "app/view/tenlo_view.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

#include "app/commands.h"
#include "device/catalogue.h"
#include "view_rig.h"

namespace tenlo::app {
namespace {

using sim::Space;

const QString kAllWritten =
    "書き込み結果\nプログラムメモリー : 完了\nデータメモリー : 完了\n"
    "コンフィグレーションメモリー : 完了";

// Every column of the grid shows whole: no horizontal scrolling, and each row's ASCII text fits
// its column (a stretched last column may otherwise be squeezed below what it holds).
void ExpectWholeColumns(CHexListCtrl& grid, int label) {
    // The header lays its sections out when events run.
    QCoreApplication::processEvents();
    EXPECT_LE(grid.horizontalHeader()->length(), grid.viewport()->width()) << label;
    if (grid.Format().showAscii == 0) {
        return;
    }
    const int ascii = grid.columnCount() - 1;
    const int room = grid.columnWidth(ascii) - 2 * CHexListCtrl::kAsciiMargin;
    EXPECT_GE(grid.columnWidth(ascii),
              CHexListCtrl::AsciiColumnWidth(grid.Format(), grid.fontMetrics()))
        << label;
    for (int row = 0; row < grid.rowCount(); ++row) {
        ASSERT_LE(grid.fontMetrics().horizontalAdvance(grid.CellText(row, ascii)), room)
            << label << " row " << row;
    }
}

std::vector<int> CheckedChips(QMenu* menu) {
    std::vector<int> checked;
    for (QAction* item : menu->actions()) {
        if (item->isChecked()) {
            checked.push_back(item->objectName().toInt());
        }
    }
    return checked;
}

TEST_F(ViewRig, StartsOnThePic16F84AWithEveryMemoryTicked) {
    Start();
    QComboBox* selector = Frame().DeviceSelector();
    EXPECT_EQ(selector->currentText(), "PIC16F84A");
    EXPECT_EQ(selector->currentData().toInt(), 12);
    EXPECT_EQ(View().DeviceIndex(), kStartupDeviceIndex);

    // The chip list, in menu order, with the command ids 50000 + index; PIC16F84A checked.
    QMenu* chips = View().ChipMenu();
    ASSERT_EQ(chips->actions().size(), 21);
    EXPECT_EQ(chips->actions()[0]->text(), "PIC12F629");
    EXPECT_EQ(chips->actions()[0]->objectName(), "50002");
    EXPECT_EQ(chips->actions()[20]->text(), "PIC16F877A");
    EXPECT_EQ(chips->actions()[20]->objectName(), "50038");
    EXPECT_EQ(CheckedChips(chips), std::vector<int>{50012});
    EXPECT_EQ(Frame().focusWidget(), &Grid(Memory::Program)) << "the keys go to the program";
    // The selector: the menu's 21, a separator, then the other 51 chips of the catalogue.
    ASSERT_EQ(selector->count(), 21 + 1 + 51);
    EXPECT_EQ(selector->itemText(13), "PIC16F873");
    EXPECT_EQ(selector->itemData(13).toInt(), 31);
    EXPECT_FALSE(selector->itemData(21).isValid()) << "the separator";
    EXPECT_EQ(selector->itemText(22), "PIC12F508");
    EXPECT_EQ(selector->itemText(72), "dsPIC30F4013");
    QMenu* device = Frame().menuBar()->actions()[CTenloView::kDeviceMenuPosition]->menu();
    EXPECT_EQ(device->actions()[0]->menu(), chips);

    for (const auto& ids :
         {CTenloView::kWriteBoxes, CTenloView::kReadBoxes, CTenloView::kCompareBoxes}) {
        for (int id : ids) {
            EXPECT_TRUE(View().Box(id)->isEnabled()) << id;
            EXPECT_TRUE(View().Box(id)->isChecked()) << id;
        }
    }
    EXPECT_EQ(View().Box(1038)->text(), "書き込み");
    EXPECT_EQ(View().Box(1043)->text(), "コンペア");

    // Blank grids of the chip's sizes: 1024 words, configuration from 0x2000, 64 bytes.
    EXPECT_EQ(Grid(Memory::Program).rowCount(), 128);
    EXPECT_EQ(Cell(Memory::Program, 127, 0), "03F8");
    EXPECT_EQ(Cell(Memory::Program, 0, 1), "3FFF");
    EXPECT_EQ(Cell(Memory::Config, 0, 0), "2000");
    EXPECT_EQ(Grid(Memory::Data).rowCount(), 8);
    EXPECT_EQ(Cell(Memory::Data, 7, 8), "FF");
    EXPECT_EQ(View().Options().keepCalibration, 1);

    // The development dialog's button is on the form but never seen.
    auto* devel = View().findChild<QPushButton*>("1002");
    ASSERT_NE(devel, nullptr);
    EXPECT_FALSE(devel->isVisible());
}

TEST_F(ViewRig, TheFormHoldsItsGroupsAndEveryColumnWithoutOverlap) {
    Start();
    const QList<QGroupBox*> groups = View().findChildren<QGroupBox*>();
    ASSERT_EQ(groups.size(), 3);
    EXPECT_EQ(groups[0]->title(), "プログラムメモリー");
    EXPECT_EQ(groups[1]->title(), "コンフィグレーションメモリー");
    EXPECT_EQ(groups[2]->title(), "データメモリー");
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(View().rect().contains(groups[i]->geometry())) << i;
        if (i > 0) {
            EXPECT_GT(groups[i]->y(), groups[i - 1]->geometry().bottom()) << i;
        }
        CHexListCtrl& grid = Grid(static_cast<Memory>(i));
        EXPECT_TRUE(groups[i]->rect().contains(grid.geometry())) << i;
        ExpectWholeColumns(grid, i);
    }
    EXPECT_TRUE(Frame().rect().contains(View().geometry()));
}

TEST_F(ViewRig, AChipWithoutDataMemoryHasItsDataBoxesOffAndItsGridDisabled) {
    Start("PIC16F73");
    ASSERT_TRUE(View().SelectDevice(FindCatalogueIndex("PIC16F73")));
    for (int id : {1044, 1045, 1046}) {
        EXPECT_FALSE(View().Box(id)->isEnabled()) << id;
        EXPECT_FALSE(View().Box(id)->isChecked()) << id;
    }
    EXPECT_TRUE(View().Box(1038)->isChecked());
    EXPECT_FALSE(Grid(Memory::Data).isEnabled());
    EXPECT_EQ(Grid(Memory::Program).rowCount(), 4096 / 8);
    // Not in the menu: no item is checked, and the selector stays where it was.
    EXPECT_TRUE(CheckedChips(View().ChipMenu()).empty());

    // Write skips data memory: no data line in the result.
    presenter_.Expect(
        "書き込み結果\nプログラムメモリー : 完了\nコンフィグレーションメモリー : 完了",
        kMbIconInformation);
    Trigger(kCmdWrite);
}

TEST_F(ViewRig, AChipOutsideTheMenuGetsItsOwnColumnsAndTheWindowFitsThem) {
    Start();
    const int narrow = View().width();
    ASSERT_TRUE(View().SelectDevice(FindCatalogueIndex("dsPIC30F2010")));
    EXPECT_EQ(Grid(Memory::Program).Format(), View().Device()->Layout().programGrid);
    EXPECT_EQ(Grid(Memory::Data).Count(), 1024u);
    for (const Memory m : {Memory::Program, Memory::Config, Memory::Data}) {
        ExpectWholeColumns(Grid(m), static_cast<int>(m));
    }
    EXPECT_TRUE(Frame().rect().contains(View().geometry()));
    EXPECT_EQ(Frame().size(), Frame().minimumSize()) << "a window at its least size stays so";

    // Back on a mid-range chip the window is as it was.
    View().ChipMenu()->findChild<QAction*>("50012")->trigger();
    EXPECT_EQ(View().width(), narrow);
}

TEST_F(ViewRig, AnIndexNoChipHasChangesNothing) {
    Start();
    Show(Memory::Program, 0, 0x2805);
    EXPECT_FALSE(View().SelectDevice(-1));
    EXPECT_FALSE(View().SelectDevice(kCatalogueSize));
    EXPECT_EQ(View().DeviceIndex(), kStartupDeviceIndex);
    EXPECT_EQ(Cell(Memory::Program, 0, 1), "2805");
}

TEST_F(ViewRig, TheMenuAndTheSelectorFollowEachOther) {
    Start();
    View().Options().keepCalibration = 0;
    Show(Memory::Program, 0, 0x2805);

    // Menu to selector.
    View().ChipMenu()->findChild<QAction*>("50038")->trigger();
    EXPECT_EQ(Frame().DeviceSelector()->currentText(), "PIC16F877A");
    EXPECT_EQ(View().DeviceIndex(), 38);
    EXPECT_EQ(CheckedChips(View().ChipMenu()), std::vector<int>{50038});
    EXPECT_EQ(View().Options().keepCalibration, 1) << "forced on by every selection";
    EXPECT_EQ(Grid(Memory::Program).rowCount(), 8192 / 8);
    EXPECT_EQ(Cell(Memory::Program, 0, 1), "3FFF") << "the new chip starts blank";

    // Selector to menu.
    QComboBox* selector = Frame().DeviceSelector();
    selector->setCurrentIndex(selector->findText("PIC12F629"));
    EXPECT_EQ(View().DeviceIndex(), 2);
    EXPECT_EQ(CheckedChips(View().ChipMenu()), std::vector<int>{50002});
    EXPECT_EQ(Grid(Memory::Config).Count(), 8u);
    EXPECT_EQ(View().Device()->Layout().name, "PIC12F629");
}

TEST_F(ViewRig, WriteOfAllThreeMemoriesReportsFourLines) {
    Start();
    Show(Memory::Program, 0, 0x2805);
    Show(Memory::Program, 0x3FF, 0x3412);
    Show(Memory::Data, 0, 0x12);
    Show(Memory::Config, 7, 0x3FF1);
    presenter_.Expect(kAllWritten, kMbIconInformation);
    Trigger(kCmdWrite);
    EXPECT_EQ(Peek(Space::Program, 0), 0x2805u);
    EXPECT_EQ(Peek(Space::Program, 0x3FF), 0x3412u);
    EXPECT_EQ(Peek(Space::Data, 0), 0x12u);
    EXPECT_EQ(Peek(Space::Config, 0x2007) & 0x1F, 0x11u);
    EXPECT_TRUE(Frame().isEnabled());
    EXPECT_FALSE(View().ProgressDialog()->isVisible());
}

TEST_F(ViewRig, AFailedDataWriteIsToldAndTheConfigurationIsStillWritten) {
    sim::FaultPlan faults;
    faults.stuckCells.emplace_back(Space::Data, 5);
    Start("PIC16F84A", faults);
    Show(Memory::Data, 5, 0x12);
    Show(Memory::Config, 7, 0x3FF1);
    presenter_.Expect(
        "書き込み結果\nプログラムメモリー : 完了\nデータメモリー : 失敗\n"
        "コンフィグレーションメモリー : 完了\n"
        "データメモリーのアドレス 0005H のセルに書き込めませんでした（読み出し FFH、"
        "書き込みデータ 12H）。",
        kMbIconExclamation);
    Trigger(kCmdWrite);
    EXPECT_EQ(Peek(Space::Config, 0x2007) & 0x1F, 0x11u);
}

TEST_F(ViewRig, AFailedProgramWriteEndsTheCommand) {
    sim::FaultPlan faults;
    faults.stuckCells.emplace_back(Space::Program, 3);
    Start("PIC16F84A", faults);
    Show(Memory::Program, 3, 0x1234);
    Show(Memory::Data, 0, 0x12);
    Show(Memory::Config, 7, 0x3FF1);
    presenter_.Expect(
        "書き込み結果\nプログラムメモリー : 失敗\n"
        "プログラムメモリーのアドレス 0003H のセルに書き込めませんでした（読み出し 3FFFH、"
        "書き込みデータ 1234H）。",
        kMbIconExclamation);
    Trigger(kCmdWrite);
    EXPECT_EQ(Peek(Space::Data, 0), 0xFFu) << "data was not written";
    EXPECT_EQ(Peek(Space::Config, 0x2007) & 0x1F, 0x1Fu) << "nor the configuration";
}

// The power-down that ends a write got no answer, even sent again: the write is done, but the
// message says the chip may still be powered.
TEST_F(ViewRig, AWriteWhosePowerDownIsNeverAnsweredSaysTheChipMayStillBePowered) {
    Start();
    Tick(CTenloView::kWriteBoxes[1], false);
    Tick(CTenloView::kWriteBoxes[2], false);
    presenter_.ExpectLead("書き込み結果\nプログラムメモリー : 完了", kMbIconInformation);
    Trigger(kCmdWrite);
    const std::uint64_t last = socket_->programmer->With(
        [](sim::CFirmwareEngine& engine, sim::IChipModel&) { return engine.Statistics().frames; });
    app_.reset();
    socket_.reset();

    sim::FaultPlan faults;
    faults.noAckFrames = {last, last + 1, last + 2};
    Start("PIC16F84A", faults);
    Tick(CTenloView::kWriteBoxes[1], false);
    Tick(CTenloView::kWriteBoxes[2], false);
    Show(Memory::Program, 0, 0x1234);
    presenter_.ExpectLead("書き込み結果\nプログラムメモリー : 失敗", kMbIconExclamation);
    Trigger(kCmdWrite);
    ASSERT_EQ(presenter_.Shown().size(), 2u);
    const QString said = presenter_.Shown().back().text;
    EXPECT_TRUE(said.contains(
        QStringLiteral("チップの電源を切れませんでした。電源が入ったままの可能性があります。")))
        << said.toStdString();
    EXPECT_EQ(Peek(Space::Program, 0), 0x1234u) << "the word itself went in";
}

TEST_F(ViewRig, WriteWithoutProgramMemoryLeavesAnEmptyLineUnderTheHeading) {
    Start();
    Tick(1038, false);
    presenter_.Expect("書き込み結果\n\nデータメモリー : 完了\nコンフィグレーションメモリー : 完了",
                      kMbIconInformation);
    Trigger(kCmdWrite);

    for (int id : CTenloView::kWriteBoxes) {
        Tick(id, false);
    }
    presenter_.Expect("書き込み対象のメモリーを選択してください。", kMbIconExclamation);
    const std::uint64_t before = HostBytes();
    Trigger(kCmdWrite);
    EXPECT_EQ(HostBytes(), before) << "nothing is sent";
}

TEST_F(ViewRig, AnEditedCellIsWhatGetsWritten) {
    Start();
    Frame().activateWindow();
    CCellEdit* editor = Grid(Memory::Program).EditCell(0, 2);
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, "1234");
    // Still being typed when Write is chosen: the grid ends the edit before it is taken.
    Tick(1041, false);
    Tick(1044, false);
    presenter_.Expect("書き込み結果\nプログラムメモリー : 完了", kMbIconInformation);
    Trigger(kCmdWrite);
    EXPECT_EQ(Peek(Space::Program, 1), 0x1234u);
    EXPECT_EQ(View().Image()->Get(Memory::Program, 1), 0x1234u);
    EXPECT_EQ(Cell(Memory::Program, 0, 2), "1234");
}

TEST_F(ViewRig, AProgramMismatchIsReportedAndNothingElseIsCompared) {
    Start();
    Show(Memory::Program, 0x10, 0x2805);
    Show(Memory::Data, 0, 0x12);  // would differ too, if data were compared
    const std::uint64_t before = PowerUps();
    presenter_.Expect(
        "コンペア結果：不一致\nプログラムメモリー\nアドレス\u3000\u3000\u3000\t0010H\n"
        "読み出しデータ\t3FFFH\nコンペアデータ\t2805H\n",
        kMbIconExclamation);
    Trigger(kCmdCompare);
    EXPECT_EQ(PowerUps() - before, 2u) << "the socket check, then program memory only";
}

TEST_F(ViewRig, ADataMismatchShowsTwoDigitValues) {
    Start();
    Tick(1040, false);
    Tick(1043, false);
    Show(Memory::Data, 5, 0x12);
    presenter_.Expect(
        "コンペア結果：不一致\nデータメモリー\nアドレス\u3000\u3000\u3000\t0005H\n"
        "読み出しデータ\tFFH\nコンペアデータ\t12H\n",
        kMbIconExclamation);
    Trigger(kCmdCompare);
}

TEST_F(ViewRig, WhatWasWrittenComparesEqual) {
    Start();
    Show(Memory::Program, 0, 0x2805);
    Show(Memory::Data, 3, 0x5A);
    Show(Memory::Config, 7, 0x3FF1);
    presenter_.Expect(kAllWritten, kMbIconInformation);
    Trigger(kCmdWrite);
    presenter_.Expect("コンペア結果：一致", kMbIconInformation);
    Trigger(kCmdCompare);

    for (int id : CTenloView::kCompareBoxes) {
        Tick(id, false);
    }
    presenter_.Expect("コンペア対象のメモリーを選択してください。", kMbIconExclamation);
    Trigger(kCmdCompare);
}

TEST_F(ViewRig, ACompareThatCannotRunIsNoMismatch) {
    sim::FaultPlan faults;
    faults.disconnectAtByte = 40;
    Start("PIC16F84A", faults);
    presenter_.ExpectLead("プログラムメモリーをコンペアできませんでした。\nCOM5 の", kMbIconError);
    Trigger(kCmdCompare);

    Tick(1040, false);
    presenter_.ExpectLead("コンフィグメモリーをコンペアできませんでした。\nCOM5 の", kMbIconError);
    Trigger(kCmdCompare);
    Tick(1043, false);
    presenter_.ExpectLead("データメモリーをコンペアできませんでした。\nCOM5 の", kMbIconError);
    Trigger(kCmdCompare);
}

TEST_F(ViewRig, ReadFillsTheTickedGridsFromTheChip) {
    Start();
    Poke(Space::Program, 0, 0x2805);
    Poke(Space::Program, 0x3FF, 0x0008);
    Poke(Space::Config, 0x2000, 0x0001);
    Poke(Space::Data, 63, 0x42);
    Show(Memory::Data, 0, 0x77);
    Tick(1045, false);
    Trigger(kCmdRead);
    EXPECT_EQ(Cell(Memory::Program, 0, 1), "2805");
    EXPECT_EQ(Cell(Memory::Program, 127, 8), "0008");
    EXPECT_EQ(Cell(Memory::Config, 0, 1), "0001");
    EXPECT_EQ(View().Image()->Get(Memory::Program, 0), 0x2805u);
    // Data was not read: its grid and the image keep what they showed.
    EXPECT_EQ(Cell(Memory::Data, 0, 1), "77");
    EXPECT_EQ(View().Image()->Get(Memory::Data, 63), 0xFFu);

    Tick(1045, true);
    Trigger(kCmdRead);
    EXPECT_EQ(Cell(Memory::Data, 7, 8), "42");
    EXPECT_EQ(Cell(Memory::Data, 0, 1), "FF");
}

TEST_F(ViewRig, AReadThatFailsAtTheConfigurationChangesNoGrid) {
    // How many bytes a program read of this chip takes, on a chip of its own.
    Start();
    Tick(1042, false);
    Tick(1045, false);
    const std::uint64_t start = HostBytes();
    Trigger(kCmdRead);
    const std::uint64_t programRead = HostBytes() - start;
    app_.reset();

    // The same read again, on a line that breaks soon after the program memory is in.
    sim::FaultPlan faults;
    faults.disconnectAtByte = 1 + programRead + 8;  // the ping, the program read, a few more
    Start("PIC16F84A", faults);
    Poke(Space::Program, 0, 0x2805);
    Show(Memory::Data, 0, 0x77);
    presenter_.ExpectLead("読み出し失敗\nCOM5 のプログラマーが応答しなくなりました。",
                          kMbIconExclamation);
    Trigger(kCmdRead);
    EXPECT_EQ(Cell(Memory::Program, 0, 1), "3FFF") << "the program read is not shown";
    EXPECT_EQ(View().Image()->Get(Memory::Program, 0), 0x3FFFu);
    EXPECT_EQ(Cell(Memory::Data, 0, 1), "77");
}

TEST_F(ViewRig, ALinkThatDiesMidOperationLeavesAUsableWindow) {
    sim::FaultPlan faults;
    faults.disconnectAtByte = 40;
    Start("PIC16F84A", faults);
    presenter_.ExpectLead("読み出し失敗\nCOM5 の", kMbIconExclamation);
    Trigger(kCmdRead);
    EXPECT_TRUE(Frame().isEnabled());
    EXPECT_FALSE(View().ProgressDialog()->isVisible());

    // The window still takes commands, and each tells what became of it.
    presenter_.ExpectLead("イレース失敗\nCOM5 の", kMbIconExclamation);
    Trigger(kCmdErase);
    presenter_.ExpectLead("書き込み結果\nプログラムメモリー : 失敗\nCOM5 の", kMbIconExclamation);
    Trigger(kCmdWrite);
    View().ChipMenu()->findChild<QAction*>("50038")->trigger();
    EXPECT_EQ(View().DeviceIndex(), 38);
}

TEST_F(ViewRig, EraseBlanksTheChipButNotTheGrids) {
    Start();
    Poke(Space::Program, 5, 0x0000);
    Poke(Space::Data, 5, 0x00);
    Show(Memory::Program, 0, 0x2805);
    presenter_.Expect("イレース完了", kMbIconInformation);
    Trigger(kCmdErase);
    EXPECT_EQ(Peek(Space::Program, 5), 0x3FFFu);
    EXPECT_EQ(Peek(Space::Data, 5), 0xFFu);
    EXPECT_EQ(Cell(Memory::Program, 0, 1), "2805");
}

TEST_F(ViewRig, EraseReadsTheChipBackAndNamesTheFirstCellThatKeptItsBits) {
    sim::FaultPlan faults;
    faults.stuckCells.emplace_back(Space::Program, 0x10);
    Start("PIC16F84A", faults);
    Poke(Space::Program, 0x10, 0x2805);
    presenter_.Expect(
        "イレース失敗\nプログラムメモリーのアドレス 0010H のセルが消去されませんでした（読み出し "
        "2805H、消去後の値 3FFFH）。",
        kMbIconExclamation);
    Trigger(kCmdErase);
}

TEST_F(ViewRig, AnotherChipIsAskedAboutAndANoEndsTheWriteWithNothingWritten) {
    Start("PIC16F877A");
    Show(Memory::Program, 0, 0x2805);
    presenter_.ExpectLead("ソケットのチップは PIC16F877A（デバイスID 0E2", kMbIconQuestion, kIdNo);
    const std::uint64_t start = HostBytes();
    Trigger(kCmdWrite);
    const std::uint64_t idRead = HostBytes() - start;
    EXPECT_EQ(Peek(Space::Program, 0), 0x3FFFu);
    EXPECT_EQ(socket_->WordsProgrammed(), 0u);
    EXPECT_TRUE(Frame().isEnabled());

    // A yes goes on, and the window is usable for the question while the command holds it.
    presenter_.ExpectLead("ソケットのチップは PIC16F877A", kMbIconQuestion, kIdYes,
                          [this] { EXPECT_TRUE(Frame().isEnabled()); });
    presenter_.ExpectLead("書き込み結果\nプログラムメモリー : ", kMbIconExclamation);
    const std::uint64_t before = HostBytes();
    Trigger(kCmdWrite);
    EXPECT_GT(HostBytes() - before, 2 * idRead) << "the write went on";
}

TEST_F(ViewRig, ThePic12F629ComparesEqualAfterAWriteThatKeptItsCalibration) {
    Start("PIC12F629");
    ASSERT_TRUE(View().SelectDevice(FindCatalogueIndex("PIC12F629")));
    Show(Memory::Program, 0, 0x2805);
    presenter_.ExpectLead("書き込み結果", kMbIconInformation);
    Trigger(kCmdWrite);
    ASSERT_NE(Peek(Space::Program, 0x3FF), 0x3FFFu);
    presenter_.Expect("コンペア結果：一致", kMbIconInformation);
    Trigger(kCmdCompare);

    // Not kept: the option not to compare calibration data decides, as before.
    View().Options().keepCalibration = 0;
    presenter_.ExpectLead(
        "コンペア結果：不一致\nプログラムメモリー\nアドレス\u3000\u3000\u3000\t03FFH",
        kMbIconExclamation);
    Trigger(kCmdCompare);
}

TEST_F(ViewRig, TheWindowStaysLockedFromTheFirstOperationOfACommandToItsMessage) {
    Start();
    EnabledWatch watch(Frame());
    presenter_.Expect(kAllWritten, kMbIconInformation, kIdOk,
                      [this] { EXPECT_TRUE(Frame().isEnabled()) << "the box is usable"; });
    Trigger(kCmdWrite);
    EXPECT_EQ(watch.changes, (std::vector<bool>{false, true}))
        << "three operations, one lock: no gap between them";
}

TEST_F(ViewRig, TheOptionsDialogEditsTheRecordEveryDeviceReads) {
    Start();
    dialogs_.Expect("106", [](QDialog& dialog) {
        auto* keep = dialog.findChild<QCheckBox*>("1068");
        auto* skip = dialog.findChild<QCheckBox*>("1067");
        EXPECT_TRUE(keep->isChecked());
        keep->setChecked(false);
        skip->setChecked(true);
        testing::ScriptedDialogs::Press(dialog, "IDOK");
    });
    Trigger(kCmdProgOption);
    EXPECT_EQ(View().Options().keepCalibration, 0);
    EXPECT_EQ(View().Options().skipCalibrationCompare, 1);

    Frame().DeviceSelector()->setCurrentIndex(0);
    EXPECT_EQ(View().Options().keepCalibration, 1);
    EXPECT_EQ(View().Options().skipCalibrationCompare, 1) << "kept across chips";
}

}  // namespace
}  // namespace tenlo::app
