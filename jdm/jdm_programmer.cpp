#include "jdm/jdm_programmer.h"

#include "link/ui_interfaces.h"

namespace tenlo {

void CJDMProgrammer::Wait(std::chrono::milliseconds ms) {
    port_.Clock().SleepFor(ms);
}

void CJDMProgrammer::PowerCycle() {
    // The sequences rely on the chip's reaction, not on these results: a dead line shows up
    // in the first command that follows.
    PowerOff();
    Wait(kPowerWait);
    PowerOn();
}

// One clock pulse: the chip latches on the falling edge.
bool CJDMProgrammer::Clock() {
    return port_.SetRTS(true) && port_.SetRTS(false);
}

// Ends a chip-level sequence after a failed step: the target is never left powered.
bool CJDMProgrammer::Fail() {
    PowerOff();
    return false;
}

bool CJDMProgrammer::SendCommand(std::uint8_t code) {
    if (!port_.SetRTS(false) || !port_.SetDTR(false)) {
        return false;
    }
    for (int bit = 0; bit < 6; ++bit) {
        if (!port_.SetDTR(((code >> bit) & 1) != 0) || !Clock()) {
            return false;
        }
    }
    return port_.SetDTR(false);
}

bool CJDMProgrammer::LoadData(std::uint8_t code, std::uint16_t word) {
    if (!SendCommand(code)) {
        return false;
    }
    Wait(kCommandToDataWait);
    if (!Clock()) {  // start bit; DTR is still clear from the command
        return false;
    }
    for (int bit = 0; bit < 14; ++bit) {
        if (!port_.SetDTR(((word >> bit) & 1) != 0) || !Clock()) {
            return false;
        }
    }
    return port_.SetDTR(false) && Clock();  // stop bit
}

bool CJDMProgrammer::ReadData(std::uint8_t code, std::uint16_t* word) {
    if (!SendCommand(code)) {
        return false;
    }
    Wait(kCommandToDataWait);
    if (!Clock()) {  // start bit, nothing to sample
        return false;
    }
    unsigned value = 0;
    for (int bit = 0; bit < 14; ++bit) {
        bool cts = false;
        if (!Clock() || !port_.GetCTS(&cts)) {
            return false;
        }
        value >>= 1;
        if (cts) {
            value |= 0x2000;
        }
    }
    if (!Clock()) {  // stop bit
        return false;
    }
    *word = static_cast<std::uint16_t>(value & kBlankWord);
    return true;
}

bool CJDMProgrammer::WriteWord(std::uint16_t word) {
    word &= kBlankWord;
    for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
        std::uint16_t readBack = 0;
        if (!LoadData(kLoadProgram, word) || !SendCommand(kBeginProgramming)) {
            return false;
        }
        Wait(kProgramWait);
        if (!ReadData(kReadProgram, &readBack)) {
            return false;
        }
        if (readBack == word) {
            return true;
        }
    }
    return false;
}

bool CJDMProgrammer::GotoCalibrationWord() {
    for (unsigned i = 0; i < kCalibrationAddress; ++i) {
        PumpMessages();
        if (!SendCommand(kIncrementAddress)) {
            return false;
        }
    }
    return true;
}

bool CJDMProgrammer::GotoConfigAddress(unsigned offset) {
    if (!LoadData(kLoadConfiguration, 0)) {
        return false;
    }
    for (unsigned i = 0; i < offset; ++i) {
        PumpMessages();
        if (!SendCommand(kIncrementAddress)) {
            return false;
        }
    }
    return true;
}

bool CJDMProgrammer::GotoConfigWord() {
    return GotoConfigAddress(kConfigWordOffset);
}

bool CJDMProgrammer::ReadDeviceId(std::uint16_t* id) {
    return GotoConfigAddress(kDeviceIdOffset) && ReadData(kReadProgram, id);
}

bool CJDMProgrammer::EraseChip(const std::function<bool(std::uint16_t id)>& isChip) {
    PowerOff();
    Wait(kPowerWait);
    PowerOn();
    Wait(kPowerWait);

    std::uint16_t id = 0;
    if (!ReadDeviceId(&id) || !isChip(id)) {
        return Fail();
    }
    PowerCycle();
    std::uint16_t calibration = 0;
    if (!GotoCalibrationWord() || !ReadData(kReadProgram, &calibration)) {
        return Fail();
    }
    PowerCycle();
    std::uint16_t config = 0;
    if (!GotoConfigWord() || !ReadData(kReadProgram, &config)) {
        return Fail();
    }

    PowerCycle();
    if (!SendCommand(kBulkEraseProgram)) {
        return Fail();
    }
    Wait(kEraseWait);
    PowerCycle();
    if (!SendCommand(kBulkEraseData)) {
        return Fail();
    }
    Wait(kEraseWait);

    // The bulk erase took the factory calibration with it: put both back.
    PowerCycle();
    if (!GotoCalibrationWord() || !WriteWord(calibration)) {
        return Fail();
    }
    PowerCycle();
    if (!GotoConfigWord() || !WriteWord(static_cast<std::uint16_t>(config | 0xC1FF))) {
        return Fail();
    }
    PowerOff();
    return true;
}

bool CJDMProgrammer::WriteProgram(const JdmProgramImage& image) {
    PowerCycle();
    for (unsigned address = 0; address < kCalibrationAddress; ++address) {
        if (image[address] != kBlankWord && !WriteWord(image[address])) {
            return Fail();
        }
        PumpMessages();
        if (!SendCommand(kIncrementAddress)) {
            return Fail();
        }
    }
    PowerOff();
    return true;
}

bool CJDMProgrammer::WriteConfig(const JdmConfigImage& config) {
    PowerCycle();
    std::uint16_t current = 0;
    if (!GotoConfigWord() || !ReadData(kReadProgram, &current)) {
        return Fail();
    }
    // Bits 13 to 9 are the chip's factory calibration: never the file's.
    const auto word = static_cast<std::uint16_t>((config[7] & 0x01FF) | (current & 0x3E00));
    const bool ok = WriteWord(word);
    PowerOff();
    return ok;
}

bool CJDMProgrammer::VerifyProgram(const JdmProgramImage& image) {
    PowerCycle();
    for (unsigned address = 0; address < kCalibrationAddress; ++address) {
        std::uint16_t readBack = 0;
        if (!ReadData(kReadProgram, &readBack)) {
            return Fail();
        }
        PumpMessages();
        if (!SendCommand(kIncrementAddress)) {
            return Fail();
        }
        if (((image[address] ^ readBack) & kBlankWord) != 0) {
            return Fail();
        }
    }
    PowerOff();
    return true;
}

bool CJDMProgrammer::VerifyConfig(const JdmConfigImage& config) {
    PowerCycle();
    std::uint16_t readBack = 0;
    if (!GotoConfigWord() || !ReadData(kReadProgram, &readBack)) {
        return Fail();
    }
    const bool same = ((config[7] ^ readBack) & 0x01FF) == 0;
    PowerOff();
    return same;
}

}  // namespace tenlo
