#pragma once

namespace tenlo::cli {

// What scripts and makefiles see. The numbers are a promise: keep them.
enum class ExitCode : int {
    Success = 0,        // done, or the chip matches
    Mismatch = 1,       // the chip differs from the file (or from the chip selected)
    Usage = 2,          // bad arguments, unknown chip
    Communication = 3,  // no port, no programmer, or the line failed
    File = 4,           // a file cannot be opened, written or is not valid HEX
    Interrupted = 130,  // stopped by Ctrl-C or SIGTERM, as a shell reports SIGINT
};

// Why a command stopped, independent of how it is told.
enum class Failure {
    None,
    Mismatch,
    BadArguments,
    UnknownDevice,
    PortNotOpened,
    NoProgrammer,
    LineFailed,
    FileNotOpened,
    FileNotHex,
    FileNotWritten,
    NoChip,         // the socket is empty: the device ID reads all zeros or all ones
    OtherChip,      // the device ID names another chip than the one selected
    Interrupted,    // Ctrl-C or SIGTERM
    SerialFile,     // the serial-number file cannot be read, is not valid or cannot be written
    SerialsUsedUp,  // the next serial number does not fit in the cells given for it
};

constexpr ExitCode ExitCodeFor(Failure failure) {
    switch (failure) {
        case Failure::None:
            return ExitCode::Success;
        case Failure::Mismatch:
        case Failure::OtherChip:
            return ExitCode::Mismatch;
        case Failure::BadArguments:
        case Failure::UnknownDevice:
        case Failure::SerialsUsedUp:
            return ExitCode::Usage;
        case Failure::PortNotOpened:
        case Failure::NoProgrammer:
        case Failure::LineFailed:
        case Failure::NoChip:
            return ExitCode::Communication;
        case Failure::FileNotOpened:
        case Failure::FileNotHex:
        case Failure::FileNotWritten:
        case Failure::SerialFile:
            return ExitCode::File;
        case Failure::Interrupted:
            return ExitCode::Interrupted;
    }
    return ExitCode::Usage;
}

constexpr int ToInt(ExitCode code) {
    return static_cast<int>(code);
}

}  // namespace tenlo::cli
