#include <gtest/gtest.h>

#include "cli_rig.h"
#include "device/catalogue.h"
#include "device/memory_image.h"
#include "hexfile/hex_file_writer.h"
#include "hexfile/image_hex.h"
#include "hexfile/prog_hex_reader.h"
#include "sim/jdm/jdm_port_backend.h"

namespace tenlo::cli::testing {
namespace {

using sim::Space;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A program file for the PIC16F84A, loaded the way the CLI reads it (Microchip layout).
struct Image {
    Image() : layout(*CatalogueLayout(FindCatalogueIndex("PIC16F84A"))), image(layout) {}

    HexLayout Hex() const { return ToHexLayout(layout); }
    bool Load(const std::string& path, bool microchip = true) {
        CProgHexReader reader(Hex(),
                              {std::as_writable_bytes(image.Bytes(Memory::Program)),
                               std::as_writable_bytes(image.Bytes(Memory::Config)),
                               std::as_writable_bytes(image.Bytes(Memory::Data))},
                              microchip);
        return reader.Open(path) && reader.Load();
    }
    std::string Text(bool microchip = true) {
        HexWriteOptions options;
        options.microchipLayout = microchip;
        return *ProgramHexText(
            Hex(),
            {std::as_bytes(image.Bytes(Memory::Program)),
             std::as_bytes(image.Bytes(Memory::Config)), std::as_bytes(image.Bytes(Memory::Data))},
            options);
    }

    DeviceLayout layout;
    CMemoryImage image;
};

class CliSession : public ::testing::Test {
  protected:
    // The example as gpasm made it, with one program word changed so that it needs a 1 bit
    // where the example has a 0.
    std::string ChangedExample() {
        Image example;
        EXPECT_TRUE(example.Load(ExampleHex()));
        EXPECT_EQ(example.image.Get(Memory::Program, 5), 0x1683u);  // bsf STATUS, RP0
        example.image.Set(Memory::Program, 5, 0x1E83);
        return dir.Write("changed.hex", example.Text());
    }

