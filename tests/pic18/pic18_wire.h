#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sim/chips/pic18_chip.h"
#include "support/sim_rig.h"

namespace tenlo::pic18 {

// One programmer command as the host put it on the line. Items are the (4-bit command,
// payload) pairs of 0x20 and 0x21 and the held pair of 0x22/0x23; value is the table pointer
// of 0x25, the count of 0x24, the hold of 0x22/0x23, the wait of 0x01, the option of 0x0A and
// the EEPROM address of 0x26/0x27/0x2B, whose data byte is data.
struct WireCommand {
    std::uint8_t code = 0;
    std::uint32_t value = 0;
    std::uint8_t data = 0;
    std::vector<std::pair<std::uint8_t, std::uint16_t>> items;
};

// Splits the host's bytes into commands; false (with what was decoded so far) at a byte that
// starts no command the PIC18 operations send, or a command cut short.
bool DecodeWire(const std::vector<std::uint8_t>& bytes, std::vector<WireCommand>& out);

// The decoded commands with the given code.
std::vector<WireCommand> Only(const std::vector<WireCommand>& commands, std::uint8_t code);

// The table pointers the host set, in order.
std::vector<std::uint32_t> Pointers(const std::vector<WireCommand>& commands);

// Programming cycles the simulated chip completed.
unsigned Cycles(testing::SimRig& rig);

// Where the build put the gpasm output for a chip ("p18f452").
std::string GenHex(const std::string& chip);

}  // namespace tenlo::pic18
