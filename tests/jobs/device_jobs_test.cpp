// The jobs both fronts run, against the virtual programmer: each cause a job can end in, the
// stop rules of a write, the socket check and what it lets through, and the hooks.

#include "jobs/device_jobs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "link/serial_port.h"
#include "sim/in_process_backend.h"
#include "support/sim_rig.h"
#include "support/state_home.h"

namespace tenlo::jobs {
namespace {

using sim::Space;
using testing::SimRig;

struct Answers final : IJobQuestions {
    bool GoOnWithOtherChip(const std::string& selected, const std::vector<std::string>& named,
                           std::uint16_t id) override {
        asked.push_back(selected + " " + (named.empty() ? "-" : named.front()) + " " +
                        std::to_string(id));
        return goOn;
    }
    bool LoadWithoutEndRecord(const std::string&, bool) override { return false; }
    bool WriteDespiteConfigTraps(const std::vector<ConfigTrap>& traps) override {
        trapsAsked.push_back(traps);
        return writeTraps;
    }

    bool goOn = false;
    bool writeTraps = true;
    std::vector<std::string> asked;
    std::vector<std::vector<ConfigTrap>> trapsAsked;
};

// A chip in the socket, the device of the chip selected, and the job context over both.
struct JobRig : SimRig {
    explicit JobRig(const std::string& inSocket, sim::FaultPlan faults = {},
                    const std::string& selected = "")
        : SimRig(inSocket, std::move(faults)),
          entry(*CatalogueEntryAt(FindCatalogueIndex(selected.empty() ? inSocket : selected))),
          image(Device().Layout()),
          context(Device(), entry, link, "COM5") {
        options.keepCalibration = 1;
        context.questions = &answers;
    }

    CDevice& Device() {
        if (!selectedDevice) {
            selectedDevice = CreateDevice(entry.index, link, &options, nullptr);
        }
        return *selectedDevice;
    }

