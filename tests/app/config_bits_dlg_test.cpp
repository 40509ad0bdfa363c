// The configuration bits dialog and the grid kept in step, the grid's tooltips, and the
// configuration traps asked about before a write, in Tenlo over the virtual programmer.
#include "app/dialogs/config_bits_dlg.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>

#include "app/commands.h"
#include "device/catalogue.h"
#include "view_rig.h"

namespace tenlo::app {
namespace {

using sim::Space;

class ConfigBits : public ViewRig {
  protected:
    void StartWith(const std::string& chip) {
        Start(chip);
        ASSERT_TRUE(View().SelectDevice(FindCatalogueIndex(chip)));
        Settle();
    }
    // The grid's fills are read once the event loop has run.
    static void Settle() { QCoreApplication::processEvents(); }
    CConfigBitsDlg& Dialog() {
        if (View().ConfigBitsDlg() == nullptr) {
            Trigger(kCmdConfigBits);
        }
        return *View().ConfigBitsDlg();
    }
    QString Setting(const char* field) {
        QComboBox* combo = Dialog().Combo(QString::fromLatin1(field));
        return combo == nullptr ? QStringLiteral("(none)") : combo->currentText();
    }
    void Choose(const char* field, const char* setting) {
        QComboBox* combo = Dialog().Combo(QString::fromLatin1(field));
        ASSERT_NE(combo, nullptr) << field;
        const int item = combo->findText(QString::fromLatin1(setting));
        ASSERT_GE(item, 0) << setting;
        combo->setCurrentIndex(item);
        emit combo->activated(item);
    }
};

TEST_F(ConfigBits, TheDialogAndTheGridFollowEachOtherAndTheChip) {
    StartWith("PIC16F877A");
    Show(Memory::Config, 7, 0x3F72);
    Settle();
    EXPECT_EQ(Dialog().windowTitle(), "コンフィグレーションビット");
    EXPECT_TRUE(Dialog().isVisible());
    EXPECT_EQ(Setting("FOSC"), "HS");
    EXPECT_EQ(Setting("LVP"), "OFF");

    // A setting chosen is in the grid at once, an edit not saved yet; a cell typed is in the
    // dialog at once.
    EXPECT_FALSE(View().Edited(Memory::Config));
    Choose("FOSC", "XT");
    Choose("WDTE", "ON");
    EXPECT_EQ(Cell(Memory::Config, 0, 8), "3F75");
    EXPECT_TRUE(View().Edited(Memory::Config));
    Grid(Memory::Config).SetCellText(0, 8, QStringLiteral("3FFB"));
    EXPECT_EQ(Setting("FOSC"), "EXTRC");
    EXPECT_EQ(Setting("LVP"), "ON");
    EXPECT_TRUE(Grid(Memory::Config).item(0, 8)->toolTip().contains("FOSC = EXTRC\nWDTE = OFF"))
        << Grid(Memory::Config).item(0, 8)->toolTip().toStdString();

    // Another chip: its own fields, at once.
    ASSERT_TRUE(View().SelectDevice(FindCatalogueIndex("PIC18F452")));
    Settle();
    EXPECT_EQ(Setting("FOSC"), "(none)");
    EXPECT_EQ(Setting("OSC"), "RCIO");  // a blank 0xFF
    EXPECT_EQ(Setting("CP0"), "OFF");
    EXPECT_TRUE(Grid(Memory::Config).item(0, 2)->toolTip().startsWith("0x300001 CONFIG1H\nOSC = "));
}

TEST_F(ConfigBits, AValueNoSettingNamesShowsAsItsHexValue) {
    StartWith("PIC16F84A");
    Show(Memory::Config, 7, 0x3FEF);  // CP: one of its ten bits cleared
    Settle();
    EXPECT_EQ(Setting("CP"), "0x3FE");
    Choose("CP", "OFF");
    EXPECT_EQ(Cell(Memory::Config, 0, 8), "3FFF");
}

TEST_F(ConfigBits, ASettingChosenInTheDialogIsWhatTheChipHoldsAfterWrite) {
    StartWith("PIC16F877A");
    Show(Memory::Config, 7, 0x3F72);
    Settle();
    Choose("FOSC", "XT");
    Choose("PWRTE", "OFF");
    presenter_.ExpectLead("書き込み結果\n", kMbIconInformation);
    Trigger(kCmdWrite);
    EXPECT_EQ(Peek(Space::Config, 0x2007), 0x3F79u);
}

struct Trap {
    const char* chip;
    std::size_t cell;
    std::uint32_t value;
    const char* named;  // what the question says of it
};

// Each trap is named in one question before anything is written; いいえ writes nothing, はい
// writes it all.
TEST_F(ConfigBits, EachTrapIsAskedAboutBeforeTheWrite) {
    const Trap traps[] = {
        {"PIC16F877A", 7, 0x3FF2, "警告：低電圧プログラミングが有効です（LVP = ON）"},
        {"PIC16F628A", 7, 0x3F58,
         "警告：MCLR が無効で内部発振器が選ばれています（MCLRE = OFF, FOSC = INTOSCIO）"},
        {"PIC18F452", 8, 0x0E, "警告：コードプロテクトが有効です（CP0 = ON）"},
        {"PIC18F452", 9, 0x40, "警告：データメモリーのプロテクトが有効です（CPD = ON）"},
        {"PIC18F452", 11, 0xC0,
         "警告：コンフィグレーションの書き込みプロテクトが有効です（WRTC = ON）"},
    };
    for (const Trap& t : traps) {
        SCOPED_TRACE(t.named);
        StartWith(t.chip);
        const bool pic18 = std::string(t.chip) == "PIC18F452";
        if (pic18) {
            Show(Memory::Config, 6, 0x81);  // LVP off: only the trap under test
        }
        Show(Memory::Config, t.cell, t.value);
        Show(Memory::Program, 0, 0x0005);
        const std::uint32_t blank = pic18 ? 0xFFFFu : 0x3FFFu;
        presenter_.ExpectLead(
            "書き込むコンフィグレーションに次の設定があります。\n\n" + QString::fromUtf8(t.named),
            kMbIconQuestion, kIdNo);
        Trigger(kCmdWrite);
        EXPECT_EQ(Peek(Space::Program, 0), blank) << "いいえ writes nothing";

        presenter_.ExpectLead(
            "書き込むコンフィグレーションに次の設定があります。\n\n" + QString::fromUtf8(t.named),
            kMbIconQuestion, kIdYes);
        presenter_.ExpectLead("書き込み結果\n", kMbIconInformation);
        Trigger(kCmdWrite);
        EXPECT_EQ(Peek(Space::Program, 0), 0x0005u);
    }
}

TEST_F(ConfigBits, AWriteThatLeavesProtectionOffSaysSoAfterItsResult) {
    StartWith("PIC16F877A");
    Show(Memory::Config, 7, 0x1F72);  // CP on: this programmer never writes it
    presenter_.Expect(
        "書き込み結果\nプログラムメモリー : 完了\nデータメモリー : 完了\n"
        "コンフィグレーションメモリー : 完了\n"
        "ファイルはプロテクトを有効にしていますが（CP = ON）、このプログラマーはプロテクトを書き"
        "込みません。",
        kMbIconInformation);
    Trigger(kCmdWrite);
    EXPECT_EQ(Peek(Space::Config, 0x2007), 0x3F72u);
}

}  // namespace
}  // namespace tenlo::app
