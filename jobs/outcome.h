#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/chip_config.h"
#include "device/device_layout.h"
#include "link/programmer_link.h"

namespace tenlo::jobs {

// What a user starts (read, erase, write, compare, the socket check before them) ends in one of
// these. Every job returns plain data: no text, so that each front says it in its own words and
// language (tenlo-cli in English lines and exit codes, Tenlo in Japanese boxes, a JSON writer
// field by field) and none of them has to work out what happened.

// Where a job was when it ended. None: it never reached the chip (or it did all it was asked).
enum class Phase : std::uint8_t {
    None,
    SocketCheck,    // reading the device ID before the command
    Reading,        // reading a memory
    Erasing,        // the chip erase
    EraseReadBack,  // reading program and data memory back after an erase
    Writing,        // writing a memory
    WriteVerify,    // reading back what a write wrote: the family's own pass, or a verify asked for
    WriteReadBack,  // reading a memory back to find out why its write failed
    Comparing,      // comparing a memory with the image
    CalibrationRead,   // reading the chip's calibration (before an erase or a write that keeps it)
    CalibrationWrite,  // writing the calibration back and reading it back
};

// Why a job ended. None: it did all it was asked.
enum class Cause : std::uint8_t {
    None,
    // The socket reads empty: the device ID word is all zeros or all ones in its bits (deviceId),
    // or every cell of a chip read back after an erase is zero (cell: the first).
    NoChip,
    // The device ID names another chip than the one selected (deviceId, otherChips; otherChips
    // empty: a word no catalogued chip carries), and nobody said to go on.
    OtherChip,
    // A compare found a cell that differs (memory, address, chipValue, expectedValue).
    Mismatch,
    // A write could not program a cell because it holds bits that programming cannot clear: the
    // chip was not erased (cell as for Mismatch; expectedValue is what the write wanted).
    NotBlank,
    // A cell did not take what was written to it (cell as for Mismatch).
    WillNotProgram,
    // A cell kept its bits through an erase (cell as for Mismatch; expectedValue is blank).
    WillNotErase,
    // The chip stayed busy finishing a write through every status read.
    ChipBusy,
    // The programmer did not answer, or answered wrongly (link, port, programmerSilent; address:
    // the first cell of the block the job was on, when it was in a memory).
    LineFailed,
    // The programmer answered every command and yet the operation did not complete.
    NotDone,
    // The programmer reported a failed write, yet the chip holds what was written.
    ProgrammerError,
    // The stop flag was raised: the job ended at the next command (the chip powered down).
    Interrupted,
    // An observer's hook said no (IJobObserver::BeforeErase, BeforeWrite: phase Erasing or
    // Writing, memory); nothing was done from there on. In Phase::None with memory Config: the
    // user would not write a configuration with traps (Report::configTraps), and nothing went to
    // the chip.
    Declined,
    // Calibration is kept, but the chip's calibration word is no RETLW (chipValue; memory and
    // address its cell): an earlier erase lost it, and keeping it would keep that. Nothing was
    // done.
    NotCalibration,
    // The calibration read before an erase could not be recorded in the journal (calibration
    // says what and where): nothing was erased.
    NotRecorded,
};

// A chip whose calibration is kept: what was read before its erase, where it is recorded, and
// the command that puts it back. Told when the job ended between the erase and the put-back,
// when the calibration may be gone.
struct CalibrationAtRisk {
    std::uint16_t word = 0;
    std::optional<std::uint16_t> bandGap;  // the band-gap number (the bits shifted down)
    std::string journal;                   // the journal's path
    bool recorded = false;                 // the journal holds them
    std::string restore;                   // "tenlo-cli ... calibration --set 0x3480 ..."
};

struct Outcome {
    Cause cause = Cause::None;
    Phase phase = Phase::None;

    // The memory the job was on, and its first cell concerned as a device address (program
    // word, configuration cell from the configuration start, data byte from the data start).
    std::optional<Memory> memory;
    std::optional<std::uint32_t> address;
    // For a cell: what the chip holds there, and what it should hold (masked to the cell's bits).
    std::uint32_t chipValue = 0;
    std::uint32_t expectedValue = 0;

    // NoChip from the device ID, OtherChip: the ID word as read, revision bits included.
    std::uint16_t deviceId = 0;
    // OtherChip: the catalogue chips that ID names; usually one, two where chips share an ID.
    std::vector<std::string> otherChips;

    // LineFailed (and Interrupted, where the link saw the stop): the port ("COM5" or a path),
    // the first failure the link noted (command, frame, answer), and whether the programmer
    // also left a ping after it unanswered: gone from the line, not just one lost frame.
    std::string port;
    LinkFailure link;
    bool programmerSilent = false;
    // The power-down that ends every device operation got no answer, even sent again: the chip
    // may still be powered. workDone: the operation had done its work before that (a memory
    // written whole), so that only the power-down failed.
    bool stillPowered = false;
    bool workDone = false;
    // NotRecorded, and a failure or interrupt between an erase and the put-back of the chip's
    // calibration.
    std::optional<CalibrationAtRisk> calibration;

    bool Ok() const { return cause == Cause::None; }
};

// One memory a job touched, in the order it touched them.
struct MemoryStep {
    Memory memory = Memory::Program;
    Outcome outcome;
};

// What a job over several memories did: a step for every memory it went to, and the outcome
// that decides the job, which is the first failure (before any memory, as the socket check or
// the erase a write begins with, or in one of the steps), or success.
struct Report {
    Outcome outcome;
    std::vector<MemoryStep> steps;
    // The chip was erased first (a write asked to erase it).
    bool erased = false;
    // A write of configuration memory: the traps in what it puts into the chip, and the
    // protection the file turns on that it leaves off, for the fronts to name.
    std::vector<ConfigTrap> configTraps;
    ProtectionLeftOff protectionLeftOff;
    // The device ID word the socket check read (revision bits included), when it read one.
    std::optional<std::uint16_t> deviceId;

    bool Ok() const { return outcome.Ok(); }
    // Whether the memory was gone to and came through.
    bool Done(Memory memory) const;
    const MemoryStep* Step(Memory memory) const;
};

}  // namespace tenlo::jobs
