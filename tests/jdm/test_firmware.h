#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The firmware files the update tests feed the updater: single HEX records and the program
// assembled from firmware/ravonite_test.asm.
namespace tenlo::test {

// One Intel HEX record with its checksum.
inline std::string HexRecord(unsigned type, unsigned address, const std::vector<unsigned>& data) {
    unsigned sum = data.size() + (address >> 8) + (address & 0xFF) + type;
    char buf[16];
    std::snprintf(buf, sizeof buf, ":%02X%04X%02X", static_cast<unsigned>(data.size()),
                  address & 0xFFFF, type);
    std::string line = buf;
    for (unsigned b : data) {
        std::snprintf(buf, sizeof buf, "%02X", b & 0xFF);
        line += buf;
        sum += b;
    }
    std::snprintf(buf, sizeof buf, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
    return line + buf;
}
inline const std::string kHexEnd = ":00000001FF\n";

// The words the assembled test program must leave in the chip (PIC mid-range encodings),
// addresses 0 to 0x3FE.
inline std::vector<std::uint16_t> AssembledProgramWords() {
    std::vector<std::uint16_t> words(0x3FF, 0x3FFF);
    words[0x000] = 0x2805;  // goto start
    words[0x004] = 0x0009;  // retfie
    const std::uint16_t code[] = {0x1683, 0x23FF, 0x0090, 0x1283, 0x305A, 0x00A0, 0x280B};
    for (unsigned i = 0; i < std::size(code); ++i) {
        words[0x005 + i] = code[i];
    }
    const std::string text = "Ravonite firmware test";
    for (unsigned i = 0; i < text.size(); ++i) {
        words[0x100 + i] = 0x3400 | static_cast<unsigned char>(text[i]);  // retlw
    }
    words[0x3FE] = 0x343F;
    return words;
}

// Its configuration word: bits 8 to 0 of the file's 0x3FC4.
inline constexpr std::uint16_t kAssembledConfigBits = 0x01C4;

// Path of the assembled program; fails the test when gpasm was missing at configure time.
inline std::string AssembledFirmwarePath() {
#ifdef JDM_TEST_FIRMWARE_HEX
    return JDM_TEST_FIRMWARE_HEX;
#else
    ADD_FAILURE() << "gpasm was not found when the tests were configured";
    return {};
#endif
}

}  // namespace tenlo::test
