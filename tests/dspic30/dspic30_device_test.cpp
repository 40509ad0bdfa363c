// The dsPIC30F device against the simulated chips: the bytes it sends, what ends up in the
// chip, and how it stops when the line fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "device/dspic30/dspic30_device.h"
#include "device/progress_texts.h"
#include "support/sim_rig.h"

namespace tenlo {
namespace {

using sim::Space;
using testing::SimRig;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kConfig = 0xF80000;

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// One DsSix command carrying the instructions, each as three bytes, low first.
Bytes Six(std::initializer_list<std::uint32_t> instructions) {
    Bytes bytes{0x30, static_cast<std::uint8_t>(instructions.size())};
    for (std::uint32_t i : instructions) {
        bytes.insert(bytes.end(), {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i >> 8),
                                   static_cast<std::uint8_t>(i >> 16)});
    }
    return bytes;
}

Bytes Enter(std::uint8_t option) {
    return {0x06, 0x0A, option, 0x03};
}
const Bytes kExit{0x06};

// How many times the wire holds the command byte at a command position is hard to tell from
// the bytes alone; the firmware's own count is exact.
std::uint64_t Count(SimRig& rig, std::uint8_t code) {
    return rig.Commands(code);
}

// A known image: program words, data bytes and configuration cells that differ from cell to
// cell and from the erased values.
void FillImage(CMemoryImage& image) {
    const DeviceLayout& l = image.Layout();
    for (std::uint32_t i = 0; i < l.programSize; ++i) {
        image.Set(Memory::Program, i, (i * 0x9E3779u + 0x1234u) & 0xFFFFFF);
    }
    for (std::uint32_t i = 0; i < l.dataSize; ++i) {
        image.Set(Memory::Data, i, (i * 37u + 11u) & 0xFF);
    }
    const std::uint16_t config[] = {0x8703, 0x003F, 0x0733, 0x0000, 0xFFFF, 0x0002, 0x4001};
    for (std::uint32_t k = 0; k < l.configCount; ++k) {
        image.Set(Memory::Config, k, config[k]);
    }
}

CDsPic30Device& DsDevice(SimRig& rig) {
    return dynamic_cast<CDsPic30Device&>(*rig.device);
}

TEST(DsPic30Device, InitializeSwitchesTheSocketOffAndSetsTheDataStart) {
    SimRig rig("dsPIC30F4013");
    ASSERT_TRUE(rig.device);
    rig.wire->Clear();
    EXPECT_TRUE(rig.device->Initialize());
    EXPECT_EQ(rig.wire->Written(), (Bytes{0x04}));
    EXPECT_EQ(rig.device->Layout().dataStart, 0x7FFC00u);
    EXPECT_EQ(rig.device->Layout(), *CatalogueLayout(FindCatalogueIndex("dsPIC30F4013")));

    SimRig none("dsPIC30F2011");
    none.device->Initialize();
    EXPECT_EQ(none.device->Layout().dataStart, 0x800000u);
    EXPECT_EQ(none.device->Layout().dataGrid.baseAddress, 0x800000u);

    // No ID check and no separate erases on these parts: nothing is sent, nothing claimed.
    rig.wire->Clear();
    EXPECT_FALSE(rig.device->CheckDeviceId());
    EXPECT_FALSE(rig.device->EraseProgram());
    EXPECT_FALSE(rig.device->EraseData());
    EXPECT_TRUE(rig.wire->Written().empty());
}

TEST(DsPic30Device, TwentyEightPinPartsEnterWithOption15TheOthersWith7) {
    const std::pair<const char*, std::uint8_t> kParts[] = {
        {"dsPIC30F2010", 15}, {"dsPIC30F3013", 15}, {"dsPIC30F4012", 15},  // 28 pins
        {"dsPIC30F3012", 7},  {"dsPIC30F2011", 7},                         // 18 pins
        {"dsPIC30F4013", 7},  {"dsPIC30F3011", 7},                         // 40 pins
    };
    for (const auto& [name, option] : kParts) {
        SCOPED_TRACE(name);
        SimRig rig(name);
        CMemoryImage image(rig.device->Layout());
        rig.wire->Clear();
        ASSERT_TRUE(rig.device->RunReadConfig(image.Config()));
        const Bytes written = rig.wire->Written();
        ASSERT_GE(written.size(), 4u);
        EXPECT_EQ(Bytes(written.begin(), written.begin() + 4), Enter(option));
    }
}

TEST(DsPic30Device, ConfigurationIsReadFromTheConfigurationPage) {
    SimRig rig("dsPIC30F3012");
    for (std::uint32_t k = 0; k < 7; ++k) {
        rig.Poke(Space::Config, kConfig + 2 * k, 0x0100 * k + 0x11);
    }
    CMemoryImage image(rig.device->Layout());
    rig.wire->Clear();
    ASSERT_TRUE(rig.device->RunReadConfig(image.Config()));
    const Bytes expected =
        Cat({Enter(7), Six({0, 0, 0x040100, 0, 0x200F80, 0x880190, 0xEB0300, 0xEB0380}),
             Bytes(7, 0x33), kExit});
    EXPECT_EQ(rig.wire->Written(), expected);
    for (std::uint32_t k = 0; k < 7; ++k) {
        EXPECT_EQ(image.Get(Memory::Config, k), 0x0100 * k + 0x11) << k;
    }
    EXPECT_EQ(rig.progress.Texts(), std::vector<std::string>{std::string(kTextReadConfigShort)});
}

TEST(DsPic30Device, DataEepromOfA4013IsReadFrom0x7FFC00) {
    SimRig rig("dsPIC30F4013");
    rig.device->Initialize();
    for (std::uint32_t i = 0; i < 1024; ++i) {
        rig.Poke(Space::Data, i, (i * 7) & 0xFF);
    }
    CMemoryImage image(rig.device->Layout());
    rig.wire->Clear();
    ASSERT_TRUE(rig.device->RunReadData(image.Data()));
    // TBLPAG 0x7F, W6 0xFC00, then 128 reads of eight bytes.
    const Bytes head = Cat({Enter(7), Six({0, 0, 0x040100, 0, 0x2007F0, 0x880190, 0x2FC006})});
    const Bytes written = rig.wire->Written();
    ASSERT_GE(written.size(), head.size());
    EXPECT_EQ(Bytes(written.begin(), written.begin() + static_cast<long>(head.size())), head);
    EXPECT_EQ(Count(rig, 0x34), 128u);
    for (std::uint32_t i = 0; i < 1024; ++i) {
        ASSERT_EQ(image.Get(Memory::Data, i), (i * 7) & 0xFF) << i;
    }
}

TEST(DsPic30Device, ProgramIsReadFromAddressZeroFourInstructionsAtATime) {
    SimRig rig("dsPIC30F2010");
    rig.Poke(Space::Program, 0, 0x040100);
    rig.Poke(Space::Program, 4095, 0xABCDEF);
    CMemoryImage image(rig.device->Layout());
    rig.wire->Clear();
    ASSERT_TRUE(rig.device->RunReadProgram(image.Program()));
    const Bytes expected = Cat({Enter(15), Six({0, 0, 0x040100, 0, 0x200000, 0x880190, 0x200006}),
                                Bytes(1024, 0x32), kExit});
    EXPECT_EQ(rig.wire->Written(), expected);
    EXPECT_EQ(image.Get(Memory::Program, 0), 0x040100u);
    EXPECT_EQ(image.Get(Memory::Program, 1), 0xFFFFFFu);
    EXPECT_EQ(image.Get(Memory::Program, 4095), 0xABCDEFu);
    // Progress after every block, by the share done before it.
    const std::vector<int> positions = rig.progress.Positions();
    ASSERT_EQ(positions.size(), 1u + 1024u);  // the opening 0, then one per block
    EXPECT_EQ(positions[1], 0);
    EXPECT_EQ(positions.back(), 99);
}

// The configuration written for an all-ones and an all-zeros image tells the three groups
// apart: the 4012 group keeps fewer FOSC bits, the 3012 group forces three FBORPOR bits.
TEST(DsPic30Device, ConfigurationGoesThroughTheMasksOfTheChipsGroup) {
    using Regs = std::vector<std::uint32_t>;
    const Regs kOnes3012{0xC71F, 0x803F, 0x87B3, 0x310F, 0x330F, 0x0007, 0xC003};
    const Regs kOnes4012{0xC30F, 0x803F, 0x87B3, 0x310F, 0x330F, 0x0007, 0xC003};
    const Regs kZeros3012{0x0000, 0x0000, 0x0700, 0x310F, 0x330F, 0x0004, 0x0000};
    const Regs kZeros3010{0x0000, 0x0000, 0x0000, 0x310F, 0x330F, 0x0004, 0x0000};
    struct Part {
        const char* name;
        const Regs& ones;
        const Regs& zeros;
    };
    const Part kParts[] = {
        {"dsPIC30F2011", kOnes3012, kZeros3012}, {"dsPIC30F2012", kOnes3012, kZeros3012},
        {"dsPIC30F3012", kOnes3012, kZeros3012}, {"dsPIC30F3013", kOnes3012, kZeros3012},
        {"dsPIC30F3014", kOnes3012, kZeros3012}, {"dsPIC30F4013", kOnes3012, kZeros3012},
        {"dsPIC30F3010", kOnes3012, kZeros3010}, {"dsPIC30F3011", kOnes3012, kZeros3010},
        {"dsPIC30F2010", kOnes4012, kZeros3010}, {"dsPIC30F4011", kOnes4012, kZeros3010},
        {"dsPIC30F4012", kOnes4012, kZeros3010},
    };
    auto chipConfig = [](SimRig& rig) {
        Regs regs;
        for (std::uint32_t k = 0; k < 7; ++k) {
            regs.push_back(rig.Peek(Space::Config, kConfig + 2 * k));
        }
        return regs;
    };
    for (const Part& p : kParts) {
        SCOPED_TRACE(p.name);
        SimRig rig(p.name);
        CMemoryImage image(rig.device->Layout());  // blank: every cell 0xFFFF
        ASSERT_TRUE(rig.device->RunWriteConfig(image.Config()));
        EXPECT_EQ(chipConfig(rig), p.ones);
        for (std::uint32_t k = 0; k < 7; ++k) {
            image.Set(Memory::Config, k, 0);
        }
        ASSERT_TRUE(rig.device->RunWriteConfig(image.Config()));
        EXPECT_EQ(chipConfig(rig), p.zeros);
    }

    // On the wire: W7 at the first register, then one word and one commit per register.
    SimRig rig("dsPIC30F3012");
    CMemoryImage image(rig.device->Layout());
    rig.wire->Clear();
    ASSERT_TRUE(rig.device->RunWriteConfig(image.Config()));
    Bytes expected = Cat({Enter(7), Six({0, 0, 0x040100, 0, 0x200007})});
    for (std::uint32_t value : kOnes3012) {
        expected.insert(expected.end(), {0x36, static_cast<std::uint8_t>(value),
                                         static_cast<std::uint8_t>(value >> 8), 0x38});
    }
    expected.push_back(0x06);
    EXPECT_EQ(rig.wire->Written(), expected);
    EXPECT_EQ(rig.progress.Texts(), std::vector<std::string>{std::string(kTextWriteConfigShort)});
}

TEST(DsPic30Device, PartsWithoutDataEepromRunTheirDataOperationsEmpty) {
    for (const char* name : {"dsPIC30F2011", "dsPIC30F2012"}) {
        SCOPED_TRACE(name);
        SimRig rig(name);
        rig.device->Initialize();
        CMemoryImage image(rig.device->Layout());
        CompareResult result;
        ASSERT_TRUE(rig.device->RunWriteData(image.Data()));
        ASSERT_TRUE(rig.device->RunReadData(image.Data()));
        ASSERT_TRUE(rig.device->RunCompareData(image.Data(), result));
        EXPECT_EQ(result.done, 1);
        EXPECT_EQ(result.match, 1);
        for (std::uint8_t code : {0x34, 0x37, 0x3A, 0x38}) {
            EXPECT_EQ(Count(rig, code), 0u) << std::hex << int{code};
        }
        // Each entered and left programming mode.
        EXPECT_EQ(Count(rig, 0x03), 3u);
        EXPECT_FALSE(rig.Powered());
        EXPECT_EQ(rig.progress.Texts(),
                  (std::vector<std::string>{std::string(kTextWriteData), std::string(kTextReadData),
                                            std::string(kTextCompareData)}));
    }
}

// Erase, write, read back and compare, and every cell checked on the chip itself: one chip of
// each group and one without data EEPROM.
TEST(DsPic30Device, EveryGroupRoundTripsAKnownImage) {
    for (const char* name : {"dsPIC30F3012", "dsPIC30F3010", "dsPIC30F4012", "dsPIC30F2011"}) {
        SCOPED_TRACE(name);
        SimRig rig(name);
        rig.device->Initialize();
        CDsPic30Device& device = DsDevice(rig);
        const DeviceLayout& layout = device.Layout();
        CMemoryImage image(layout);
        FillImage(image);

        ASSERT_TRUE(device.RunErase());
        ASSERT_TRUE(device.RunWriteProgram(image.Program()));
        ASSERT_TRUE(device.RunWriteData(image.Data()));
        ASSERT_TRUE(device.RunWriteConfig(image.Config()));
        for (std::uint32_t i = 0; i < layout.programSize; ++i) {
            ASSERT_EQ(rig.Peek(Space::Program, i), image.Get(Memory::Program, i)) << i;
        }
        for (std::uint32_t i = 0; i < layout.dataSize; ++i) {
            ASSERT_EQ(rig.Peek(Space::Data, i), image.Get(Memory::Data, i)) << i;
        }
        for (std::uint32_t k = 0; k < layout.configCount; ++k) {
            EXPECT_EQ(rig.Peek(Space::Config, kConfig + 2 * k),
                      device.ConfigValue(k, image.Get(Memory::Config, k)))
                << k;
        }

        CMemoryImage back(layout);
        ASSERT_TRUE(device.RunReadProgram(back.Program()));
        ASSERT_TRUE(device.RunReadData(back.Data()));
        ASSERT_TRUE(device.RunReadConfig(back.Config()));
        EXPECT_TRUE(std::ranges::equal(back.Bytes(Memory::Program), image.Bytes(Memory::Program)));
        EXPECT_TRUE(std::ranges::equal(back.Bytes(Memory::Data), image.Bytes(Memory::Data)));

        CompareResult program;
        CompareResult config;
        CompareResult data;
        ASSERT_TRUE(device.RunCompareProgram(image.Program(), program));
        ASSERT_TRUE(device.RunCompareConfig(image.Config(), config));
        ASSERT_TRUE(device.RunCompareData(image.Data(), data));
        for (const CompareResult& result : {program, config, data}) {
            EXPECT_EQ(result.done, 1);
            EXPECT_EQ(result.match, 1) << std::hex << result.address;
        }
        EXPECT_FALSE(rig.Powered());
    }
}

TEST(DsPic30Device, ProgramRowsGoOutAsEightPackedBlocksAndACommit) {
    SimRig rig("dsPIC30F2012");
    CMemoryImage image(rig.device->Layout());
    image.Set(Memory::Program, 32, 0x123456);
    image.Set(Memory::Program, 33, 0xABCDEF);
    rig.wire->Clear();
    ASSERT_TRUE(rig.device->RunWriteProgram(image.Program()));
    const Bytes written = rig.wire->Written();
    // The second row: its address (0x40: upper, low, middle byte), then the first block packed.
    const Bytes row =
        Cat({{0x39, 0x00, 0x40, 0x00},
             {0x35, 0x56, 0x34, 0x12, 0xAB, 0xEF, 0xCD, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}});
    const Bytes head = Cat({Enter(15), Six({0, 0, 0x040100, 0})});
    EXPECT_EQ(Bytes(written.begin(), written.begin() + static_cast<long>(head.size())), head);
    const std::size_t rowBytes = 4 + 8 * 13 + 1;
    const auto second = written.begin() + static_cast<long>(head.size() + rowBytes);
    EXPECT_EQ(Bytes(second, second + static_cast<long>(row.size())), row);
    EXPECT_EQ(written.size(), head.size() + 4096 / 32 * rowBytes + kExit.size());
    EXPECT_EQ(rig.Peek(Space::Program, 33), 0xABCDEFu);
    EXPECT_EQ(Count(rig, 0x38), 128u);
}

TEST(DsPic30Device, EraseRunsSixStepsThenTheChipHoldsTheDefaults) {
    SimRig rig("dsPIC30F3013");
    rig.Poke(Space::Program, 100, 0);
    rig.Poke(Space::Data, 5, 0);
    rig.Poke(Space::Config, kConfig, 0);
    rig.wire->Clear();
    ASSERT_TRUE(rig.device->RunErase());
    EXPECT_EQ(rig.Peek(Space::Program, 100), 0xFFFFFFu);
    EXPECT_EQ(rig.Peek(Space::Data, 5), 0xFFu);
    const std::uint32_t kDefaults[] = {0xC100, 0x803F, 0x87B3, 0x310F, 0x330F, 0x0007, 0xC003};
    for (std::uint32_t k = 0; k < 7; ++k) {
        EXPECT_EQ(rig.Peek(Space::Config, kConfig + 2 * k), kDefaults[k]) << k;
    }
    EXPECT_EQ(rig.progress.Texts(), std::vector<std::string>{std::string(kTextErase)});
    EXPECT_EQ(rig.progress.Positions(), (std::vector<int>{0, 16, 33, 50, 66, 83, 100}));
    // The erase itself: NVMCON 0x407F through W10, then the firmware's commit.
    const Bytes erase =
        Cat({Enter(15), Six({0, 0, 0x040100, 0, 0x2407FA, 0x883B0A}), {0x38}, kExit, Enter(15)});
    const Bytes written = rig.wire->Written();
    EXPECT_EQ(Bytes(written.begin(), written.begin() + static_cast<long>(erase.size())), erase);
    EXPECT_FALSE(rig.Powered());
    EXPECT_TRUE(rig.window.Enabled());
}

// Frames as the firmware counts its answers: entering programming mode takes four (power off,
// option code, option byte, power on).
TEST(DsPic30Device, AFailedEraseStepEndsTheEraseWithThePowerOff) {
    struct Case {
        const char* step;
        std::set<std::uint64_t> frames;
        bool erased;
        bool ok;
    };
    // 1-4 enter, 5-12 the erase instructions, 13 the commit, 14 power off, 15-18 enter,
    // 19-39 the defaults (three answers a register), 40 power off. A power-off whose answer
    // is lost is sent again: it fails the erase only when every attempt does.
    const Case kCases[] = {
        {"enter", {3}, false, false},           {"bulk erase", {5}, false, false},
        {"first exit, once", {14}, true, true}, {"first exit", {14, 15, 16}, true, false},
        {"defaults", {22}, true, false},        {"last exit", {40, 41, 42}, true, false}};
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.step);
        sim::FaultPlan faults;
        faults.noAckFrames = c.frames;
        SimRig rig("dsPIC30F4012", faults);
        rig.Poke(Space::Program, 0, 0);
        EXPECT_EQ(rig.device->RunErase(), c.ok);
        EXPECT_FALSE(rig.Powered());
        EXPECT_EQ(rig.Peek(Space::Program, 0), c.erased ? 0xFFFFFFu : 0u);
        const std::vector<int> positions = rig.progress.Positions();
        EXPECT_EQ(!positions.empty() && positions.back() == 100, c.ok);
        EXPECT_EQ(rig.progress.Events().back(), "close");
        EXPECT_TRUE(rig.window.Enabled());
    }
}

