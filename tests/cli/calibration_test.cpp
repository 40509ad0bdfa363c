// A PIC12F629's factory calibration through tenlo-cli: recorded before every erase that keeps
// it, named with the command that puts it back when an erase is cut short before the put-back,
// put back by that command, and never "kept" once it has been lost.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli_rig.h"
#include "support/state_home.h"

namespace tenlo::cli::testing {
namespace {

using sim::Space;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

using tenlo::testing::StateHome;

constexpr std::uint32_t kCalibrationCell = 0x3FF;
constexpr std::uint32_t kConfigWord = 0x2007;
constexpr std::uint32_t kBandGapBits = 0x3000;

// A chip whose calibration is not the simulator's default: RETLW 0x54, band-gap 1.
void Calibrate(CliRig& rig) {
    rig.Poke(Space::Program, kCalibrationCell, 0x3454);
    rig.Poke(Space::Config, kConfigWord, 0x1FFF);
    rig.Poke(Space::Program, 0x10, 0x2805);
}

bool CalibrationIntact(CliRig& rig) {
    return rig.Peek(Space::Program, kCalibrationCell) == 0x3454 &&
           (rig.Peek(Space::Config, kConfigWord) & kBandGapBits) == 0x1000;
}

std::uint64_t Frames(CliRig& rig) {
    return rig.programmer->With(
        [](sim::CFirmwareEngine& engine, sim::IChipModel&) { return engine.Statistics().frames; });
}

std::vector<std::uint32_t> Cells(CliRig& rig) {
    std::vector<std::uint32_t> cells;
    for (std::uint32_t a = 0; a < 0x400; ++a) {
        cells.push_back(rig.Peek(Space::Program, a));
    }
    for (std::uint32_t a = 0x2000; a < 0x2008; ++a) {
        cells.push_back(rig.Peek(Space::Config, a));
    }
    for (std::uint32_t a = 0; a < 128; ++a) {
        cells.push_back(rig.Peek(Space::Data, a));
    }
    return cells;
}

TEST(CalibrationJournal, AnEraseCutShortAtAnyFrameLosesNothingTheJournalCannotPutBack) {
    TempDir dir;
    const StateHome home(dir.File("state"));
    const std::string journal = dir.File("state") + "/tenlo/calibration.log";
    const std::string command = "calibration --set 0x3454 --bandgap 1";

    CliRig clean("PIC12F629");
    Calibrate(clean);
    ASSERT_EQ(clean.Run({"--device", "PIC12F629", "erase"}), 0) << clean.stderrText;
    ASSERT_TRUE(CalibrationIntact(clean));
    const std::vector<std::uint32_t> erased = Cells(clean);
    const std::uint64_t frames = Frames(clean);
    EXPECT_TRUE(Has(ReadFile(journal), "tenlo-cli --port COM5 --device PIC12F629 " + command))
        << ReadFile(journal);

    int lost = 0;
    bool restored = false;
    for (std::uint64_t frame = 1; frame <= frames; ++frame) {
        SCOPED_TRACE("no answer to frame " + std::to_string(frame));
        sim::FaultPlan faults;
        faults.noAckFrames = {frame};
        CliRig rig("PIC12F629", faults);
        Calibrate(rig);
        const std::filesystem::path log(journal);
        std::filesystem::remove(log);
        const int code = rig.Run({"--device", "PIC12F629", "erase"});
        if (CalibrationIntact(rig)) {
            continue;
        }
        ++lost;
        EXPECT_EQ(code, 3) << rig.stderrText;
        EXPECT_TRUE(Has(rig.stderrText, "calibration word 0x3454, band-gap 1) may be lost"))
            << rig.stderrText;
        EXPECT_TRUE(Has(rig.stderrText, command)) << rig.stderrText;
        EXPECT_TRUE(Has(ReadFile(journal), command)) << "the journal was written before the erase";

        if (!restored) {
            // The journal's command, then the erase again: the chip as a clean erase leaves it.
            restored = true;
            EXPECT_EQ(rig.Run({"--device", "PIC12F629", "erase"}), 1) << "not kept while lost";
            ASSERT_EQ(rig.Run({"--device", "PIC12F629", "calibration", "--set", "0x3454",
                               "--bandgap", "1"}),
                      0)
                << rig.stderrText;
            ASSERT_EQ(rig.Run({"--device", "PIC12F629", "erase"}), 0) << rig.stderrText;
            EXPECT_EQ(Cells(rig), erased);
        }
    }
    // The frames from the bulk erase to the end of the put-back.
    EXPECT_GT(lost, 10);
}

TEST(CalibrationJournal, AJournalThatCannotBeWrittenStopsTheEraseBeforeItBegins) {
    TempDir dir;
    const std::string blocker = dir.Write("state", "a file where the folder would go");
    const StateHome home(blocker);
    CliRig rig("PIC12F629");
    Calibrate(rig);
    EXPECT_EQ(rig.Run({"--device", "PIC12F629", "erase"}), 4);
    EXPECT_TRUE(Has(rig.stderrText,
                    "cannot record the chip's calibration (calibration word "
                    "0x3454, band-gap 1)"))
        << rig.stderrText;
    EXPECT_EQ(rig.Peek(Space::Program, 0x10), 0x2805u) << "nothing was erased";
}

TEST(CalibrationJournal, ALostCalibrationWordIsNotKeptByAnEraseOrAWrite) {
    TempDir dir;
    const StateHome home(dir.File("state"));
    const std::string program = dir.Write("p.hex", ":020000000528D1\n:00000001FF\n");
    CliRig rig("PIC12F629");
    rig.Poke(Space::Program, kCalibrationCell, 0x3FFF);
    rig.Poke(Space::Program, 0x10, 0x2805);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"erase"}, {"write", program}, {"write", "--erase", program}}) {
        std::vector<std::string> full{"--device", "PIC12F629"};
        full.insert(full.end(), args.begin(), args.end());
        EXPECT_EQ(rig.Run(full), 1) << rig.stderrText;
        EXPECT_TRUE(Has(rig.stderrText,
                        "the calibration word at 0x03FF reads 0x3FFF, which is "
                        "no RETLW"))
            << rig.stderrText;
        EXPECT_EQ(rig.Peek(Space::Program, 0x10), 0x2805u) << "nothing was done";
    }
    // Reading it says so; the user may still give up the calibration.
    EXPECT_EQ(rig.Run({"--device", "PIC12F629", "calibration"}), 1);
    EXPECT_TRUE(Has(rig.stdoutText, "calibration word 0x3FFF at 0x03FF")) << rig.stdoutText;
    EXPECT_EQ(rig.Run({"--device", "PIC12F629", "--no-keep-calibration", "erase"}), 0)
        << rig.stderrText;
}

