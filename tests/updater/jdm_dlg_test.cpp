#include "updater/dialogs/jdm_dlg.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <chrono>
#include <memory>

#include "link/clock.h"
#include "link/serial_port.h"
#include "sim/jdm/jdm_chip.h"
#include "sim/jdm/jdm_port_backend.h"
#include "support/recording_port.h"

namespace tenlo::updater {
namespace {

using namespace std::chrono_literals;
using test::LineCall;

const std::string kDefinition = ProgrammerPortDefinition(1);

QPushButton* Button(CJDMDlg& dlg, int id) {
    auto* button = dlg.findChild<QPushButton*>(QString::number(id));
    EXPECT_NE(button, nullptr) << id;
    return button;
}
QLineEdit* Edit(CJDMDlg& dlg, int id) {
    return dlg.findChild<QLineEdit*>(QString::number(id));
}
QString ReadResult(CJDMDlg& dlg) {
    return dlg.findChild<QLabel*>(QString::number(CJDMDlg::kIdReadResult))->text();
}

// The debug dialog on the simulated chip, powered up with its address counter at 0.
struct ChipDialog {
    ChipDialog() {
        port.Open(kDefinition);
        jdm.PowerOn();
        chip.ClearCommands();
    }
    std::size_t Count(std::uint8_t code) const {
        std::size_t n = 0;
        for (const auto& c : chip.Commands()) {
            n += c.code == code ? 1 : 0;
        }
        return n;
    }
    VirtualClock clock;
    std::shared_ptr<sim::CJdmPortBackend> backend = sim::MakeJdmSimulatorBackend(clock);
    sim::CJdmChip& chip = backend->Chip();
    CSerialPort port{nullptr, backend, &clock};
    CJDMProgrammer jdm{port};
    CJDMDlg dlg{jdm};
};

// The debug dialog on a port that only records its line calls.
struct RecordingDialog {
    RecordingDialog() { port.Open(kDefinition); }
    std::vector<LineCall>& Calls() { return backend->lines->calls; }
    VirtualClock clock;
    std::shared_ptr<test::CRecordingPortBackend> backend =
        std::make_shared<test::CRecordingPortBackend>();
    CSerialPort port{nullptr, backend, &clock};
    CJDMProgrammer jdm{port};
    CJDMDlg dlg{jdm};
};

TEST(JdmDebugDialog, OpensWithACountOfOneThatIncrementsOnce) {
    ChipDialog d;
    EXPECT_EQ(d.dlg.windowTitle(), "JDM Prog Debug");
    EXPECT_EQ(Edit(d.dlg, CJDMDlg::kIdCount)->text(), "1");
    Button(d.dlg, CJDMDlg::kIdIncAddr)->click();
    EXPECT_EQ(d.Count(0x06), 1u);
    EXPECT_EQ(d.chip.Commands().size(), 1u);
    EXPECT_EQ(d.chip.AddressCounter(), 1u);
}

TEST(JdmDebugDialog, CountsAreHexadecimal) {
    struct Case {
        const char* text;
        std::size_t increments;
    };
    for (const Case c :
         {Case{"10", 16}, Case{"0x10", 16}, Case{"  0X1a", 26}, Case{"1g", 1}, Case{"0", 0},
          Case{"", 0}, Case{"xyz", 0}, Case{"-1", 0}, Case{"10000", 0}}) {
        SCOPED_TRACE(c.text);
        ChipDialog d;
        Edit(d.dlg, CJDMDlg::kIdCount)->setText(c.text);
        Button(d.dlg, CJDMDlg::kIdIncAddr)->click();
        EXPECT_EQ(d.Count(0x06), c.increments);
        EXPECT_EQ(d.chip.Commands().size(), c.increments) << "nothing else is sent";
    }
}

TEST(JdmDebugDialog, SendProgMemSendsFourteenBitsOfTheWord) {
    RecordingDialog d;
    Edit(d.dlg, CJDMDlg::kIdData)->setText("3FFF");
    Button(d.dlg, CJDMDlg::kIdSendProgMem)->click();
    const std::vector<LineCall> ones = d.Calls();
    const std::vector<bool> bits = test::LatchedBits(ones);
    ASSERT_EQ(bits.size(), 6u + 16u) << "command, start, 14 bits, stop";
    EXPECT_EQ(std::vector<bool>(bits.begin(), bits.begin() + 6),
              (std::vector<bool>{0, 1, 0, 0, 0, 0}))
        << "Load Data for Program Memory";
    std::vector<bool> frame(16, true);
    frame.front() = frame.back() = false;
    EXPECT_EQ(std::vector<bool>(bits.begin() + 6, bits.end()), frame);

    d.Calls().clear();
    Edit(d.dlg, CJDMDlg::kIdData)->setText("FFFF");
    Button(d.dlg, CJDMDlg::kIdSendProgMem)->click();
    EXPECT_EQ(d.Calls(), ones);

    d.Calls().clear();
    Edit(d.dlg, CJDMDlg::kIdData)->setText("no");
    Button(d.dlg, CJDMDlg::kIdSendProgMem)->click();
    EXPECT_TRUE(d.Calls().empty());
}

TEST(JdmDebugDialog, ReadProgShowsTheWordOrClearsOnAFailedRead) {
    RecordingDialog d;
    d.backend->lines->cts = [](std::size_t) { return true; };
    Button(d.dlg, CJDMDlg::kIdReadProg)->click();
    EXPECT_EQ(ReadResult(d.dlg), "3FFF");

    d.backend->lines->failAfter = d.Calls().size();  // unplugged
    Button(d.dlg, CJDMDlg::kIdReadProg)->click();
    EXPECT_EQ(ReadResult(d.dlg), "");

    ChipDialog c;
    c.chip.Poke(sim::Space::Program, 0, 0x0123);
    Button(c.dlg, CJDMDlg::kIdReadProg)->click();
    EXPECT_EQ(ReadResult(c.dlg), "0123") << "four digits, leading zeros kept";
}

TEST(JdmDebugDialog, AManualWriteAndReadOfAWord) {
    ChipDialog d;
    // PowerOFF, PowerON: address 0; load, program, read back.
    Button(d.dlg, CJDMDlg::kIdPowerOff)->click();
    EXPECT_FALSE(d.chip.IsPowered());
    Button(d.dlg, CJDMDlg::kIdPowerOn)->click();
    EXPECT_TRUE(d.chip.IsPowered());
    Edit(d.dlg, CJDMDlg::kIdCount)->setText("3");
    Button(d.dlg, CJDMDlg::kIdIncAddr)->click();
    Edit(d.dlg, CJDMDlg::kIdData)->setText("2805");
    Button(d.dlg, CJDMDlg::kIdSendProgMem)->click();
    const auto before = d.clock.Now();
    Button(d.dlg, CJDMDlg::kIdProgram)->click();
    EXPECT_EQ(d.clock.Now() - before, 10ms);
    Button(d.dlg, CJDMDlg::kIdReadProg)->click();
    EXPECT_EQ(ReadResult(d.dlg), "2805");
    EXPECT_EQ(d.chip.ProgramWord(3), 0x2805);
    EXPECT_EQ(d.chip.AbortedCycles(), 0u);

    Button(d.dlg, CJDMDlg::kIdLoadConfig)->click();
    EXPECT_EQ(d.chip.AddressCounter(), 0x2000u);
}

TEST(JdmDebugDialog, EraseSendsBothBulkErasesWithoutAPowerCycle) {
    ChipDialog d;
    d.chip.Poke(sim::Space::Program, 0x10, 0x1234);
    d.chip.Poke(sim::Space::Data, 3, 0x42);
    const std::size_t calls = d.chip.LineCalls();
    const auto before = d.clock.Now();
    Button(d.dlg, CJDMDlg::kIdErase)->click();
    EXPECT_EQ(d.clock.Now() - before, 20ms);
    ASSERT_EQ(d.chip.Commands().size(), 2u);
    EXPECT_EQ(d.chip.Commands()[0].code, 0x09);
    EXPECT_EQ(d.chip.Commands()[1].code, 0x0B);
    EXPECT_EQ(d.chip.LineCalls() - calls, 2 * 21u) << "two commands, no break";
    EXPECT_EQ(d.chip.ProgramWord(0x10), 0x3FFF);
    EXPECT_EQ(d.chip.OscCal(), 0x3FFF) << "nothing saved or restored";
    EXPECT_EQ(d.chip.CompletedEraseCycles(), 2u);
}

TEST(JdmDebugDialog, TheSecondRowDoesNothing) {
    RecordingDialog d;
    Edit(d.dlg, CJDMDlg::kIdData2)->setText("1234");
    Button(d.dlg, CJDMDlg::kIdSendProgMem2)->click();
    Button(d.dlg, CJDMDlg::kIdReadData)->click();
    EXPECT_TRUE(d.Calls().empty());
}

struct ClosingPump final : IMessagePump {
    void Pump() override {
        if (++calls == 10) {
            dlg->reject();
        }
    }
    CJDMDlg* dlg = nullptr;
    int calls = 0;
};

TEST(JdmDebugDialog, ACloseDuringALongCountEndsIt) {
    ChipDialog d;
    d.dlg.show();
    ClosingPump pump;
    pump.dlg = &d.dlg;
    SetMessagePump(&pump);
    Edit(d.dlg, CJDMDlg::kIdCount)->setText("FFFF");
    Button(d.dlg, CJDMDlg::kIdIncAddr)->click();
    SetMessagePump(nullptr);
    EXPECT_EQ(d.Count(0x06), 9u);
    EXPECT_FALSE(d.dlg.isVisible());
}

}  // namespace
}  // namespace tenlo::updater