    TempDir dir;
    CliRig rig;
};

TEST_F(CliSession, WritesVerifiesAndReadsBackTheExample) {
    ASSERT_EQ(rig.Run({"write", ExampleHex()}), 0) << rig.stderrText;
    EXPECT_TRUE(Has(rig.stdoutText, "wrote program, config and data")) << rig.stdoutText;
    EXPECT_EQ(rig.Peek(Space::Program, 0), 0x2805u);   // goto start
    EXPECT_EQ(rig.Peek(Space::Program, 4), 0x0009u);   // retfie
    EXPECT_EQ(rig.Peek(Space::Config, 0x2000), 0x1u);  // __idlocs 0x1234
    EXPECT_EQ(rig.Peek(Space::Config, 0x2003), 0x4u);
    EXPECT_EQ(rig.Peek(Space::Config, 0x2007), 0x3FF1u);
    EXPECT_EQ(rig.Peek(Space::Data, 0), std::uint32_t{'T'});
    EXPECT_EQ(rig.Peek(Space::Data, 4), std::uint32_t{'o'});

    ASSERT_EQ(rig.Run({"verify", ExampleHex()}), 0) << rig.stderrText;
    EXPECT_TRUE(Has(rig.stdoutText, "program memory matches"));
    EXPECT_TRUE(Has(rig.stdoutText, "configuration memory matches"));
    EXPECT_TRUE(Has(rig.stdoutText, "data memory matches"));

    const std::string back = dir.File("back.hex");
    ASSERT_EQ(rig.Run({"read", "-o", back}), 0) << rig.stderrText;
    Image original;
    Image read;
    ASSERT_TRUE(original.Load(ExampleHex()));
    ASSERT_TRUE(read.Load(back));
    for (std::size_t i = 0; i < 1024; ++i) {
        ASSERT_EQ(read.image.Get(Memory::Program, i), original.image.Get(Memory::Program, i)) << i;
    }
    for (std::size_t i : {0, 1, 2, 3, 7}) {
        EXPECT_EQ(read.image.Get(Memory::Config, i), original.image.Get(Memory::Config, i)) << i;
    }
    // The read file carries the chip's ID word, which the example does not.
    EXPECT_EQ(read.image.Get(Memory::Config, 6), 0x0561u);
    for (std::size_t i = 0; i < 64; ++i) {
        ASSERT_EQ(read.image.Get(Memory::Data, i), original.image.Get(Memory::Data, i)) << i;
    }
    // And what was read verifies against the chip it came from.
    EXPECT_EQ(rig.Run({"verify", back}), 0) << rig.stderrText;
}

TEST_F(CliSession, ReadWithoutOutputFileWritesHexToStandardOutput) {
    ASSERT_EQ(rig.Run({"write", ExampleHex()}), 0) << rig.stderrText;
    ASSERT_EQ(rig.Run({"read", "--memories", "program"}), 0) << rig.stderrText;
    EXPECT_EQ(rig.stdoutText.rfind(":", 0), 0u);
    EXPECT_TRUE(Has(rig.stdoutText, ":00000001FF"));
    EXPECT_TRUE(Has(rig.stderrText, "read program of the PIC16F84A"));
    const std::string file = dir.Write("stdout.hex", rig.stdoutText);
    Image read;
    ASSERT_TRUE(read.Load(file));
    EXPECT_EQ(read.image.Get(Memory::Program, 0), 0x2805u);
    EXPECT_EQ(read.image.Get(Memory::Config, 7), 0x3FFFu);  // not read: left blank
    EXPECT_EQ(read.image.Get(Memory::Data, 0), 0xFFu);
}

TEST_F(CliSession, ChangedFileGivesMismatchWithAddressAndBothValues) {
    ASSERT_EQ(rig.Run({"write", ExampleHex()}), 0) << rig.stderrText;
    EXPECT_EQ(rig.Run({"verify", ChangedExample()}), 1);
    EXPECT_TRUE(Has(rig.stderrText, "program memory differs at 0x0005: chip 0x1683, file 0x1E83"))
        << rig.stderrText;
    // The other memories are still compared and reported.
    EXPECT_TRUE(Has(rig.stdoutText, "data memory matches")) << rig.stdoutText;

    // A data difference shows byte-wide values.
    rig.Poke(Space::Data, 5, 0x12);
    EXPECT_EQ(rig.Run({"verify", ExampleHex(), "--memories", "data"}), 1);
    EXPECT_TRUE(Has(rig.stderrText, "data memory differs at 0x0005: chip 0x12, file 0x00"))
        << rig.stderrText;
}

TEST_F(CliSession, WriteOverAProgrammedChipSaysToEraseFirst) {
    ASSERT_EQ(rig.Run({"write", ExampleHex()}), 0) << rig.stderrText;
    const std::string changed = ChangedExample();
    EXPECT_EQ(rig.Run({"write", changed}), 1);
    EXPECT_TRUE(Has(rig.stderrText, "not blank")) << rig.stderrText;
    EXPECT_TRUE(Has(rig.stderrText, "0x0005 holds 0x1683 where the file has 0x1E83"))
        << rig.stderrText;
    EXPECT_TRUE(Has(rig.stderrText, "erase it first")) << rig.stderrText;

    ASSERT_EQ(rig.Run({"write", changed, "--erase"}), 0) << rig.stderrText;
    EXPECT_EQ(rig.Peek(Space::Program, 5), 0x1E83u);
    EXPECT_EQ(rig.Run({"verify", changed}), 0) << rig.stderrText;
}

TEST_F(CliSession, ACellThatWillNotProgramIsNotMistakenForANonBlankChip) {
    CliRig stuck("PIC16F84A", [] {
        sim::FaultPlan plan;
        plan.stuckCells.push_back({Space::Program, 5});
        return plan;
    }());
    EXPECT_EQ(stuck.Run({"write", ExampleHex()}), 1);
    EXPECT_FALSE(Has(stuck.stderrText, "not blank")) << stuck.stderrText;
    EXPECT_TRUE(Has(stuck.stderrText, "verification failed at 0x0005: chip 0x3FFF, file 0x1683"))
        << stuck.stderrText;
}

TEST_F(CliSession, ADataCellTheChipRefusesIsToldAndTheConfigurationStillWritten) {
    CliRig stuck("PIC16F84A", [] {
        sim::FaultPlan plan;
        plan.stuckCells.push_back({Space::Data, 0});
        return plan;
    }());
    EXPECT_EQ(stuck.Run({"write", ExampleHex()}), 1);
    EXPECT_EQ(stuck.stderrText,
              "tenlo-cli: writing data memory failed: verification failed at 0x0000: chip 0xFF, "
              "file 0x54 (a cell that will not program?)\n");
    EXPECT_EQ(stuck.Peek(Space::Config, 0x2007), 0x3FF1u) << "the configuration was written";
}

TEST_F(CliSession, AKeptCalibrationWordLeavesTheFirstWordInTheFailureReport) {
    CliRig stuck("PIC12F629", [] {
        sim::FaultPlan plan;
        plan.stuckCells.push_back({Space::Program, 0});
        return plan;
    }());
    const std::string first = dir.Write("first.hex", ":020000000528D1\n:00000001FF\n");
    EXPECT_EQ(stuck.Run({"--device", "PIC12F629", "write", first}), 1);
    EXPECT_TRUE(Has(stuck.stderrText, "verification failed at 0x0000: chip 0x3FFF, file 0x2805"))
        << stuck.stderrText;
}

TEST_F(CliSession, ConfigurationWordThatCannotBeRaisedSaysToEraseFirst) {
    CliRig chip("PIC12F629");
    const std::string low = dir.Write("low.hex", ":02400E00C401EB\n:00000001FF\n");
    const std::string high = dir.Write("high.hex", ":02400E00FF01B0\n:00000001FF\n");
    ASSERT_EQ(chip.Run({"--device", "PIC12F629", "write", low}), 0) << chip.stderrText;
    const std::uint32_t written = chip.Peek(Space::Config, 0x2007);
    EXPECT_EQ(written & 0x01FF, 0x01C4u);
    EXPECT_EQ(chip.Run({"--device", "PIC12F629", "write", high}), 1);
    // The band-gap bits are the chip's own and stay out of the report.
    EXPECT_TRUE(Has(chip.stderrText,
                    "writing configuration memory failed: the chip is not blank: "
                    "0x2007 holds 0x01C4 where the file has 0x01FF"))
        << chip.stderrText;
    ASSERT_EQ(chip.Run({"--device", "PIC12F629", "write", high, "--erase"}), 0) << chip.stderrText;
    EXPECT_EQ(chip.Peek(Space::Config, 0x2007) & 0x31FF, (written & 0x3000) | 0x01FF);
}

TEST_F(CliSession, ErasedChipVerifiesBlank) {
    ASSERT_EQ(rig.Run({"write", ExampleHex()}), 0) << rig.stderrText;
    ASSERT_EQ(rig.Run({"erase"}), 0) << rig.stderrText;
    EXPECT_TRUE(Has(rig.stdoutText, "erased the PIC16F84A"));
    const std::string empty = dir.Write("empty.hex", ":00000001FF\n");
    EXPECT_EQ(rig.Run({"verify", empty, "--memories", "program,config,data"}), 0) << rig.stderrText;
    // Against the example it is a mismatch at the first word.
    EXPECT_EQ(rig.Run({"verify", ExampleHex()}), 1);
    EXPECT_TRUE(Has(rig.stderrText, "program memory differs at 0x0000: chip 0x3FFF, file 0x2805"))
        << rig.stderrText;
    // A file that holds nothing names nothing to verify: say so rather than pass.
    EXPECT_EQ(rig.Run({"verify", empty}), 2);
    EXPECT_TRUE(Has(rig.stderrText, "--memories")) << rig.stderrText;
}

TEST_F(CliSession, BadFilesStopBeforeThePortIsOpened) {
    const std::vector<std::pair<std::string, std::string>> files = {
        {"text.hex", "hello\n"},
        {"checksum.hex", ":020000000528D2\n:00000001FF\n"},
        {"type.hex", ":0000000601F9\n"},
        {"short.hex", ":0400000005\n"},
    };
    for (const auto& [name, text] : files) {
        const std::string path = dir.Write(name, text);
        EXPECT_EQ(rig.Run({"write", path}), 4) << name;
        EXPECT_TRUE(Has(rig.stderrText, "is not a valid HEX file for PIC16F84A: line 1 has "))
            << rig.stderrText;
        EXPECT_EQ(rig.Run({"verify", path}), 4) << name;
    }
    EXPECT_TRUE(Has(rig.stderrText, "line 1 has a record cut short")) << rig.stderrText;
    // An EEPROM byte sits in the low byte of its word; the high byte has a place but no data.
    const std::string pad = dir.Write("pad.hex", ":02420000FF01BC\n:00000001FF\n");
    EXPECT_EQ(rig.Run({"write", pad}), 4);
    EXPECT_TRUE(Has(rig.stderrText,
                    "is not a valid HEX file for PIC16F84A: byte address 0x4201 "
                    "pads a cell and must be 0"))
        << rig.stderrText;
    // Files for bigger chips name the cell the PIC16F84A lacks.
    const std::vector<std::pair<std::string, std::string>> bigger = {
        {":02440000FF3F7C\n:00000001FF\n",  // 0x4400: past data EEPROM
         "it sets data EEPROM byte 0x0100, which the PIC16F84A does not have (its data EEPROM "
         "ends at 0x003F); the file may have been built for another chip\n"},
        {":020800000000F6\n",  // word 0x400 of a 1024-word part
         "it sets program word 0x0400, which the PIC16F84A does not have (its program memory "
         "ends at 0x03FF); the file may have been built for another chip\n"},
    };
    for (const auto& [text, says] : bigger) {
        const std::string path = dir.Write("bigger.hex", text);
        EXPECT_EQ(rig.Run({"write", path}), 4) << text;
        EXPECT_EQ(rig.stderrText, "tenlo-cli: " + path + " does not fit the PIC16F84A: " + says);
        EXPECT_EQ(rig.Run({"verify", path}), 4) << text;
    }

    EXPECT_EQ(rig.Run({"write", dir.File("missing.hex")}), 4);
    EXPECT_TRUE(Has(rig.stderrText, "cannot open")) << rig.stderrText;

    EXPECT_EQ(rig.backend->opens, 0);
    EXPECT_EQ(rig.BytesIn(), 0u);
}

TEST_F(CliSession, SeparateDataFiles) {
    // With --data the program file may not carry data EEPROM itself.
    EXPECT_EQ(rig.Run({"write", ExampleHex(), "--data", ExampleHex()}), 4);
    EXPECT_TRUE(Has(rig.stderrText, "leave out --data")) << rig.stderrText;
    EXPECT_EQ(rig.backend->opens, 0);

    Image example;
    ASSERT_TRUE(example.Load(ExampleHex()));
    const std::string program = dir.Write("program.hex", example.Text(false));
    const std::string data = dir.Write("data.hex", ":0200000048694D\n:00000001FF\n");  // "Hi"
    ASSERT_EQ(rig.Run({"write", program, "--data", data}), 0) << rig.stderrText;
    EXPECT_EQ(rig.Peek(Space::Data, 0), std::uint32_t{'H'});
    EXPECT_EQ(rig.Peek(Space::Data, 1), std::uint32_t{'i'});
    EXPECT_EQ(rig.Peek(Space::Data, 2), 0xFFu);
    EXPECT_EQ(rig.Run({"verify", program, "--data", data}), 0) << rig.stderrText;

    const std::string programOut = dir.File("p.hex");
    const std::string dataOut = dir.File("d.hex");
    ASSERT_EQ(rig.Run({"read", "-o", programOut, "--data-out", dataOut}), 0) << rig.stderrText;
    EXPECT_FALSE(Has(ReadFile(programOut), ":02420000"));  // no EEPROM in the program file
    EXPECT_TRUE(Has(ReadFile(dataOut), ":0200000048694D")) << ReadFile(dataOut);

    // A data file bigger than the chip's EEPROM.
    const std::string big = dir.Write("big.hex", ":01004000FFC0\n:00000001FF\n");
    EXPECT_EQ(rig.Run({"write", program, "--data", big}), 4);
    EXPECT_TRUE(Has(rig.stderrText, "beyond its 64 bytes")) << rig.stderrText;
}

TEST_F(CliSession, MemoriesListLimitsWhatIsWritten) {
    ASSERT_EQ(rig.Run({"write", ExampleHex(), "--memories", "program"}), 0) << rig.stderrText;
    EXPECT_EQ(rig.Peek(Space::Program, 0), 0x2805u);
    EXPECT_EQ(rig.Peek(Space::Config, 0x2007), 0x3FFFu);
    EXPECT_EQ(rig.Peek(Space::Data, 0), 0xFFu);

    // A file without data EEPROM does not touch the chip's.
    Image example;
    ASSERT_TRUE(example.Load(ExampleHex()));
    rig.Poke(Space::Data, 0, 0x42);
    const std::string noData = dir.Write("nodata.hex", example.Text(false));
    ASSERT_EQ(rig.Run({"write", noData, "--memories", "config"}), 0) << rig.stderrText;
    ASSERT_EQ(rig.Run({"verify", noData}), 0) << rig.stderrText;
    EXPECT_FALSE(Has(rig.stdoutText, "data memory")) << rig.stdoutText;
    EXPECT_EQ(rig.Peek(Space::Data, 0), 0x42u);
}

TEST_F(CliSession, MemoriesTheChipLacksAreAUsageError) {
    EXPECT_EQ(rig.Run({"--device", "PIC16F73", "read", "--memories", "data"}), 2);
    EXPECT_TRUE(Has(rig.stderrText, "PIC16F73 has no data memory")) << rig.stderrText;
    EXPECT_EQ(rig.backend->opens, 0);
}

TEST_F(CliSession, UnknownDeviceListsCloseNames) {
    for (const char* command : {"ping", "read", "erase"}) {
        EXPECT_EQ(rig.Run({"--device", "PIC16F8A4", command}), 2) << command;
        EXPECT_TRUE(Has(rig.stderrText, "unknown device \"PIC16F8A4\"")) << rig.stderrText;
        EXPECT_TRUE(Has(rig.stderrText, "did you mean PIC16F84A")) << rig.stderrText;
    }
    EXPECT_EQ(rig.backend->opens, 0);
    // Names are not case-sensitive.
    EXPECT_EQ(rig.Run({"--device", "pic16f84a", "id"}), 0) << rig.stderrText;
}

TEST_F(CliSession, DevicesListsTheCatalogue) {
    ASSERT_EQ(rig.Run({"devices"}), 0);
    EXPECT_TRUE(Has(rig.stdoutText, "PIC16F84A")) << rig.stdoutText;
    EXPECT_TRUE(Has(rig.stdoutText, "dsPIC30F4013"));
    std::size_t lines = 0;
    for (char c : rig.stdoutText) {
        lines += c == '\n' ? 1 : 0;
    }
    EXPECT_EQ(lines, static_cast<std::size_t>(kCatalogueSize) + 1);
    EXPECT_EQ(rig.backend->opens, 0);
}

TEST_F(CliSession, PingAndVersion) {
    EXPECT_EQ(rig.Run({"ping"}), 0) << rig.stderrText;
    EXPECT_EQ(rig.Run({"--quiet", "ping"}), 0);
    EXPECT_EQ(rig.stdoutText, "");
    rig.programmer->With([](sim::CFirmwareEngine& engine, sim::IChipModel&) {
        engine.SetVersion({0x00, 0x01, 0x05, 0x00});
    });
    ASSERT_EQ(rig.Run({"version"}), 0) << rig.stderrText;
    EXPECT_EQ(rig.stdoutText, "Firmware Version 1.5RZ\n");
}

TEST_F(CliSession, NoProgrammerOrNoPort) {
    CliRig silent("PIC16F84A", [] {
        sim::FaultPlan plan;
        plan.silenceFromByte = 1;
        return plan;
    }());
    EXPECT_EQ(silent.Run({"ping"}), 3);
    EXPECT_TRUE(Has(silent.stderrText, "no programmer answers on COM5")) << silent.stderrText;
    EXPECT_EQ(silent.Run({"write", ExampleHex()}), 3);

    rig.backend = std::make_shared<CountingBackend>(nullptr);
    EXPECT_EQ(rig.Run({"--port", "COM9", "ping"}), 3);
    // The serial layer's own message and the tool's come as one line.
    EXPECT_TRUE(Has(rig.stderrText, "tenlo-cli: cannot open the serial port COM9"))
        << rig.stderrText;
    EXPECT_TRUE(Has(rig.stderrText, "(Error: Cannot open COM9.)\n")) << rig.stderrText;
    EXPECT_EQ(std::count(rig.stderrText.begin(), rig.stderrText.end(), '\n'), 1) << rig.stderrText;
}

TEST_F(CliSession, LineLostInTheMiddleOfAWrite) {
    for (std::uint64_t at : {300u, 1800u}) {
        CliRig cut("PIC16F84A", [at] {
            sim::FaultPlan plan;
            plan.disconnectAtByte = at;
            return plan;
        }());
        EXPECT_EQ(cut.Run({"write", ExampleHex()}), 3) << at;
        EXPECT_TRUE(Has(cut.stderrText, "writing program memory failed at 0x0")) << cut.stderrText;
        EXPECT_TRUE(Has(cut.stderrText,
                        ": the programmer stopped answering on COM5 (the line broke at frame "))
            << cut.stderrText;
        EXPECT_TRUE(Has(cut.stderrText, "; the chip may be partly written")) << cut.stderrText;
    }
}

// The answer to the power-down that ends a write: lost once, the command is sent again and the
// write stands; lost every time, the write was done but the chip may still be powered.
TEST_F(CliSession, ALostAnswerToThePowerDownIsSentAgainThenReported) {
    std::uint64_t last = 0;
    {
        CliRig clean;
        ASSERT_EQ(clean.Run({"write", ExampleHex()}), 0) << clean.stderrText;
        last = clean.programmer->With([](sim::CFirmwareEngine& engine, sim::IChipModel&) {
            return engine.Statistics().frames;
        });
    }
    sim::FaultPlan once;
    once.noAckFrames = {last};
    CliRig lost("PIC16F84A", once);
    EXPECT_EQ(lost.Run({"write", ExampleHex()}), 0) << lost.stderrText;
    EXPECT_FALSE(lost.Powered());

    sim::FaultPlan always;
    always.noAckFrames = {last, last + 1, last + 2};
    CliRig gone("PIC16F84A", always);
    EXPECT_EQ(gone.Run({"write", ExampleHex()}), 3);
    EXPECT_TRUE(Has(gone.stderrText,
                    "finished writing configuration memory, but switching the chip off failed: "
                    "no answer came from the programmer to PowerOffVddFirst (0x06)"))
        << gone.stderrText;
    EXPECT_TRUE(Has(gone.stderrText,
                    "; the chip may still be powered: unplug the programmer "
                    "before taking the chip out\n"))
        << gone.stderrText;
    EXPECT_TRUE(gone.Powered());

    // The dsPIC30F's socket is switched off when the chip is chosen, after the ping.
    sim::FaultPlan selection;
    selection.noAckFrames = {2, 3, 4};
    CliRig dspic("dsPIC30F4013", selection);
    EXPECT_EQ(dspic.Run({"--device", "dsPIC30F4013", "id"}), 3);
    EXPECT_TRUE(Has(dspic.stderrText,
                    "switching the socket off failed: no answer came from the programmer to "
                    "PowerOffVppFirst (0x04)"))
        << dspic.stderrText;
    EXPECT_TRUE(Has(dspic.stderrText, "; the chip may still be powered")) << dspic.stderrText;
}

TEST_F(CliSession, AGarbledAnswerDuringAnEraseIsALineFailureNotAChipTheWrongWayRound) {
    // Frame 1 is the ping; without the device ID check the erase's own frames follow.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"erase", "--force"},
          std::vector<std::string>{"write", ExampleHex(), "--erase", "--force"}}) {
        CliRig glitch("PIC16F84A", [] {
            sim::FaultPlan plan;
            plan.badAcks[3] = 0x00;
            return plan;
        }());
        EXPECT_EQ(glitch.Run(args), 3);
        EXPECT_TRUE(Has(glitch.stderrText,
                        "erasing the PIC16F84A failed: the programmer answered SetOption (0x0A) "
                        "with 0x00 instead of 0xA5; the chip may be partly erased"))
            << glitch.stderrText;
        EXPECT_EQ(glitch.Peek(Space::Program, 0), 0x3FFFu);  // nothing written after it
    }
}