TEST(CalibrationJournal, TheRestoreRefusesAChipThatStillHoldsACalibration) {
    CliRig rig("PIC12F629");
    EXPECT_EQ(rig.Run({"--device", "PIC12F629", "calibration"}), 0);
    EXPECT_EQ(rig.stdoutText, "calibration word 0x3480 at 0x03FF, band-gap 3\n");
    // Writing over it could only clear bits: the chip's own stays as it was.
    EXPECT_EQ(rig.Run({"--device", "PIC12F629", "calibration", "--set", "0x3455"}), 1);
    EXPECT_TRUE(Has(rig.stderrText, "0x03FF holds 0x3480 where the calibration has 0x3455"))
        << rig.stderrText;
    EXPECT_EQ(rig.Peek(Space::Program, kCalibrationCell), 0x3480u);
    // The same values are no failure, and not said to be written.
    EXPECT_EQ(
        rig.Run({"--device", "PIC12F629", "calibration", "--set", "0x3480", "--bandgap", "3"}), 0)
        << rig.stderrText;
    EXPECT_TRUE(Has(rig.stdoutText + rig.stderrText,
                    "the PIC12F629 already holds calibration word 0x3480 and band-gap 3: nothing "
                    "was written"))
        << rig.stdoutText << rig.stderrText;
    EXPECT_EQ(rig.Run({"--device", "PIC12F629", "calibration", "--set", "0x3FFF"}), 2);
    EXPECT_EQ(rig.Run({"--device", "PIC16F84A", "calibration"}), 2);
    EXPECT_TRUE(Has(rig.stderrText, "has no calibration that an erase takes")) << rig.stderrText;
}

}  // namespace
}  // namespace tenlo::cli::testing
