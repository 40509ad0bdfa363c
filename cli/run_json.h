#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/exit_codes.h"
#include "cli/port_record.h"

namespace tenlo::cli {

// What --json tells of a whole run: the command, what it was given, and each port's record.
// A run refused before any port opened has no ports and says why in failure and message.
struct RunFacts {
    const CliOptions* options = nullptr;  // none: the command line did not parse
    int code = 0;
    double seconds = 0;
    Failure failure = Failure::None;
    std::string message;
    std::optional<std::uint16_t> checksum;  // write, verify, checksum: the files'
    const std::vector<PortRecord>* ports = nullptr;
};

// The one JSON document a command prints with --json, newline included (README: the schema).
std::string RunJson(const RunFacts& run);

// devices --json: the catalogue.
std::string DevicesJson();

// Whether the words hold --json, for a command line that did not parse.
bool AsksForJson(const std::vector<std::string>& args);

}  // namespace tenlo::cli
