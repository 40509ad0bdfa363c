// The calibration journal read back, as Tenlo offers its entries for a restore: what the erases
// wrote comes back value for value, the newest first, and a damaged journal gives no false entry.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "jobs/calibration.h"

namespace tenlo::jobs {
namespace {

class CalibrationJournalRead : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("tenlo-journal-" +
                std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::filesystem::path Journal() const { return dir_ / "tenlo" / "calibration.log"; }

    std::filesystem::path dir_;
};

TEST_F(CalibrationJournalRead, WhatTheErasesRecordedComesBackNewestFirstForThatChipOnly) {
    const CalibrationRecord first{"PIC12F629", "COM5", 0x0F81, 0x3454, 1};
    const CalibrationRecord other{"PIC12F675", "COM5", 0x0FC1, 0x3490, 2};
    // A chip that did not give its ID, without band-gap bits named.
    const CalibrationRecord odd{"PIC12F629", "COM12", std::nullopt, 0x34A0, std::nullopt};
    for (const CalibrationRecord& record : {first, other, odd}) {
        ASSERT_TRUE(AppendToJournal(Journal(), JournalLine(record)));
    }

    const std::vector<JournalEntry> entries = JournalEntriesFor(Journal(), "PIC12F629");
    ASSERT_EQ(entries.size(), 2u);
    const CalibrationRecord& newest = entries[0].record;
    EXPECT_EQ(newest.port, odd.port);
    EXPECT_EQ(newest.word, 0x34A0);
    EXPECT_FALSE(newest.bandGap);
    EXPECT_FALSE(newest.deviceId);
    const CalibrationRecord& oldest = entries[1].record;
    EXPECT_EQ(oldest.chip, "PIC12F629");
    EXPECT_EQ(oldest.port, "COM5");
    EXPECT_EQ(oldest.deviceId, 0x0F81);
    EXPECT_EQ(oldest.word, 0x3454);
    EXPECT_EQ(oldest.bandGap, 1);
    EXPECT_EQ(entries[1].time.size(), 20u) << entries[1].time;  // 2026-12-09T16:20:01Z
    EXPECT_EQ(entries[1].time.back(), 'Z');

    EXPECT_EQ(JournalEntriesFor(Journal(), "PIC12F675").size(), 1u);
    EXPECT_TRUE(JournalEntriesFor(Journal(), "PIC16F84A").empty());
    EXPECT_TRUE(JournalEntriesFor(dir_ / "none.log", "PIC12F629").empty());
}

TEST_F(CalibrationJournalRead, LinesThatHoldNoValuesAChipCanTakeAreLeftOut) {
    const std::string good = JournalLine({"PIC12F629", "COM5", 0x0F81, 0x3480, 3});
    const auto with = [&](const std::string& from, const std::string& to) {
        std::string line = good;
        line.replace(line.find(from), from.size(), to);
        return line;
    };
    std::filesystem::create_directories(Journal().parent_path());
    std::ofstream(Journal(), std::ios::binary)
        << "not a journal line\n"
        << with("word 0x3480", "word 0x3FFF") << '\n'  // an erased word is no calibration
        << with("band-gap 3", "band-gap 7") << '\n'    // two bits
        << with("word 0x3480", "word 0x348") << '\n'   // cut short
        << with("device ID 0x0F81", "device ID 0xZZ81") << '\n'
        << std::string(100000, 'x') + good << '\n'  // no line is that long
        << good << '\n'
        << with("3; to put", "3;to put")
        << '\n'
        // The last line, cut by a crash in its command: the values are whole.
        << good.substr(0, good.find("; to put it back: ") + 25);

    const std::vector<JournalEntry> entries = JournalEntriesFor(Journal(), "PIC12F629");
    ASSERT_EQ(entries.size(), 2u);
    for (const JournalEntry& entry : entries) {
        EXPECT_EQ(entry.record.word, 0x3480);
        EXPECT_EQ(entry.record.bandGap, 3);
    }
}

}  // namespace
}  // namespace tenlo::jobs
