#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tenlo::jobs {

// The record of a production run: one CSV row per chip handled, appended as each chip ends,
// whole or not at all, so that the rows of a run that crashed are all there.

enum class ChipResult : std::uint8_t {
    Ok,           // the command did all it was asked (a write: written, and verified if asked)
    Failed,       // it did not (cause says why)
    Interrupted,  // Ctrl-C or SIGTERM stopped it
};

struct LogRow {
    std::chrono::system_clock::time_point time;  // when the chip was done
    std::string port;
    std::string chip;                       // the chip selected
    std::optional<std::uint16_t> deviceId;  // as read, revision bits left out
    std::optional<std::uint16_t> revision;
    std::string file;                       // the HEX file, as named
    std::optional<std::uint16_t> checksum;  // the file's
    std::optional<std::uint64_t> serial;    // the number written into the chip
    ChipResult result = ChipResult::Ok;
    std::string cause;  // one line; empty when Ok
    double seconds = 0;
};

// "time,port,chip,device_id,revision,file,checksum,serial,result,cause,seconds" and its line end.
std::string LogHeader();
// The row's line: time in ISO 8601 with the local offset (2024-05-01T14:03:07+02:00), device
// ID and checksum as 0x hexadecimal, result ok, failed or interrupted; a field holding a comma,
// a quote or a line break is quoted as CSV has it.
std::string FormatLogRow(const LogRow& row);
// The fields of one CSV line (quotes undone); nullopt for a line that is not well formed.
std::optional<std::vector<std::string>> SplitCsvLine(const std::string& line);

// Appends the row to the file (made with its header when missing or empty). False with the
// system's error number.
bool AppendLogRow(const std::string& path, const LogRow& row, int& error);

// Whether the log holds a chip that ended ok with this serial number.
bool LogShowsSerialOk(const std::string& path, std::uint64_t serial);

}  // namespace tenlo::jobs