TEST_F(CliSession, IdNamesTheChipAndComparesItWithTheSelection) {
    ASSERT_EQ(rig.Run({"id"}), 0) << rig.stderrText;
    EXPECT_TRUE(Has(rig.stdoutText, "device ID word 0x0561")) << rig.stdoutText;
    EXPECT_TRUE(Has(rig.stdoutText, "device ID 0x0560, revision 1: PIC16F84A"));
    EXPECT_TRUE(Has(rig.stdoutText, "it is the selected chip PIC16F84A"));
    EXPECT_TRUE(Has(rig.stdoutText, "the catalogue expects 0x0540 for PIC16F84A"));

    CliRig a877("PIC16F877A");
    ASSERT_EQ(a877.Run({"--device", "PIC16F877A", "id"}), 0) << a877.stderrText;
    EXPECT_TRUE(Has(a877.stdoutText, "revision 1: PIC16F877A")) << a877.stdoutText;
    EXPECT_FALSE(Has(a877.stdoutText, "note:")) << a877.stdoutText;

    EXPECT_EQ(a877.Run({"id"}), 1);
    EXPECT_TRUE(Has(a877.stdoutText, "it is not the selected chip PIC16F84A")) << a877.stdoutText;

    CliRig empty("PIC16F84A", [] {
        sim::FaultPlan plan;
        plan.noChip = true;
        return plan;
    }());
    EXPECT_EQ(empty.Run({"id"}), 1);
    EXPECT_TRUE(Has(empty.stdoutText, "empty socket")) << empty.stdoutText;

    const int opens = rig.backend->opens;
    for (const char* chip : {"PIC16F54", "PIC12F509", "PIC16F84"}) {
        EXPECT_EQ(rig.Run({"--device", chip, "id"}), 2) << chip;
        EXPECT_TRUE(Has(rig.stderrText, std::string(chip) + " has no device ID word"))
            << rig.stderrText;
    }
    EXPECT_EQ(rig.backend->opens, opens);
}

