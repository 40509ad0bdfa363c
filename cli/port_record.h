#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "cli/memory_list.h"
#include "device/memory_image.h"
#include "jobs/config_traps.h"
#include "jobs/outcome.h"
#include "jobs/serial_number.h"

namespace tenlo::cli {

// What a command needs before any port is opened, made once for all its ports: the chip, the
// files of write and verify with their checksum, the memories, where a serial number goes.
struct Prepared {
    int deviceIndex = -1;
    DeviceLayout layout;
    // write, verify: the files as loaded, with the fields --set changes; config: the file.
    std::unique_ptr<CMemoryImage> image;
    MemorySet chosen;                       // read, write, verify
    std::optional<std::uint16_t> checksum;  // write, verify: the files'
    std::optional<jobs::SerialCells> serial;
    jobs::ConfigCheck config;  // write: the traps in its configuration, the protection left off
};

// What a command came to on one port, for the end of a run over several ports, the log and the
// JSON document.
struct PortRecord {
    std::string port;
    int code = 0;
    Failure failure = Failure::None;
    std::string message;                 // the failure's one line; empty when the command went well
    std::optional<jobs::Report> report;  // the job's, when one ran
    std::optional<std::uint16_t> deviceId;         // the ID word as read, revision bits included
    std::optional<std::uint64_t> serial;           // the serial number the chip was written with
    std::optional<std::uint16_t> checksum;         // read: of what was read
    std::string version;                           // version: as the about box says it
    std::optional<std::uint16_t> calibrationWord;  // calibration: the word read
    std::optional<std::uint16_t> bandGap;          // calibration: its band-gap number
    std::vector<std::string> files;                // read: the files written
    std::string done;                              // what was done, for the end line ("erased")
    double seconds = 0;
};

}  // namespace tenlo::cli
