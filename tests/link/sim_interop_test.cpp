// The link against the simulated programmer, whose firmware was written from the protocol
// table independently of this code: agreement here is agreement on the wire.

#include <gtest/gtest.h>

#include "link/programmer_link.h"
#include "sim/blank_chip.h"
#include "sim/in_process_backend.h"
#include "sim/virtual_programmer.h"

namespace tenlo {
namespace {

const std::string kDefinition = ProgrammerPortDefinition(5);

class SimInteropTest : public ::testing::Test {
  protected:
    void Start(sim::FaultPlan faults = {}) {
        auto chip = std::make_unique<sim::BlankMidrangeChip>();
        chip_ = chip.get();
        programmer_ = std::make_shared<sim::CVirtualProgrammer>(std::move(chip), faults);
        link_ = std::make_unique<CProgrammerLink>(
            nullptr, sim::MakeInProcessBackend(programmer_, clock_), &clock_);
        link_->Connect(kDefinition);
        ASSERT_TRUE(link_->IsConnected());
    }
    bool PowerUp() {
        return link_->PowerOffVddFirst() && link_->SetOption(8) && link_->PowerOnVddFirst();
    }
    std::uint32_t Cell(sim::Space space, std::uint32_t address) {
        std::uint32_t value = 0;
        programmer_->With([&](auto&, auto& chip) { chip.Peek(space, address, value); });
        return value;
    }

    VirtualClock clock_;
    sim::BlankMidrangeChip* chip_ = nullptr;
    std::shared_ptr<sim::CVirtualProgrammer> programmer_;
    std::unique_ptr<CProgrammerLink> link_;
};

TEST_F(SimInteropTest, VersionAndPresence) {
    Start();
    EXPECT_TRUE(link_->Ping());
    std::uint8_t version[4] = {};
    ASSERT_TRUE(link_->GetVersion(version));
    const FirmwareVersion v = DecodeVersion(version);
    EXPECT_EQ(v.major, 256);
    EXPECT_EQ(v.minor, 3);
    EXPECT_FALSE(v.edition);
}

TEST_F(SimInteropTest, ProgramAndReadBackBothMemories) {
    Start();
    ASSERT_TRUE(PowerUp());
    ASSERT_TRUE(link_->SetWriteSequence(2, 8, -1, 4, 3, 10, true));
    const std::uint16_t words[3] = {0x1234, 0x0FF0, 0x2A55};
    ASSERT_TRUE(link_->ProgramWords(words, 3));
    EXPECT_EQ(Cell(sim::Space::Program, 2), 0x2A55u);

    ASSERT_TRUE(PowerUp());
    std::uint16_t back[3] = {};
    ASSERT_TRUE(link_->IcspReadWords(4, back, 3));
    EXPECT_TRUE(std::equal(back, back + 3, words));

    ASSERT_TRUE(link_->SetWriteSequence(3, 8, -1, 5, 3, 10, false));
    ASSERT_TRUE(PowerUp());
    const std::uint8_t bytes[2] = {0x5A, 0xC3};
    ASSERT_TRUE(link_->ProgramBytes(bytes, 2));
    ASSERT_TRUE(PowerUp());
    std::uint8_t got[2] = {};
    ASSERT_TRUE(link_->IcspReadBytes(5, got, 2));
    EXPECT_EQ(got[0], 0x5A);
    EXPECT_EQ(got[1], 0xC3);
    // The multi-read left the address behind the bytes; the single read takes it there.
    ASSERT_TRUE(link_->IcspReadBytes(5, got, 0));
    EXPECT_EQ(got[0], 0xFF);
    ASSERT_TRUE(link_->IcspReadBytes(5, got, 0));
    EXPECT_EQ(got[0], 0xFF) << "and does not advance";
    ASSERT_TRUE(link_->SendIcspCommand(6, 0, 0));
    ASSERT_TRUE(PowerUp());
    ASSERT_TRUE(link_->SendIcspCommand(6, 1, 0));
    ASSERT_TRUE(link_->IcspReadBytes(5, got, 0));
    EXPECT_EQ(got[0], 0xC3);
}

TEST_F(SimInteropTest, LongIncrementRunsExactlyThatManyCommands) {
    Start();
    ASSERT_TRUE(PowerUp());
    ASSERT_TRUE(link_->SendIcspCommand(6, 0x3FF, 0));
    EXPECT_EQ(chip_->Pc(), 0x3FF);
    ASSERT_TRUE(link_->IcspLoad(2, 0x0123));
    ASSERT_TRUE(link_->SendIcspCommand(8, 1, 5));
    EXPECT_EQ(Cell(sim::Space::Program, 0x3FF), 0x0123u);
}

TEST_F(SimInteropTest, FirmwareFaultsFailTheOperation) {
    sim::FaultPlan faults;
    faults.badAcks[2] = 0x00;      // the frame holding SetOption's argument
    faults.noAckFrames.insert(4);  // PowerOnVddFirst
    Start(faults);
    EXPECT_TRUE(link_->PowerOffVddFirst());
    EXPECT_FALSE(link_->SetOption(8));
    EXPECT_TRUE(link_->Ping());
    const auto before = clock_.Now();
    EXPECT_FALSE(link_->PowerOnVddFirst());
    EXPECT_GE(clock_.Now() - before, std::chrono::milliseconds(1000)) << "waited out the time-out";
    EXPECT_TRUE(link_->Ping()) << "the link stays usable";
}

}  // namespace
}  // namespace tenlo
