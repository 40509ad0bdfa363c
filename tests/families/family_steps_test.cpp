#include <gtest/gtest.h>

#include "device/memory_image.h"
#include "device/midrange/pic12f50x.h"
#include "device/midrange/pic12f629.h"
#include "device/midrange/pic16f54.h"
#include "device/midrange/pic16f62xa.h"
#include "device/midrange/pic16f716.h"
#include "device/midrange/pic16f7x.h"
#include "device/midrange/pic16f81x.h"
#include "device/midrange/pic16f84.h"
#include "device/midrange/pic16f87xa.h"
#include "device/midrange/pic16f91x.h"
#include "support/sim_rig.h"

namespace tenlo::families {
namespace {

using testing::SimRig;
namespace cmd = testing::cmd;

using sim::Space;

// ---- Every mid-range entry builds a working device of its family ----

template <typename T>
bool IsA(CDevice* device) {
    return dynamic_cast<T*>(device) != nullptr;
}

bool OfFamily(CDevice* device, DeviceFamily family) {
    switch (family) {
        case DeviceFamily::Mid12F50x:
            return IsA<CPic12F50x>(device);
        case DeviceFamily::Mid12F629:
            return IsA<CPic12F629>(device);
        case DeviceFamily::Mid16F91x:
            return IsA<CPic16F91x>(device);
        case DeviceFamily::Mid16F54:
            return IsA<CPic16F54>(device) && !IsA<CPic12F50x>(device);
        case DeviceFamily::Mid16F7x:
            return IsA<CPic16F7x>(device);
        case DeviceFamily::Mid16F84:
            return IsA<CPic16F84>(device);
        case DeviceFamily::Mid16F62xA:
            return IsA<CPic16F62xA>(device);
        case DeviceFamily::Mid16F716:
            return IsA<CPic16F716>(device);
        case DeviceFamily::Mid16F81x:
            return IsA<CPic16F81x>(device);
        case DeviceFamily::Mid16F87xA:
            return IsA<CPic16F87xA>(device) && !IsA<CPic16F91x>(device) && !IsA<CPic16F81x>(device);
        case DeviceFamily::Mid16F84A:
            return IsA<CPic16F84A>(device);
        default:
            return false;
    }
}

TEST(MidRangeCatalogue, EveryEntryCreatesItsFamilyAndReadsItsChip) {
    for (int index = 0; index <= 43; ++index) {
        const CatalogueEntry* entry = CatalogueEntryAt(index);
        ASSERT_NE(entry, nullptr);
        SCOPED_TRACE(entry->name);
        SimRig rig(entry->name);
        ASSERT_NE(rig.device, nullptr);
        EXPECT_TRUE(OfFamily(rig.device.get(), entry->family));
        EXPECT_EQ(rig.device->Layout(), *CatalogueLayout(index));
        const auto* midRange = dynamic_cast<CMidRangeDevice*>(rig.device.get());
        ASSERT_NE(midRange, nullptr);
        EXPECT_EQ(midRange->Params(), *CatalogueMidRangeParams(index));

        rig.Poke(Space::Program, 0x11, 0x0123);
        CMemoryImage image(rig.device->Layout());
        ASSERT_TRUE(rig.device->RunReadProgram(image.Program()));
        EXPECT_EQ(image.Get(Memory::Program, 0x11), 0x0123u);
        EXPECT_EQ(image.Get(Memory::Program, 0x10), image.Get(Memory::Program, 0x12));
        EXPECT_FALSE(rig.Powered());
    }
}

// ---- PIC16F84: data erased by verified writes of 0xFF ----

TEST(Pic16F84, EraseClearsDataByteByByteAndSucceeds) {
    SimRig rig("PIC16F84");
    for (std::uint32_t i = 0; i < 64; i += 7) {
        rig.Poke(Space::Data, i, i);
    }
    rig.Poke(Space::Program, 0x3FF, 0x0000);
    const std::uint64_t reads = rig.Commands(cmd::kIcspRead);
    ASSERT_TRUE(rig.device->RunErase());
    EXPECT_EQ(rig.Commands(cmd::kIcspRead) - reads, 64u);
    for (std::uint32_t i = 0; i < 64; ++i) {
        ASSERT_EQ(rig.Peek(Space::Data, i), 0xFFu) << i;
    }
    EXPECT_EQ(rig.Peek(Space::Program, 0x3FF), 0x3FFFu);
    EXPECT_FALSE(rig.Powered());
}

TEST(Pic16F84, ADataByteThatWillNotEraseFailsTheErase) {
    sim::FaultPlan faults;
    faults.stuckCells = {{Space::Data, 5}};
    SimRig rig("PIC16F84", faults);
    rig.Poke(Space::Data, 5, 0x12);
    EXPECT_FALSE(rig.device->RunErase());
    EXPECT_FALSE(rig.device->EraseData());
    EXPECT_EQ(rig.Peek(Space::Data, 4), 0xFFu);
}

// ---- PIC16F7x: word pairs and a long chip erase ----

TEST(Pic16F7x, ChipEraseIsWaitedOutAndClearsProgramAndConfiguration) {
    SimRig rig("PIC16F74");
    rig.Poke(Space::Program, 0xFFF, 0x0000);
    rig.Poke(Space::Config, 0x2007, 0x0000);
    rig.Poke(Space::Config, 0x2002, 0x0000);
    ASSERT_TRUE(rig.device->RunErase());
    EXPECT_EQ(rig.Commands(cmd::kWait), 9u);
    EXPECT_EQ(rig.Peek(Space::Program, 0xFFF), 0x3FFFu);
    EXPECT_EQ(rig.Peek(Space::Config, 0x2007), 0x3FFFu);
    EXPECT_EQ(rig.Peek(Space::Config, 0x2002), 0x3FFFu);
}

TEST(Pic16F7x, ProgramAndConfigurationGoInPairs) {
    SimRig rig("PIC16F73");
    ASSERT_TRUE(rig.device->RunErase());
    const std::uint32_t deviceId = rig.Peek(Space::Config, 0x2006);
    CMemoryImage image(rig.device->Layout());
    image.Set(Memory::Program, 0x800, 0x1234);
    image.Set(Memory::Program, 0x801, 0x0567);
    image.Set(Memory::Config, 1, 0x0001);
    image.Set(Memory::Config, 2, 0x0002);
    image.Set(Memory::Config, 7, 0x0000);
    ASSERT_TRUE(rig.device->RunWriteProgram(image.Program()));
    EXPECT_EQ(rig.Commands(cmd::kTimedProgram), 4096u / 2);
    ASSERT_TRUE(rig.device->RunWriteConfig(image.Config()));
    EXPECT_EQ(rig.Commands(cmd::kTimedProgram), 4096u / 2 + 3);

    EXPECT_EQ(rig.Peek(Space::Program, 0x800), 0x1234u);
    EXPECT_EQ(rig.Peek(Space::Program, 0x801), 0x0567u);
    EXPECT_EQ(rig.Peek(Space::Config, 0x2001), 0x0001u);
    EXPECT_EQ(rig.Peek(Space::Config, 0x2002), 0x0002u);
    EXPECT_EQ(rig.Peek(Space::Config, 0x2007), 0x3FB0u);  // protection forced off
    EXPECT_EQ(rig.Peek(Space::Config, 0x2006), deviceId);
}

// ---- PIC16F716: one chip erase, writes ended by its own code ----

TEST(Pic16F716, EraseIsTheProgramStepAloneAndTakesConfigurationAlong) {
    SimRig rig("PIC16F716");
    rig.Poke(Space::Program, 0x7FF, 0x0000);
    rig.Poke(Space::Config, 0x2007, 0x0000);
    rig.Poke(Space::Config, 0x2000, 0x0000);
    ASSERT_TRUE(rig.device->RunErase());
    EXPECT_EQ(rig.Commands(cmd::kIcspWait), 1u);
    EXPECT_EQ(rig.Peek(Space::Program, 0x7FF), 0x3FFFu);
    EXPECT_EQ(rig.Peek(Space::Config, 0x2007), 0x3FFFu);
    EXPECT_EQ(rig.Peek(Space::Config, 0x2000), 0x3FFFu);

    CMemoryImage image(rig.device->Layout());
    image.Set(Memory::Program, 0x7FE, 0x0042);
    ASSERT_TRUE(rig.device->RunWriteProgram(image.Program()));
    EXPECT_EQ(rig.Peek(Space::Program, 0x7FE), 0x0042u);
    EXPECT_EQ(rig.WordsProgrammed(), 2048u);
}

// ---- 12-bit parts ----

TEST(Pic16F54, EraseFromTheFirstUserIdClearsTheIdsToo) {
    SimRig rig("PIC16F54");
    rig.Poke(Space::Program, 0x1FF, 0x0000);
    rig.Poke(Space::Config, 0x200, 0x0000);
    rig.Poke(Space::Config, 0x3FF, 0x0000);
    ASSERT_TRUE(rig.device->RunErase());
    EXPECT_EQ(rig.Peek(Space::Program, 0x1FF), 0xFFFu);
    EXPECT_EQ(rig.Peek(Space::Config, 0x200), 0xFFFu);
    EXPECT_EQ(rig.Peek(Space::Config, 0x3FF), 0xFFFu);
}

TEST(Pic12F50x, EraseLeavesTheUserIdsAndTheBackup) {
    SimRig rig("PIC12F509");
    rig.options.keepCalibration = 1;
    rig.Poke(Space::Config, 0x400, 0x0123);
    rig.Poke(Space::Config, 0x404, 0x0C77);
    rig.Poke(Space::Program, 0x000, 0x0000);
    ASSERT_TRUE(rig.device->RunErase());
    EXPECT_EQ(rig.Peek(Space::Program, 0x000), 0xFFFu);
    EXPECT_EQ(rig.Peek(Space::Config, 0x400), 0x0123u);
    EXPECT_EQ(rig.Peek(Space::Config, 0x404), 0x0C77u);
    EXPECT_EQ(rig.Peek(Space::Program, 0x3FF), 0x0C77u);  // restored from the backup
}

TEST(Pic16F54, ConfigurationWordIsVerifiedAndRetried) {
    sim::FaultPlan faults;
    faults.stuckCells = {{Space::Config, 0x3FF}};
    SimRig rig("PIC16F54", faults);
    CMemoryImage image(rig.device->Layout());
    image.Set(Memory::Config, 0, 0x0FF0);
    EXPECT_FALSE(rig.device->RunWriteConfig(image.Config()));
    EXPECT_EQ(rig.Commands(cmd::kTimedProgram), 10u);
    EXPECT_FALSE(rig.Powered());
}

// ---- PIC16F62xA: separate program and data erases ----

TEST(Pic16F62xA, ProgramAndDataEraseEachLeaveTheOtherMemory) {
    SimRig rig("PIC16F648A");
    rig.Poke(Space::Program, 0xFFF, 0x0000);
    rig.Poke(Space::Data, 0xFF, 0x00);
    ASSERT_TRUE(rig.device->EraseProgram());
    EXPECT_EQ(rig.Peek(Space::Program, 0xFFF), 0x3FFFu);
    EXPECT_EQ(rig.Peek(Space::Data, 0xFF), 0x00u);
    rig.Poke(Space::Program, 0xFFF, 0x0000);
    ASSERT_TRUE(rig.device->EraseData());
    EXPECT_EQ(rig.Peek(Space::Data, 0xFF), 0xFFu);
    EXPECT_EQ(rig.Peek(Space::Program, 0xFFF), 0x0000u);
}

// ---- Failures end the operation with the chip powered down ----

class FailingLine : public ::testing::TestWithParam<const char*> {
  protected:
    // Runs one operation on a fresh chip with the given faults; frames counts the answers.
    bool Run(int op, const sim::FaultPlan& faults, std::uint64_t& frames, bool& powered,
             CompareResult& result) {
        SimRig rig(GetParam(), faults);
        rig.options.keepCalibration = 1;  // as the view sets it: no unerased OSCCAL rewritten
        CDevice& device = *rig.device;
        CMemoryImage image(device.Layout());
        image.Set(Memory::Program, 0, 0x0000);
        bool ok = false;
        switch (op) {
            case 0:
                ok = device.RunWriteProgram(image.Program());
                break;
            case 1:
                ok = device.RunWriteConfig(image.Config());
                break;
            case 2:
                ok = device.RunErase();
                break;
            default:
                ok = device.RunCompareProgram(image.Program(), result);
                break;
        }
        frames = rig.programmer->With([](sim::CFirmwareEngine& engine, sim::IChipModel&) {
            return engine.Statistics().frames;
        });
        powered = rig.Powered();
        return ok;
    }
};

TEST_P(FailingLine, AMissingAcknowledgementFailsEveryOperationAndPowersDown) {
    for (int op = 0; op < 4; ++op) {
        std::uint64_t frames = 0;
        bool powered = true;
        CompareResult result;
        ASSERT_TRUE(Run(op, {}, frames, powered, result)) << "operation " << op;
        ASSERT_GE(frames, 4u);
        // Half-way through the operation's work, well past programming-mode entry.
        sim::FaultPlan faults;
        faults.noAckFrames = {frames / 2 + 1};
        result.done = 1;
        EXPECT_FALSE(Run(op, faults, frames, powered, result)) << "operation " << op;
        // The power-off frame after the failure gets through.
        EXPECT_FALSE(powered) << "operation " << op;
        if (op == 3) {
            EXPECT_EQ(result.done, 0);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(OneChipPerFamily, FailingLine,
                         ::testing::Values("PIC16F84", "PIC16F716", "PIC16F77", "PIC16F54",
                                           "PIC12F508", "PIC16F627A", "PIC16F873A", "PIC16F913",
                                           "PIC16F818", "PIC16F630"));

}  // namespace
}  // namespace tenlo::families
