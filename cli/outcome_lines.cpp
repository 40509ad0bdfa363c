#include "cli/outcome_lines.h"

#include <cstdio>
#include <cstring>

#include "device/catalogue.h"
#include "jobs/calibration.h"

namespace tenlo::cli {

namespace {

using jobs::Cause;
using jobs::FileCause;
using jobs::Outcome;
using jobs::Phase;
using jobs::Rejection;

std::string ChipName(const DeviceLayout& layout) {
    return "the " + layout.name;
}

// What the job was doing when it ended, as "... failed" and "interrupted while ..." say it.
std::string Doing(const Outcome& o, const DeviceLayout& layout) {
    const std::string memory = o.memory ? MemoryName(*o.memory) : "memory";
    switch (o.phase) {
        case Phase::SocketCheck:
            return "reading the device ID";
        case Phase::Reading:
            return "reading " + memory;
        case Phase::Erasing:
            return "erasing " + ChipName(layout);
        case Phase::EraseReadBack:
            return "reading back " + memory + " after the erase";
        case Phase::Writing:
            return "writing " + memory;
        case Phase::WriteVerify:
            return "verifying " + memory + " after writing it";
        case Phase::WriteReadBack:
            return "reading back " + memory;
        case Phase::Comparing:
            return "comparing " + memory;
        case Phase::CalibrationRead:
            return "reading the calibration of " + ChipName(layout);
        case Phase::CalibrationWrite:
            return "writing the calibration back to " + ChipName(layout);
        case Phase::None:
            break;
    }
    return "talking to the programmer";
}

bool Writes(Phase phase) {
    return phase == Phase::Writing || phase == Phase::WriteVerify;
}

const char* InterruptedConsequence(Phase phase) {
    switch (phase) {
        case Phase::Erasing:
            return "the chip may be partly erased";
        case Phase::EraseReadBack:
            return "the chip was erased but not read back";
        case Phase::Writing:
        case Phase::WriteVerify:
        case Phase::WriteReadBack:
            return "the chip may be partly written";
        default:
            return "the chip was not changed";
    }
}

// The cell's address as the chip's HEX files give it.
std::string At(const Outcome& o, const DeviceLayout& layout) {
    const std::uint32_t address = o.address.value_or(0);
    return Hex(o.memory ? FileAddress(layout, *o.memory, address) : address);
}

FailureLine LineFailure(const Outcome& o, const DeviceLayout& layout, const std::string& doing) {
    const std::string where = o.address ? " at " + At(o, layout) : "";
    std::string cause = DescribeLinkFailure(o.link);
    if (o.cause == Cause::NotDone) {
        cause = "the programmer answered every command, but the chip did not do it";
    } else if (o.programmerSilent) {
        cause = "the programmer stopped answering on " + o.port + " (" + cause + ")";
    }
    const char* consequence = Writes(o.phase)             ? "; the chip may be partly written"
                              : o.phase == Phase::Erasing ? "; the chip may be partly erased"
                                                          : "";
    const char* again = Writes(o.phase) ? "write" : o.phase == Phase::Erasing ? "erase" : "try";
    if (o.stillPowered) {
        const std::string unplug =
            "; the chip may still be powered: unplug the programmer before taking the chip out";
        return {Failure::LineFailed,
                o.workDone
                    ? "finished " + doing + ", but switching the chip off failed: " + cause + unplug
                    : doing + " failed" + where + ": " + cause + consequence + unplug};
    }
    return {Failure::LineFailed, doing + " failed" + where + ": " + cause + consequence +
                                     ": check the cable, its power and that nothing else uses "
                                     "the port, then " +
                                     again + " again"};
}

std::string Cell(const Outcome& o, const DeviceLayout& layout, std::uint32_t value) {
    return Hex(value, o.memory ? CellDigits(layout, *o.memory) : 4);
}

FailureLine OtherChip(const Outcome& o, const DeviceLayout& layout) {
    const std::string& selected = layout.name;
    if (o.otherChips.empty()) {
        return {Failure::OtherChip, "the device ID " + Hex(o.deviceId) +
                                        " names no chip this program knows, not the " + selected +
                                        " selected: check --device and the chip in the "
                                        "socket, or give --force to go on anyway"};
    }
    std::string named;
    for (const std::string& name : o.otherChips) {
        named += (named.empty() ? "" : " or ") + name;
    }
    return {Failure::OtherChip, "the socket holds a " + named + " (device ID " + Hex(o.deviceId) +
                                    "), not the " + selected + " selected: choose --device " +
                                    o.otherChips.front() + ", or give --force to go on anyway"};
}

// A program file that sets a cell the chip does not have, told by that cell and by what the
// chip has instead: most often the file was built for a bigger chip or a near relative.
std::string DoesNotFit(const jobs::FileOutcome& f, const DeviceLayout& layout) {
    const std::string& chip = layout.name;
    const std::string lead = f.path + " does not fit the " + chip + ": it sets ";
    const std::string tail = "; the file may have been built for another chip";
    if (!f.beyond) {
        return lead + "byte address " + Hex(f.failure.address) + ", where no memory of a " + chip +
               " lies" + tail;
    }
    std::string cell;
    std::string has;
    switch (f.beyond->region) {
        case HexRegion::Program:
            cell = "program word " + Hex(f.beyond->cell);
            has = "its program memory ends at " + Hex(layout.programSize - 1);
            break;
        case HexRegion::Config: {
            const std::string unit = layout.configWidth <= 8 ? "byte" : "word";
            cell = "configuration " + unit + " " + Hex(layout.configStart + f.beyond->cell);
            has = layout.configCount == 0
                      ? "it has none"
                      : "its configuration " + unit + "s are " + Hex(layout.configStart) + " to " +
                            Hex(layout.configStart + layout.configCount - 1);
            break;
        }
        case HexRegion::Data:
            cell = "data EEPROM byte " + Hex(f.beyond->cell);
            has = layout.dataSize == 0 ? "it has no data EEPROM"
                                       : "its data EEPROM ends at " + Hex(layout.dataSize - 1);
            break;
    }
    return lead + cell + ", which the " + chip + " does not have (" + has + ")" + tail;
}

// Why the reader refused a record, and on which line.
std::string RecordProblem(const HexLoadFailure& failure) {
    const char* what = "a malformed record";
    const std::string line = "line " + std::to_string(failure.line);
    switch (failure.fault) {
        case HexFault::NotARecord:
            what = "a line that is no record (it does not begin with ':')";
            break;
        case HexFault::Malformed:
            what = "a record cut short or with characters that are no hexadecimal digits";
            break;
        case HexFault::UnknownType:
            what = "an unknown record type";
            break;
        case HexFault::WrongCount:
            what = "an end or address record of the wrong length";
            break;
        case HexFault::BadChecksum:
            what = "a bad checksum";
            break;
        case HexFault::LineTooLong:
            what = "a line too long for any record";
            break;
        case HexFault::ReadError:
            return " (it could not be read)";
        case HexFault::RunTogether:
            what = "more than one record: its line ends were lost";
            break;
        case HexFault::Conflict:
            return ": " + line + " sets byte address " + Hex(failure.address) + " to " +
                   Hex(failure.given, 2) + " where an earlier record set it to " +
                   Hex(failure.earlier, 2) + ": which one is meant cannot be told";
        case HexFault::AddressRejected:
        case HexFault::None:
            break;
    }
    return ": " + line + " has " + what;
}

}  // namespace

std::string Hex(std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

int CellDigits(const DeviceLayout& layout, Memory memory) {
    return static_cast<int>((WidthOf(layout, memory) + 3) / 4);
}

const char* MemoryName(Memory memory) {
    switch (memory) {
        case Memory::Program:
            return "program memory";
        case Memory::Config:
            return "configuration memory";
        case Memory::Data:
            return "data memory";
    }
    return "memory";
}

FailureLine InterruptedConnecting() {
    return {Failure::Interrupted,
            "interrupted while connecting to the programmer: the chip was not changed"};
}

namespace {

// The calibration values an erase cut short may have taken: what they were and how to put
// them back.
std::string CalibrationValues(const jobs::CalibrationAtRisk& risk) {
    return "calibration word " + Hex(risk.word) +
           (risk.bandGap ? ", band-gap " + std::to_string(*risk.bandGap) : "");
}

std::string CalibrationAdvice(const jobs::CalibrationAtRisk& risk) {
    return "; the chip's calibration (" + CalibrationValues(risk) +
           ") may be lost: put it back with " + risk.restore +
           (risk.recorded ? " (recorded in " + risk.journal + ")" : "");
}

FailureLine DescribeCause(const Outcome& o, const RenderFacts& facts);

}  // namespace

FailureLine DescribeOutcome(const Outcome& o, const RenderFacts& facts) {
    FailureLine line = DescribeCause(o, facts);
    if (o.calibration && o.cause != Cause::NotRecorded && !line.text.empty()) {
        line.text += CalibrationAdvice(*o.calibration);
    }
    return line;
}

namespace {

FailureLine DescribeCause(const Outcome& o, const RenderFacts& facts) {
    const DeviceLayout& layout = facts.layout;
    const std::string what = facts.doing.empty() ? Doing(o, layout) : facts.doing;
    const std::string where = o.address ? " at " + At(o, layout) : "";
    switch (o.cause) {
        case Cause::None:
        case Cause::Mismatch:
            break;
        case Cause::Interrupted:
            return {Failure::Interrupted,
                    "interrupted while " + what + ": " + InterruptedConsequence(o.phase) +
                        (o.stillPowered ? "; the chip may still be powered" : "")};
        case Cause::LineFailed:
        case Cause::NotDone:
            return LineFailure(o, layout, what);
        case Cause::NoChip:
            if (o.phase == Phase::EraseReadBack) {
                return {Failure::NoChip, "erasing " + ChipName(layout) +
                                             ": every cell reads back 0: no chip answers in the "
                                             "socket; check that it sits there the right way "
                                             "round"};
            }
            if (o.phase != Phase::SocketCheck) {
                // A chip without a device ID: its memories said it.
                return {Failure::NoChip,
                        "no chip answers in the socket: program and configuration memory read "
                        "all 0; check that the " +
                            layout.name +
                            " sits in it the right way round (--force skips this check)"};
            }
            return {Failure::NoChip, "no chip answers in the socket: the device ID reads " +
                                         Hex(o.deviceId) + "; check that the " + layout.name +
                                         " sits in it the right way round (--force skips this "
                                         "check)"};
        case Cause::OtherChip:
            return OtherChip(o, layout);
        case Cause::WillNotErase:
            return {Failure::Mismatch,
                    ChipName(layout) + " did not erase: " + MemoryName(*o.memory) + " " +
                        At(o, layout) + " holds " + Cell(o, layout, o.chipValue) +
                        " where an erased chip has " + Cell(o, layout, o.expectedValue) +
                        " (a cell that will not erase?)"};
        case Cause::ChipBusy:
            return {Failure::Mismatch,
                    what + " failed" + where +
                        ": the chip answered, but its data memory stayed busy writing through "
                        "every status read (a chip that cannot finish a write?)"};
        case Cause::NotBlank: {
            if (o.phase == Phase::CalibrationWrite) {
                return {Failure::Mismatch,
                        what + " failed: " + At(o, layout) + " holds " +
                            Cell(o, layout, o.chipValue) + " where the calibration has " +
                            Cell(o, layout, o.expectedValue) +
                            ", and programming can only clear bits: a chip whose calibration "
                            "was not lost keeps its own (to replace it, erase with "
                            "--no-keep-calibration first)"};
            }
            // After --erase, erasing again cannot help: the cell kept its bits through it.
            const std::string advice =
                facts.erasedFirst ? "; the erase did not clear it (a cell that will not erase?)"
                                  : "; erase it first (the erase command, or write --erase)";
            return {Failure::Mismatch, what + " failed: the chip is not blank: " + At(o, layout) +
                                           " holds " + Cell(o, layout, o.chipValue) +
                                           " where the file has " +
                                           Cell(o, layout, o.expectedValue) +
                                           ", and programming can only clear bits" + advice};
        }
        case Cause::WillNotProgram:
            return {Failure::Mismatch, what + " failed: verification failed at " + At(o, layout) +
                                           ": chip " + Cell(o, layout, o.chipValue) + ", file " +
                                           Cell(o, layout, o.expectedValue) +
                                           " (a cell that will not program?)"};
        case Cause::ProgrammerError:
            return {Failure::LineFailed,
                    what +
                        " failed: the programmer reported an error although the chip holds the "
                        "file's data; check the cable and try again"};
        case Cause::Declined:
            return {Failure::BadArguments, what + " was called off before the chip was erased"};
        case Cause::NotCalibration:
            return {Failure::Mismatch,
                    "the calibration word at " + At(o, layout) + " reads " + Hex(o.chipValue) +
                        ", which is no RETLW (0x34xx): an earlier erase lost it, and keeping it "
                        "would keep that; nothing was done: put it back with tenlo-cli"
                        " calibration --set 0x34xx (" +
                        jobs::CalibrationJournalPath().string() +
                        " holds what earlier erases read), or give --no-keep-calibration"};
        case Cause::NotRecorded: {
            const jobs::CalibrationAtRisk risk = o.calibration.value_or(jobs::CalibrationAtRisk{});
            return {Failure::FileNotWritten,
                    "cannot record the chip's calibration (" + CalibrationValues(risk) + ") in " +
                        risk.journal +
                        " before erasing it: nothing was erased; check that its folder is "
                        "writable"};
        }
    }
    return {Failure::None, ""};
}

}  // namespace

std::string DescribeFirmwareFile(const FirmwareFileProblem& problem) {
    switch (problem.fault) {
        case FirmwareFileFault::None:
            break;
        case FirmwareFileFault::Record:
            if (problem.failure.fault == HexFault::AddressRejected) {
                return "line " + std::to_string(problem.failure.line) + " sets byte address " +
                       Hex(problem.failure.address) +
                       ", outside the program and configuration memory of the programmer's chip";
            }
            if (problem.failure.fault == HexFault::ReadError) {
                return "it could not be read";
            }
            return RecordProblem(problem.failure).substr(2);  // without its ": "
        case FirmwareFileFault::Empty:
            return "it is empty";
        case FirmwareFileFault::NoEndRecord:
            return "it ends without an end record: is it complete?";
        case FirmwareFileFault::NoProgram:
            return "it holds no program word to write";
    }
    return "it is not valid HEX for the programmer's chip";
}

FailureLine DescribeSerialFailure(const jobs::CSerialAllocator::Failure& f, SerialStep step,
                                  std::uint64_t largest) {
    using Problem = jobs::CSerialAllocator::Problem;
    std::string why;
    switch (f.problem) {
        case Problem::None:
            return {Failure::None, ""};
        case Problem::Exhausted:
            return {Failure::SerialsUsedUp,
                    "no serial number left: the next one does not fit in the cells given to "
                    "--serial (at most " +
                        std::to_string(largest) + "); the chip was written no further"};
        case Problem::NotReadable:
            why = "cannot open or lock it: " + std::string(std::strerror(f.error));
            break;
        case Problem::NotValid:
            why = "line " + std::to_string(f.line) +
                  " is none that tenlo-cli writes (the next number first, then \"free N\" and "
                  "\"claimed N PID PORT\" lines)";
            break;
        case Problem::NotWritten:
            why = "cannot write it: " + std::string(std::strerror(f.error));
            break;
    }
    const std::string said = "the serial-number file " + f.path + ": " + why;
    switch (step) {
        case SerialStep::Take:
            return {Failure::SerialFile, said +
                                             "; the chip got no number and was written no "
                                             "further"};
        case SerialStep::Keep:
            return {Failure::SerialFile, said +
                                             ": the chip verified, but its number may be "
                                             "handed out again; mend the file before the "
                                             "next run"};
        case SerialStep::GiveBack:
            break;
    }
    return {Failure::SerialFile, said + "; the failed chip's number goes back at the next run"};
}

FailureLine DescribeSerialMisfit(const jobs::SerialCells& cells, const DeviceLayout& layout) {
    using jobs::SerialMisfit;
    const std::string chip = layout.name;
    switch (cells.misfit) {
        case SerialMisfit::None:
            break;
        case SerialMisfit::NoDataMemory:
            return {Failure::BadArguments, "--serial eeprom: the " + chip + " has no data EEPROM"};
        case SerialMisfit::NoRetlw:
            return {Failure::BadArguments,
                    "--serial retlw: the " + chip +
                        " is no PIC12/PIC16, whose RETLW words a program reads as a table"};
        case SerialMisfit::NoIdLocations:
            return {Failure::BadArguments,
                    "--serial id: tenlo-cli does not write the user ID locations of the " + chip};
        case SerialMisfit::BeyondMemory:
            return {Failure::BadArguments, "--serial: the cells run past the end of the " + chip +
                                               "'s " + MemoryName(cells.memory) + " (" +
                                               std::to_string(cells.size) + " cells)"};
        case SerialMisfit::CellNotWritten:
            return {Failure::BadArguments,
                    "--serial: " + Hex(cells.cell) + " is the " + chip +
                        "'s calibration word, which a write keeps (--no-keep-calibration writes "
                        "it)"};
    }
    return {Failure::None, ""};
}

FailureLine DescribeFileOutcome(const jobs::FileOutcome& f, const DeviceLayout& layout,
                                bool dataFile) {
    switch (f.cause) {
        case FileCause::None:
            break;
        case FileCause::NotARegularFile:
            return {Failure::FileNotOpened,
                    f.path +
                        " is not a regular file (a folder, a named pipe or a device): name a HEX "
                        "file"};
        case FileCause::NotOpened:
            return {Failure::FileNotOpened,
                    "cannot open " + f.path + ": check the name and that it is readable"};
        case FileCause::NoEndRecord:
            // The GUI asks; from a script, a copy or a download cut short would wipe the chip
            // and write a part of the program.
            return {Failure::FileNotHex, f.empty ? f.path + " is empty: it is no HEX file"
                                                 : f.path +
                                                       " ends without an end record: is it "
                                                       "complete?"};
        case FileCause::NotHex: {
            const std::string at = "byte address " + Hex(f.failure.address);
            std::string why = RecordProblem(f.failure);
            if (dataFile) {
                if (f.rejection == Rejection::NoSuchMemory) {
                    why = ": address " + Hex(f.failure.address) + " is beyond its " +
                          std::to_string(layout.dataSize) + " bytes of data memory";
                }
                return {Failure::FileNotHex,
                        f.path + " is not a valid data HEX file for " + layout.name + why};
            }
            switch (f.rejection) {
                case Rejection::NoSuchMemory:
                    return {Failure::FileNotHex, DoesNotFit(f, layout)};
                case Rejection::IdLocationNotBlank:
                    why = ": " + at +
                          " is an ID location, which is never written: the file may only hold "
                          "it blank (0xFF)";
                    break;
                case Rejection::PadNotZero:
                    why = ": " + at + " pads a cell and must be 0, as no data goes there";
                    break;
                case Rejection::EepromInProgramFile:
                    why = ": " + at +
                          " lies outside its memories (data EEPROM inside the program file: "
                          "leave out --data to take it from there)";
                    break;
                case Rejection::None:
                    break;
            }
            return {Failure::FileNotHex,
                    f.path + " is not a valid HEX file for " + layout.name + why};
        }
    }
    return {Failure::None, ""};
}

}  // namespace tenlo::cli

namespace tenlo::cli {

NamedId NameDeviceId(const std::string& selectedDevice, std::uint16_t word) {
    const CatalogueEntry* selected = CatalogueEntryAt(FindCatalogueIndex(selectedDevice));
    NamedId named;
    std::uint16_t revisionMask = selected != nullptr ? selected->revisionMask : 0;
    if (selected != nullptr) {
        const std::vector<DeviceIdMatch> matches = IdentifyDeviceId(selected->family, word);
        for (const DeviceIdMatch& m : matches) {
            named.chips.emplace_back(m.entry->name);
        }
        if (!matches.empty()) {
            revisionMask = matches.front().entry->revisionMask;
        }
    }
    named.id = static_cast<std::uint16_t>(word & ~revisionMask);
    named.revision = static_cast<std::uint16_t>(word & revisionMask);
    return named;
}

}  // namespace tenlo::cli
