#include <gtest/gtest.h>

#include <chrono>
#include <csignal>

#include "cli/cli_session.h"
#include "cli/exit_codes.h"
#include "cli/interrupt_guard.h"
#include "cli/memory_list.h"
#include "cli/name_suggest.h"
#include "cli/terminal_ui.h"
#include "device/catalogue.h"

namespace tenlo::cli {
namespace {

TEST(MemoryList, AcceptsNamesInAnyOrderAndCase) {
    std::string error;
    EXPECT_EQ(ParseMemoryList("program,config,data", error), kAllMemories);
    EXPECT_EQ(ParseMemoryList(" Data , PROGRAM", error), (MemorySet{true, false, true}));
    EXPECT_EQ(ParseMemoryList("config", error), (MemorySet{false, true, false}));
}

TEST(MemoryList, RefusesWhatIsNotAList) {
    for (const char* text : {"", "program,", ",data", "program,,data", "program,program", "eeprom",
                             "program;data", "prog"}) {
        std::string error;
        EXPECT_FALSE(ParseMemoryList(text, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(MemoryList, Describe) {
    EXPECT_EQ(DescribeMemories(kAllMemories), "program, config and data");
    EXPECT_EQ(DescribeMemories({true, false, true}), "program and data");
    EXPECT_EQ(DescribeMemories({false, true, false}), "config");
    EXPECT_EQ(DescribeMemories({}), "nothing");
}

std::vector<std::string> Suggest(const std::string& typed) {
    std::vector<std::string_view> names;
    for (const CatalogueEntry& e : CatalogueEntries()) {
        names.push_back(e.name);
    }
    return SuggestNames(typed, names);
}

TEST(NameSuggestions, CloseNamesComeFirst) {
    EXPECT_EQ(NameDistance("PIC16F84A", "pic16f84a"), 0u);
    EXPECT_EQ(NameDistance("PIC16F8A4", "PIC16F84A"), 1u);  // neighbours swapped
    EXPECT_EQ(NameDistance("PIC16F877", "PIC16F877A"), 1u);

    std::vector<std::string> s = Suggest("PIC16F8A4");
    ASSERT_FALSE(s.empty());
    EXPECT_EQ(s.front(), "PIC16F84A");
    EXPECT_LE(s.size(), 5u);

    s = Suggest("16f877a");  // without the PIC prefix
    ASSERT_FALSE(s.empty());
    EXPECT_EQ(s.front(), "PIC16F877A");

    s = Suggest("PIC18F4520");  // not in the catalogue; its neighbours are
    ASSERT_FALSE(s.empty());
    for (const std::string& name : s) {
        EXPECT_EQ(name.rfind("PIC18F", 0), 0u) << name;
    }

    EXPECT_TRUE(Suggest("avrdude").empty());
    EXPECT_TRUE(Suggest("").empty());
}

TEST(ExitCodes, EveryFailureHasItsNumber) {
    EXPECT_EQ(ToInt(ExitCodeFor(Failure::None)), 0);
    EXPECT_EQ(ToInt(ExitCodeFor(Failure::Mismatch)), 1);
    EXPECT_EQ(ToInt(ExitCodeFor(Failure::OtherChip)), 1);
    EXPECT_EQ(ToInt(ExitCodeFor(Failure::NoChip)), 3);
    EXPECT_EQ(ToInt(ExitCodeFor(Failure::Interrupted)), 130);
    for (Failure f : {Failure::BadArguments, Failure::UnknownDevice}) {
        EXPECT_EQ(ToInt(ExitCodeFor(f)), 2);
    }
    for (Failure f : {Failure::PortNotOpened, Failure::NoProgrammer, Failure::LineFailed}) {
        EXPECT_EQ(ToInt(ExitCodeFor(f)), 3);
    }
    for (Failure f : {Failure::FileNotOpened, Failure::FileNotHex, Failure::FileNotWritten}) {
        EXPECT_EQ(ToInt(ExitCodeFor(f)), 4);
    }
}

TEST(FirmwareVersion, AsTheAboutBoxShowsIt) {
    const std::uint8_t rz[4] = {0x00, 0x01, 0x05, 0x00};
    const std::uint8_t kx[4] = {0x01, 0x00, 0x00, 0x01};
    const std::uint8_t kx2[4] = {0x01, 0x02, 0x03, 0x80};
    EXPECT_EQ(FormatFirmwareVersion(rz), "Firmware Version 1.5RZ");
    EXPECT_EQ(FormatFirmwareVersion(kx), "Firmware Version 256.0KX");
    EXPECT_EQ(FormatFirmwareVersion(kx2), "Firmware Version 258.3KX");
}

TEST(TerminalUi, ErrorBoxPrintsOneLineAndNamesAPathPort) {
    CStderrErrorBox box(stderr);
    EXPECT_EQ(box.Format("Cannot analyze device definition string.\nCOM1: baud=x"),
              "Error: Cannot analyze device definition string. COM1: baud=x");
    box.SetPortAlias("COM1", "/dev/ttyUSB0");
    EXPECT_EQ(box.Format("Cannot open COM1."), "Error: Cannot open /dev/ttyUSB0.");
    // Only the whole name: COM12 is another port.
    EXPECT_EQ(box.Format("Cannot open COM12."), "Error: Cannot open COM12.");
}

TEST(TerminalUi, ErrorBoxLinesWaitToBeFoldedIntoTheFailureLine) {
    std::FILE* f = std::tmpfile();
    {
        CStderrErrorBox box(f);
        box.ShowMessage("Error", "Cannot open COM42.", kMbOk);
        box.ShowMessage("Error", "Cannot analyze device definition string.\nCOM1: x", kMbOk);
        EXPECT_EQ(box.Count(), 2);
        EXPECT_EQ(box.TakeLines(), (std::vector<std::string>{
                                       "Error: Cannot open COM42.",
                                       "Error: Cannot analyze device definition string. COM1: x"}));
        EXPECT_TRUE(box.TakeLines().empty());
        box.ShowMessage("Error", "COM port has already been closed.", kMbOk);
        box.Flush();
        box.Flush();
    }
    std::rewind(f);
    char text[128] = {};
    EXPECT_GT(std::fread(text, 1, sizeof text - 1, f), 0u);
    std::fclose(f);
    EXPECT_STREQ(text, "Error: COM port has already been closed.\n");
}

TEST(TerminalUi, PrintableShowsControlCharactersAndKeepsText) {
    EXPECT_EQ(Printable("unknown device \"\x1b[31mPIC\""), "unknown device \"\\x1B[31mPIC\"");
    EXPECT_EQ(Printable("a\tb\nc\rd\x7F"), "a\\tb\\nc\\rd\\x7F");
    EXPECT_EQ(Printable("イレースに失敗しました。"), "イレースに失敗しました。");
    EXPECT_EQ(Printable(std::string("nul\0", 4)), "nul\\x00");
}

TEST(TerminalUi, ProgressBarRendering) {
    EXPECT_EQ(CTerminalProgress::Render("x", 0, 100, 10), "x [..........] 0%");
    EXPECT_EQ(CTerminalProgress::Render("x", 50, 100, 10), "x [#####.....] 50%");
    EXPECT_EQ(CTerminalProgress::Render("x", 100, 100, 10), "x [##########] 100%");
    // Out of range positions and an unset range stay drawable.
    EXPECT_EQ(CTerminalProgress::Render("x", 150, 100, 10), "x [##########] 100%");
    EXPECT_EQ(CTerminalProgress::Render("x", -5, 0, 10), "x [..........] 0%");
}

TEST(TerminalUi, DisabledProgressWritesNothing) {
    std::FILE* f = std::tmpfile();
    {
        CTerminalProgress p(f, false);
        p.Open();
        p.SetText("t");
        p.SetPosition(40);
        p.Close();
    }
    EXPECT_EQ(std::ftell(f), 0);
    std::fclose(f);
}

TEST(InterruptGuard, TheUsersInterruptAsksTheRunToStopOnEverySystem) {
    {
        CInterruptGuard guard;
        EXPECT_FALSE(CInterruptGuard::Interrupted());
#if !defined(_WIN32)
        std::raise(SIGINT);  // the process goes on
        EXPECT_TRUE(CInterruptGuard::Interrupted());
#endif
    }
    // The Windows console's events: Ctrl-C and Ctrl-Break as SIGINT; closing the window too,
    // with the time Windows allows for the power-down; others are left to the system.
    for (unsigned long event : {0ul, 1ul}) {
        CInterruptGuard guard;
        const auto answer = CInterruptGuard::OnConsoleEvent(event);
        EXPECT_TRUE(answer.handled);
        EXPECT_EQ(answer.hold.count(), 0);
        EXPECT_TRUE(CInterruptGuard::Interrupted()) << event;
    }
    CInterruptGuard guard;
    const auto close = CInterruptGuard::OnConsoleEvent(2);
    EXPECT_TRUE(close.handled);
    EXPECT_GT(close.hold.count(), 0);
    EXPECT_LE(close.hold, std::chrono::seconds(5));
    EXPECT_TRUE(CInterruptGuard::Interrupted());
    CInterruptGuard fresh;
    for (unsigned long event : {5ul, 6ul}) {
        EXPECT_FALSE(CInterruptGuard::OnConsoleEvent(event).handled);
    }
    EXPECT_FALSE(CInterruptGuard::Interrupted());
}

}  // namespace
}  // namespace tenlo::cli
