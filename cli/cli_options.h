#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/memory_list.h"
#include "jobs/production_run.h"

namespace tenlo::cli {

enum class Command {
    None,
    Devices,
    Ping,
    Version,
    Read,
    Write,
    Verify,
    Erase,
    Id,
    UpdateFirmware,
    Ports,
    Config,
    Calibration,
    Checksum,
};

struct CliOptions {
    std::string port = "COM5";       // as given
    std::vector<std::string> ports;  // --port split at its commas
    std::string device = "PIC16F84A";
    bool simulate = false;
    std::string simulateChip;  // empty: the --device chip
    bool keepCalibration = true;
    // verify compares calibration cells: by default only when calibration is not kept, since a
    // write that keeps the chip's own cannot have put the file's there.
    bool compareCalibration = false;
    bool quiet = false;
    bool trace = false;
    bool json = false;    // one JSON document on standard output at the end
    std::string logFile;  // --log: a CSV row per chip

    Command command = Command::None;
    std::string programFile;  // write, verify, checksum: PROG.hex
    std::string dataFile;     // write, verify: --data
    std::string outFile;      // read: -o (empty: standard output)
    std::string dataOutFile;  // read: --data-out
    std::optional<MemorySet> memories;
    bool erase = false;    // write --erase
    bool verify = false;   // write --verify (a serial number asks for it too)
    bool readBack = true;  // write: read back what the family's write does not (--no-verify)
    // write --serial, and --serial-file in its file.
    std::optional<jobs::SerialSettings> serial;
    bool checkErased = true;   // erase: read the chip back to see it blank (--no-verify: not)
    bool force = false;        // read, write, verify, erase, config --read: no device ID check
    std::string firmwareFile;  // update-firmware --file (empty: the updater's own name)
    std::string configSet;     // write, verify --set: NAME=SETTING[,...]
    bool strict = false;       // write --strict: a configuration trap refuses the write
    bool readConfig = false;   // config --read: the chip's configuration, not a file's
    // calibration --set WORD [--bandgap N]: the values to write back (none: show the chip's)
    std::optional<std::uint16_t> calibrationWord;
    std::optional<std::uint16_t> bandGap;
};

// How a port argument reads: "COMn" (any case, n from 1) or a device path used as it is.
struct PortChoice {
    int number = 0;    // COMn: n; a path: 0
    std::string path;  // a path: the path
    bool IsPath() const { return number == 0; }
};
// nullopt for an empty argument or a COM name whose number cannot be a port.
std::optional<PortChoice> ParsePortArgument(const std::string& text);

// --serial WHERE:START[:STEP], WHERE one of eeprom:ADDR:BYTES, retlw:ADDR:BYTES or id; numbers
// decimal or 0x hexadecimal. nullopt with a message in error otherwise.
std::optional<jobs::SerialSettings> ParseSerialArgument(const std::string& text,
                                                        std::string& error);

enum class ParseOutcome {
    Run,    // options filled in, go on
    Help,   // help or version text printed to out: exit 0
    Error,  // message explains it: exit 2
};

// Parses the command line. On Error, message holds one line (without the program name) and
// nothing else was printed. Help text goes to helpOut.
ParseOutcome ParseCommandLine(const std::vector<std::string>& args, CliOptions& options,
                              std::string& message, std::string& helpOut);

}  // namespace tenlo::cli