TEST_F(CliSession, CalibrationOptionsReachTheDevice) {
    CliRig chip("PIC12F629");
    const std::uint32_t osccal = chip.Peek(Space::Program, 0x3FF);
    ASSERT_NE(osccal, 0x3FFFu);
    ASSERT_EQ(chip.Run({"--device", "PIC12F629", "erase"}), 0) << chip.stderrText;
    EXPECT_EQ(chip.Peek(Space::Program, 0x3FF), osccal);

    // A file with a blank calibration word: left out while calibration is kept, compared
    // when asked to.
    const std::string blank = dir.Write("blank.hex", ":00000001FF\n");
    EXPECT_EQ(chip.Run({"--device", "PIC12F629", "verify", blank, "--memories", "program"}), 0)
        << chip.stderrText;
    EXPECT_EQ(chip.Run({"--device", "PIC12F629", "--compare-calibration", "verify", blank,
                        "--memories", "program"}),
              1);
    EXPECT_TRUE(Has(chip.stderrText, "program memory differs at 0x03FF")) << chip.stderrText;
    EXPECT_EQ(chip.Run({"--device", "PIC12F629", "--no-keep-calibration", "verify", blank,
                        "--memories", "program"}),
              1);

    ASSERT_EQ(chip.Run({"--device", "PIC12F629", "--no-keep-calibration", "erase"}), 0)
        << chip.stderrText;
    EXPECT_EQ(chip.Peek(Space::Program, 0x3FF), 0x3FFFu);
}

