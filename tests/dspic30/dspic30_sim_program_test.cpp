// ravonite-sim with a dsPIC30F in its socket, as a user runs it: its state file in Microchip's
// dsPIC layout on the way in and out, the chip reached over a real pseudo-terminal.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "device/catalogue.h"
#include "device/dspic30/dspic30_device.h"
#include "e2e/process.h"
#include "hexfile/image_hex.h"
#include "sim/chips/dspic30f_chip.h"
#include "sim/state_file.h"

namespace tenlo {
namespace {

namespace fs = std::filesystem;
using sim::Space;

class DsPic30State : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("tenlo-dspic-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "ports");
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    fs::path dir_;
};

// What the simulator saves is what tenlo-cli reads as a file for the chip, cell for cell.
TEST_F(DsPic30State, SavedChipsLoadBackAndReadAsTheChipsOwnFiles) {
    const int index = FindCatalogueIndex("dsPIC30F4013");
    auto chip = sim::CreateDsPic30FChip("dsPIC30F4013");
    for (std::uint32_t i = 0; i < 16384; ++i) {
        chip->Poke(Space::Program, i, (i * 0x3A5u + 1) & 0xFFFFFF);
    }
    for (std::uint32_t i = 0; i < 1024; ++i) {
        chip->Poke(Space::Data, i, i ^ 0xA5);
    }
    for (std::uint32_t k = 0; k < 7; ++k) {
        chip->Poke(Space::Config, 0xF80000 + 2 * k, 0x0101 * k);
    }
    std::string error;
    ASSERT_TRUE(sim::SaveChipState(*chip, Path("4013.hex"), error)) << error;

    auto copy = sim::CreateDsPic30FChip("dsPIC30F4013");
    ASSERT_TRUE(sim::LoadChipState(*copy, Path("4013.hex"), error)) << error;
    const DeviceLayout layout = *CatalogueLayout(index);
    CMemoryImage image(layout);
    ASSERT_EQ(LoadProgramHex(Path("4013.hex"), image, true), HexLoadResult::Ok);
    auto same = [&](Space space, std::uint32_t address, std::uint32_t cellInImage, Memory memory) {
        std::uint32_t a = 0;
        std::uint32_t b = 1;
        chip->Peek(space, address, a);
        copy->Peek(space, address, b);
        EXPECT_EQ(a, b) << std::hex << address;
        EXPECT_EQ(image.Get(memory, cellInImage), a) << std::hex << address;
    };
    for (std::uint32_t i = 0; i < 16384; i += 97) {
        same(Space::Program, i, i, Memory::Program);
    }
    for (std::uint32_t i = 0; i < 1024; ++i) {
        same(Space::Data, i, i, Memory::Data);
    }
    for (std::uint32_t k = 0; k < 7; ++k) {
        same(Space::Config, 0xF80000 + 2 * k, k, Memory::Config);
    }
}

// The program itself: a state file goes in, the device reads and writes the chip over the pty,
// and the chip comes out again at SIGTERM.
TEST_F(DsPic30State, RavoniteSimServesADsPic) {
    const int index = FindCatalogueIndex("dsPIC30F2011");
    const DeviceLayout layout = *CatalogueLayout(index);
    CMemoryImage start(layout);
    start.Set(Memory::Config, 0, 0x1234);
    ASSERT_TRUE(SaveProgramHex(Path("state.hex"), start, {.microchipLayout = true}));

    const std::string portDir = (dir_ / "ports").string();
    ::setenv("TENLO_PORT_DIR", portDir.c_str(), 1);
    e2e::Process program;
    ASSERT_TRUE(program.Start(
        {RAVONITE_SIM_PATH, "--chip", "dsPIC30F2011", "--com", "9", "--state", Path("state.hex")},
        {"TENLO_PORT_DIR=" + portDir}));
    const auto ready = program.ReadLine();
    ASSERT_TRUE(ready.has_value());
    ASSERT_EQ(ready->rfind("ready ", 0), 0u) << *ready;
    {
        CProgrammerLink link;
        link.Connect(ProgrammerPortDefinition(9));
        ASSERT_TRUE(link.IsConnected());
        DeviceOptions options;
        auto device = CreateDevice(index, link, &options, nullptr);
        ASSERT_TRUE(device->Initialize());
        std::uint16_t id = 0;
        ASSERT_TRUE(device->RunReadDeviceId(id));
        EXPECT_EQ(id, 0x0240);

        CMemoryImage image(layout);
        ASSERT_TRUE(device->RunReadConfig(image.Config()));
        EXPECT_EQ(image.Get(Memory::Config, 0), 0x1234u);
        for (std::uint32_t k = 0; k < 7; ++k) {
            image.Set(Memory::Config, k, 0);
        }
        ASSERT_TRUE(device->RunWriteConfig(image.Config()));
        link.Disconnect();
    }
    ::unsetenv("TENLO_PORT_DIR");
    program.Kill(SIGTERM);
    EXPECT_EQ(program.Wait(std::chrono::seconds(5)), 0);

    CMemoryImage saved(layout);
    ASSERT_EQ(LoadProgramHex(Path("state.hex"), saved, true), HexLoadResult::Ok);
    const std::uint32_t kZerosThroughTheMasks[] = {0x0000, 0x0000, 0x0700, 0x310F,
                                                   0x330F, 0x0004, 0x0000};
    for (std::uint32_t k = 0; k < 7; ++k) {
        EXPECT_EQ(saved.Get(Memory::Config, k), kZerosThroughTheMasks[k]) << k;
    }
}

}  // namespace
}  // namespace tenlo
