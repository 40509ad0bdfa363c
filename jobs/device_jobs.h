#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device/catalogue.h"
#include "device/memory_image.h"
#include "jobs/job_context.h"
#include "jobs/outcome.h"

namespace tenlo::jobs {

// The jobs a user starts on the chip in the socket. Each runs the device's operations in the
// order the chip needs, checks the socket first (when the context says so and the chip carries
// a device ID), and returns what happened; none of them shows or prints anything. The fronts
// never call the device's operations themselves.
//
// The stop rules, the same for every front:
//  - a line failure, an empty socket, another chip nobody chose to go on with, an interrupt or
//    a declined hook end the job at once: after the programmer has gone, every further command
//    would only fail again;
//  - a write whose program memory fails ends there (the rest would run a broken program);
//  - a write whose data memory the chip refuses (a cell that will not program, a busy chip)
//    goes on to the configuration, which the program needs whatever its data holds; the
//    report keeps both steps;
//  - a compare stops at the first memory that differs unless asked to compare them all.

// The programmer's firmware version, four bytes (FormatFirmwareVersion says it). Needs no chip.
Outcome ReadFirmwareVersion(CProgrammerLink& link, const std::string& port,
                            std::uint8_t version[4]);

// Sets up a freshly chosen device on the connected link (Initialize): a dsPIC30F switches its
// socket off first. LineFailed with stillPowered when the programmer never acknowledged that.
Outcome SetUpDevice(CDevice& device, CProgrammerLink& link, const std::string& port);

// The device ID word as read, and what it says. The chip must carry an ID word.
struct IdReading {
    Outcome outcome;                     // LineFailed, Interrupted, or None when the word was read
    std::uint16_t word = 0;              // as read, revision bits included
    std::uint32_t address = 0;           // where the chip keeps it
    bool empty = false;                  // all zeros or all ones: no chip answers
    std::vector<DeviceIdMatch> matches;  // the chips it names
    bool selected = false;               // the selected chip is among them
};
IdReading ReadDeviceId(JobContext& context);

// The socket check before a command touches the chip: None for the selected chip (or a chip
// that carries no ID, taken on trust, or with checkSocket off), NoChip, OtherChip (asked
// first: a yes goes on as None), or the line's failure. Nothing is sent but the ID read.
// read: the ID word, when it was read.
Outcome CheckSocket(JobContext& context, std::optional<std::uint16_t>* read = nullptr);

// Reads the memories into the image (which must be of the device's layout): program, then
// configuration, then data. Memories not asked for, and on failure the rest, are left as they
// were in the image; a caller that must not show a partial read passes a scratch copy.
Report Read(JobContext& context, const MemorySet& memories, CMemoryImage& into);

struct EraseOptions {
    // Read program and data memory back and name the first cell that did not erase (a kept
    // calibration word is left out): WillNotErase, or NoChip when every cell reads zero.
    bool readBack = true;
};
Report Erase(JobContext& context, const EraseOptions& options);

struct WriteOptions {
    // Erase the whole chip first (BeforeErase is asked).
    bool eraseFirst = false;
    // Compare every memory written with the image afterwards (calibration cells that are kept
    // left out): a difference is WillNotProgram at its cell, in phase WriteVerify.
    bool verify = false;
    // The same where the family's write does not read back what it wrote (PIC18, dsPIC30F):
    // false trusts the write (tenlo-cli write --no-verify).
    bool readBack = true;
};
// Writes program, then data, then configuration (last: it may protect the rest). Before the
// chip is touched, a configuration with traps is asked about (ConfigTrapsAccepted). A memory that
// fails is read back to say why: NotBlank, WillNotProgram, ChipBusy or ProgrammerError. The
// image is not changed (its buffers are the device's sources).
Report Write(JobContext& context, CMemoryImage& image, const MemorySet& memories,
             const WriteOptions& options);

struct CompareOptions {
    // While calibration is kept the chip holds its own calibration word, not the image's, so
    // those cells are left out; true compares them all the same. With calibration not kept
    // the options record's "do not compare calibration data" decides, as it always has.
    bool compareKeptCalibration = false;
    // Go on to the next memory after one that differs (each gets its own step).
    bool allMemories = false;
};
// Compares program, then configuration, then data with the image.
Report Compare(JobContext& context, CMemoryImage& image, const MemorySet& memories,
               const CompareOptions& options);

}  // namespace tenlo::jobs
