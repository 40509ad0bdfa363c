// Files made by gpasm (tests/cli/data) as the compilers of real projects make them: configuration
// words with the chip's unimplemented bits cleared, user IDs beside the configuration word.
// Each is taken through the CLI with its defaults on a simulated chip.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "cli_rig.h"

namespace tenlo::cli::testing {
namespace {

using sim::Space;

std::string ToolFile(const std::string& name) {
    const std::string path = std::string(TENLO_CLI_HEX_DIR) + "/" + name + ".hex";
    // A missing assembler must fail the test, never skip it.
    EXPECT_TRUE(std::ifstream(path).is_open())
        << path << " was not made: is gpasm installed? (scripts/bootstrap installs it)";
    return path;
}

struct ToolCase {
    const char* file;
    const char* chip;
    std::uint32_t configWordAddress;
    std::uint16_t chipReads;  // the configuration word the chip holds afterwards
};

void PrintTo(const ToolCase& c, std::ostream* os) {
    *os << c.file;
}

class ToolFiles : public ::testing::TestWithParam<ToolCase> {};

TEST_P(ToolFiles, WriteAndVerifyWithTheDefaults) {
    const ToolCase& c = GetParam();
    CliRig rig(c.chip);
    const std::string file = ToolFile(c.file);
    ASSERT_EQ(rig.Run({"--device", c.chip, "erase"}), 0) << rig.stderrText;
    ASSERT_EQ(rig.Run({"--device", c.chip, "write", file}), 0) << rig.stderrText;
    EXPECT_EQ(rig.Peek(Space::Config, c.configWordAddress), c.chipReads);
    EXPECT_EQ(rig.Run({"--device", c.chip, "verify", file}), 0) << rig.stderrText;
    EXPECT_NE(rig.stdoutText.find("configuration memory matches"), std::string::npos)
        << rig.stdoutText;
}

INSTANTIATE_TEST_SUITE_P(
    UnimplementedBitsCleared, ToolFiles,
    ::testing::Values(
        // Bits 12, 5 and 4 read 1; code protection goes off with the protect-off bits.
        ToolCase{"p16f877a_mikroc", "PIC16F877A", 0x2007, 0x3F7A},
        // Bit 13 reads 1.
        ToolCase{"p16f917_ids", "PIC16F917", 0x2007, 0x3FE4},
        // Bits 12 to 9 read 1.
        ToolCase{"p16f628a_mikroc", "PIC16F628A", 0x2007, 0x3F6A},
        // Bit 10 reads 1; the programmer's own read-back check must not trip over it.
        ToolCase{"p16f877_bit10", "PIC16F877", 0x2007, 0x3F72},
        // Bits 11 to 4 read 1.
        ToolCase{"p16f54_short", "PIC16F54", 0x03FF, 0x0FFA}),
    [](const auto& p) { return std::string(p.param.file); });

TEST(ToolFilesUserIds, SurviveTheConfigurationWordsRow) {
    // The configuration word shares its 8-word latch row with the user IDs on these chips.
    struct Case {
        const char* file;
        const char* chip;
        std::uint16_t ids[4];
    };
    for (const Case& c : {Case{"p16f877a_mikroc", "PIC16F877A", {0x1234, 0x0567, 0x2ABC, 0x3DEF}},
                          Case{"p16f917_ids", "PIC16F917", {0x0001, 0x0020, 0x0300, 0x3000}}}) {
        SCOPED_TRACE(c.chip);
        CliRig rig(c.chip);
        ASSERT_EQ(rig.Run({"--device", c.chip, "write", "--erase", ToolFile(c.file)}), 0)
            << rig.stderrText;
        for (std::uint32_t i = 0; i < 4; ++i) {
            EXPECT_EQ(rig.Peek(Space::Config, 0x2000 + i), c.ids[i]) << "user ID " << i;
        }
    }
}

TEST(ToolFilesOtherChip, AreRefusedByTheCellTheChipLacks) {
    // A 16F887 program carries a second configuration word, at 0x2008.
    CliRig rig("PIC16F877A");
    const std::string file = ToolFile("p16f887_two_words");
    for (const char* command : {"write", "verify"}) {
        EXPECT_EQ(rig.Run({"--device", "PIC16F877A", command, file}), 4) << command;
        EXPECT_EQ(rig.stderrText,
                  "tenlo-cli: " + file +
                      " does not fit the PIC16F877A: it sets configuration word 0x2008, which the "
                      "PIC16F877A does not have (its configuration words are 0x2000 to 0x2007); "
                      "the file may have been built for another chip\n");
    }
    EXPECT_EQ(rig.backend->opens, 0);

    // A 12-bit part: the file's configuration word has its place at 0x1FFE whatever the chip;
    // program words beyond the chip's are told as such.
    CliRig small("PIC12F508");
    TempDir dir;
    const std::string bigger = dir.Write("p12f509.hex", ":02040000FF0FEC\n:00000001FF\n");
    EXPECT_EQ(small.Run({"--device", "PIC12F508", "write", bigger}), 4);
    EXPECT_NE(small.stderrText.find("it sets program word 0x0200, which the PIC12F508 does not "
                                    "have (its program memory ends at 0x01FF)"),
              std::string::npos)
        << small.stderrText;
}

}  // namespace
}  // namespace tenlo::cli::testing