TEST_F(CliSession, AWriteThatKeptTheCalibrationWordVerifiesAgainstTheSameFile) {
    const std::string program = dir.Write("p.hex", ":02000000050AEF\n:00000001FF\n");
    for (const char* name : {"PIC12F629", "PIC12F675", "PIC12F508", "PIC12F509"}) {
        CliRig chip(name);
        ASSERT_EQ(chip.Run({"--device", name, "write", program}), 0) << name << chip.stderrText;
        EXPECT_EQ(chip.Run({"--device", name, "verify", program}), 0) << name << chip.stderrText;
        EXPECT_EQ(chip.Run({"--device", name, "--compare-calibration", "verify", program}), 1)
            << name;
    }
}

TEST_F(CliSession, ProgressBarOnlyOnATerminalAndNotWhenQuiet) {
    ASSERT_EQ(rig.Run({"erase"}, true), 0);
    ASSERT_EQ(rig.Run({"read", "-o", dir.File("a.hex")}, true), 0);
    EXPECT_TRUE(Has(rig.stderrText, "\r")) << rig.stderrText;
    EXPECT_TRUE(Has(rig.stderrText, "プログラムメモリー読み出し中... [#")) << rig.stderrText;

    ASSERT_EQ(rig.Run({"read", "-o", dir.File("b.hex")}, false), 0);
    EXPECT_EQ(rig.stderrText, "");
    ASSERT_EQ(rig.Run({"--quiet", "read", "-o", dir.File("c.hex")}, true), 0);
    EXPECT_EQ(rig.stderrText, "");
    EXPECT_EQ(rig.stdoutText, "");
}

