#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/device_layout.h"
#include "jobs/hex_files.h"
#include "jobs/outcome.h"

namespace tenlo::app {

// Tenlo's Japanese words for the jobs' outcomes: the cause a result message gives after the
// message itself, on lines of its own. Empty where there is nothing to add (success, a
// mismatch, which has its own report, or a question the user answered no).
QString CauseText(const jobs::Outcome& outcome, const DeviceLayout& layout);

// "キャリブレーションワード 3480H、バンドギャップ 3" (the band-gap as its number, when given).
QString CalibrationValuesText(std::uint16_t word, std::optional<std::uint16_t> bandGap);

// The message a result box shows: text, then the cause on its own lines, if there is one.
QString WithCause(const QString& text, const QString& cause);

// The questions a job asks.
QString OtherChipQuestion(const std::string& selected, const std::vector<std::string>& named,
                          std::uint16_t id);
QString NoEndRecordQuestion(const QString& fileName);

// A file that was not loaded: the Part's message, then the file, the line and the reason.
// Empty for a file without its end record that the user chose not to load.
QString FileFailureText(const jobs::FileOutcome& outcome, const DeviceLayout& layout,
                        bool dataFile);

}  // namespace tenlo::app
