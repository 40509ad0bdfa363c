#include "sim/state_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "sim/blank_chip.h"

namespace tenlo::sim {
namespace {

namespace fs = std::filesystem;

// One Intel HEX record with its checksum.
std::string Record(std::uint8_t type, std::uint16_t address,
                   const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(data.size()),
                                       static_cast<std::uint8_t>(address >> 8),
                                       static_cast<std::uint8_t>(address), type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    std::string text = ":";
    char hex[3];
    for (std::uint8_t b : bytes) {
        sum += b;
        std::snprintf(hex, sizeof hex, "%02X", b);
        text += hex;
    }
    std::snprintf(hex, sizeof hex, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    return text + hex + "\n";
}

class StateFile : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("tenlo-state-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Write(const std::string& name, const std::string& text) {
        const std::string path = (dir_ / name).string();
        std::ofstream(path) << text;
        return path;
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    fs::path dir_;
};

std::uint32_t PeekOr(const IChipModel& chip, Space space, std::uint32_t address,
                     std::uint32_t fallback = 0xDEAD) {
    std::uint32_t value = fallback;
    chip.Peek(space, address, value);
    return value;
}

TEST_F(StateFile, ProbesTheBlankChip) {
    BlankMidrangeChip chip;
    HexLayout layout;
    ASSERT_TRUE(ProbeLayout(chip, layout));
    EXPECT_EQ(layout.programWidth, 14u);
    EXPECT_EQ(layout.programSize, 1024u);
    EXPECT_EQ(layout.configStart, 0x2000u);
    EXPECT_EQ(layout.configCount, 8u);
    EXPECT_EQ(layout.dataSize, 64u);
}

TEST_F(StateFile, SavedStateLoadsBackCellForCell) {
    BlankMidrangeChip chip;
    for (std::uint32_t a = 0; a < 1024; ++a) {
        chip.Poke(Space::Program, a, (a * 37u) & 0x3FFF);
    }
    chip.Poke(Space::Config, 0x2000, 0x0001);
    chip.Poke(Space::Config, 0x2007, 0x3FF1);
    for (std::uint32_t a = 0; a < 64; ++a) {
        chip.Poke(Space::Data, a, 255 - a);
    }
    std::string error;
    const std::string path = Path("state.hex");
    ASSERT_TRUE(SaveChipState(chip, path, error)) << error;

    BlankMidrangeChip copy;
    copy.Poke(Space::Program, 5, 0);  // the file overwrites whatever was there
    ASSERT_TRUE(LoadChipState(copy, path, error)) << error;
    for (std::uint32_t a = 0; a < 1024; ++a) {
        ASSERT_EQ(PeekOr(copy, Space::Program, a), (a * 37u) & 0x3FFF) << a;
    }
    for (std::uint32_t a = 0x2000; a < 0x2008; ++a) {
        EXPECT_EQ(PeekOr(copy, Space::Config, a), PeekOr(chip, Space::Config, a)) << a;
    }
    for (std::uint32_t a = 0; a < 64; ++a) {
        ASSERT_EQ(PeekOr(copy, Space::Data, a), 255 - a) << a;
    }
}

TEST_F(StateFile, ReadsMicrochipLayoutAndLeavesUnmentionedCells) {
    BlankMidrangeChip chip;
    chip.Poke(Space::Program, 100, 0x0123);
    std::string text = Record(0, 0x0000, {0x05, 0x28, 0xFF, 0x3F});  // words 0, 1
    text += Record(0, 0x400E, {0xF1, 0x3F});                         // configuration word
    text += Record(0, 0x4202, {0x42, 0x00});                         // EEPROM byte 1
    text += Record(1, 0, {});
    std::string error;
    ASSERT_TRUE(LoadChipState(chip, Write("prog.hex", text), error)) << error;
    EXPECT_EQ(PeekOr(chip, Space::Program, 0), 0x2805u);
    EXPECT_EQ(PeekOr(chip, Space::Config, 0x2007), 0x3FF1u);
    EXPECT_EQ(PeekOr(chip, Space::Data, 1), 0x42u);
    EXPECT_EQ(PeekOr(chip, Space::Program, 100), 0x0123u);
    EXPECT_EQ(PeekOr(chip, Space::Config, 0x2006), BlankMidrangeChip::kDeviceId);
}

// Every memory of the real chip models survives a save and a load into a fresh chip, whatever
// layout quirk the family has (12-bit configuration word at 0x1FFE, calibration words).
TEST_F(StateFile, RoundTripsTheChipModels) {
    for (const char* name : {"PIC12F508", "PIC12F509", "PIC12F629", "PIC16F84A", "PIC16F877A",
                             "PIC16F913", "PIC18F452", "PIC18F1220", "PIC18F4550"}) {
        auto chip = CreateChip(name);
        ASSERT_NE(chip, nullptr) << name;
        HexLayout layout;
        ASSERT_TRUE(ProbeLayout(*chip, layout)) << name;
        const std::uint32_t mask = (1u << layout.programWidth) - 1;
        for (std::uint32_t a = 0; a < layout.programSize; ++a) {
            chip->Poke(Space::Program, a, (a * 13u + 7) & mask);
        }
        chip->Poke(Space::Config, layout.configStart + layout.configCount - 1, 0x0AA5 & mask);
        for (std::uint32_t a = 0; a < layout.dataSize; ++a) {
            chip->Poke(Space::Data, a, a ^ 0x5A);
        }
        std::string error;
        const std::string path = Path(std::string(name) + ".hex");
        ASSERT_TRUE(SaveChipState(*chip, path, error)) << name << ": " << error;

        auto copy = CreateChip(name);
        ASSERT_TRUE(LoadChipState(*copy, path, error)) << name << ": " << error;
        for (std::uint32_t a = 0; a < layout.programSize; ++a) {
            ASSERT_EQ(PeekOr(*copy, Space::Program, a), PeekOr(*chip, Space::Program, a))
                << name << " program " << a;
        }
        for (std::uint32_t c = 0; c < layout.configCount; ++c) {
            const std::uint32_t a = layout.configStart + c;
            EXPECT_EQ(PeekOr(*copy, Space::Config, a), PeekOr(*chip, Space::Config, a))
                << name << " config " << a;
        }
        for (std::uint32_t a = 0; a < layout.dataSize; ++a) {
            ASSERT_EQ(PeekOr(*copy, Space::Data, a), PeekOr(*chip, Space::Data, a))
                << name << " data " << a;
        }
    }
}

TEST_F(StateFile, BadFilesLeaveTheChipAlone) {
    const std::vector<std::string> files = {
        Record(0, 0x0000, {0x00, 0x00}) + Record(0, 0x0800, {0x00, 0x00}),  // beyond program
        Record(0, 0x0000, {0x00, 0x00}) + ":0200000000002A\n",              // bad checksum
        Record(0, 0x0000, {0x00, 0x00}) + "garbage\n",
    };
    int n = 0;
    for (const std::string& text : files) {
        BlankMidrangeChip chip;
        std::string error;
        EXPECT_FALSE(LoadChipState(chip, Write("bad" + std::to_string(n++) + ".hex", text), error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(PeekOr(chip, Space::Program, 0), 0x3FFFu);
    }
    BlankMidrangeChip chip;
    std::string error;
    EXPECT_FALSE(LoadChipState(chip, Path("missing.hex"), error));
    EXPECT_FALSE(SaveChipState(chip, Path("no/such/dir/x.hex"), error));
}

}  // namespace
}  // namespace tenlo::sim