TEST_F(CliSession, TraceShowsTheBytes) {
    ASSERT_EQ(rig.Run({"--trace", "ping"}, true), 0);
    EXPECT_TRUE(Has(rig.stderrText, "\nTx: 00 ")) << rig.stderrText;
    EXPECT_TRUE(Has(rig.stderrText, "\nRx: A5 ")) << rig.stderrText;
    EXPECT_FALSE(Has(rig.stderrText, "%"));  // no bar mixed into the trace
}

TEST(CliSimulate, ServesEveryPortFromTheVirtualProgrammer) {
    VirtualClock clock;
    CliEnvironment env;
    env.out = std::tmpfile();
    env.err = std::tmpfile();
    env.clock = &clock;
    EXPECT_EQ(RunCli({"--simulate=PIC16F877A", "--port", "COM42", "id"}, env), 1);
    ASSERT_TRUE(env.simulated);

    CliEnvironment env2;
    env2.out = env.out;
    env2.err = env.err;
    env2.clock = &clock;
    EXPECT_EQ(RunCli({"--simulate=PIC99X", "ping"}, env2), 2);
    EXPECT_FALSE(env2.simulated);

    // Ping needs no chip model.
    CliEnvironment env3;
    env3.out = env.out;
    env3.err = env.err;
    env3.clock = &clock;
    if (!sim::CreateChip("dsPIC30F4013")) {
        EXPECT_EQ(RunCli({"--simulate", "--device", "dsPIC30F4013", "ping"}, env3), 0);
        EXPECT_TRUE(env3.simulated);
    }
    std::fclose(env.out);
    std::fclose(env.err);
}

}  // namespace
}  // namespace tenlo::cli::testing

