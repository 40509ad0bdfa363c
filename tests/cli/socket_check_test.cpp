// Before it reads, writes, erases or verifies, tenlo-cli makes sure the chip selected is the one
// in the socket, on every family whose chips carry a device ID.
#include <gtest/gtest.h>

#include <filesystem>

#include "cli_rig.h"
#include "device/catalogue.h"

namespace tenlo::cli::testing {
namespace {

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

sim::FaultPlan EmptySocket() {
    sim::FaultPlan faults;
    faults.noChip = true;
    return faults;
}

TEST(SocketCheck, EveryChipPassesWithItselfInTheSocketAndFailsWithNoneWhenItHasAnId) {
    int checked = 0;
    for (const CatalogueEntry& e : CatalogueEntries()) {
        const std::string name(e.name);
        if (!sim::CreateChip(name)) {
            continue;
        }
        SCOPED_TRACE(name);
        CliRig rig(name);
        const int id = rig.Run({"--device", name, "id"});
        ASSERT_TRUE(id == 0 || id == 2) << rig.stdoutText << rig.stderrText;
        EXPECT_EQ(rig.Run({"--device", name, "erase", "--no-verify"}), 0) << rig.stderrText;

        CliRig empty(name, EmptySocket());
        const int code = empty.Run({"--device", name, "erase", "--no-verify"});
        if (id == 0) {
            ++checked;
            EXPECT_EQ(code, 3) << empty.stderrText;
            EXPECT_TRUE(Has(empty.stderrText, "no chip answers in the socket")) << empty.stderrText;
        } else {
            // No ID word to go by: the erase goes ahead (and may fail on its own).
            EXPECT_FALSE(Has(empty.stderrText, "device ID")) << empty.stderrText;
        }
    }
    // Mid-range, PIC18 and dsPIC30F chips among them.
    EXPECT_GT(checked, 40);
}

TEST(SocketCheck, AnEmptySocketStopsEveryCommandBeforeItTouchesTheChipOrAFile) {
    TempDir dir;
    const std::string program = dir.Write("p.hex", ":020000000528D1\n:00000001FF\n");
    for (const char* chip : {"PIC16F877A", "PIC18F452", "dsPIC30F4013"}) {
        SCOPED_TRACE(chip);
        const std::string out = dir.File(std::string(chip) + ".hex");
        CliRig rig(chip, EmptySocket());
        EXPECT_EQ(rig.Run({"--device", chip, "read", "-o", out}), 3) << rig.stderrText;
        EXPECT_FALSE(std::filesystem::exists(out));
        EXPECT_EQ(rig.Run({"--device", chip, "verify", program}), 3) << rig.stderrText;
        EXPECT_EQ(rig.Run({"--device", chip, "write", "--erase", program}), 3) << rig.stderrText;
        EXPECT_FALSE(Has(rig.stderrText, "write --erase")) << rig.stderrText;
        // --force goes on without the check; what the chip then holds is the user's affair.
        EXPECT_EQ(rig.Run({"--device", chip, "read", "--force", "-o", out}), 0) << rig.stderrText;
    }
}

TEST(SocketCheck, AChipWithoutAnIdIsFoundMissingByTheEraseReadBack) {
    // Nothing erases to zeros: a read-back of nothing but 0 is an empty socket.
    for (const char* chip : {"PIC12F508", "PIC16F54"}) {
        SCOPED_TRACE(chip);
        CliRig rig(chip, EmptySocket());
        EXPECT_EQ(rig.Run({"--device", chip, "erase"}), 3) << rig.stderrText;
        EXPECT_TRUE(Has(rig.stderrText, "every cell reads back 0: no chip answers in the socket"))
            << rig.stderrText;
    }
}

TEST(SocketCheck, AChipWithoutAnIdThatReadsAllZeroIsNoChipForReadVerifyAndWrite) {
    TempDir dir;
    const std::string program = dir.Write("p.hex", ":02000000050AEF\n:00000001FF\n");
    for (const char* chip : {"PIC12F508", "PIC12F509", "PIC16F54", "PIC16F84"}) {
        SCOPED_TRACE(chip);
        const std::string out = dir.File(std::string(chip) + ".hex");
        CliRig rig(chip, EmptySocket());
        EXPECT_EQ(rig.Run({"--device", chip, "read", "-o", out}), 3) << rig.stderrText;
        EXPECT_TRUE(Has(rig.stderrText,
                        "no chip answers in the socket: program and "
                        "configuration memory read all 0"))
            << rig.stderrText;
        EXPECT_FALSE(std::filesystem::exists(out)) << "no file of zeros";
        EXPECT_EQ(rig.Run({"--device", chip, "read", "--memories", "config", "-o", out}), 3);
        EXPECT_EQ(rig.Run({"--device", chip, "verify", program}), 3) << rig.stderrText;
        EXPECT_FALSE(Has(rig.stderrText, "differs")) << rig.stderrText;
        EXPECT_EQ(rig.Run({"--device", chip, "write", program}), 3) << rig.stderrText;
        EXPECT_TRUE(Has(rig.stderrText, "no chip answers in the socket")) << rig.stderrText;
        EXPECT_FALSE(Has(rig.stderrText, "erase it first")) << rig.stderrText;
        // --force takes what the lines say.
        EXPECT_EQ(rig.Run({"--device", chip, "read", "--force", "-o", out}), 0) << rig.stderrText;

        // A chip in the socket reads, verifies and writes as before.
        CliRig there(chip);
        EXPECT_EQ(there.Run({"--device", chip, "write", program}), 0) << there.stderrText;
        EXPECT_EQ(there.Run({"--device", chip, "verify", program}), 0) << there.stderrText;
        EXPECT_EQ(there.Run({"--device", chip, "read", "-o", out}), 0) << there.stderrText;
    }
}

TEST(SocketCheck, AnotherChipIsRefusedNamingBoth) {
    TempDir dir;
    CliRig rig("PIC16F877A");
    rig.Poke(sim::Space::Program, 0, 0x2805);
    EXPECT_EQ(rig.Run({"--device", "PIC16F876A", "erase"}), 1);
    EXPECT_TRUE(Has(rig.stderrText, "PIC16F877A")) << rig.stderrText;
    EXPECT_TRUE(Has(rig.stderrText, "PIC16F876A")) << rig.stderrText;
    EXPECT_EQ(rig.Peek(sim::Space::Program, 0), 0x2805u) << "the refused erase reached the chip";

    // The same on a PIC18, whose ID sits apart from its configuration bytes.
    CliRig pic18("PIC18F452");
    EXPECT_EQ(pic18.Run({"--device", "PIC18F442", "read", "-o", dir.File("a.hex")}), 1);
    EXPECT_TRUE(Has(pic18.stderrText, "PIC18F452")) << pic18.stderrText;
    EXPECT_FALSE(std::filesystem::exists(dir.File("a.hex")));
    EXPECT_EQ(pic18.Run({"--device", "PIC18F442", "read", "--force", "-o", dir.File("a.hex")}), 0)
        << pic18.stderrText;
}

}  // namespace
}  // namespace tenlo::cli::testing
