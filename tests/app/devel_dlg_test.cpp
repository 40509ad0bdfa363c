// The development dialog over the virtual programmer: what each button puts on the wire, what
// it shows, the fields it refuses, and the trace of the line.

#include "app/dialogs/devel_dlg.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/commands.h"
#include "view_rig.h"

namespace tenlo::app {
namespace {

using Bytes = std::vector<std::uint8_t>;

class DevelDialog : public ViewRig {
  protected:
    void SetUp() override {
        Start();
        View().OnDevelDlg();
        dialog_ = View().DevelDlg();
        ASSERT_NE(dialog_, nullptr);
        wire_->Clear();
    }

    void Type(int id, const QString& text) {
        auto* edit = qobject_cast<QLineEdit*>(dialog_->Control(id));
        ASSERT_NE(edit, nullptr) << id;
        edit->setText(text);
    }
    void Choose(int id, const QString& text) {
        auto* combo = qobject_cast<QComboBox*>(dialog_->Control(id));
        ASSERT_NE(combo, nullptr) << id;
        combo->setCurrentIndex(combo->findText(text));
    }
    // Presses a button and returns what it sent.
    Bytes Press(int id) {
        wire_->Clear();
        auto* button = qobject_cast<QPushButton*>(dialog_->Control(id));
        EXPECT_NE(button, nullptr) << id;
        if (button != nullptr) {
            button->click();
        }
        return wire_->Written();
    }
    QString Text(int id) {
        QWidget* w = dialog_->Control(id);
        if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            return edit->text();
        }
        return qobject_cast<QLabel*>(w)->text();
    }

