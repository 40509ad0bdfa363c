#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/chip_model.h"

namespace tenlo::sim {

// Faults the virtual programmer injects. Frames are counted from 1 over every answer the
// firmware gives to a frame (0xA5, and the 0x5A of a failed 0x18 word); bytes are counted from
// 1 over every byte the host sends.
struct FaultPlan {
    std::set<std::uint64_t> noAckFrames;            // answer not sent
    std::map<std::uint64_t, std::uint8_t> badAcks;  // answer replaced by the byte
    std::uint64_t silenceFromByte = 0;   // 0: never. From this byte on the firmware hangs
    std::uint64_t disconnectAtByte = 0;  // 0: never. This byte and all I/O after it fail
    bool noChip = false;                 // empty socket: commands go nowhere, reads are 0
    bool eeBusy = false;                 // PIC18 data-EEPROM status keeps bit 1 set
    std::vector<std::pair<Space, std::uint32_t>> stuckCells;

    bool Empty() const;
};

// The command-line syntax, one fault per text (ravonite-sim --fault TEXT):
//   noack@N          the Nth frame gets no answer
//   badack@N[=B]     the Nth frame is answered with byte B instead (default 0x00)
//   silence@N        from the Nth host byte on, the firmware hangs: it neither acts nor answers
//   disconnect@N     the Nth host byte fails with an I/O error, and so does all I/O after it
//   nochip           no chip in the socket
//   eebusy           the PIC18 data EEPROM never finishes a write
//   stuck:SPACE:ADDR a cell that will not program; SPACE is program, config or data
// Numbers are decimal or 0x-prefixed hexadecimal; N counts from 1. False with a message in
// error (and plan untouched) for anything else.
bool ParseFault(std::string_view text, FaultPlan& plan, std::string& error);

// Lines for --help describing the syntax above.
const char* FaultSyntaxHelp();

}  // namespace tenlo::sim