TEST(DsPic30Device, AMissingAcknowledgementMidRowStopsTheWrite) {
    // 1-4 enter, 5-10 the write prefix, 11-29 the first row, 30-31 the second row's address,
    // 32-37 its first three blocks: the third block's data goes unanswered.
    sim::FaultPlan faults;
    faults.noAckFrames.insert(37);
    SimRig rig("dsPIC30F3012", faults);
    CMemoryImage image(rig.device->Layout());
    for (std::uint32_t i = 0; i < 64; ++i) {
        image.Set(Memory::Program, i, 0x000100 + i);
    }
    EXPECT_FALSE(rig.device->RunWriteProgram(image.Program()));
    EXPECT_FALSE(rig.Powered());
    EXPECT_EQ(Count(rig, 0x35), 8u + 3u);  // nothing after the failed block
    EXPECT_EQ(Count(rig, 0x38), 1u);
    EXPECT_EQ(rig.Peek(Space::Program, 31), 0x00011Fu);  // the first row is in
    EXPECT_EQ(rig.Peek(Space::Program, 32), 0xFFFFFFu);  // the second never committed
    EXPECT_EQ(rig.wire->Written().back(), 0x06);
    EXPECT_TRUE(rig.window.Enabled());
}

TEST(DsPic30Device, ComparesReportTheFirstDifferenceWhereTheChipHasIt) {
    SimRig rig("dsPIC30F4013");
    rig.device->Initialize();
    CMemoryImage image(rig.device->Layout());
    CompareResult result;

    // Program: word address, values in 24 bits. A phantom byte in the image is no difference.
    image.Set(Memory::Program, 0, 0xFF000000 | 0xFFFFFF);
    rig.Poke(Space::Program, 4097, 0x00FF00);
    ASSERT_TRUE(rig.device->RunCompareProgram(image.Program(), result));
    EXPECT_EQ(result.done, 1);
    EXPECT_EQ(result.match, 0);
    EXPECT_EQ(result.address, 4097u);
    EXPECT_EQ(result.expected, 0xFFFFFFu);
    EXPECT_EQ(result.read, 0x00FF00u);

    // Configuration: 0xF80000 + register index, as the grid numbers the registers, expected as
    // the write would have sent it, in the bits the register has.
    rig.Poke(Space::Config, kConfig, 0xC71F);
    rig.Poke(Space::Config, kConfig + 2, 0x7FFF);
    ASSERT_TRUE(rig.device->RunCompareConfig(image.Config(), result));
    EXPECT_EQ(result.match, 0);
    EXPECT_EQ(result.address, 0xF80001u);  // FOSC matches (0xFFFF in the image is 0xC71F)
    EXPECT_EQ(result.expected, 0x803Fu);
    EXPECT_EQ(result.read, 0x003Fu);

    // Data: the device address of the byte.
    rig.Poke(Space::Data, 1001, 0x5A);
    ASSERT_TRUE(rig.device->RunCompareData(image.Data(), result));
    EXPECT_EQ(result.match, 0);
    EXPECT_EQ(result.address, 0x7FFC00u + 1001u);
    EXPECT_EQ(result.expected, 0xFFu);
    EXPECT_EQ(result.read, 0x5Au);
    EXPECT_EQ(rig.progress.Texts(), (std::vector<std::string>{std::string(kTextCompareProgram),
                                                              std::string(kTextCompareConfigShort),
                                                              std::string(kTextCompareData)}));
}