    CDevelDlg* dialog_ = nullptr;
};

TEST_F(DevelDialog, OpensWithItsFieldsAsTheResourceHasThem) {
    EXPECT_EQ(dialog_->objectName(), "130");
    EXPECT_EQ(dialog_->windowTitle(), "Dialog");
    EXPECT_TRUE(dialog_->isVisible());
    EXPECT_EQ(dialog_->parentWidget(), &View());
    EXPECT_EQ(Text(1016), "0");
    EXPECT_EQ(Text(1018), "1");
    EXPECT_EQ(Text(1027), "100");
    EXPECT_EQ(Text(1073), "100");
    EXPECT_EQ(Text(1052), "");
    EXPECT_EQ(Text(1021), "") << "the statics start empty";
    EXPECT_EQ(Text(1077), "");
    EXPECT_EQ(qobject_cast<QComboBox*>(dialog_->Control(1023))->currentText(), "Bulk F8x");
    EXPECT_EQ(qobject_cast<QComboBox*>(dialog_->Control(1026))->currentText(), "W/O Data");
    EXPECT_EQ(qobject_cast<QComboBox*>(dialog_->Control(1028))->currentText(), "Internal08");
    // Every control lies inside the dialog.
    for (int id : {1003, 1024, 1025, 1046, 1065, 1081}) {
        EXPECT_TRUE(dialog_->rect().contains(dialog_->Control(id)->geometry())) << id;
    }
}

TEST_F(DevelDialog, IncrementSendsOneCommandOrTheRepeatedForm) {
    EXPECT_EQ(Press(1015), (Bytes{0x10, 0x06}));
    Type(1018, "3");
    EXPECT_EQ(Press(1015), (Bytes{0x11, 0x06, 0x03}));
}

TEST_F(DevelDialog, EraseSendsOnlyTheBulkEraseOfThe16F8x) {
    Choose(1023, "Bulk 12F");
    EXPECT_EQ(Press(1012), Bytes{});
    Choose(1023, "Bulk F84");
    EXPECT_EQ(Press(1012), Bytes{});
    Choose(1023, "Bulk F8x");
    Type(1027, "10");
    EXPECT_EQ(Press(1012), (Bytes{0x12, 0x02, 0xFF, 0x3F, 0x10, 0x09, 0x15, 0x08, 0x0A}));
    Choose(1026, "With Data");
    EXPECT_EQ(Press(1012), (Bytes{0x12, 0x02, 0xFF, 0x3F, 0x10, 0x09, 0x15, 0x08, 0x0A, 0x12, 0x03,
                                  0xFF, 0x3F, 0x10, 0x0B, 0x15, 0x08, 0x0A}));
    Choose(1028, "External18");
    EXPECT_EQ(Press(1013), Bytes{});
    Choose(1028, "External08");
    EXPECT_EQ(Press(1013), (Bytes{0x16, 0x18, 0x17, 100}));
}

TEST_F(DevelDialog, Pic18ReadProgPointsTheTableAtTheAddress) {
    Type(1050, "123456");
    Type(1049, "2");
    const Bytes sent = Press(1065);
    const Bytes expected{0x20, 6,    0x00, 0x12, 0x0E, 0x00, 0xF8, 0x6E, 0x00, 0x34, 0x0E, 0x00,
                         0xF7, 0x6E, 0x00, 0x56, 0x0E, 0x00, 0xF6, 0x6E, 0x24, 2,    0x09};
    EXPECT_EQ(sent, expected);
    // No PIC18 in the socket: the table reads come back as zeros.
    EXPECT_EQ(Text(1033), "00 00 ");
}

TEST_F(DevelDialog, AnEmptyHexFieldSendsZeroAndLoadsAreMasked) {
    Type(1014, "");
    EXPECT_EQ(Press(1010), (Bytes{0x12, 0x02, 0x00, 0x00}));
    Type(1016, "fFfF");
    EXPECT_EQ(Press(1009), (Bytes{0x12, 0x00, 0xFF, 0x3F}));
    Type(1017, "0x1234");
    EXPECT_EQ(Press(1011), (Bytes{0x12, 0x03, 0x34, 0x00}));
}

TEST_F(DevelDialog, CountsOutsideOneTo255AreRefusedAndSendNothing) {
    for (const char* count : {"0", "300", "-1"}) {
        Type(1032, count);
        presenter_.Expect("1から255までの数を入力してください。", kMbIconExclamation);
        EXPECT_EQ(Press(1030), Bytes{}) << count;
        presenter_.Expect("1から255までの数を入力してください。", kMbIconExclamation);
        EXPECT_EQ(Press(1031), Bytes{}) << count;
    }
    Type(1049, "256");
    presenter_.Expect("1から255までの数を入力してください。", kMbIconExclamation);
    EXPECT_EQ(Press(1065), Bytes{});
    EXPECT_TRUE(dialog_->Control(1049)->hasFocus() || !dialog_->isActiveWindow());
}

TEST_F(DevelDialog, AFieldHoldingNoNumberSendsNothing) {
    struct Case {
        int field;
        const char* text;
        int button;
        const char* message;
    };
    for (const Case& c : {Case{1018, "", 1015, "数値を入力してください。"},
                          Case{1018, "3x", 1015, "数値を入力してください。"},
                          Case{1014, "12G", 1010, "16進数を入力してください。"},
                          Case{1014, "123456789", 1010, "16進数を入力してください。"},
                          Case{1052, "", 1051, "数値を入力してください。"}}) {
        Type(c.field, c.text);
        presenter_.Expect(c.message, kMbIconExclamation);
        EXPECT_EQ(Press(c.button), Bytes{}) << c.field << " \"" << c.text << "\"";
    }
    Type(1052, "-1");
    EXPECT_EQ(Press(1051), (Bytes{0x0A, 0xFF}));
}

TEST_F(DevelDialog, ReadsShowWhatTheChipHolds) {
    Poke(sim::Space::Program, 0, 0x2805);
    Poke(sim::Space::Program, 1, 0x0008);
    EXPECT_EQ(Press(1007), Bytes{0x02});
    EXPECT_EQ(Text(1008), " 01  00  03  00 ");
    Press(1003);  // power: programming mode, counter at 0
    Press(1019);
    EXPECT_EQ(Text(1021), "2805");
    Type(1032, "2");
    EXPECT_EQ(Press(1030), (Bytes{0x14, 0x04, 0x02}));
    EXPECT_EQ(Text(1033), "2805 0008 ");
    Press(1020);
    EXPECT_EQ(Text(1022), "FF");
    Press(1006);
}

TEST_F(DevelDialog, AFailedVersionOrReceiveIsShownAsSuch) {
    app_.reset();
    sim::FaultPlan faults;
    faults.disconnectAtByte = 2;  // right after the start-up's ping
    Start("PIC16F84A", faults);
    View().OnDevelDlg();
    dialog_ = View().DevelDlg();
    Type(1008, "stale");
    Press(1007);
    EXPECT_EQ(Text(1008), "");
    Press(1075);
    EXPECT_EQ(Text(1077), "Read Failed");
    Press(1070);
    EXPECT_EQ(Text(1033), "PIC18 Read Failed");
}

TEST_F(DevelDialog, TheTraceShowsTheLineAndClearEmptiesIt) {
    Press(1003);
    EXPECT_EQ(dialog_->TraceText(), "\nTx: 03 \nRx: A5 ");
    Press(1025);
    EXPECT_EQ(dialog_->TraceText(), "");

    // A device operation's traffic, from its worker thread, lands there too.
    dialog_->hide();
    Tick(1039, true);
    Tick(1042, false);
    Tick(1045, false);
    Trigger(kCmdRead);
    const QString trace = dialog_->TraceText();
    EXPECT_GT(trace.size(), 1024 * 3) << "a whole program read";
    EXPECT_TRUE(trace.startsWith("\nTx: ")) << trace.left(40).toStdString();
    EXPECT_GT(trace.count("\nRx: "), 4);
}

TEST_F(DevelDialog, ItsButtonsAreLockedWhileADeviceOperationUsesTheLine) {
    // A button pressed meanwhile would send its bytes into the middle of the operation's.
    EnabledWatch watch(*dialog_);
    presenter_.Expect("イレース完了", kMbIconInformation);
    Trigger(kCmdErase);
    EXPECT_EQ(watch.changes, (std::vector<bool>{false, true}));
    EXPECT_TRUE(dialog_->Control(1003)->isEnabled());
}

TEST_F(DevelDialog, ClosingOnlyHidesItAndTheLinkForgetsItWithTheView) {
    Press(1003);
    dialog_->close();
    EXPECT_FALSE(dialog_->isVisible());
    View().OnDevelDlg();
    EXPECT_EQ(View().DevelDlg(), dialog_) << "the same dialog, shown again";
    EXPECT_TRUE(dialog_->isVisible());
    EXPECT_TRUE(dialog_->TraceText().contains("Tx: 03"));

    // After the view (and the dialog) are gone the link still works, tracing nowhere.
    CProgrammerLink* link = app_->GetLink();
    delete app_->MainFrame()->centralWidget();
    EXPECT_TRUE(link->Ping());
}

}  // namespace
}  // namespace tenlo::app
