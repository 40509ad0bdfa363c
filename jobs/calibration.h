#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/device.h"
#include "jobs/job_context.h"
#include "jobs/outcome.h"

namespace tenlo::jobs {

// A chip's factory calibration is read before every erase that keeps it and appended to a
// journal, flushed to the disk before the erase begins: an erase cut short between the erase and
// the put-back then loses nothing the user cannot write back (tenlo-cli calibration --set).

// ${XDG_STATE_HOME:-$HOME/.local/state}/tenlo/calibration.log
std::filesystem::path CalibrationJournalPath();

// An oscillator calibration word is a RETLW k (0x34kk): anything else is not a calibration.
constexpr bool IsRetlw(std::uint16_t word) {
    return (word & 0x3F00) == 0x3400;
}

// The band-gap bits of a configuration word as the number a user gives (--bandgap N), and back.
std::uint16_t BandGapNumber(std::uint16_t bits, std::uint16_t mask);
std::uint16_t BandGapBits(std::uint16_t number, std::uint16_t mask);

// One journal entry: what was read from which chip, where and when.
struct CalibrationRecord {
    std::string chip;
    std::string port;
    std::optional<std::uint16_t> deviceId;
    std::uint16_t word = 0;
    std::optional<std::uint16_t> bandGap;  // the number
};

// The command that writes the record's values back to the chip.
std::string RestoreCommand(const CalibrationRecord& record);
// The journal line of the record at the present time (without its line end).
std::string JournalLine(const CalibrationRecord& record);
// Appends the line to the journal at path (its folder made if need be) and flushes it to the
// disk; false when any of that failed.
bool AppendToJournal(const std::filesystem::path& path, const std::string& line);

// A journal line read back: when it was written (UTC, as the line gives it) and what it holds.
struct JournalEntry {
    std::string time;
    CalibrationRecord record;
};

// The entry a journal line holds; nothing for a line that is none, or whose values no chip can
// take back (a word that is no RETLW, a band-gap above 3).
std::optional<JournalEntry> ParseJournalLine(std::string_view line);
// The journal's entries for the chip, the newest first; none when there is no journal to read.
std::vector<JournalEntry> JournalEntriesFor(const std::filesystem::path& path,
                                            std::string_view chip);

// The calibration the chip holds, the socket checked first. NotDone for a chip without one.
Outcome ReadCalibration(JobContext& context, CDevice::CalibrationValues& values);
// Writes the values back to a chip that lost them (an erased word and band-gap bits: programming
// only clears bits) and reads them back: WillNotProgram at the cell that did not take them.
// wrote, when given, says whether anything was sent to be written: a chip that holds the values
// already is left as it is, and that is no failure.
Outcome RestoreCalibration(JobContext& context, const CDevice::CalibrationValues& values,
                           bool* wrote = nullptr);

}  // namespace tenlo::jobs
