// The file commands of the main view: opening program and data files with the exact
// messages, files with the data EEPROM inside the program file, and saving what loads back.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/commands.h"
#include "app/dialogs/hex_file_dlg.h"
#include "hexfile/image_hex.h"
#include "view_rig.h"

namespace tenlo::app {
namespace {

namespace fs = std::filesystem;

const QString kCannotOpen = QStringLiteral("ファイルを開けませんでした。");
const QString kLoadFailed = QStringLiteral("Hexファイルの読み込みに失敗しました。");

class HexCommands : public FilesRig {};

// 0x2805 at word 0, configuration word 0x3FF1, and (in the tools' layout) EEPROM "Te".
const std::string kProgram = ":020000000528D1\n:02400E00F13F80\n:00000001FF\n";
const std::string kProgramWithEeprom =
    ":020000000528D1\n:02400E00F13F80\n:044200005400650001\n:00000001FF\n";

TEST_F(HexCommands, AProgramFileReplacesProgramAndConfigurationAndLeavesData) {
    Show(Memory::Program, 5, 0x1111);
    Show(Memory::Data, 0, 0x77);
    Open(kCmdOpenProgram, Write("p.hex", kProgram));
    EXPECT_EQ(Cell(Memory::Program, 0, 1), "2805");
    EXPECT_EQ(Cell(Memory::Program, 0, 6), "3FFF") << "cells the file leaves out turn blank";
    EXPECT_EQ(Cell(Memory::Config, 0, 8), "3FF1");
    EXPECT_EQ(Cell(Memory::Data, 0, 1), "77") << "a program file leaves data memory alone";
    EXPECT_EQ(View().Image()->Get(Memory::Config, 7), 0x3FF1u);
}

TEST_F(HexCommands, TheCaptionCarriesTheLoadedFilesChecksumUntilAnotherChipIsSelected) {
    Open(kCmdOpenProgram, Write("p.hex", kProgram));
    // 0x2805, 1023 blank words, four blank ID words and 0x3FF1, summed in 16 bits: what
    // tenlo-cli checksum says of the same file.
    EXPECT_EQ(Frame().windowTitle(), QStringLiteral("p.hex - Tenlo (チェックサム 0x23F3)"));
    Open(kCmdOpenProgram, Write("eeprom.hex", kProgramWithEeprom));
    EXPECT_EQ(Frame().windowTitle(), QStringLiteral("eeprom.hex - Tenlo (チェックサム 0x23F3)"))
        << "data memory stays out of it";
    ASSERT_TRUE(View().SelectDevice(FindCatalogueIndex("PIC16F877A")));
    EXPECT_EQ(Frame().windowTitle(), QStringLiteral("eeprom.hex - Tenlo"));
}

TEST_F(HexCommands, TheToolsDataEepromInsideAProgramFileGoesToDataMemory) {
    Show(Memory::Data, 5, 0x77);
    Open(kCmdOpenProgram, Write("eeprom.hex", kProgramWithEeprom));
    EXPECT_EQ(Cell(Memory::Program, 0, 1), "2805");
    EXPECT_EQ(Cell(Memory::Data, 0, 1), "54");
    EXPECT_EQ(Cell(Memory::Data, 0, 2), "65");
    EXPECT_EQ(Cell(Memory::Data, 0, 6), "FF") << "the file's data memory replaces the old whole";

    // A byte beyond the chip's 64 bytes of EEPROM is still refused, and nothing changes.
    presenter_.Expect(kLoadFailed +
                          "\nbig.hex の 2 行目：バイトアドレス 4280H（データメモリーのアドレス "
                          "0040H）は PIC16F84A にないメモリーです。ほかのチップ用のファイルかも"
                          "しれません。",
                      kMbIconError);
    Open(kCmdOpenProgram, Write("big.hex", ":02000000FF3FC0\n:024280004100FB\n:00000001FF\n"));
    EXPECT_EQ(Cell(Memory::Program, 0, 1), "2805");
    EXPECT_EQ(Cell(Memory::Data, 0, 1), "54");
}

TEST_F(HexCommands, FilesThatCannotBeOpenedOrReadChangeNothing) {
    Show(Memory::Program, 0, 0x1234);
    const fs::path gone = Write("gone.hex", kProgram);
    fs::remove(gone);
    // The message, then the file, the line and why.
    presenter_.Expect(kCannotOpen + "\ngone.hex", kMbIconError);
    Open(kCmdOpenProgram, gone);

    presenter_.Expect(kLoadFailed + "\nbad.hex の 2 行目：チェックサムが一致しません。",
                      kMbIconError);
    Open(kCmdOpenProgram, Write("bad.hex", ":020000000528D1\n:020002000528D2\n:00000001FF\n"));
    presenter_.Expect(
        kLoadFailed +
            "\nline.hex の 1 行目：レコードではありません（行が「:」で始まっていません）。",
        kMbIconError);
    Open(kCmdOpenProgram, Write("line.hex", "\n:00000001FF\n"));
    presenter_.Expect(kCannotOpen + "\ngone.hex", kMbIconError);
    Open(kCmdOpenData, gone);
    presenter_.Expect(kLoadFailed +
                          "\nd.hex の 1 行目：アドレス 0040H は PIC16F84A のデータメモリー（64 "
                          "バイト）の範囲外です。",
                      kMbIconError);
    Open(kCmdOpenData, Write("d.hex", ":0100400012AD\n:00000001FF\n"));  // byte 64 of 64
    EXPECT_EQ(Cell(Memory::Program, 0, 1), "1234");
    EXPECT_EQ(View().Image()->Get(Memory::Program, 0), 0x1234u);

    // Cancelling the dialog does nothing at all.
    dialogs_.Expect("open", [](QDialog& dialog) { dialog.reject(); });
    Trigger(kCmdOpenProgram);
    EXPECT_EQ(Cell(Memory::Program, 0, 1), "1234");
}

TEST_F(HexCommands, ADataFileFillsDataMemoryFromAddressZero) {
    Show(Memory::Program, 0, 0x1234);
    Show(Memory::Data, 9, 0x77);
    Open(kCmdOpenData, Write("d.hex", ":020000001234B8\n:01003F00427E\n:00000001FF\n"));
    EXPECT_EQ(Cell(Memory::Data, 0, 1), "12");
    EXPECT_EQ(Cell(Memory::Data, 0, 2), "34");
    EXPECT_EQ(Cell(Memory::Data, 7, 8), "42");
    EXPECT_EQ(Cell(Memory::Data, 1, 2), "FF");
    EXPECT_EQ(Cell(Memory::Program, 0, 1), "1234");
}

TEST_F(HexCommands, TheFileDialogsOfferHexFiles) {
    dialogs_.Expect("open", [](QDialog& dialog) {
        auto& files = static_cast<QFileDialog&>(dialog);
        EXPECT_EQ(files.nameFilters(), (QStringList{"Hex Files (*.hex)", "All Files (*.*)"}));
        EXPECT_EQ(files.defaultSuffix(), "hex");
        EXPECT_EQ(files.fileMode(), QFileDialog::ExistingFile);
        dialog.reject();
    });
    Trigger(kCmdOpenData);
    dialogs_.Expect("save", [](QDialog& dialog) {
        auto& files = static_cast<QFileDialog&>(dialog);
        EXPECT_EQ(files.acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(files.defaultSuffix(), "hex");
        dialog.reject();
    });
    Trigger(kCmdSaveProgram);
}

TEST_F(HexCommands, SavedFilesLoadBackToTheSameImage) {
    Open(kCmdOpenProgram, Write("in.hex", kProgramWithEeprom));
    Show(Memory::Program, 0x3FF, 0x3FFE);
    Show(Memory::Config, 0, 0x0012);
    // An edit not yet taken into the image is saved too: the grids are what is saved.
    CCellEdit* editor = Grid(Memory::Program).EditCell(0, 3);
    ASSERT_NE(editor, nullptr);
    editor->setText("0ABC");
    Save(kCmdSaveProgram, dir_ / "out.hex");
    Save(kCmdSaveData, dir_ / "out-data.hex");

    CMemoryImage saved = *View().Image();
    EXPECT_EQ(saved.Get(Memory::Program, 2), 0x0ABCu);
    CMemoryImage back(View().Device()->Layout());
    ASSERT_EQ(LoadProgramHex((dir_ / "out.hex").string(), back), HexLoadResult::Ok);
    ASSERT_EQ(LoadDataHex((dir_ / "out-data.hex").string(), back), HexLoadResult::Ok);
    for (const Memory m : {Memory::Program, Memory::Config, Memory::Data}) {
        for (std::size_t i = 0; i < saved.CellCount(m); ++i) {
            ASSERT_EQ(back.Get(m, i), saved.Get(m, i))
                << "memory " << static_cast<int>(m) << " cell " << i;
        }
    }
    // The program file holds program and configuration only, as a plain program file does.
    CMemoryImage plain(View().Device()->Layout());
    CImageProgHexReader reader(plain, View().Device()->Layout());
    ASSERT_TRUE(reader.Open((dir_ / "out.hex").string()));
    EXPECT_TRUE(reader.Load());
}

TEST_F(HexCommands, SavingOverAFileAsksFirstAndAFailedSaveSaysSo) {
    const fs::path existing = Write("keep.hex", "old");
    presenter_.Expect(OverwriteQuestion("keep.hex"), kMbIconExclamation, kIdNo);
    Save(kCmdSaveData, existing);
    std::ifstream in(existing);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old");

    presenter_.Expect(OverwriteQuestion("keep.hex"), kMbIconExclamation, kIdYes);
    Save(kCmdSaveData, existing);
    EXPECT_EQ(LoadDataHex(existing.string(), *View().Image()), HexLoadResult::Ok);

    const fs::path nowhere = dir_ / "missing" / "out.hex";
    presenter_.Expect(QStringLiteral("ファイルを保存できませんでした。\n%1")
                          .arg(QString::fromStdString(nowhere.string())),
                      kMbIconError);
    Save(kCmdSaveProgram, nowhere);
    EXPECT_FALSE(fs::exists(nowhere));
}

}  // namespace
}  // namespace tenlo::app
