#pragma once

#include <cstdint>

namespace tenlo {

// The serial command codes, holds and group sizes of one PIC18 chip. Defaults are the 242
// group's; the catalogue overrides them per group.
struct Pic18Params {
    // 4-bit serial command codes.
    std::uint8_t coreInstruction = 0x0;
    std::uint8_t shiftOutTablat = 0x2;
    std::uint8_t tableRead = 0x8;
    std::uint8_t tableReadPostIncrement = 0x9;
    std::uint8_t tableReadPostDecrement = 0xA;
    std::uint8_t tableReadPreIncrement = 0xB;
    std::uint8_t tableWrite = 0xC;
    std::uint8_t tableWritePostIncrement2 = 0xD;
    std::uint8_t tableWriteStartPostIncrement = 0xE;
    std::uint8_t tableWriteStart = 0xF;

    // Wait and hold bytes are the firmware's own units; they are handed over unconverted.
    std::uint8_t eraseWait = 60;
    std::uint8_t programmingHold = 10;
    std::uint8_t dataHold = 50;
    std::uint32_t writeBufferBytes = 8;

    // Program memory is written in panels of this many bytes, one programming cycle carrying
    // the buffers of every panel at the same offset. A chip without multi-panel writes is one
    // panel of its whole memory, so every buffer gets a cycle of its own.
    std::uint32_t panelBytes = 8192;
    bool multiPanel = true;

    // DEVID2:DEVID1 as the chip's programming document gives it, revision bits (4:0) clear.
    std::uint16_t deviceId = 0;

    bool operator==(const Pic18Params&) const = default;
};

}  // namespace tenlo
