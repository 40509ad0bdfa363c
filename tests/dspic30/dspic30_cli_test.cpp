// tenlo-cli with dsPIC30F chips in the virtual programmer: files in Microchip's dsPIC layout
// (every chip address doubled, 4-byte slots: instruction i at byte 4i, data EEPROM and
// configuration in the low half of their slots), written, verified, read back and identified.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_rig.h"
#include "device/catalogue.h"
#include "device/dspic30/dspic30_device.h"
#include "device/memory_image.h"
#include "hexfile/hex_file_writer.h"
#include "hexfile/image_hex.h"

namespace tenlo::cli::testing {
namespace {

using sim::Space;

constexpr std::uint32_t kConfig = 0xF80000;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

struct Chip {
    explicit Chip(const char* name)
        : layout(*CatalogueLayout(FindCatalogueIndex(name))), image(layout) {}
    DeviceLayout layout;
    CMemoryImage image;
};

// Every instruction, EEPROM byte and register different, none erased.
void Fill(CMemoryImage& image) {
    const DeviceLayout& l = image.Layout();
    for (std::uint32_t i = 0; i < l.programSize; ++i) {
        image.Set(Memory::Program, i, (i * 0x2F1B5u + 0x100) & 0xFFFFFF);
    }
    for (std::uint32_t i = 0; i < l.dataSize; ++i) {
        image.Set(Memory::Data, i, (i * 29 + 3) & 0xFF);
    }
    const std::uint16_t config[] = {0x8702, 0x0030, 0x0033, 0x0000, 0x0000, 0x0005, 0x4002};
    for (std::uint32_t k = 0; k < l.configCount; ++k) {
        image.Set(Memory::Config, k, config[k]);
    }
}

std::string MicrochipText(const CMemoryImage& image) {
    HexWriteOptions options;
    options.microchipLayout = true;
    return *ProgramHexText(image, options);
}

class DsPic30Cli : public ::testing::Test {
  protected:
    TempDir dir;
};

// One chip of each group and one without data EEPROM, through a file our own writer made.
TEST_F(DsPic30Cli, EveryGroupWritesVerifiesAndReadsBackAWrittenFile) {
    for (const char* name : {"dsPIC30F3012", "dsPIC30F3010", "dsPIC30F4012", "dsPIC30F2011"}) {
        SCOPED_TRACE(name);
        CliRig rig(name);
        Chip chip(name);
        Fill(chip.image);
        const std::string file = dir.Write(std::string(name) + ".hex", MicrochipText(chip.image));

        ASSERT_EQ(rig.Run({"--device", name, "erase"}), 0) << rig.stderrText;
        ASSERT_EQ(rig.Run({"--device", name, "write", file}), 0) << rig.stderrText;
        const bool hasData = chip.layout.dataSize != 0;
        EXPECT_TRUE(Has(rig.stdoutText, hasData ? "wrote program, config and data of the "
                                                : "wrote program and config of the "))
            << rig.stdoutText;

        CProgrammerLink unopened;
        DeviceOptions options;
        const auto made = CreateDevice(FindCatalogueIndex(name), unopened, &options, nullptr);
        const auto& device = dynamic_cast<const CDsPic30Device&>(*made);
        for (std::uint32_t i = 0; i < chip.layout.programSize; ++i) {
            ASSERT_EQ(rig.Peek(Space::Program, i), chip.image.Get(Memory::Program, i)) << i;
        }
        for (std::uint32_t i = 0; i < chip.layout.dataSize; ++i) {
            ASSERT_EQ(rig.Peek(Space::Data, i), chip.image.Get(Memory::Data, i)) << i;
        }
        for (std::uint32_t k = 0; k < 7; ++k) {
            EXPECT_EQ(rig.Peek(Space::Config, kConfig + 2 * k),
                      device.ConfigValue(k, chip.image.Get(Memory::Config, k)))
                << k;
        }

        ASSERT_EQ(rig.Run({"--device", name, "verify", file}), 0) << rig.stderrText;
        EXPECT_TRUE(Has(rig.stdoutText, "program memory matches")) << rig.stdoutText;

        const std::string back = dir.File(std::string(name) + "-back.hex");
        ASSERT_EQ(rig.Run({"--device", name, "read", "-o", back}), 0) << rig.stderrText;
        Chip read(name);
        ASSERT_EQ(LoadProgramHex(back, read.image, true), HexLoadResult::Ok);
        EXPECT_TRUE(std::ranges::equal(read.image.Bytes(Memory::Program),
                                       chip.image.Bytes(Memory::Program)));
        EXPECT_TRUE(
            std::ranges::equal(read.image.Bytes(Memory::Data), chip.image.Bytes(Memory::Data)));
        for (std::uint32_t k = 0; k < 7; ++k) {
            EXPECT_EQ(read.image.Get(Memory::Config, k), rig.Peek(Space::Config, kConfig + 2 * k));
        }
    }
}

// A file typed by hand after Microchip's dsPIC layout, so the mapping is checked against the
// format itself rather than our own writer.
TEST_F(DsPic30Cli, AHandMadeMicrochipFileLandsWhereTheLayoutSays) {
    // Typed by hand, checksums worked out by hand.
    const std::string text =
        ":020000040000FA\n"
        // Instruction 0 at byte 0: GOTO 0x100 (0x040100), low byte first, phantom byte 0.
        ":080000000001040000000000F3\n"
        // Instruction 0x80 (program address 0x100) at byte 0x200: MOV #0x1234, W0.
        ":040200004023210076\n"
        // Data EEPROM word 0 (0x7FFC00) at byte 0xFFF800: 0xBEEF; word 1 at 0xFFF804: 0x0102.
        ":0200000400FFFB\n"
        ":08F80000EFBE00000201000050\n"
        // FOSC at 0x1F00000, FWDT at 0x1F00004, FGS (register 5) at 0x1F00014.
        ":0200000401F009\n"
        ":08000000038700003F0000002F\n"
        ":0400140005000000E3\n"
        ":00000001FF\n";
    const std::string file = dir.Write("hand.hex", text);

    CliRig rig("dsPIC30F4013");
    ASSERT_EQ(rig.Run({"--device", "dsPIC30F4013", "write", "--erase", file}), 0) << rig.stderrText;
    EXPECT_EQ(rig.Peek(Space::Program, 0), 0x040100u);
    EXPECT_EQ(rig.Peek(Space::Program, 1), 0x000000u);
    EXPECT_EQ(rig.Peek(Space::Program, 2), 0xFFFFFFu);
    EXPECT_EQ(rig.Peek(Space::Program, 0x80), 0x212340u);
    EXPECT_EQ(rig.Peek(Space::Data, 0), 0xEFu);
    EXPECT_EQ(rig.Peek(Space::Data, 1), 0xBEu);
    EXPECT_EQ(rig.Peek(Space::Data, 2), 0x02u);
    EXPECT_EQ(rig.Peek(Space::Data, 3), 0x01u);
    EXPECT_EQ(rig.Peek(Space::Data, 4), 0xFFu);
    // FOSC and FWDT as given; the rest from blank cells through the 4013's masks.
    const std::uint32_t kExpected[] = {0x8703, 0x003F, 0x87B3, 0x310F, 0x330F, 0x0005, 0xC003};
    for (std::uint32_t k = 0; k < 7; ++k) {
        EXPECT_EQ(rig.Peek(Space::Config, kConfig + 2 * k), kExpected[k]) << k;
    }
    ASSERT_EQ(rig.Run({"--device", "dsPIC30F4013", "verify", file}), 0) << rig.stderrText;

    // A file byte in the upper half of a data slot is no EEPROM byte: the file is refused
    // before anything is sent.
    const std::uint64_t before = rig.BytesIn();
    const std::string bad = ":0200000400FFFB\n:04F80000EFBE010056\n:00000001FF\n";
    EXPECT_EQ(rig.Run({"--device", "dsPIC30F4013", "write", dir.Write("bad.hex", bad)}), 4);
    EXPECT_TRUE(Has(rig.stderrText, "is not a valid HEX file for dsPIC30F4013")) << rig.stderrText;
    EXPECT_EQ(rig.BytesIn(), before);
}

TEST_F(DsPic30Cli, VerifyNamesTheInstructionThatDiffers) {
    CliRig rig("dsPIC30F2010");
    Chip chip("dsPIC30F2010");
    chip.image.Set(Memory::Program, 0x123, 0x0A0B0C);
    const std::string file = dir.Write("one.hex", MicrochipText(chip.image));
    // Blank cells stay out of the file: name every memory to take them as they are.
    ASSERT_EQ(
        rig.Run({"--device", "dsPIC30F2010", "write", file, "--memories", "program,config,data"}),
        0)
        << rig.stderrText;
    rig.Poke(Space::Program, 0x123, 0x0A0B00);
    rig.Poke(Space::Data, 0x10, 0x42);
    EXPECT_EQ(
        rig.Run({"--device", "dsPIC30F2010", "verify", file, "--memories", "program,config,data"}),
        1);
    // Instruction 0x123 by its program-counter address, as the tools give it.
    EXPECT_TRUE(
        Has(rig.stderrText, "program memory differs at 0x0246: chip 0x0A0B00, file 0x0A0B0C"))
        << rig.stderrText;
    EXPECT_TRUE(Has(rig.stderrText, "data memory differs at 0x7FFC10: chip 0x42, file 0xFF"))
        << rig.stderrText;
    EXPECT_TRUE(Has(rig.stdoutText, "configuration memory matches")) << rig.stdoutText;
}

TEST_F(DsPic30Cli, AWriteCutShortSaysWhereTheChipStopped) {
    // Frames as the firmware counts its answers (--force: no device ID read before the write):
    // 1 ping, 2 the power-off of the set-up, 3-6 entering programming mode, 7-12 the write
    // prefix, 13-23 the first data row, 24-25 the second row's address: its first block goes
    // unanswered.
    sim::FaultPlan faults;
    faults.noAckFrames.insert(26);
    CliRig rig("dsPIC30F3013", faults);
    Chip chip("dsPIC30F3013");
    Fill(chip.image);
    const std::string file = dir.Write("data.hex", MicrochipText(chip.image));
    for (std::uint32_t i = 32; i < 64; ++i) {
        rig.Poke(Space::Data, i, 0x00);
    }
    // A lost acknowledgement is the line's failure, not a cell that will not program: exit 3,
    // with the row the write was on.
    EXPECT_EQ(rig.Run({"--device", "dsPIC30F3013", "write", file, "--memories", "data", "--force"}),
              3);
    EXPECT_EQ(rig.Peek(Space::Data, 31), chip.image.Get(Memory::Data, 31));
    EXPECT_EQ(rig.Peek(Space::Data, 32), 0x00u);
    EXPECT_TRUE(Has(rig.stderrText,
                    "writing data memory failed at 0x7FFC20: no answer came from the programmer "
                    "to DsWriteData8 (0x37)"))
        << rig.stderrText;
}

TEST_F(DsPic30Cli, IdNamesTheChipByItsDevid) {
    CliRig rig("dsPIC30F4013");
    ASSERT_EQ(rig.Run({"--device", "dsPIC30F4013", "id"}), 0) << rig.stderrText;
    EXPECT_EQ(rig.stdoutText,
              "device ID word 0x0141 at 0xFF0000\n"
              "device ID 0x0141: dsPIC30F4013\n"
              "it is the selected chip dsPIC30F4013\n");

    EXPECT_EQ(rig.Run({"--device", "dsPIC30F3014", "id"}), 1);
    EXPECT_TRUE(Has(rig.stdoutText, "device ID 0x0141: dsPIC30F4013")) << rig.stdoutText;
    EXPECT_TRUE(Has(rig.stdoutText, "it is not the selected chip dsPIC30F3014")) << rig.stdoutText;

    // An empty socket reads 0.
    CliRig empty("dsPIC30F4013", [] {
        sim::FaultPlan faults;
        faults.noChip = true;
        return faults;
    }());
    EXPECT_EQ(empty.Run({"--device", "dsPIC30F4013", "id"}), 1);
    EXPECT_TRUE(Has(empty.stdoutText,
                    "it names no chip this program knows (an empty socket reads "
                    "0x0000)"))
        << empty.stdoutText;
}

}  // namespace
}  // namespace tenlo::cli::testing
