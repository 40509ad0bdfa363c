#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "device/device_layout.h"
#include "jobs/firmware_update.h"
#include "jobs/hex_files.h"
#include "jobs/outcome.h"
#include "jobs/serial_allocator.h"
#include "jobs/serial_number.h"

namespace tenlo::cli {

// The one line a failed job is told in, and the exit code's reason.
struct FailureLine {
    Failure failure = Failure::None;
    std::string text;
};

// "0x%0*X" with at least digits digits.
std::string Hex(std::uint32_t value, int digits = 4);
// Hex digits of a cell of the memory: 4 for a 14-bit word, 2 for a data byte.
int CellDigits(const DeviceLayout& layout, Memory memory);
// "program memory", "configuration memory", "data memory".
const char* MemoryName(Memory memory);

struct RenderFacts {
    const DeviceLayout& layout;
    // The write erased the chip first: a cell that is not blank is then one that will not erase.
    bool erasedFirst = false;
    // What was being done, where the job's phase does not say it ("reading the firmware
    // version"); empty: the phase says it.
    std::string doing;
};

// A job's failure (outcome not Ok, not Mismatch) as tenlo-cli tells it.
FailureLine DescribeOutcome(const jobs::Outcome& outcome, const RenderFacts& facts);
// "interrupted while connecting to the programmer: the chip was not changed"
FailureLine InterruptedConnecting();

// Why update-firmware refused its file: "line 2 holds more than one record: ...".
std::string DescribeFirmwareFile(const FirmwareFileProblem& problem);
// What the serial-number file failed at: taking a number for a chip, keeping the number of a
// chip that verified, giving back that of a chip that did not.
enum class SerialStep : std::uint8_t { Take, Keep, GiveBack };
// largest: Take, what the cells hold.
FailureLine DescribeSerialFailure(const jobs::CSerialAllocator::Failure& failure, SerialStep step,
                                  std::uint64_t largest = 0);
// A --serial place that does not fit the chip.
FailureLine DescribeSerialMisfit(const jobs::SerialCells& cells, const DeviceLayout& layout);

// A file that was not taken; dataFile: it was given with --data.
FailureLine DescribeFileOutcome(const jobs::FileOutcome& outcome, const DeviceLayout& layout,
                                bool dataFile);

}  // namespace tenlo::cli

namespace tenlo::cli {

// A device ID word read with the selected chip, as the end of a run and the JSON document tell
// it: the chips it names (none for a word no chip carries, as an empty socket's 0x0000), the ID
// without its revision bits and the revision.
struct NamedId {
    std::vector<std::string> chips;
    std::uint16_t id = 0;
    std::uint16_t revision = 0;
};
NamedId NameDeviceId(const std::string& selectedDevice, std::uint16_t word);

}  // namespace tenlo::cli
