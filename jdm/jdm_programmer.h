#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "link/serial_port.h"

namespace tenlo {

// Program and configuration images of the programmer's own microcontroller (a 1024-word
// 14-bit flash part): index = word address, and 0x2000 + index for the configuration words.
using JdmProgramImage = std::array<std::uint16_t, 1024>;
using JdmConfigImage = std::array<std::uint16_t, 8>;

// Speaks in-circuit serial programming to that chip by toggling the serial port's modem
// lines one edge at a time (JDM wiring): DTR = data out, RTS = clock, break = power and
// programming voltage, CTS = data in. Holds no state of its own: the address counter that
// matters lives in the chip. Every operation returns a success flag and shows nothing.
class CJDMProgrammer {
  public:
    // ICSP command codes used here.
    static constexpr std::uint8_t kLoadConfiguration = 0x00;
    static constexpr std::uint8_t kLoadProgram = 0x02;
    static constexpr std::uint8_t kReadProgram = 0x04;
    static constexpr std::uint8_t kIncrementAddress = 0x06;
    static constexpr std::uint8_t kBeginProgramming = 0x08;
    static constexpr std::uint8_t kBulkEraseProgram = 0x09;
    static constexpr std::uint8_t kBulkEraseData = 0x0B;

    static constexpr std::uint16_t kBlankWord = 0x3FFF;
    static constexpr std::uint16_t kCalibrationAddress = 0x3FF;
    // Offsets from 0x2000 in the configuration area.
    static constexpr unsigned kDeviceIdOffset = 6;
    static constexpr unsigned kConfigWordOffset = 7;
    static constexpr int kWriteAttempts = 10;

    // The waits the sequences make.
    static constexpr std::chrono::milliseconds kPowerWait{1};
    static constexpr std::chrono::milliseconds kCommandToDataWait{1};
    static constexpr std::chrono::milliseconds kProgramWait{20};
    static constexpr std::chrono::milliseconds kEraseWait{10};

    // port must outlive the programmer and every operation running on it.
    explicit CJDMProgrammer(CSerialPort& port) : port_(port) {}

    bool PowerOn() { return port_.SetBreak(true); }
    bool PowerOff() { return port_.SetBreak(false); }

    bool SendCommand(std::uint8_t code);
    bool LoadData(std::uint8_t code, std::uint16_t word);
    // On failure word is left untouched.
    bool ReadData(std::uint8_t code, std::uint16_t* word);
    bool WriteWord(std::uint16_t word);
    bool GotoCalibrationWord();
    bool GotoConfigWord();
    // Moves the address counter to the device ID word (0x2006) and reads it.
    bool ReadDeviceId(std::uint16_t* id);

    // Reads the device ID word first and erases only when isChip takes it: the caller knows
    // which words no chip answers with (a data line stuck at one level, a missing chip or
    // miswired lines), and the calibration word saved from such a chip would be no calibration
    // at all.
    bool EraseChip(const std::function<bool(std::uint16_t id)>& isChip);
    bool WriteProgram(const JdmProgramImage& image);
    bool WriteConfig(const JdmConfigImage& config);
    bool VerifyProgram(const JdmProgramImage& image);
    bool VerifyConfig(const JdmConfigImage& config);

    // Sleeps on the port's clock, so tests run the waits in virtual time.
    void Wait(std::chrono::milliseconds ms);

  private:
    // Load Configuration, then offset Increment Address commands.
    bool GotoConfigAddress(unsigned offset);
    // Off, 1 ms, on: the chip enters programming mode with its address counter at 0.
    void PowerCycle();
    bool Clock();
    bool Fail();

    CSerialPort& port_;
};

}  // namespace tenlo