TEST(DsPic30Device, RegistersAreComparedOnlyInTheBitsTheyImplement) {
    // A chip reads what it does not implement as 0: FBS and FSS whole, FGS bit 2, and on the
    // parts without motor-control PWM, FBORPOR bits 10:8. It still verifies.
    for (const char* chip : {"dsPIC30F4013", "dsPIC30F4012"}) {
        SCOPED_TRACE(chip);
        SimRig rig(chip);
        rig.device->Initialize();
        auto& device = DsDevice(rig);
        CMemoryImage image(device.Layout());
        ASSERT_TRUE(device.RunWriteConfig(image.Config()));
        for (std::size_t reg = 0; reg < 7; ++reg) {
            const auto address = static_cast<std::uint32_t>(kConfig + 2 * reg);
            rig.Poke(Space::Config, address,
                     rig.Peek(Space::Config, address) & device.Implemented()[reg]);
        }
        CompareResult result;
        ASSERT_TRUE(device.RunCompareConfig(image.Config(), result));
        EXPECT_EQ(result.match, 1) << std::hex << result.address;

        // A bit that is there still counts.
        rig.Poke(Space::Config, kConfig + 2 * 5, 0x0001);  // GCP on
        ASSERT_TRUE(device.RunCompareConfig(image.Config(), result));
        EXPECT_EQ(result.match, 0);
        EXPECT_EQ(result.address, 0xF80005u);
        EXPECT_EQ(result.expected, 0x0003u);
        EXPECT_EQ(result.read, 0x0001u);
    }
}

TEST(DsPic30Device, ACompareThatLosesTheLineHasNoVerdict) {
    sim::FaultPlan faults;
    faults.noAckFrames.insert(20);  // a read command well after the set-up
    SimRig rig("dsPIC30F2010", faults);
    CMemoryImage image(rig.device->Layout());
    CompareResult result;
    result.done = 1;
    EXPECT_FALSE(rig.device->RunCompareProgram(image.Program(), result));
    EXPECT_EQ(result.done, 0);
    EXPECT_FALSE(rig.Powered());
}

}  // namespace
}  // namespace tenlo
