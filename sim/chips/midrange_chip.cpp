#include "sim/chips/midrange_chip.h"

#include <algorithm>
#include <utility>

namespace tenlo::sim {

namespace {

constexpr std::uint16_t kErased = 0x3FFF;
constexpr std::uint8_t kErasedByte = 0xFF;
constexpr std::uint16_t kUserSpaceEnd = 0x1FFF;
constexpr std::uint16_t kConfigSpaceEnd = 0x3FFF;
constexpr std::uint16_t kConfigCells = 16;  // 0x2000-0x200F are physically there
constexpr std::uint16_t kRowWords = 32;

// ICSP command codes.
constexpr std::uint8_t kLoadConfig = 0x00;
constexpr std::uint8_t kBulkSetup1 = 0x01;
constexpr std::uint8_t kLoadProgram = 0x02;
constexpr std::uint8_t kLoadData = 0x03;
constexpr std::uint8_t kReadProgram = 0x04;
constexpr std::uint8_t kReadData = 0x05;
constexpr std::uint8_t kIncrement = 0x06;
constexpr std::uint8_t kBulkSetup2 = 0x07;
constexpr std::uint8_t kBeginEraseProgramming = 0x08;
constexpr std::uint8_t kBulkEraseProgram = 0x09;
constexpr std::uint8_t kEndProgramming = 0x0A;
constexpr std::uint8_t kBulkEraseData = 0x0B;
constexpr std::uint8_t kEndProgramming7x = 0x0E;
constexpr std::uint8_t kEndProgrammingA = 0x17;
constexpr std::uint8_t kBeginProgramOnly = 0x18;
constexpr std::uint8_t kChipErase = 0x1F;

}  // namespace

MidrangeChip::MidrangeChip(const MidrangeParams& params)
    : params_(params),
      program_(params.programWords, kErased),
      data_(params.dataBytes, kErasedByte) {
    config_.fill(kErased);
    config_[kDeviceIdAddress - kConfigStart] =
        params_.hasDeviceId ? static_cast<std::uint16_t>(params_.deviceId | kRevision) : kErased;
    for (std::size_t i = 0; i < params_.calibrationWords && i < kCalibrationFactory.size(); ++i) {
        config_[8 + i] = kCalibrationFactory[i];
    }
    if (params_.oscCal && !program_.empty()) {
        program_.back() = kOscCalFactory;
    }
    ResetLatches();
}

void MidrangeChip::PowerOn(bool /*vppFirst*/) {
    // Both entry orders reach the same programming-mode state; no user code can run here.
    powered_ = true;
    pc_ = 0;
    ResetLatches();
    pending_ = Pending::None;
    setup1_ = false;
    setupArmed_ = false;
    armedErase_ = 0;
}

void MidrangeChip::PowerOff() {
    // A cycle still waiting for its end command never completes.
    powered_ = false;
    pending_ = Pending::None;
    setup1_ = false;
    setupArmed_ = false;
    armedErase_ = 0;
}

bool MidrangeChip::EndsPendingCycle(std::uint8_t command) {
    if (pending_ == Pending::None) {
        return false;
    }
    if (command == pendingEnd_) {
        CompletePending();
        return true;
    }
    // Anything else while the programming pulse is supposed to run abandons it.
    pending_ = Pending::None;
    return false;
}

void MidrangeChip::IcspCommand(std::uint8_t command) {
    if (!powered_) {
        return;
    }
    command &= 0x3F;
    if (EndsPendingCycle(command)) {
        return;
    }
    Execute(command);
}

void MidrangeChip::IcspLoad(std::uint8_t command, std::uint16_t data) {
    if (!powered_) {
        return;
    }
    command &= 0x3F;
    if (command != kLoadConfig && command != kLoadProgram && command != kLoadData) {
        IcspCommand(command);
        return;
    }
    EndsPendingCycle(command);
    // Loads may sit between an armed erase and its Begin Programming; the setup pair may not.
    setup1_ = false;
    setupArmed_ = false;
    switch (command) {
        case kLoadConfig:
            pc_ = kConfigStart;
            LoadProgramLatch(data);
            break;
        case kLoadProgram:
            LoadProgramLatch(data);
            break;
        default:
            LoadDataLatch(data);
            break;
    }
}

std::uint16_t MidrangeChip::IcspRead(std::uint8_t command) {
    if (!powered_) {
        return 0;
    }
    command &= 0x3F;
    if (command != kReadProgram && command != kReadData) {
        IcspCommand(command);
        return 0;
    }
    EndsPendingCycle(command);
    setup1_ = false;
    setupArmed_ = false;
    armedErase_ = 0;
    if (command == kReadProgram) {
        return ReadProgramSpace(pc_);
    }
    if (params_.dataBytes == 0 || DataProtected()) {
        return 0;
    }
    return data_[pc_ & (params_.dataBytes - 1)];
}

void MidrangeChip::Execute(std::uint8_t command) {
    const bool setup1 = std::exchange(setup1_, false);
    const bool setupArmed = std::exchange(setupArmed_, false);
    const std::uint8_t armed = std::exchange(armedErase_, 0);

    switch (command) {
        case kLoadConfig:  // clocked without its data word: only the jump happens
            pc_ = kConfigStart;
            return;
        case kLoadProgram:
        case kLoadData:
        case kReadProgram:
        case kReadData:
            return;
        case kIncrement:
            Increment();
            return;
        default:
            break;
    }

    const bool has16F84Erase = params_.family == MidrangeFamily::F84A;
    switch (params_.family) {
        case MidrangeFamily::F84A:
        case MidrangeFamily::F87x:
            switch (command) {
                case kBulkSetup1:
                    setup1_ = true;
                    break;
                case kBulkSetup2:
                    setupArmed_ = setup1;
                    break;
                case kBeginEraseProgramming:
                    if (setupArmed) {
                        BulkEraseSetupExecute();
                    } else if (armed != 0) {
                        armedErase_ = armed;
                        ArmedEraseExecute();
                    } else {
                        ProgramCycle(true, false, false);
                    }
                    break;
                case kBeginProgramOnly:
                    ProgramCycle(false, false, false);
                    break;
                case kBulkEraseProgram:
                    if (has16F84Erase) {
                        armedErase_ = armed | kArmProgram;
                    }
                    break;
                case kBulkEraseData:
                    if (has16F84Erase) {
                        armedErase_ = armed | kArmData;
                    }
                    break;
                default:
                    break;
            }
            break;

        case MidrangeFamily::F62xA:
            switch (command) {
                case kBeginEraseProgramming:
                    ProgramCycle(false, false, false);
                    break;
                case kBulkEraseProgram:
                    BulkErase();
                    break;
                case kBulkEraseData:
                    EraseData();
                    break;
                default:
                    break;
            }
            break;

        case MidrangeFamily::F629:
        case MidrangeFamily::F683:
        case MidrangeFamily::F716:
            switch (command) {
                case kBeginEraseProgramming:
                    if (params_.family != MidrangeFamily::F716) {
                        ProgramCycle(false, false, false);
                    }
                    break;
                case kBeginProgramOnly:
                    BeginPending(Pending::Block, params_.family == MidrangeFamily::F716
                                                     ? kEndProgramming7x
                                                     : kEndProgramming);
                    break;
                case kBulkEraseProgram:
                    BulkErase();
                    break;
                case kBulkEraseData:
                    EraseData();
                    break;
                default:
                    break;
            }
            break;

        case MidrangeFamily::F87xA:
        case MidrangeFamily::F81x: {
            const bool is87xA = params_.family == MidrangeFamily::F87xA;
            const bool unprotected = !AnyProgramProtected() && !DataProtected();
            switch (command) {
                case kBeginEraseProgramming:
                    if (is87xA) {
                        ProgramCycle(false, true, false);
                    } else {
                        BeginPending(Pending::RowErase, kEndProgrammingA);
                    }
                    break;
                case kBeginProgramOnly:
                    BeginPending(is87xA ? Pending::OneWord : Pending::Block, kEndProgrammingA);
                    break;
                case kBulkEraseProgram:
                    if (unprotected) {
                        EraseProgram();
                    }
                    break;
                case kBulkEraseData:
                    if (unprotected) {
                        EraseData();
                    }
                    break;
                case kChipErase:
                    ChipErase();
                    break;
                default:
                    break;
            }
            break;
        }

        case MidrangeFamily::F7x:
            switch (command) {
                case kBeginEraseProgramming:
                    BeginPending(Pending::Block, kEndProgramming7x);
                    break;
                case kBulkEraseProgram:
                    EraseProgram();
                    EraseUserIds();
                    EraseConfigWord();
                    break;
                default:
                    break;
            }
            break;
    }
}

void MidrangeChip::Increment() {
    if (pc_ <= kUserSpaceEnd) {
        pc_ = pc_ == kUserSpaceEnd ? (params_.runOn ? kConfigStart : 0)
                                   : static_cast<std::uint16_t>(pc_ + 1);
    } else {
        pc_ = pc_ >= kConfigSpaceEnd ? kConfigStart : static_cast<std::uint16_t>(pc_ + 1);
    }
}

void MidrangeChip::LoadProgramLatch(std::uint16_t data) {
    const std::size_t slot = pc_ & (params_.latches - 1u);
    latch_[slot] = data & kErased;
    latchLoaded_[slot] = true;
    // The memory of the last load is the one the next cycle writes.
    dataLatchLoaded_ = false;
}

void MidrangeChip::LoadDataLatch(std::uint16_t data) {
    if (params_.dataBytes == 0) {
        return;
    }
    dataLatch_ = static_cast<std::uint8_t>(data & 0xFF);
    dataLatchLoaded_ = true;
}

void MidrangeChip::ResetLatches() {
    latch_.fill(kErased);
    latchLoaded_.fill(false);
    dataLatch_ = kErasedByte;
    dataLatchLoaded_ = false;
}

void MidrangeChip::WriteDataLatch() {
    const std::uint32_t index = pc_ & (params_.dataBytes - 1);
    if (!IsStuck(Space::Data, index)) {
        data_[index] = dataLatch_;  // EEPROM: erase-before-write, the byte is replaced
    }
}

void MidrangeChip::ProgramCycle(bool eraseFirst, bool eraseBlock, bool oneWord) {
    if (DataCycleDue()) {
        WriteDataLatch();
        ResetLatches();
        return;
    }
    const std::uint16_t count = params_.latches;
    const std::uint16_t base = pc_ & static_cast<std::uint16_t>(~(count - 1u));
    const std::uint16_t own = pc_ & (count - 1u);
    for (std::uint16_t i = 0; i < count; ++i) {
        if (oneWord && i != own) {
            continue;
        }
        Space space = Space::Program;
        std::uint32_t address = 0;
        std::uint16_t* cell = FlashCell(static_cast<std::uint16_t>(base + i), space, address);
        if (cell == nullptr || IsStuck(space, address)) {
            continue;
        }
        // Only a bulk or chip erase may set configuration bits again: a word-level erase of
        // the configuration word would lift code protection without wiping what it protects.
        const bool erasable = !(space == Space::Config && address == kConfigWord);
        if (eraseBlock && erasable) {
            *cell = kErased;
        }
        if (!latchLoaded_[i]) {
            continue;  // an untouched latch holds 0x3FFF: the cell keeps its bits
        }
        if (eraseFirst && erasable) {
            *cell = kErased;
        }
        *cell &= latch_[i];
    }
    ResetLatches();
}

void MidrangeChip::BeginPending(Pending kind, std::uint8_t endCommand) {
    pending_ = kind;
    pendingEnd_ = endCommand;
}

void MidrangeChip::CompletePending() {
    const Pending kind = std::exchange(pending_, Pending::None);
    switch (kind) {
        case Pending::Block:
            ProgramCycle(false, false, false);
            break;
        case Pending::OneWord:
            ProgramCycle(false, false, true);
            break;
        case Pending::RowErase:
            if (DataCycleDue()) {
                WriteDataLatch();
            } else {
                RowErase();
            }
            ResetLatches();
            break;
        case Pending::None:
            break;
    }
}

void MidrangeChip::BulkEraseSetupExecute() {
    if (pc_ == kConfigWord) {
        // The code-protect disable sequence: everything goes, protection with it.
        EraseProgram();
        EraseData();
        EraseUserIds();
        EraseConfigWord();
    } else if (DataCycleDue()) {
        if (!DataProtected()) {
            EraseData();
        }
    } else if (!AnyProgramProtected()) {
        EraseProgram();
    }
    ResetLatches();
}

void MidrangeChip::ArmedEraseExecute() {
    const std::uint8_t armed = std::exchange(armedErase_, 0);
    const bool programLocked = AnyProgramProtected();
    const bool dataLocked = DataProtected();
    if ((armed & kArmProgram) != 0 && !programLocked) {
        EraseProgram();
        if (pc_ >= kConfigStart && pc_ < kConfigStart + kConfigCells) {
            EraseUserIds();
            EraseConfigWord();
        }
    }
    if ((armed & kArmData) != 0 && !dataLocked) {
        EraseData();
    }
    ResetLatches();
}

void MidrangeChip::BulkErase() {
    const bool dataToo = DataProtected();
    EraseProgram();
    EraseConfigWord();
    if (pc_ >= kConfigStart) {
        EraseUserIds();
    }
    if (dataToo) {
        EraseData();
    }
}

void MidrangeChip::ChipErase() {
    EraseProgram();
    EraseData();
    EraseUserIds();
    EraseConfigWord();
}

void MidrangeChip::RowErase() {
    // A row erase must not open a protected part piece by piece, nor clear its protection.
    if (AnyProgramProtected()) {
        return;
    }
    if (pc_ >= kConfigStart) {
        EraseUserIds();
        return;
    }
    const std::uint16_t base = pc_ & static_cast<std::uint16_t>(~(kRowWords - 1u));
    for (std::uint16_t i = 0; i < kRowWords; ++i) {
        const std::uint32_t index = (base + i) & (params_.programWords - 1);
        if (!IsStuck(Space::Program, index)) {
            program_[index] = kErased;
        }
    }
}

void MidrangeChip::EraseProgram() {
    for (std::uint32_t i = 0; i < program_.size(); ++i) {
        if (!IsStuck(Space::Program, i)) {
            program_[i] = kErased;
        }
    }
}

void MidrangeChip::EraseData() {
    for (std::uint32_t i = 0; i < data_.size(); ++i) {
        if (!IsStuck(Space::Data, i)) {
            data_[i] = kErasedByte;
        }
    }
}

void MidrangeChip::EraseUserIds() {
    for (std::uint32_t a = kConfigStart; a < kConfigStart + 4u; ++a) {
        if (!IsStuck(Space::Config, a)) {
            config_[a - kConfigStart] = kErased;
        }
    }
}

void MidrangeChip::EraseConfigWord() {
    if (!IsStuck(Space::Config, kConfigWord)) {
        config_[kConfigWord - kConfigStart] = kErased;
    }
}

bool MidrangeChip::ProgramProtected(std::uint32_t index) const {
    if (params_.oscCal && index == params_.programWords - 1) {
        return false;  // the calibration RETLW stays readable so it can be saved
    }
    const std::uint16_t cfg = ConfigWordRaw();
    if (params_.cpScheme == CodeProtectScheme::Pair87x) {
        const unsigned bits = ((cfg >> 12) & 3u) & ((cfg >> 4) & 3u);
        switch (bits) {
            case 3:
                return false;
            case 2:
                return index >= params_.programWords - 256;
            case 1:
                return index >= params_.programWords / 2;
            default:
                return true;
        }
    }
    return (cfg & params_.cpMask) != params_.cpMask;
}

bool MidrangeChip::AnyProgramProtected() const {
    const std::uint16_t cfg = ConfigWordRaw();
    if (params_.cpScheme == CodeProtectScheme::Pair87x) {
        return (((cfg >> 12) & 3u) & ((cfg >> 4) & 3u)) != 3;
    }
    return (cfg & params_.cpMask) != params_.cpMask;
}

bool MidrangeChip::DataProtected() const {
    return params_.cpdMask != 0 && (ConfigWordRaw() & params_.cpdMask) != params_.cpdMask;
}

std::uint16_t MidrangeChip::ReadProgramSpace(std::uint16_t pc) const {
    if (pc <= kUserSpaceEnd) {
        const std::uint32_t index = pc & (params_.programWords - 1);
        return ProgramProtected(index) ? 0 : program_[index];
    }
    return ConfigValue(pc);
}

std::uint16_t MidrangeChip::ConfigValue(std::uint32_t address) const {
    if (address < kConfigStart || address >= kConfigStart + kConfigCells) {
        return kErased;
    }
    std::uint16_t value = config_[address - kConfigStart];
    if (address == kConfigWord) {
        // Programming clears any bit of the latch, but only the implemented ones are cells.
        const auto absent = static_cast<std::uint16_t>(kErased & ~params_.configImplemented);
        value = static_cast<std::uint16_t>((value & params_.configImplemented) |
                                           (params_.unimplementedReadOne ? absent : 0));
    }
    return value;
}

bool MidrangeChip::ConfigWritable(std::uint32_t address) const {
    return (address >= kConfigStart && address < kConfigStart + 4u) || address == kConfigWord;
}

bool MidrangeChip::ConfigImplemented(std::uint32_t address) const {
    return address >= kConfigStart &&
           address < kConfigStart + 8u + std::min<std::uint32_t>(params_.calibrationWords, 2);
}

std::uint16_t* MidrangeChip::FlashCell(std::uint16_t pc, Space& space, std::uint32_t& address) {
    if (pc <= kUserSpaceEnd) {
        space = Space::Program;
        address = pc & (params_.programWords - 1);
        return &program_[address];
    }
    space = Space::Config;
    address = pc;
    if (!ConfigWritable(pc)) {
        return nullptr;  // device ID, calibration, reserved and absent words do not program
    }
    return &config_[pc - kConfigStart];
}

bool MidrangeChip::IsStuck(Space space, std::uint32_t address) const {
    return !stuck_.empty() && stuck_.count({space, address}) != 0;
}

bool MidrangeChip::Peek(Space space, std::uint32_t address, std::uint32_t& value) const {
    switch (space) {
        case Space::Program:
            if (address >= program_.size()) {
                return false;
            }
            value = program_[address];
            return true;
        case Space::Config:
            if (!ConfigImplemented(address)) {
                return false;
            }
            value = ConfigValue(address);
            return true;
        case Space::Data:
            if (address >= data_.size()) {
                return false;
            }
            value = data_[address];
            return true;
    }
    return false;
}

bool MidrangeChip::Poke(Space space, std::uint32_t address, std::uint32_t value) {
    switch (space) {
        case Space::Program:
            if (address >= program_.size()) {
                return false;
            }
            program_[address] = static_cast<std::uint16_t>(value & kErased);
            return true;
        case Space::Config:
            if (!ConfigImplemented(address)) {
                return false;
            }
            config_[address - kConfigStart] = static_cast<std::uint16_t>(value & kErased);
            return true;
        case Space::Data:
            if (address >= data_.size()) {
                return false;
            }
            data_[address] = static_cast<std::uint8_t>(value & kErasedByte);
            return true;
    }
    return false;
}

void MidrangeChip::SetStuckCell(Space space, std::uint32_t address) {
    stuck_.insert({space, address});
}

}  // namespace tenlo::sim
