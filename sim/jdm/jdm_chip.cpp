#include "sim/jdm/jdm_chip.h"

#include <algorithm>

namespace tenlo::sim {

namespace {

constexpr std::uint16_t kBlankWord = 0x3FFF;
constexpr std::uint8_t kBlankByte = 0xFF;

// The 12F629 command set; anything else is ignored by the chip.
constexpr std::uint8_t kLoadConfiguration = 0x00;
constexpr std::uint8_t kLoadProgram = 0x02;
constexpr std::uint8_t kLoadData = 0x03;
constexpr std::uint8_t kReadProgram = 0x04;
constexpr std::uint8_t kReadData = 0x05;
constexpr std::uint8_t kIncrementAddress = 0x06;
constexpr std::uint8_t kBeginProgramming = 0x08;
constexpr std::uint8_t kBulkEraseProgram = 0x09;
constexpr std::uint8_t kEndProgramming = 0x0A;
constexpr std::uint8_t kBulkEraseData = 0x0B;
constexpr std::uint8_t kBeginProgrammingOnly = 0x18;

}  // namespace

CJdmChip::CJdmChip(IClock& clock, std::uint16_t deviceId)
    : clock_(clock), deviceId_(deviceId), program_(kProgramWords), data_(kDataBytes) {
    FactoryReset();
}

void CJdmChip::FactoryReset() {
    std::fill(program_.begin(), program_.end(), kBlankWord);
    program_[kOscCalAddress] = kFactoryOscCal;
    std::fill(data_.begin(), data_.end(), kBlankByte);
    std::fill(std::begin(config_), std::end(config_), kBlankWord);
    config_[kDeviceIdAddress - kConfigStart] = deviceId_ & kBlankWord;
    config_[kConfigWordAddress - kConfigStart] = kFactoryConfig;
    dtr_ = rts_ = powered_ = false;
    phase_ = Phase::Command;
    bits_ = 0;
    shift_ = 0;
    driving_ = false;
    pc_ = 0;
    programLatch_ = kBlankWord;
    dataLatch_ = kBlankByte;
    lastLoad_ = LastLoad::None;
    pending_ = Cycle::None;
}

bool CJdmChip::CountLineCall() {
    if (failAfter_ && lineCalls_ >= *failAfter_) {
        // Pulled out: the JDM circuit draws its supply and Vpp from the port, so the chip
        // goes dark with it.
        if (powered_) {
            PowerDown();
        }
        return false;
    }
    ++lineCalls_;
    return true;
}

bool CJdmChip::SetDtr(bool on) {
    if (!CountLineCall()) {
        return false;
    }
    dtr_ = on;
    return true;
}

bool CJdmChip::SetRts(bool on) {
    if (!CountLineCall()) {
        return false;
    }
    if (on == rts_) {
        return true;
    }
    rts_ = on;
    if (!powered_) {
        return true;
    }
    Settle(true);
    if (on) {
        ClockRise();
    } else {
        ClockFall();
    }
    return true;
}

bool CJdmChip::SetBreak(bool on) {
    if (!CountLineCall()) {
        return false;
    }
    if (on && !powered_) {
        PowerUp();
    } else if (!on && powered_) {
        PowerDown();
    }
    return true;
}

bool CJdmChip::GetCts(bool& on) {
    if (!CountLineCall()) {
        return false;
    }
    if (ctsStuck_) {
        on = *ctsStuck_;
    } else if (powered_ && driving_) {
        on = outBit_;
    } else {
        // Nothing drives PGD, so the JDM wiring reads back the host's own data line.
        on = dtr_;
    }
    return true;
}

void CJdmChip::PowerUp() {
    powered_ = true;
    pc_ = 0;
    phase_ = Phase::Command;
    bits_ = 0;
    shift_ = 0;
    driving_ = false;
    programLatch_ = kBlankWord;
    dataLatch_ = kBlankByte;
    lastLoad_ = LastLoad::None;
    pending_ = Cycle::None;
}

void CJdmChip::PowerDown() {
    Settle(true);
    if (pending_ == Cycle::ExternalProgram) {
        ++abortedCycles_;
        pending_ = Cycle::None;
    }
    for (const auto& [space, address] : leaky_) {
        switch (space) {
            case Space::Program:
                program_[address % kProgramWords] = kBlankWord;
                break;
            case Space::Config:
                if (address >= kConfigStart && address < kConfigStart + kConfigWords &&
                    address != kDeviceIdAddress) {
                    std::uint16_t& cell = config_[address - kConfigStart];
                    cell = address == kConfigWordAddress ? kConfigImplemented : kBlankWord;
                }
                break;
            case Space::Data:
                data_[address % kDataBytes] = kBlankByte;
                break;
        }
    }
    powered_ = false;
    driving_ = false;
    phase_ = Phase::Command;
    bits_ = 0;
    shift_ = 0;
}

void CJdmChip::Settle(bool interrupt) {
    if (pending_ == Cycle::None) {
        return;
    }
    const IClock::Duration elapsed = clock_.Now() - cycleStart_;
    if (pending_ == Cycle::ExternalProgram) {
        // Timed by the host: the first edge after the begin command starts the end command,
        // and the cycle has had its time only if that edge came late enough.
        if (interrupt && !externalChecked_) {
            externalChecked_ = true;
            externalTimed_ = elapsed >= kProgramTime;
        }
        return;
    }
    const IClock::Duration needed = pending_ == Cycle::Program ? kProgramTime : kEraseTime;
    if (elapsed >= needed) {
        const Cycle done = pending_;
        pending_ = Cycle::None;
        CompleteCycle(done);
    } else if (interrupt) {
        pending_ = Cycle::None;
        ++abortedCycles_;
    }
}

void CJdmChip::ClockRise() {
    if (phase_ != Phase::Read) {
        return;
    }
    ++bits_;
    // Clock 1 is the start bit; data bit k goes out from the rising edge of clock k + 2.
    if (bits_ >= 2 && bits_ <= 15) {
        driving_ = true;
        outBit_ = ((readWord_ >> (bits_ - 2)) & 1) != 0;
    } else {
        driving_ = false;
    }
}

void CJdmChip::ClockFall() {
    switch (phase_) {
        case Phase::Command:
            if (dtr_) {
                shift_ |= 1u << bits_;
            }
            if (++bits_ == 6) {
                const auto code = static_cast<std::uint8_t>(shift_ & 0x3F);
                bits_ = 0;
                shift_ = 0;
                Decode(code);
            }
            break;
        case Phase::Load:
            if (dtr_) {
                shift_ |= 1u << bits_;
            }
            if (++bits_ == 16) {
                FinishLoad();
                phase_ = Phase::Command;
                bits_ = 0;
                shift_ = 0;
            }
            break;
        case Phase::Read:
            if (bits_ >= 16) {
                driving_ = false;
                phase_ = Phase::Command;
                bits_ = 0;
            }
            break;
    }
}

void CJdmChip::Record(std::uint8_t code, std::uint16_t data, std::uint32_t address) {
    if (recordCommands_) {
        commands_.push_back({code, data, address});
    }
}

void CJdmChip::Decode(std::uint8_t code) {
    if (pending_ == Cycle::ExternalProgram && code != kEndProgramming) {
        // An externally timed cycle needs its end command and nothing else in between.
        pending_ = Cycle::None;
        ++abortedCycles_;
    }
    switch (code) {
        case kLoadConfiguration:
        case kLoadProgram:
        case kLoadData:
            phase_ = Phase::Load;
            loadCode_ = code;
            return;  // recorded when the data word is in
        case kReadProgram:
            readWord_ = ReadProgramSpace();
            phase_ = Phase::Read;
            break;
        case kReadData:
            readWord_ = DataProtected() ? 0 : data_[pc_ % kDataBytes];
            phase_ = Phase::Read;
            break;
        case kIncrementAddress:
            Record(code, 0, pc_);
            if (pc_ < kConfigStart) {
                pc_ = (pc_ + 1) & 0x1FFF;
            } else {
                pc_ = pc_ >= 0x3FFF ? kConfigStart : pc_ + 1;
            }
            return;
        case kBeginProgramming:
            pending_ = Cycle::Program;
            cycleStart_ = clock_.Now();
            break;
        case kBeginProgrammingOnly:
            pending_ = Cycle::ExternalProgram;
            cycleStart_ = clock_.Now();
            externalChecked_ = false;
            externalTimed_ = false;
            break;
        case kEndProgramming:
            if (pending_ == Cycle::ExternalProgram) {
                pending_ = Cycle::None;
                if (externalTimed_) {
                    CompleteCycle(Cycle::ExternalProgram);
                } else {
                    ++abortedCycles_;
                }
            }
            break;
        case kBulkEraseProgram:
            pending_ = Cycle::EraseProgram;
            cycleStart_ = clock_.Now();
            break;
        case kBulkEraseData:
            pending_ = Cycle::EraseData;
            cycleStart_ = clock_.Now();
            break;
        default:
            break;
    }
    Record(code, phase_ == Phase::Read ? readWord_ : 0, pc_);
}

void CJdmChip::FinishLoad() {
    const auto word = static_cast<std::uint16_t>((shift_ >> 1) & kBlankWord);
    switch (loadCode_) {
        case kLoadConfiguration:
            pc_ = kConfigStart;
            programLatch_ = word;
            lastLoad_ = LastLoad::Program;
            break;
        case kLoadProgram:
            programLatch_ = word;
            lastLoad_ = LastLoad::Program;
            break;
        default:
            dataLatch_ = static_cast<std::uint8_t>(word & 0xFF);
            lastLoad_ = LastLoad::Data;
            break;
    }
    Record(loadCode_, word, pc_);
}

std::uint16_t CJdmChip::ReadProgramSpace() {
    if (pc_ < kConfigStart) {
        const std::uint32_t address = pc_ % kProgramWords;
        // Code protection hides everything but the calibration word.
        if (CodeProtected() && address != kOscCalAddress) {
            return 0;
        }
        return program_[address];
    }
    if (pc_ < kConfigStart + kConfigWords) {
        return config_[pc_ - kConfigStart];
    }
    return 0;
}

void CJdmChip::ProgramFlash(std::uint16_t& cell, Space space, std::uint32_t address,
                            std::uint16_t latch) {
    if (IsStuck(space, address)) {
        return;
    }
    // Flash programming can only clear bits; only an erase sets them again.
    cell = static_cast<std::uint16_t>(cell & latch & kBlankWord);
}

void CJdmChip::CompleteCycle(Cycle cycle) {
    switch (cycle) {
        case Cycle::Program:
        case Cycle::ExternalProgram:
            if (lastLoad_ == LastLoad::Data) {
                const std::uint32_t address = pc_ % kDataBytes;
                if (!IsStuck(Space::Data, address)) {
                    data_[address] = dataLatch_;  // EEPROM: erase-before-write
                }
            } else if (pc_ < kConfigStart) {
                const std::uint32_t address = pc_ % kProgramWords;
                ProgramFlash(program_[address], Space::Program, address, programLatch_);
            } else if (pc_ < kConfigStart + kConfigWords && pc_ != kDeviceIdAddress) {
                std::uint16_t& cell = config_[pc_ - kConfigStart];
                ProgramFlash(cell, Space::Config, pc_, programLatch_);
                if (pc_ == kConfigWordAddress) {
                    cell &= kConfigImplemented;
                }
            }
            programLatch_ = kBlankWord;
            dataLatch_ = kBlankByte;
            lastLoad_ = LastLoad::None;
            ++completedPrograms_;
            break;
        case Cycle::EraseProgram: {
            const bool eraseData = DataProtected();
            for (std::uint32_t a = 0; a < kProgramWords; ++a) {
                if (!IsStuck(Space::Program, a)) {
                    program_[a] = kBlankWord;  // OSCCAL included: the host must restore it
                }
            }
            if (!IsStuck(Space::Config, kConfigWordAddress)) {
                config_[kConfigWordAddress - kConfigStart] = kConfigImplemented;
            }
            if (pc_ >= kConfigStart) {
                for (std::uint32_t a = 0; a < 4; ++a) {
                    if (!IsStuck(Space::Config, kConfigStart + a)) {
                        config_[a] = kBlankWord;
                    }
                }
            }
            if (eraseData) {
                for (std::uint32_t a = 0; a < kDataBytes; ++a) {
                    if (!IsStuck(Space::Data, a)) {
                        data_[a] = kBlankByte;
                    }
                }
            }
            ++completedErases_;
            break;
        }
        case Cycle::EraseData:
            for (std::uint32_t a = 0; a < kDataBytes; ++a) {
                if (!IsStuck(Space::Data, a)) {
                    data_[a] = kBlankByte;
                }
            }
            ++completedErases_;
            break;
        case Cycle::None:
            break;
    }
}

bool CJdmChip::Peek(Space space, std::uint32_t address, std::uint32_t& value) {
    Settle(false);
    switch (space) {
        case Space::Program:
            if (address >= kProgramWords) {
                return false;
            }
            value = program_[address];
            return true;
        case Space::Config:
            if (address < kConfigStart || address >= kConfigStart + kConfigWords) {
                return false;
            }
            value = config_[address - kConfigStart];
            return true;
        case Space::Data:
            if (address >= kDataBytes) {
                return false;
            }
            value = data_[address];
            return true;
    }
    return false;
}

bool CJdmChip::Poke(Space space, std::uint32_t address, std::uint32_t value) {
    Settle(false);
    switch (space) {
        case Space::Program:
            if (address >= kProgramWords) {
                return false;
            }
            program_[address] = static_cast<std::uint16_t>(value & kBlankWord);
            return true;
        case Space::Config:
            if (address < kConfigStart || address >= kConfigStart + kConfigWords) {
                return false;
            }
            config_[address - kConfigStart] = static_cast<std::uint16_t>(
                value & (address == kConfigWordAddress ? kConfigImplemented : kBlankWord));
            return true;
        case Space::Data:
            if (address >= kDataBytes) {
                return false;
            }
            data_[address] = static_cast<std::uint8_t>(value & 0xFF);
            return true;
    }
    return false;
}

std::uint16_t CJdmChip::ProgramWord(std::uint32_t address) {
    std::uint32_t value = 0;
    Peek(Space::Program, address % kProgramWords, value);
    return static_cast<std::uint16_t>(value);
}

std::uint16_t CJdmChip::ConfigWord() {
    std::uint32_t value = 0;
    Peek(Space::Config, kConfigWordAddress, value);
    return static_cast<std::uint16_t>(value);
}

}  // namespace tenlo::sim
