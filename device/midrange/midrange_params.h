#pragma once

#include <cstdint>

namespace tenlo {

// The ICSP command codes, waits and masks of one mid-range chip. Defaults are those every
// mid-range device starts from; the catalogue overrides them per chip.
struct MidRangeParams {
    // 6-bit ICSP command codes.
    std::uint8_t loadConfiguration = 0;
    std::uint8_t loadDataProgram = 2;
    std::uint8_t readDataProgram = 4;
    std::uint8_t incrementAddress = 6;
    std::uint8_t beginProgramming = 8;
    std::uint8_t beginProgramming2 = 8;  // the 16F818/819 row erase
    std::uint8_t beginProgrammingOnly = 24;
    std::uint8_t endProgramming = 23;  // 0xFF: none
    std::uint8_t loadDataData = 3;
    std::uint8_t readDataData = 5;
    std::uint8_t bulkEraseProgram = 9;
    std::uint8_t bulkEraseData = 11;
    std::uint8_t chipErase = 31;

    // Wait bytes are the firmware's own units; they are handed over unconverted.
    std::uint8_t programWait = 0;
    std::uint8_t retries = 10;
    std::uint16_t protectOffMask = 0;  // ORed into the configuration word: code protection off
    std::uint8_t eraseWait = 0;

    // Used only by the families that name them.
    std::uint32_t rowSize = 0;
    std::uint8_t dataWait = 0;
    std::uint8_t longEraseWait = 0;
    std::uint8_t rowEraseWait = 0;
    std::uint32_t calibrationAddress = 0;         // 12-bit parts: the OSCCAL word
    std::uint32_t backupCalibrationOffset = 0;    // 12-bit parts: increments from 0 to its backup
    std::uint16_t calibrationProtectOffMask = 0;  // 12F629 family: replaces protectOffMask
    std::uint16_t bandGapMask = 0;
    std::uint16_t configKeepMask = 0;
    std::uint32_t calibrationWordAddress = 0;
    std::uint32_t configWordIndex = 0;

    // The bits of the configuration word the chip has. Tools may leave the others 0; the chip
    // reads them as fixed ones or zeros, so they are neither compared nor expected to program.
    std::uint16_t configWordBits = 0x3FFF;

    // Programming voltage before supply when entering programming mode.
    bool vppFirst = false;
    // Revision bits of the device ID word, ignored when the ID is checked.
    std::uint16_t revisionMask = 0x1F;

    bool operator==(const MidRangeParams&) const = default;
};

// The bits a write ORs into the configuration word so that code and data protection stay off.
constexpr std::uint16_t ProtectOffBits(const MidRangeParams& p) {
    return p.calibrationProtectOffMask != 0 ? p.calibrationProtectOffMask : p.protectOffMask;
}

// The bits of the configuration word a compare holds against an image's word: those the chip
// has, less its own band-gap calibration and less the protection the image turns on, which a
// write leaves off (where the image leaves it off too, a protected chip still differs).
constexpr std::uint16_t ConfigWordCompareBits(const MidRangeParams& p, std::uint32_t image) {
    const std::uint32_t leftOff = ProtectOffBits(p) & ~image;
    return static_cast<std::uint16_t>(p.configWordBits & ~std::uint32_t{p.bandGapMask} & ~leftOff);
}

}  // namespace tenlo