namespace tenlo::cli::testing {
namespace {

struct UpdateRun {
    int code = 0;
    std::string out;
    std::string err;
    std::shared_ptr<sim::CJdmPortBackend> jdm;
};

UpdateRun RunUpdate(std::vector<std::string> args) {
    VirtualClock clock;
    CliEnvironment env;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    env.out = out;
    env.err = err;
    env.clock = &clock;
    UpdateRun run;
    run.code = RunCli(args, env);
    run.jdm = std::dynamic_pointer_cast<sim::CJdmPortBackend>(env.backend);
    auto slurp = [](std::FILE* f) {
        std::string text;
        std::rewind(f);
        for (int c = std::fgetc(f); c != EOF; c = std::fgetc(f)) {
            text += static_cast<char>(c);
        }
        std::fclose(f);
        return text;
    };
    run.out = slurp(out);
    run.err = slurp(err);
    return run;
}

TEST(CliUpdateFirmware, RunsTheUpdaterFlowOnTheSimulatedJdmChip) {
    TempDir dir;
    // Two words and a configuration word of 0x3FC4.
    const std::string firmware =
        dir.Write("fw.hex", ":040000000528FF3F91\n:02400E00C43FAD\n:00000001FF\n");
    UpdateRun run = RunUpdate({"--simulate", "update-firmware", "--file", firmware});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "ファームウエア書き込み完了\n");
    EXPECT_TRUE(Has(run.err, "イレース中...")) << run.err;
    EXPECT_TRUE(Has(run.err, "ベリファイ中...")) << run.err;
    ASSERT_TRUE(run.jdm);
    EXPECT_EQ(run.jdm->Chip().ProgramWord(0), 0x2805u);
    EXPECT_EQ(run.jdm->Chip().ProgramWord(1), 0x3FFFu);
    EXPECT_EQ(run.jdm->Chip().ConfigWord() & 0x01FF, 0x01C4u);
    EXPECT_EQ(run.jdm->Chip().OscCal(), sim::CJdmChip::kFactoryOscCal);

    run = RunUpdate({"--simulate", "--quiet", "update-firmware", "--file", firmware});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
}

TEST(CliUpdateFirmware, FileProblemsExitFour) {
    TempDir dir;
    UpdateRun run = RunUpdate({"--simulate", "update-firmware", "--file", dir.File("none.hex")});
    EXPECT_EQ(run.code, 4);
    EXPECT_TRUE(Has(run.err, "を開けません。")) << run.err;
    EXPECT_TRUE(Has(run.err, dir.File("none.hex"))) << run.err;

    // Data EEPROM has no place in the programmer's firmware.
    run = RunUpdate({"--simulate", "update-firmware", "--file", ExampleHex()});
    EXPECT_EQ(run.code, 4);
    EXPECT_TRUE(Has(run.err, "の読み込みに失敗しました。")) << run.err;
}

}  // namespace
}  // namespace tenlo::cli::testing
