// What the PIC18 groups put on the line, and what the chip made of it.
#include <gtest/gtest.h>

#include <algorithm>

#include "device/pic18/pic18_device.h"
#include "device/progress_texts.h"
#include "pic18_wire.h"

namespace tenlo::pic18 {
namespace {

using sim::Space;
using testing::SimRig;
using Item = std::pair<std::uint8_t, std::uint16_t>;

std::vector<WireCommand> Wire(SimRig& rig) {
    std::vector<WireCommand> commands;
    EXPECT_TRUE(DecodeWire(rig.wire->Written(), commands));
    return commands;
}

TEST(Pic18Wire, OneMultiPanelCycleCarriesTheBuffersOfAllFourPanels) {
    SimRig rig("PIC18F452");
    CMemoryImage image(rig.device->Layout());
    image.Set(Memory::Program, 0x1000, 0x1234);  // byte 0x2000: panel 1, offset 0
    ASSERT_TRUE(rig.device->RunWriteProgram(image.Program()));

    const auto wire = Wire(rig);
    EXPECT_EQ(Pointers(wire),
              (std::vector<std::uint32_t>{0x3C0006, 0x0000, 0x2000, 0x4000, 0x6000}));
    const auto sends = Only(wire, 0x20);
    ASSERT_EQ(sends.size(), 5u);
    EXPECT_EQ(sends[0].items, (std::vector<Item>{{0xC, 0x0040}, {0x0, 0x8EA6}, {0x0, 0x9CA6}}));
    for (std::size_t panel = 0; panel < 4; ++panel) {
        const auto& items = sends[panel + 1].items;
        ASSERT_EQ(items.size(), 4u) << panel;
        EXPECT_EQ(items[0], (Item{0xD, panel == 1 ? 0x1234 : 0xFFFF})) << panel;
        EXPECT_EQ(items[3].first, panel == 3 ? 0xF : 0xC) << panel;
    }
    const auto holds = Only(wire, 0x22);
    ASSERT_EQ(holds.size(), 1u);
    EXPECT_EQ(holds[0].value, 10u);
    EXPECT_EQ(holds[0].items, (std::vector<Item>{{0x0, 0x0000}}));
    // The setup before it: code memory, configuration access, writes enabled.
    const auto setup = Only(wire, 0x21);
    ASSERT_EQ(setup.size(), 1u);
    EXPECT_EQ(setup[0].items, (std::vector<Item>{{0, 0x8EA6}, {0, 0x8CA6}, {0, 0x86A6}}));

    EXPECT_EQ(Cycles(rig), 1u);
    EXPECT_EQ(rig.Peek(Space::Program, 0x1000), 0x1234u);
    EXPECT_EQ(rig.progress.Texts(), (std::vector<std::string>{std::string(kTextWriteProgram)}));
}

TEST(Pic18Wire, The1220WritesEveryBufferWithACycleOfItsOwn) {
    SimRig rig("PIC18F1220");
    CMemoryImage image(rig.device->Layout());
    // Three buffers with data: bytes 0-7, 0x100-0x107 (one word is enough) and the last one.
    image.Set(Memory::Program, 1, 0x0001);
    image.Set(Memory::Program, 0x80, 0x0080);
    image.Set(Memory::Program, 0x7FF, 0x07FF);
    ASSERT_TRUE(rig.device->RunWriteProgram(image.Program()));

    const auto wire = Wire(rig);
    EXPECT_EQ(Pointers(wire), (std::vector<std::uint32_t>{0x0000, 0x0100, 0x0FF8}));
    EXPECT_EQ(Only(wire, 0x22).size(), 3u);
    EXPECT_EQ(Only(wire, 0x20).front().items, (std::vector<Item>{{0, 0x8EA6}, {0, 0x9CA6}}));
    EXPECT_EQ(Cycles(rig), 3u);
    EXPECT_EQ(rig.Peek(Space::Program, 1), 0x0001u);
    EXPECT_EQ(rig.Peek(Space::Program, 0x80), 0x0080u);
    EXPECT_EQ(rig.Peek(Space::Program, 0x7FF), 0x07FFu);
    // Progress: 0 on opening, then the share of the panel before each 8-byte offset.
    const auto positions = rig.progress.Positions();
    ASSERT_EQ(positions.size(), 1u + 4096 / 8);
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    EXPECT_EQ(positions.back(), 99);
}

TEST(Pic18Wire, The2550FillsThirtyTwoBytesAndProgramsOnce) {
    SimRig rig("PIC18F2550");
    CMemoryImage image(rig.device->Layout());
    image.Set(Memory::Program, 0x2010, 0xAAAA);  // byte 0x4020, above the first 16 KB
    ASSERT_TRUE(rig.device->RunWriteProgram(image.Program()));
    const auto wire = Wire(rig);
    EXPECT_EQ(Pointers(wire), (std::vector<std::uint32_t>{0x4020}));
    const auto sends = Only(wire, 0x20);
    ASSERT_EQ(sends.size(), 2u);
    ASSERT_EQ(sends[1].items.size(), 16u);
    EXPECT_EQ(sends[1].items[0], (Item{0xD, 0xAAAA}));
    EXPECT_EQ(sends[1].items[15].first, 0xF);
    EXPECT_EQ(Only(wire, 0x22).size(), 1u);
    EXPECT_EQ(rig.Peek(Space::Program, 0x2010), 0xAAAAu);
}

TEST(Pic18Wire, FourteenConfigurationBytesGoAsSevenPairs) {
    for (const char* chip : {"PIC18F452", "PIC18F2550"}) {
        SCOPED_TRACE(chip);
        SimRig rig(chip);
        CMemoryImage image(rig.device->Layout());
        for (std::size_t i = 0; i < 14; ++i) {
            image.Set(Memory::Config, i, 0xC0 + i);
        }
        ASSERT_TRUE(rig.device->RunWriteConfig(image.Config()));
        const auto wire = Wire(rig);
        EXPECT_EQ(Pointers(wire),
                  (std::vector<std::uint32_t>{0x300000, 0x300002, 0x300004, 0x300006, 0x300008,
                                              0x30000A, 0x30000C}));
        EXPECT_EQ(Only(wire, 0x22).size(), 14u);
        const bool jumps = std::string_view(chip) != "PIC18F2550";
        const std::vector<Item> access =
            jumps ? std::vector<Item>{{0, 0x8EA6}, {0, 0x8CA6}, {0, 0xEF00}, {0, 0xF800}}
                  : std::vector<Item>{{0, 0x8EA6}, {0, 0x8CA6}};
        for (const WireCommand& c : Only(wire, 0x21)) {
            EXPECT_EQ(c.items, access);
        }
        const auto sends = Only(wire, 0x20);
        ASSERT_EQ(sends.size(), 14u);
        EXPECT_EQ(sends[0].items, (std::vector<Item>{{0xF, 0x00C0}}));
        EXPECT_EQ(sends[1].items, (std::vector<Item>{{0x0, 0x2AF6}, {0xF, 0xC100}}));
        for (std::uint32_t i = 0; i < 14; ++i) {
            EXPECT_EQ(rig.Peek(Space::Config, 0x300000 + i), 0xC0 + i) << i;
        }
        EXPECT_EQ(rig.progress.Texts(),
                  (std::vector<std::string>{std::string(kTextWriteConfigShort)}));
    }
}

TEST(Pic18Wire, EraseSequencesOfTheGroups) {
    struct Case {
        const char* chip;
        std::vector<std::uint32_t> pointers;
        std::vector<std::vector<Item>> sends;
    };
    const std::vector<Case> cases{
        {"PIC18F242", {0x3C0004}, {{{0xC, 0x0080}, {0, 0}, {0, 0}}}},
        {"PIC18F4320", {0x3C0004}, {{{0xC, 0x0080}, {0, 0}, {0, 0}}}},
        {"PIC18F2550", {0x3C0005, 0x3C0004}, {{{0xC, 0x3F3F}}, {{0xC, 0x8F8F}, {0, 0}, {0, 0}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chip);
        SimRig rig(c.chip);
        rig.Poke(Space::Program, 0, 0);
        rig.Poke(Space::Config, 0x30000B, 0);
        rig.Poke(Space::Data, 0, 0);
        ASSERT_TRUE(rig.device->RunErase());
        const auto wire = Wire(rig);
        EXPECT_EQ(Pointers(wire), c.pointers);
        const auto sends = Only(wire, 0x20);
        ASSERT_EQ(sends.size(), c.sends.size());
        for (std::size_t i = 0; i < sends.size(); ++i) {
            EXPECT_EQ(sends[i].items, c.sends[i]);
        }
        const auto waits = Only(wire, 0x01);
        ASSERT_EQ(waits.size(), 1u);
        EXPECT_EQ(waits[0].value, 60u);
        EXPECT_EQ(rig.Peek(Space::Program, 0), 0xFFFFu);
        EXPECT_EQ(rig.Peek(Space::Config, 0x30000B), 0xFFu);
        EXPECT_EQ(rig.Peek(Space::Data, 0), 0xFFu);
        EXPECT_TRUE(rig.progress.Texts().empty());
    }
}

TEST(Pic18Wire, DataBytesByPollsOrByTheHold) {
    for (const char* chip : {"PIC18F458", "PIC18F2220", "PIC18F4550"}) {
        SCOPED_TRACE(chip);
        SimRig rig(chip);
        CMemoryImage image(rig.device->Layout());
        image.Set(Memory::Data, 0x30, 0x5A);
        ASSERT_TRUE(rig.device->RunWriteData(image.Data()));
        EXPECT_EQ(rig.Peek(Space::Data, 0x30), 0x5Au);
        const auto wire = Wire(rig);
        const bool hold = std::string_view(chip) == "PIC18F2220";
        const bool startA = std::string_view(chip) == "PIC18F4550";
        const auto addresses = Only(wire, hold ? 0x26 : 0x27);
        ASSERT_EQ(addresses.size(), 256u);
        EXPECT_EQ(addresses[0x30].value, 0x30u);
        EXPECT_EQ(addresses[0x30].data, 0x5A);
        EXPECT_EQ(Only(wire, startA ? 0x28 : 0x29).size(), 256u);
        EXPECT_EQ(Only(wire, 0x2C).size(), 256u);
        if (hold) {
            const auto holds = Only(wire, 0x23);
            ASSERT_EQ(holds.size(), 256u);
            EXPECT_EQ(holds[0].value, 50u);
            EXPECT_TRUE(Only(wire, 0x2A).empty());
        } else {
            // The chip stays busy for one poll: two status reads a byte.
            EXPECT_EQ(Only(wire, 0x2A).size(), 512u);
        }
    }
}

}  // namespace
}  // namespace tenlo::pic18
