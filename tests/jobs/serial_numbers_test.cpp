// Serial numbers of a production run: where they go in each chip, who hands them out and what
// the serial file says after chips that verified, chips that failed and runs that were killed.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "device/catalogue.h"
#include "jobs/device_jobs.h"
#include "jobs/durable_file.h"
#include "jobs/production_run.h"
#include "jobs/serial_allocator.h"
#include "jobs/serial_number.h"
#include "support/sim_rig.h"

namespace tenlo::jobs {
namespace {

namespace fs = std::filesystem;
using sim::Space;
using Alloc = CSerialAllocator;

class ScratchFolder {
  public:
    ScratchFolder()
        : path_(fs::temp_directory_path() /
                ("tenlo-serial-" + std::to_string(std::random_device{}()))) {
        fs::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

  private:
    fs::path path_;
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A process id no process has (beyond any pid_max): the run that held it is gone.
constexpr long kGonePid = 999999999;

// ---- Where the number goes ----

struct Chip {
    explicit Chip(const std::string& name, bool keepCalibration = true)
        : link(nullptr, nullptr, nullptr),
          device(CreateDevice(FindCatalogueIndex(name), link, &options, nullptr)),
          image(device->Layout()) {
        options.keepCalibration = keepCalibration ? 1 : 0;
    }
    DeviceOptions options;
    CProgrammerLink link;
    std::unique_ptr<CDevice> device;
    CMemoryImage image;
};

TEST(SerialPlacement, EachFormPutsTheNumberMostSignificantFirstInTheCellsTheChipHolds) {
    Chip a("PIC16F877A");
    const SerialCells eeprom = PlaceSerial({SerialWhere::Eeprom, 0x10, 3}, *a.device);
    ASSERT_TRUE(eeprom.Ok());
    EXPECT_EQ(eeprom.Largest(), 0xFFFFFFu);
    WriteSerial(eeprom, 0x123456, a.image);
    EXPECT_EQ(a.image.Get(Memory::Data, 0x10), 0x12u);
    EXPECT_EQ(a.image.Get(Memory::Data, 0x11), 0x34u);
    EXPECT_EQ(a.image.Get(Memory::Data, 0x12), 0x56u);
    EXPECT_EQ(a.image.Get(Memory::Data, 0x13), 0xFFu);

    const SerialCells id = PlaceSerial({SerialWhere::IdLocations, 0, 0}, *a.device);
    ASSERT_TRUE(id.Ok());
    EXPECT_EQ(id.Largest(), 0xFFFFu);
    WriteSerial(id, 0x1A2F, a.image);
    EXPECT_EQ(a.image.Get(Memory::Config, 0), 0x1u);
    EXPECT_EQ(a.image.Get(Memory::Config, 1), 0xAu);
    EXPECT_EQ(a.image.Get(Memory::Config, 2), 0x2u);
    EXPECT_EQ(a.image.Get(Memory::Config, 3), 0xFu);

    // RETLW k is 0x34kk on the 14-bit core and 0x8kk on the 12-bit one.
    const SerialCells table = PlaceSerial({SerialWhere::Retlw, 0x100, 2}, *a.device);
    ASSERT_TRUE(table.Ok());
    WriteSerial(table, 0xBEEF, a.image);
    EXPECT_EQ(a.image.Get(Memory::Program, 0x100), 0x34BEu);
    EXPECT_EQ(a.image.Get(Memory::Program, 0x101), 0x34EFu);
    Chip b("PIC12F508");
    const SerialCells baseline = PlaceSerial({SerialWhere::Retlw, 0x10, 1}, *b.device);
    ASSERT_TRUE(baseline.Ok());
    WriteSerial(baseline, 0x7E, b.image);
    EXPECT_EQ(b.image.Get(Memory::Program, 0x10), 0x87Eu);
}

TEST(SerialPlacement, CellsTheChipLacksOrTheWriteKeepsAreRefusedWithWhy) {
    Chip baseline("PIC12F508");
    Chip pic18("PIC18F452");
    Chip mid("PIC16F877A");
    EXPECT_EQ(PlaceSerial({SerialWhere::Eeprom, 0, 2}, *baseline.device).misfit,
              SerialMisfit::NoDataMemory);
    EXPECT_EQ(PlaceSerial({SerialWhere::Retlw, 0, 2}, *pic18.device).misfit, SerialMisfit::NoRetlw);
    EXPECT_EQ(PlaceSerial({SerialWhere::IdLocations, 0, 0}, *pic18.device).misfit,
              SerialMisfit::NoIdLocations);
    EXPECT_EQ(PlaceSerial({SerialWhere::IdLocations, 0, 0}, *baseline.device).misfit,
              SerialMisfit::NoIdLocations);

    const SerialCells past = PlaceSerial({SerialWhere::Eeprom, 0xFE, 4}, *mid.device);
    EXPECT_EQ(past.misfit, SerialMisfit::BeyondMemory);
    EXPECT_EQ(past.size, 256u);
    EXPECT_TRUE(PlaceSerial({SerialWhere::Eeprom, 0xFC, 4}, *mid.device).Ok());

    // The 12F508 keeps its oscillator calibration word at 0x1FF while calibration is kept.
    const SerialCells calibration = PlaceSerial({SerialWhere::Retlw, 0x1FE, 2}, *baseline.device);
    EXPECT_EQ(calibration.misfit, SerialMisfit::CellNotWritten);
    EXPECT_EQ(calibration.cell, 0x1FFu);
    Chip notKept("PIC12F508", false);
    EXPECT_TRUE(PlaceSerial({SerialWhere::Retlw, 0x1FE, 2}, *notKept.device).Ok());
}

// ---- Who hands the numbers out ----

TEST(SerialAllocator, NumbersGoStepByStepAndAFailedChipsNumberGoesToTheNextChip) {
    ScratchFolder dir;
    const std::string file = dir.File("serial.txt");
    Alloc numbers(file, 1000, 5);
    Alloc::Failure f;
    const auto a = numbers.Take("COM5", 99999, f);
    const auto b = numbers.Take("COM6", 99999, f);
    const auto c = numbers.Take("COM7", 99999, f);
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(*a, 1000u);
    EXPECT_EQ(*b, 1005u);
    EXPECT_EQ(*c, 1010u);
    EXPECT_EQ(Slurp(file), "1015\nclaimed 1000 " + std::to_string(::getpid()) +
                               " COM5\nclaimed 1005 " + std::to_string(::getpid()) +
                               " COM6\nclaimed 1010 " + std::to_string(::getpid()) + " COM7\n");

    ASSERT_TRUE(numbers.Keep(*a, f));
    ASSERT_TRUE(numbers.GiveBack(*b, f));
    ASSERT_TRUE(numbers.Keep(*c, f));
    EXPECT_EQ(Slurp(file), "1015\nfree 1005\n");
    EXPECT_EQ(numbers.Take("COM5", 99999, f), 1005u);

    // Given back from the top, the next number comes down again: the file reads as if the
    // chip had never been tried.
    Alloc again(dir.File("other.txt"), 1, 1);
    const auto x = again.Take("COM5", 9, f);
    const auto y = again.Take("COM6", 9, f);
    ASSERT_TRUE(again.GiveBack(*y, f));
    ASSERT_TRUE(again.GiveBack(*x, f));
    EXPECT_EQ(Slurp(dir.File("other.txt")), "1\n");
}

TEST(SerialAllocator, AFileTheUserStartedIsTakenAndOneNotItsOwnIsLeftAlone) {
    ScratchFolder dir;
    const std::string file = dir.File("serial.txt");
    std::ofstream(file, std::ios::binary) << "# batch 7\n4711\n";
    Alloc numbers(file, 1, 1);
    Alloc::Failure f;
    EXPECT_EQ(numbers.Take("COM5", 99999, f), 4711u);

    const std::string bad = dir.File("bad.txt");
    std::ofstream(bad, std::ios::binary) << "12\nfree 3\nfree 40\n";  // 40 was never handed out
    Alloc refused(bad, 1, 1);
    EXPECT_FALSE(refused.Take("COM5", 99999, f));
    EXPECT_EQ(f.problem, Alloc::Problem::NotValid);
    EXPECT_EQ(f.line, 3);
    EXPECT_EQ(Slurp(bad), "12\nfree 3\nfree 40\n");

    // The chip's cells hold no more than largest: the run stops handing out numbers there.
    std::ofstream(file, std::ios::binary | std::ios::trunc) << "255\n";
    Alloc full(file, 1, 1);
    EXPECT_EQ(full.Take("COM5", 255, f), 255u);
    EXPECT_FALSE(full.Take("COM5", 255, f));
    EXPECT_EQ(f.problem, Alloc::Problem::Exhausted);
}

TEST(SerialAllocator, AClaimLeftByAKilledRunIsKeptOnlyWhenTheLogSaysItsChipVerified) {
    ScratchFolder dir;
    const std::string file = dir.File("serial.txt");
    std::ofstream(file, std::ios::binary)
        << "104\nclaimed 101 " << kGonePid << " COM5\nclaimed 103 " << kGonePid
        << " COM7\nclaimed 102 " << ::getpid() << " COM6\n";
    // 101's row reached the log before the run died; 103's chip never got that far, and 102 was
    // left by an earlier process that had this one's id.
    Alloc numbers(file, 1, 1, [](std::uint64_t n) { return n == 101; });
    Alloc::State state;
    Alloc::Failure f;
    ASSERT_TRUE(numbers.Read(state, f));
    EXPECT_EQ(state.next, 102u);
    EXPECT_TRUE(state.free.empty());
    EXPECT_TRUE(state.claimed.empty());
    EXPECT_EQ(numbers.Take("COM5", 999, f), 102u);
    EXPECT_EQ(numbers.Take("COM5", 999, f), 103u);
    EXPECT_EQ(numbers.Take("COM5", 999, f), 104u);

    // A claim of a run still going (here a process that always runs: init, or this test
    // itself as the system sees it from outside) is not touched.
    EXPECT_TRUE(ProcessRuns(ThisProcessId()));
    EXPECT_FALSE(ProcessRuns(kGonePid));
#if defined(_WIN32)
    // This process's own claims are the allocator's alone: another live process is needed.
    GTEST_SKIP() << "no process of a known id beside this one on Windows";
#endif
    const std::string going = "claimed 7 1 COM9\n";
    std::ofstream(file, std::ios::binary | std::ios::trunc) << "8\n" << going;
    Alloc beside(file, 1, 1);
    EXPECT_EQ(beside.Take("COM5", 999, f), 8u);
    EXPECT_NE(Slurp(file).find(going), std::string::npos);
}

TEST(SerialAllocator, PortsTakingAndReturningAtOnceNeverShareANumberNorLoseOne) {
    ScratchFolder dir;
    const std::string file = dir.File("serial.txt");
    Alloc numbers(file, 1, 1);
    std::vector<std::vector<std::uint64_t>> kept(4);
    std::vector<std::thread> ports;
    for (int port = 0; port < 4; ++port) {
        ports.emplace_back([&, port] {
            for (int chip = 0; chip < 15; ++chip) {
                Alloc::Failure f;
                const auto n = numbers.Take("COM" + std::to_string(port), 1000000, f);
                ASSERT_TRUE(n) << static_cast<int>(f.problem);
                // Every third chip fails and gives its number back.
                if ((chip + port) % 3 == 0) {
                    ASSERT_TRUE(numbers.GiveBack(*n, f));
                } else {
                    ASSERT_TRUE(numbers.Keep(*n, f));
                    kept[port].push_back(*n);
                }
            }
        });
    }
    for (std::thread& t : ports) {
        t.join();
    }
    std::vector<std::uint64_t> all;
    for (const auto& k : kept) {
        all.insert(all.end(), k.begin(), k.end());
    }
    std::sort(all.begin(), all.end());
    EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end()) << "a number went twice";
    Alloc::State state;
    Alloc::Failure f;
    ASSERT_TRUE(numbers.Read(state, f));
    // Every number below the next one is either in a verified chip or free for the next chip.
    EXPECT_EQ(all.size() + state.free.size(), state.next - 1);
    EXPECT_TRUE(state.claimed.empty());
}

// ---- The numbers in a run of chips ----

struct Socket : testing::SimRig {
    explicit Socket(sim::FaultPlan faults = {})
        : SimRig("PIC16F877A", std::move(faults)),
          entry(*CatalogueEntryAt(FindCatalogueIndex("PIC16F877A"))),
          image(device->Layout()),
          context(*device, entry, link, "COM5") {
        options.keepCalibration = 1;
        // LVP off: a blank configuration's LVP is a trap, and a job with no one to ask about it
        // writes nothing.
        image.Set(Memory::Config, 7, 0x3F72);
    }
    const CatalogueEntry& entry;
    CMemoryImage image;
    JobContext context;
};

TEST(ProductionRun, EachChipGetsItsNumberWhenItsMemoryIsWrittenAndAChipThatFailsGivesItBack) {
    ScratchFolder dir;
    const std::string file = dir.File("serial.txt");
    const std::string log = dir.File("log.csv");
    CProductionRun run(SerialSettings{{SerialWhere::Eeprom, 0, 2}, 500, 1, file}, log);

    auto writeChip = [&](Socket& s, const std::string& port) {
        CProductionRun::CChipNumber number(run, PlaceSerial(run.Serial()->placement, *s.device),
                                           port);
        s.context.observer = &number;
        WriteOptions options;
        options.verify = true;
        const Report r = Write(s.context, s.image, kAllMemories, options);
        LogRow row;
        row.port = port;
        row.serial = number.Number();
        row.result = r.Ok() ? ChipResult::Ok : ChipResult::Failed;
        run.ChipDone(row, &number, r.Ok());
        return std::make_pair(r, number.Number());
    };

    Socket first;
    const auto [r1, n1] = writeChip(first, "COM5");
    ASSERT_TRUE(r1.Ok());
    EXPECT_EQ(n1, 500u);
    EXPECT_EQ(first.Peek(Space::Data, 0), 0x01u);
    EXPECT_EQ(first.Peek(Space::Data, 1), 0xF4u);

    // Program memory will not program: the write ends before data memory, no number taken.
    sim::FaultPlan stuckProgram;
    stuckProgram.stuckCells.emplace_back(Space::Program, 0x10);
    Socket second(stuckProgram);
    second.image.Set(Memory::Program, 0x10, 0x0000);
    const auto [r2, n2] = writeChip(second, "COM6");
    EXPECT_EQ(r2.outcome.cause, Cause::WillNotProgram);
    EXPECT_FALSE(n2);

    // Data memory will not program: the number was written, and goes back.
    sim::FaultPlan stuckData;
    stuckData.stuckCells.emplace_back(Space::Data, 1);
    Socket third(stuckData);
    const auto [r3, n3] = writeChip(third, "COM7");
    EXPECT_FALSE(r3.Ok());
    EXPECT_EQ(n3, 501u);

    Socket fourth;
    const auto [r4, n4] = writeChip(fourth, "COM5");
    ASSERT_TRUE(r4.Ok());
    EXPECT_EQ(n4, 501u);
    EXPECT_EQ(Slurp(file), "502\n");

    const std::string rows = Slurp(log);
    EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 5) << rows;
    EXPECT_TRUE(LogShowsSerialOk(log, 500));
    EXPECT_TRUE(LogShowsSerialOk(log, 501));
    EXPECT_FALSE(LogShowsSerialOk(log, 502));
}

}  // namespace
}  // namespace tenlo::jobs
