// tenlo-cli with PIC18 chips in the virtual programmer's socket.
#include <gtest/gtest.h>

#include "cli_rig.h"
#include "hexfile/hex_test_util.h"
#include "support/json_document.h"

namespace tenlo::cli::testing {
namespace {

using hextest::Lines;
using hextest::Rec;
using sim::Space;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// What Microchip's tools write for a PIC18: program bytes, the ID locations blank, the
// configuration bytes and EEPROM at 0xF00000.
std::string Pic18File(unsigned idByte = 0xFF) {
    return Lines({Rec(0, 0x0000, {0x10, 0xEF, 0x00, 0xF0}), Rec(0, 0x0020, {0x5A, 0x0E}),
                  Rec(4, 0, {0x00, 0x20}), Rec(0, 0x0000, {0xFF, 0xFF, 0xFF, idByte}),
                  Rec(4, 0, {0x00, 0x30}), Rec(0, 0x0001, {0x22, 0x0E}), Rec(4, 0, {0x00, 0xF0}),
                  Rec(0, 0x0000, {0x01, 0x02, 0x03}), hextest::kEnd});
}

TEST(CliPic18, WriteVerifyAndReadAPic18) {
    TempDir dir;
    const std::string file = dir.Write("p18.hex", Pic18File());
    CliRig rig("PIC18F452");
    rig.Poke(Space::Program, 0x2000, 0x0000);
    ASSERT_EQ(rig.Run({"--device", "PIC18F452", "write", "--erase", file}), 0) << rig.stderrText;
    EXPECT_EQ(rig.Peek(Space::Program, 0), 0xEF10u);
    EXPECT_EQ(rig.Peek(Space::Program, 0x10), 0x0E5Au);
    EXPECT_EQ(rig.Peek(Space::Program, 0x2000), 0xFFFFu);
    EXPECT_EQ(rig.Peek(Space::Config, 0x300001), 0x22u);
    EXPECT_EQ(rig.Peek(Space::Config, 0x300002), 0x0Eu);
    EXPECT_EQ(rig.Peek(Space::Config, 0x300000), 0xFFu);
    EXPECT_EQ(rig.Peek(Space::Data, 2), 0x03u);

    ASSERT_EQ(rig.Run({"--device", "PIC18F452", "verify", file}), 0) << rig.stderrText;
    EXPECT_TRUE(Has(rig.stdoutText, "configuration memory matches")) << rig.stdoutText;

    const std::string out = dir.File("back.hex");
    ASSERT_EQ(rig.Run({"--device", "PIC18F452", "read", "-o", out}), 0) << rig.stderrText;
    const std::string back = ReadFile(out);
    EXPECT_TRUE(Has(back, Rec(4, 0, {0x00, 0xF0}))) << back;
    EXPECT_TRUE(Has(back, Rec(4, 0, {0x00, 0x30}))) << back;

    // A chip that was written before, without an erase, differs where flash could not set bits.
    rig.Poke(Space::Program, 0x10, 0x0000);
    EXPECT_EQ(rig.Run({"--device", "PIC18F452", "verify", file}), 1);
    // Named by the byte address the file gives it, not the word's index.
    EXPECT_TRUE(Has(rig.stderrText, "program memory differs at 0x0020: chip 0x0000, file 0x0E5A"))
        << rig.stderrText;
    // And so in the --json document.
    EXPECT_EQ(rig.Run({"--json", "--device", "PIC18F452", "verify", file}), 1);
    const tenlo::testing::JsonValue cell =
        tenlo::testing::JsonDocument(rig.stdoutText)["ports"][0]["difference"];
    EXPECT_EQ(tenlo::testing::JsonText(cell["memory"]), "program");
    EXPECT_EQ(cell["address"].toInt(), 0x20);
}

TEST(CliPic18, IdLocationsMayOnlyBeBlank) {
    TempDir dir;
    CliRig rig("PIC18F2550");
    const std::string file = dir.Write("ids.hex", Pic18File(0x00));
    EXPECT_EQ(rig.Run({"--device", "PIC18F2550", "write", file}), 4);
    EXPECT_TRUE(
        Has(rig.stderrText, "byte address 0x200003 is an ID location, which is never written"))
        << rig.stderrText;
    EXPECT_EQ(rig.BytesIn(), 0u);
}

TEST(CliPic18, IdNamesTheChipByItsDeviceId) {
    CliRig rig("PIC18F4550");
    ASSERT_EQ(rig.Run({"--device", "PIC18F4550", "id"}), 0) << rig.stderrText;
    EXPECT_TRUE(Has(rig.stdoutText, "device ID word 0x1201 at 0x3FFFFE")) << rig.stdoutText;
    EXPECT_TRUE(Has(rig.stdoutText, "device ID 0x1200, revision 1: PIC18F4550"));
    EXPECT_TRUE(Has(rig.stdoutText, "it is the selected chip PIC18F4550"));

    EXPECT_EQ(rig.Run({"--device", "PIC18F2550", "id"}), 1);
    EXPECT_TRUE(Has(rig.stdoutText, "revision 1: PIC18F4550")) << rig.stdoutText;
    EXPECT_TRUE(Has(rig.stdoutText, "it is not the selected chip PIC18F2550"));

    CliRig empty("PIC18F452", [] {
        sim::FaultPlan plan;
        plan.noChip = true;
        return plan;
    }());
    EXPECT_EQ(empty.Run({"--device", "PIC18F452", "id"}), 1);
    EXPECT_TRUE(Has(empty.stdoutText, "empty socket")) << empty.stdoutText;
}

TEST(CliPic18, ADataWriteThatNeverEndsIsAFailure) {
    TempDir dir;
    const std::string file = dir.Write("p18.hex", Pic18File());
    CliRig rig("PIC18F252", [] {
        sim::FaultPlan plan;
        plan.eeBusy = true;
        return plan;
    }());
    EXPECT_EQ(rig.Run({"--device", "PIC18F252", "write", "--memories", "data", file}), 1);
    // The chip said why: no guessing at a cell that will not program.
    EXPECT_TRUE(Has(rig.stderrText,
                    "writing data memory failed at 0x0000: the chip answered, but "
                    "its data memory stayed busy writing through every status read"))
        << rig.stderrText;
    EXPECT_FALSE(Has(rig.stderrText, "will not program")) << rig.stderrText;

    EXPECT_EQ(rig.Run({"--json", "--device", "PIC18F252", "write", "--memories", "data", file}), 1);
    const tenlo::testing::JsonValue port =
        tenlo::testing::JsonDocument(rig.stdoutText)["ports"][0].toObject();
    EXPECT_EQ(tenlo::testing::JsonText(port["cause"]), "chip-busy");
    EXPECT_EQ(tenlo::testing::JsonText(port["phase"]), "writing");
}

}  // namespace
}  // namespace tenlo::cli::testing