    std::unique_ptr<CDevice> selectedDevice;
    const CatalogueEntry& entry;
    CMemoryImage image;
    Answers answers;
    JobContext context;
};

sim::FaultPlan Faults(void (*set)(sim::FaultPlan&)) {
    sim::FaultPlan plan;
    set(plan);
    return plan;
}

TEST(SocketCheck, AnEmptySocketEndsTheJobWithTheIdAsReadAndNothingElseSent) {
    JobRig rig("PIC16F877A", Faults([](sim::FaultPlan& f) { f.noChip = true; }));
    const std::uint64_t before = rig.BytesIn();
    const Report r = Write(rig.context, rig.image, kAllMemories, {});
    EXPECT_EQ(r.outcome.cause, Cause::NoChip);
    EXPECT_EQ(r.outcome.phase, Phase::SocketCheck);
    EXPECT_EQ(r.outcome.deviceId, 0x0000);
    EXPECT_TRUE(r.steps.empty());
    EXPECT_EQ(rig.WordsProgrammed(), 0u);
    // One configuration read: power up, eight words, power down.
    EXPECT_LT(rig.BytesIn() - before, 40u);
}

TEST(SocketCheck, AnotherChipIsAskedAboutAndANoEndsTheJobWithBothNames) {
    JobRig rig("PIC16F877A", {}, "PIC16F84A");
    const Report r = Erase(rig.context, {});
    EXPECT_EQ(r.outcome.cause, Cause::OtherChip);
    EXPECT_EQ(r.outcome.otherChips, std::vector<std::string>{"PIC16F877A"});
    EXPECT_EQ(r.outcome.deviceId & 0x3FE0, 0x0E20);
    ASSERT_EQ(rig.answers.asked.size(), 1u);
    EXPECT_EQ(rig.answers.asked[0].rfind("PIC16F84A PIC16F877A ", 0), 0u) << rig.answers.asked[0];
    EXPECT_FALSE(r.erased);

    rig.answers.goOn = true;
    rig.Poke(Space::Program, 0, 0x2805);
    const Report yes = Erase(rig.context, {false});
    EXPECT_TRUE(yes.Ok());
    EXPECT_EQ(rig.Peek(Space::Program, 0), 0x3FFFu) << "a yes goes on with the chip";
}

TEST(SocketCheck, TurnedOffOrWithoutAnIdWordTheChipIsTakenOnTrust) {
    JobRig forced("PIC16F877A", Faults([](sim::FaultPlan& f) { f.noChip = true; }));
    forced.context.checkSocket = false;
    EXPECT_TRUE(CheckSocket(forced.context).Ok());

    JobRig noId("PIC16F84", Faults([](sim::FaultPlan& f) { f.noChip = true; }));
    const std::uint64_t before = noId.BytesIn();
    EXPECT_TRUE(CheckSocket(noId.context).Ok());
    EXPECT_EQ(noId.BytesIn(), before) << "nothing to read";
}

TEST(ReadJob, ALineThatBreaksNamesThePortTheCommandAndTheBlock) {
    JobRig rig("PIC16F84A", Faults([](sim::FaultPlan& f) { f.disconnectAtByte = 40; }));
    const Report r = Read(rig.context, kAllMemories, rig.image);
    EXPECT_EQ(r.outcome.cause, Cause::LineFailed);
    EXPECT_EQ(r.outcome.phase, Phase::Reading);
    EXPECT_EQ(r.outcome.memory, Memory::Program);
    EXPECT_EQ(r.outcome.port, "COM5");
    EXPECT_EQ(r.outcome.link.fault, LinkFault::LineBroken);
    EXPECT_NE(r.outcome.link.command, 0);
    ASSERT_TRUE(r.outcome.address.has_value());
    EXPECT_EQ(*r.outcome.address % 64, 0u) << "the first cell of a read block";
    EXPECT_TRUE(r.outcome.programmerSilent);
    ASSERT_EQ(r.steps.size(), 1u) << "configuration and data were not tried";
}

TEST(EraseJob, TheReadBackNamesACellThatKeptItsBitsAndAnAllZeroChipIsNoChip) {
    JobRig rig("PIC16F84A",
               Faults([](sim::FaultPlan& f) { f.stuckCells.emplace_back(Space::Program, 0x10); }));
    rig.Poke(Space::Program, 0x10, 0x2805);
    const Report r = Erase(rig.context, {});
    EXPECT_TRUE(r.erased);
    EXPECT_EQ(r.outcome.cause, Cause::WillNotErase);
    EXPECT_EQ(r.outcome.phase, Phase::EraseReadBack);
    EXPECT_EQ(r.outcome.address, 0x10u);
    EXPECT_EQ(r.outcome.chipValue, 0x2805u);
    EXPECT_EQ(r.outcome.expectedValue, 0x3FFFu);
    EXPECT_TRUE(Erase(rig.context, {false}).Ok()) << "without the read-back";

    // A chip without an ID word: only the read-back finds the socket empty.
    JobRig empty("PIC16F54", Faults([](sim::FaultPlan& f) { f.noChip = true; }));
    EXPECT_EQ(Erase(empty.context, {}).outcome.cause, Cause::NoChip);

    // The PIC16F84 erases its data by writing it, each byte read back: the programmer answers
    // every command, yet the erase cannot complete.
    JobRig writes("PIC16F84", Faults([](sim::FaultPlan& f) { f.noChip = true; }));
    const Report notDone = Erase(writes.context, {});
    EXPECT_EQ(notDone.outcome.cause, Cause::NotDone);
    EXPECT_EQ(notDone.outcome.link.fault, LinkFault::None);
}

TEST(EraseJob, AHookThatSaysNoComesBeforeAnythingIsErased) {
    struct Refuse final : IJobObserver {
        bool BeforeErase(CDevice& device) override {
            seen = device.Layout().name;
            return false;
        }
        std::string seen;
    } refuse;
    JobRig rig("PIC16F84A");
    rig.context.observer = &refuse;
    rig.Poke(Space::Program, 0, 0x2805);
    WriteOptions write;
    write.eraseFirst = true;
    const Report r = Write(rig.context, rig.image, kAllMemories, write);
    EXPECT_EQ(r.outcome.cause, Cause::Declined);
    EXPECT_EQ(refuse.seen, "PIC16F84A");
    EXPECT_EQ(rig.Peek(Space::Program, 0), 0x2805u);
    EXPECT_EQ(rig.WordsProgrammed(), 0u);
}

TEST(WriteJob, ACellThatIsNotBlankIsToldApartFromOneThatWillNotProgram) {
    JobRig rig("PIC16F84A");
    rig.Poke(Space::Program, 3, 0x0000);
    rig.image.Set(Memory::Program, 3, 0x1234);
    MemorySet program{true, false, false};
    Report r = Write(rig.context, rig.image, program, {});
    EXPECT_EQ(r.outcome.cause, Cause::NotBlank);
    EXPECT_EQ(r.outcome.address, 3u);
    EXPECT_EQ(r.outcome.chipValue, 0x0000u);
    EXPECT_EQ(r.outcome.expectedValue, 0x1234u);

    JobRig stuck("PIC16F84A",
                 Faults([](sim::FaultPlan& f) { f.stuckCells.emplace_back(Space::Program, 3); }));
    stuck.image.Set(Memory::Program, 3, 0x1234);
    r = Write(stuck.context, stuck.image, program, {});
    EXPECT_EQ(r.outcome.cause, Cause::WillNotProgram);
    EXPECT_EQ(r.outcome.address, 3u);
    EXPECT_EQ(r.outcome.chipValue, 0x3FFFu);
}

TEST(WriteJob, AChipThatRefusesDataStillGetsItsConfigurationButAProgramFailureEndsIt) {
    JobRig rig("PIC16F84A",
               Faults([](sim::FaultPlan& f) { f.stuckCells.emplace_back(Space::Data, 5); }));
    rig.image.Set(Memory::Data, 5, 0x12);
    rig.image.Set(Memory::Config, 7, 0x3FF1);
    const Report r = Write(rig.context, rig.image, kAllMemories, {});
    EXPECT_EQ(r.outcome.cause, Cause::WillNotProgram);
    EXPECT_EQ(r.outcome.memory, Memory::Data);
    ASSERT_EQ(r.steps.size(), 3u);
    EXPECT_TRUE(r.Done(Memory::Program));
    EXPECT_FALSE(r.Done(Memory::Data));
    EXPECT_TRUE(r.Done(Memory::Config));
    EXPECT_EQ(rig.Peek(Space::Config, 0x2007) & 0x1F, 0x11u);

    JobRig program("PIC16F84A",
                   Faults([](sim::FaultPlan& f) { f.stuckCells.emplace_back(Space::Program, 2); }));
    program.image.Set(Memory::Program, 2, 0x1234);
    const Report p = Write(program.context, program.image, kAllMemories, {});
    EXPECT_EQ(p.steps.size(), 1u);
    EXPECT_EQ(program.Peek(Space::Config, 0x2007) & 0x1F, 0x1Fu);
}

TEST(WriteJob, AStopRaisedDuringTheJobEndsItAtTheNextCommand) {
    struct StopAtData final : IJobObserver {
        void PhaseBegins(Phase phase, std::optional<Memory> memory) override {
            if (phase == Phase::Writing && memory == Memory::Data) {
                stop->store(true);
            }
        }
        std::atomic<bool>* stop = nullptr;
    } observer;
    std::atomic<bool> stop{false};
    observer.stop = &stop;
    JobRig rig("PIC16F84A");
    rig.context.stop = &stop;
    rig.context.observer = &observer;
    rig.image.Set(Memory::Config, 7, 0x3FF1);
    const Report r = Write(rig.context, rig.image, kAllMemories, {});
    EXPECT_EQ(r.outcome.cause, Cause::Interrupted);
    EXPECT_EQ(r.outcome.memory, Memory::Data);
    EXPECT_EQ(r.steps.size(), 2u);
    EXPECT_EQ(rig.Peek(Space::Config, 0x2007) & 0x1F, 0x1Fu) << "the configuration was not written";
    EXPECT_FALSE(rig.Powered());
    EXPECT_EQ(rig.link.StopFlag(), nullptr) << "the link's own flag is back";
}

TEST(WriteJob, ABusyChipIsTheChipsWordNotACellThatWillNotProgram) {
    JobRig rig("PIC18F252", Faults([](sim::FaultPlan& f) { f.eeBusy = true; }));
    const Report r = Write(rig.context, rig.image, {false, false, true}, {});
    EXPECT_EQ(r.outcome.cause, Cause::ChipBusy);
    EXPECT_EQ(r.outcome.memory, Memory::Data);
}

TEST(WriteJob, ItReadsBackWhatTheFamilyDoesNotUnlessToldToTrustTheWrite) {
    // PIC18 writes do not read back: a stuck word passes the write and the read-back finds it.
    JobRig rig("PIC18F252",
               Faults([](sim::FaultPlan& f) { f.stuckCells.emplace_back(Space::Program, 8); }));
    rig.image.Set(Memory::Program, 8, 0x1234);
    const MemorySet program{true, false, false};
    WriteOptions trust;
    trust.readBack = false;
    EXPECT_TRUE(Write(rig.context, rig.image, program, trust).Ok());
    const Report r = Write(rig.context, rig.image, program, {});
    EXPECT_EQ(r.outcome.cause, Cause::WillNotProgram);
    EXPECT_EQ(r.outcome.phase, Phase::WriteVerify);
    EXPECT_EQ(r.outcome.address, 8u);
    EXPECT_EQ(r.outcome.expectedValue, 0x1234u);
}

TEST(CompareJob, KeptCalibrationIsLeftOutUnlessAskedAndTheOptionsRecordIsLeftAlone) {
    JobRig rig("PIC12F629");
    rig.image.Set(Memory::Program, 0, 0x2805);
    ASSERT_TRUE(Write(rig.context, rig.image, kAllMemories, {}).Ok());
    ASSERT_NE(rig.Peek(Space::Program, 0x3FF), 0x3FFFu) << "the chip kept its calibration";

    EXPECT_TRUE(Compare(rig.context, rig.image, kAllMemories, {}).Ok());
    EXPECT_EQ(rig.options.skipCalibrationCompare, 0);

    CompareOptions all;
    all.compareKeptCalibration = true;
    const Report r = Compare(rig.context, rig.image, kAllMemories, all);
    EXPECT_EQ(r.outcome.cause, Cause::Mismatch);
    EXPECT_EQ(r.outcome.address, 0x3FFu);
    EXPECT_EQ(r.outcome.expectedValue, 0x3FFFu);

    // Not kept: the record's own "do not compare" decides.
    rig.options.keepCalibration = 0;
    EXPECT_EQ(Compare(rig.context, rig.image, kAllMemories, {}).outcome.cause, Cause::Mismatch);
    rig.options.skipCalibrationCompare = 1;
    EXPECT_TRUE(Compare(rig.context, rig.image, kAllMemories, {}).Ok());
}

TEST(CompareJob, StopsAtTheFirstMemoryThatDiffersUnlessAskedForAll) {
    JobRig rig("PIC16F84A");
    rig.image.Set(Memory::Program, 0x10, 0x2805);
    rig.image.Set(Memory::Data, 5, 0x12);
    Report r = Compare(rig.context, rig.image, kAllMemories, {});
    EXPECT_EQ(r.outcome.cause, Cause::Mismatch);
    EXPECT_EQ(r.outcome.address, 0x10u);
    EXPECT_EQ(r.outcome.chipValue, 0x3FFFu);
    EXPECT_EQ(r.outcome.expectedValue, 0x2805u);
    EXPECT_EQ(r.steps.size(), 1u);

    CompareOptions all;
    all.allMemories = true;
    r = Compare(rig.context, rig.image, kAllMemories, all);
    ASSERT_EQ(r.steps.size(), 3u);
    EXPECT_EQ(r.steps[2].outcome.cause, Cause::Mismatch);
    EXPECT_EQ(r.steps[2].outcome.address, 5u);
    EXPECT_TRUE(r.steps[1].outcome.Ok());
}

bool HasTrap(const Report& r, ConfigTrapKind kind) {
    return std::ranges::any_of(r.configTraps,
                               [kind](const ConfigTrap& t) { return t.kind == kind; });
}

TEST(WriteJob, AConfigurationWithATrapIsAskedAboutOnceBeforeTheChipIsTouched) {
    JobRig rig("PIC16F877A");
    rig.image.Set(Memory::Program, 0, 0x2805);
    rig.image.Set(Memory::Config, 7, 0x3FF2);  // HS, LVP on
    rig.answers.writeTraps = false;
    const std::uint64_t sent = rig.BytesIn();
    Report r = Write(rig.context, rig.image, kAllMemories, {});
    EXPECT_EQ(r.outcome.cause, Cause::Declined);
    EXPECT_EQ(r.outcome.phase, Phase::None);
    EXPECT_TRUE(r.steps.empty());
    ASSERT_EQ(rig.answers.trapsAsked.size(), 1u);
    ASSERT_EQ(rig.answers.trapsAsked[0].size(), 1u);
    EXPECT_EQ(rig.answers.trapsAsked[0][0].kind, ConfigTrapKind::LowVoltageProgramming);
    EXPECT_TRUE(HasTrap(r, ConfigTrapKind::LowVoltageProgramming));
    EXPECT_EQ(rig.Peek(Space::Program, 0), 0x3FFFu);
    EXPECT_EQ(rig.BytesIn(), sent) << "nothing goes to the chip, not even the socket check";

    rig.answers.writeTraps = true;
    r = Write(rig.context, rig.image, kAllMemories, {});
    EXPECT_TRUE(r.Ok());
    EXPECT_EQ(rig.answers.trapsAsked.size(), 2u);
    EXPECT_EQ(rig.Peek(Space::Config, 0x2007), 0x3FF2u);

    // Without anyone to ask, a trap is not written.
    rig.context.questions = nullptr;
    EXPECT_EQ(Write(rig.context, rig.image, kAllMemories, {}).outcome.cause, Cause::Declined);
}

TEST(WriteJob, NoticesAndProtectionLeftOffAreNotedWithoutAQuestion) {
    JobRig rig("PIC16F877A");
    // Watchdog on, code protection on (which this programmer leaves off), LVP off.
    rig.image.Set(Memory::Config, 7, 0x1F76);
    const Report r = Write(rig.context, rig.image, kAllMemories, {});
    EXPECT_TRUE(r.Ok());
    EXPECT_TRUE(rig.answers.trapsAsked.empty());
    ASSERT_EQ(r.configTraps.size(), 1u);
    EXPECT_EQ(r.configTraps[0].kind, ConfigTrapKind::Watchdog);
    EXPECT_EQ(r.configTraps[0].level, ConfigTrapLevel::Notice);
    EXPECT_EQ(r.protectionLeftOff.fields, std::vector<std::string>{"CP = ON"});

    // A write that leaves the configuration alone neither asks nor notes.
    rig.image.Set(Memory::Config, 7, 0x3FF2);
    const Report program = Write(rig.context, rig.image, {true, false, false}, {});
    EXPECT_TRUE(program.Ok());
    EXPECT_TRUE(program.configTraps.empty());
    EXPECT_TRUE(rig.answers.trapsAsked.empty());
}

}  // namespace
}  // namespace tenlo::jobs

