#pragma once

#include <optional>
#include <string>

#include "device/memory_image.h"
#include "hexfile/hex_file_reader.h"
#include "hexfile/hex_layout.h"
#include "jobs/job_context.h"

namespace tenlo::jobs {

// Loading the files a user opens, with every reason a file is refused, for both fronts.

enum class FileCause : std::uint8_t {
    None,
    NotOpened,        // it does not exist or cannot be read
    NotARegularFile,  // a folder, a named pipe or a device
    NotHex,           // a record is malformed, or a byte has no place (failure, rejection)
    NoEndRecord,      // it ends without an end record and nobody chose to take it (empty)
};

// Why a byte of the file was refused (failure.fault AddressRejected, failure.address).
enum class Rejection : std::uint8_t {
    None,
    NoSuchMemory,         // no memory of the chip lies there (beyond: where it would lie)
    IdLocationNotBlank,   // a PIC18 ID location, which is never written, not blank (0xFF)
    PadNotZero,           // a byte that pads a cell, where no data goes, not 0
    EepromInProgramFile,  // data EEPROM inside the program file while a data file is given
};

struct FileOutcome {
    FileCause cause = FileCause::None;
    std::string path;
    // NotHex: the line and why, as the reader saw it.
    HexLoadFailure failure;
    Rejection rejection = Rejection::None;
    // NoSuchMemory in a program file: the memory and cell the byte would be on a chip of the
    // same core with larger memories (a file made for a bigger relative); nothing where this
    // core has no memory at all.
    std::optional<HexPlace> beyond;
    // NoEndRecord: the file holds no record at all.
    bool empty = false;
    // Which memories the file set cells of.
    MemorySet provided;

    bool Ok() const { return cause == FileCause::None; }
};

// Every program file is read at the addresses of the chip's family, as Microchip's tools lay
// them out (HexAddressMap); what is left to choose is where data EEPROM comes from. Never try
// one and then the other: where the two would both take a file, they would place it apart.
enum class ProgramLayout : std::uint8_t {
    Plain,      // program and configuration alone: data memory comes in a file of its own
    Microchip,  // data EEPROM inside the program file too, as MPASM, gpasm and pic30 put it
};

// Loads a program file into the image: on success program and configuration memory are
// replaced whole, and data memory too when the file carried data EEPROM; on failure, or when
// a file without its end record is not taken (questions asked; none: not taken), the image is
// left as it was.
FileOutcome LoadProgramFile(const std::string& path, CMemoryImage& into, ProgramLayout layout,
                            IJobQuestions* questions);
// Loads a data file (data from address 0) into the image's data memory, likewise.
FileOutcome LoadDataFile(const std::string& path, CMemoryImage& into, IJobQuestions* questions);

// Why the reader refused a record, in the Japanese of both windows (Tenlo's load failure,
// TenloUpdate's firmware file); empty for AddressRejected, whose words depend on the target,
// and for None.
std::string RecordFaultText(const HexLoadFailure& failure);
// An address as the windows write it: "4200H".
std::string HexText(std::uint32_t value, int digits = 4);

}  // namespace tenlo::jobs
