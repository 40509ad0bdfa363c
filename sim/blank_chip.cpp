#include "sim/blank_chip.h"

namespace tenlo::sim {

namespace {
constexpr std::uint16_t kWordMask = 0x3FFF;
constexpr std::uint32_t kDeviceIdOffset = 6;
}  // namespace

BlankMidrangeChip::BlankMidrangeChip() {
    program_.fill(kWordMask);
    config_.fill(kWordMask);
    config_[kDeviceIdOffset] = kDeviceId;
    data_.fill(0xFF);
}

void BlankMidrangeChip::PowerOn(bool /*vppFirst*/) {
    powered_ = true;
    pc_ = 0;
    programLatch_ = kWordMask;
    dataLatch_ = 0xFF;
    dataLoaded_ = false;
    cycleOpen_ = false;
    history_.clear();
}

void BlankMidrangeChip::PowerOff() {
    powered_ = false;
    cycleOpen_ = false;
}

std::uint16_t* BlankMidrangeChip::ProgramCell(std::uint16_t pc) {
    if (pc >= kConfigStart) {
        const std::uint32_t offset = pc - kConfigStart;
        return offset < kConfigCount ? &config_[offset] : nullptr;
    }
    // User memory aliases above the implemented size, as on the real parts.
    return &program_[pc % kProgramWords];
}

bool BlankMidrangeChip::IsStuck(Space space, std::uint32_t address) const {
    return stuck_.count({space, address}) != 0;
}

void BlankMidrangeChip::Program() {
    if (dataLoaded_) {
        const std::uint32_t index = pc_ % kDataBytes;
        if (!IsStuck(Space::Data, index)) {
            data_[index] = dataLatch_;
        }
    } else {
        std::uint16_t* cell = ProgramCell(pc_);
        const bool config = pc_ >= kConfigStart;
        const std::uint32_t address = config ? pc_ : pc_ % kProgramWords;
        const bool readOnly = config && pc_ - kConfigStart == kDeviceIdOffset;
        if (cell != nullptr && !readOnly &&
            !IsStuck(config ? Space::Config : Space::Program, address)) {
            *cell = static_cast<std::uint16_t>(*cell & programLatch_);
        }
    }
    programLatch_ = kWordMask;
    dataLatch_ = 0xFF;
    dataLoaded_ = false;
}

void BlankMidrangeChip::IcspCommand(std::uint8_t command) {
    if (!powered_) {
        return;
    }
    history_.push_back(command);
    switch (command & 0x3F) {
        case 0x06:
            // User space wraps at 0x2000, configuration space at 0x4000 back to 0x2000.
            if (pc_ >= kConfigStart) {
                pc_ = static_cast<std::uint16_t>(pc_ + 1 >= 0x4000 ? kConfigStart : pc_ + 1);
            } else {
                pc_ = static_cast<std::uint16_t>((pc_ + 1) & 0x1FFF);
            }
            break;
        case 0x08:
            Program();
            break;
        case 0x18:
            cycleOpen_ = true;
            break;
        case 0x0A:
        case 0x0E:
        case 0x17:
            if (cycleOpen_) {
                cycleOpen_ = false;
                Program();
            }
            break;
        case 0x09:
            for (std::uint32_t i = 0; i < kProgramWords; ++i) {
                if (!IsStuck(Space::Program, i)) {
                    program_[i] = kWordMask;
                }
            }
            if (pc_ >= kConfigStart) {
                for (std::uint32_t i = 0; i < kConfigCount; ++i) {
                    if (i != kDeviceIdOffset && !IsStuck(Space::Config, kConfigStart + i)) {
                        config_[i] = kWordMask;
                    }
                }
            }
            break;
        case 0x0B:
            for (std::uint32_t i = 0; i < kDataBytes; ++i) {
                if (!IsStuck(Space::Data, i)) {
                    data_[i] = 0xFF;
                }
            }
            break;
        default:
            break;
    }
}

void BlankMidrangeChip::IcspLoad(std::uint8_t command, std::uint16_t data) {
    if (!powered_) {
        return;
    }
    history_.push_back(command);
    switch (command & 0x3F) {
        case 0x00:
            pc_ = kConfigStart;
            programLatch_ = static_cast<std::uint16_t>(data & kWordMask);
            dataLoaded_ = false;
            break;
        case 0x02:
            programLatch_ = static_cast<std::uint16_t>(data & kWordMask);
            dataLoaded_ = false;
            break;
        case 0x03:
            dataLatch_ = static_cast<std::uint8_t>(data & 0xFF);
            dataLoaded_ = true;
            break;
        default:
            break;
    }
}

std::uint16_t BlankMidrangeChip::IcspRead(std::uint8_t command) {
    if (!powered_) {
        return 0;
    }
    history_.push_back(command);
    switch (command & 0x3F) {
        case 0x04: {
            const std::uint16_t* cell = ProgramCell(pc_);
            return cell != nullptr ? *cell : kWordMask;
        }
        case 0x05:
            return data_[pc_ % kDataBytes];
        default:
            return 0;
    }
}

bool BlankMidrangeChip::Peek(Space space, std::uint32_t address, std::uint32_t& value) const {
    switch (space) {
        case Space::Program:
            if (address >= kProgramWords) {
                return false;
            }
            value = program_[address];
            return true;
        case Space::Config:
            if (address < kConfigStart || address >= kConfigStart + kConfigCount) {
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

bool BlankMidrangeChip::Poke(Space space, std::uint32_t address, std::uint32_t value) {
    switch (space) {
        case Space::Program:
            if (address >= kProgramWords) {
                return false;
            }
            program_[address] = static_cast<std::uint16_t>(value & kWordMask);
            return true;
        case Space::Config:
            if (address < kConfigStart || address >= kConfigStart + kConfigCount) {
                return false;
            }
            config_[address - kConfigStart] = static_cast<std::uint16_t>(value & kWordMask);
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

void BlankMidrangeChip::SetStuckCell(Space space, std::uint32_t address) {
    stuck_.insert({space, address});
}

}  // namespace tenlo::sim