namespace tenlo::jobs {
namespace {

// Raises the stop the moment the chip's calibration word reads erased: between the erase and
// the put-back, where a stop would lose the calibration for good.
class StopOnceErased final : public IClock {
  public:
    StopOnceErased(IClock& inner, testing::SimSocket& socket, std::atomic<bool>& stop)
        : inner_(inner), socket_(socket), stop_(stop) {}
    Duration Now() override { return inner_.Now(); }
    void SleepFor(Duration d) override {
        if (!stop_ && socket_.Peek(Space::Program, 0x3FF) == 0x3FFF) {
            stop_ = true;
        }
        inner_.SleepFor(d);
    }

  private:
    IClock& inner_;
    testing::SimSocket& socket_;
    std::atomic<bool>& stop_;
};

TEST(EraseJob, AStopBetweenTheEraseAndThePutBackOfTheCalibrationWaitsForThePutBack) {
    const std::filesystem::path state = std::filesystem::temp_directory_path() /
                                        ("tenlo-jobs-" + std::to_string(std::random_device{}()));
    const testing::StateHome home(state.string());
    testing::SimSocket socket("PIC12F629");
    socket.Poke(Space::Program, 0x10, 0x2805);
    std::atomic<bool> stop{false};
    VirtualClock time;
    StopOnceErased clock(time, socket, stop);
    CProgrammerLink link(nullptr, sim::MakeInProcessBackend(socket.programmer, time), &clock);
    link.Connect(ProgrammerPortDefinition(5));
    DeviceOptions options;
    options.keepCalibration = 1;
    const int index = FindCatalogueIndex("PIC12F629");
    const std::unique_ptr<CDevice> device = CreateDevice(index, link, &options, nullptr);
    JobContext context(*device, *CatalogueEntryAt(index), link, "COM5");
    context.stop = &stop;

    const Report r = Erase(context, {});
    EXPECT_TRUE(stop) << "the stop came after the erase";
    EXPECT_EQ(r.outcome.cause, Cause::Interrupted);
    EXPECT_FALSE(r.outcome.calibration) << "nothing to put back";
    EXPECT_EQ(socket.Peek(Space::Program, 0x10), 0x3FFFu) << "erased";
    EXPECT_EQ(socket.Peek(Space::Program, 0x3FF), 0x3480u) << "the calibration word is back";
    EXPECT_EQ(socket.Peek(Space::Config, 0x2007) & 0x3000, 0x3000u);
    EXPECT_FALSE(socket.Powered());
    std::filesystem::remove_all(state);
}

}  // namespace
}  // namespace tenlo::jobs
