#include "sim/chips/baseline_chip.h"

namespace tenlo::sim {

namespace {

// Only the low four command bits are decoded on these parts.
constexpr std::uint8_t kCommandMask = 0x0F;
constexpr std::uint8_t kLoadData = 0x02;
constexpr std::uint8_t kReadData = 0x04;
constexpr std::uint8_t kIncrement = 0x06;
constexpr std::uint8_t kBeginProgramming = 0x08;
constexpr std::uint8_t kBulkErase = 0x09;
constexpr std::uint8_t kEndProgramming = 0x0E;

}  // namespace

BaselineChip::BaselineChip(const BaselineParams& params)
    : params_(params), program_(params.programWords, kErased) {
    area_.fill(kErased);
    if (params_.oscCal && !program_.empty()) {
        program_.back() = kOscCalFactory;
        area_[kBackupOffset] = kOscCalFactory;
    }
}

void BaselineChip::PowerOn(bool /*vppFirst*/) {
    powered_ = true;
    pc_ = params_.configAddress;
    pending_ = false;
    ResetLatch();
}

void BaselineChip::PowerOff() {
    powered_ = false;
    pending_ = false;
}

void BaselineChip::ResetLatch() {
    latch_ = kErased;
    latchLoaded_ = false;
}

void BaselineChip::IcspCommand(std::uint8_t command) {
    if (!powered_) {
        return;
    }
    command &= kCommandMask;
    if (pending_) {
        pending_ = false;
        if (command == kEndProgramming) {
            Program();
            return;
        }
        // Any other command cuts the programming pulse short: nothing is written.
    }
    switch (command) {
        case kIncrement:
            // The configuration word sits at the top of the counter and is skipped on the way
            // round: only the entry position reaches it.
            pc_ = pc_ + 1u >= params_.configAddress ? 0 : static_cast<std::uint16_t>(pc_ + 1);
            break;
        case kBeginProgramming:
            pending_ = true;
            break;
        case kBulkErase:
            BulkErase();
            break;
        default:
            break;
    }
}

void BaselineChip::IcspLoad(std::uint8_t command, std::uint16_t data) {
    if (!powered_) {
        return;
    }
    if ((command & kCommandMask) != kLoadData) {
        IcspCommand(command);
        return;
    }
    pending_ = false;
    latch_ = data & kErased;
    latchLoaded_ = true;
}

std::uint16_t BaselineChip::IcspRead(std::uint8_t command) {
    if (!powered_) {
        return 0;
    }
    if ((command & kCommandMask) != kReadData) {
        IcspCommand(command);
        return 0;
    }
    pending_ = false;
    return Read();
}

std::uint16_t BaselineChip::Read() const {
    if (pc_ == params_.configAddress) {
        return ConfigRead();
    }
    if (pc_ < params_.programWords) {
        return Protected() ? 0 : program_[pc_];
    }
    if (InArea(pc_) && pc_ - AreaStart() < AreaCells()) {
        return area_[pc_ - AreaStart()];
    }
    return kErased;
}

std::uint16_t* BaselineChip::Cell(std::uint16_t pc, Space& space, std::uint32_t& address) {
    address = pc;
    if (pc == params_.configAddress) {
        space = Space::Config;
        return &configWord_;
    }
    if (pc < params_.programWords) {
        space = Space::Program;
        return &program_[pc];
    }
    space = Space::Config;
    if (InArea(pc) && pc - AreaStart() < AreaCells()) {
        return &area_[pc - AreaStart()];
    }
    return nullptr;
}

void BaselineChip::Program() {
    Space space = Space::Program;
    std::uint32_t address = 0;
    std::uint16_t* cell = Cell(pc_, space, address);
    if (cell != nullptr && latchLoaded_ && !IsStuck(space, address)) {
        *cell &= latch_;  // flash: programming only clears bits
    }
    ResetLatch();
}

void BaselineChip::Erase(Space space, std::uint32_t address, std::uint16_t& cell) {
    if (!IsStuck(space, address)) {
        cell = kErased;
    }
}

void BaselineChip::BulkErase() {
    for (std::uint32_t i = 0; i < program_.size(); ++i) {
        Erase(Space::Program, i, program_[i]);  // OSCCAL included: the host must restore it
    }
    Erase(Space::Config, params_.configAddress, configWord_);
    if (InArea(pc_)) {
        // From the user-ID area the erase reaches the IDs and the backup calibration too.
        for (std::uint32_t i = 0; i < area_.size(); ++i) {
            Erase(Space::Config, AreaStart() + i, area_[i]);
        }
    }
}

bool BaselineChip::IsStuck(Space space, std::uint32_t address) const {
    return !stuck_.empty() && stuck_.count({space, address}) != 0;
}

bool BaselineChip::Peek(Space space, std::uint32_t address, std::uint32_t& value) const {
    if (space == Space::Program) {
        if (address >= program_.size()) {
            return false;
        }
        value = program_[address];
        return true;
    }
    if (space == Space::Config) {
        if (address == params_.configAddress) {
            value = ConfigRead();
            return true;
        }
        if (address >= AreaStart() && address - AreaStart() < AreaCells()) {
            value = area_[address - AreaStart()];
            return true;
        }
    }
    return false;
}

bool BaselineChip::Poke(Space space, std::uint32_t address, std::uint32_t value) {
    const auto word = static_cast<std::uint16_t>(value & kErased);
    if (space == Space::Program) {
        if (address >= program_.size()) {
            return false;
        }
        program_[address] = word;
        return true;
    }
    if (space == Space::Config) {
        if (address == params_.configAddress) {
            configWord_ = word;
            return true;
        }
        if (address >= AreaStart() && address - AreaStart() < AreaCells()) {
            area_[address - AreaStart()] = word;
            return true;
        }
    }
    return false;
}

void BaselineChip::SetStuckCell(Space space, std::uint32_t address) {
    stuck_.insert({space, address});
}

}  // namespace tenlo::sim
