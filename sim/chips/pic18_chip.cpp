#include "sim/chips/pic18_chip.h"

#include <algorithm>

namespace tenlo::sim {

namespace {

// 4-bit serial commands.
constexpr std::uint8_t kCore = 0x0;
constexpr std::uint8_t kShiftOutTablat = 0x2;
constexpr std::uint8_t kTableRead = 0x8;
constexpr std::uint8_t kTableReadPostInc = 0x9;
constexpr std::uint8_t kTableReadPostDec = 0xA;
constexpr std::uint8_t kTableReadPreInc = 0xB;
constexpr std::uint8_t kTableWrite = 0xC;
constexpr std::uint8_t kTableWritePostInc2 = 0xD;
constexpr std::uint8_t kTableWrite1110 = 0xE;
constexpr std::uint8_t kTableWriteStart = 0xF;

// Special function registers the programming sequences touch (access bank).
constexpr std::uint8_t kTblptrU = 0xF8;
constexpr std::uint8_t kTblptrH = 0xF7;
constexpr std::uint8_t kTblptrL = 0xF6;
constexpr std::uint8_t kTablat = 0xF5;
constexpr std::uint8_t kEecon1 = 0xA6;
constexpr std::uint8_t kEeadr = 0xA9;
constexpr std::uint8_t kEeadrh = 0xAA;
constexpr std::uint8_t kEedata = 0xA8;

// EECON1 bits.
constexpr std::uint8_t kEepgd = 0x80;
constexpr std::uint8_t kCfgs = 0x40;
constexpr std::uint8_t kWren = 0x04;
constexpr std::uint8_t kWr = 0x02;
constexpr std::uint8_t kRd = 0x01;

constexpr std::uint32_t kPointerMask = 0x3FFFFF;
constexpr std::uint32_t kTestSpace = 0x3C0000;
constexpr std::uint32_t kEraseControl = 0x3C0004;
constexpr std::uint32_t kBlockSelect = 0x3C0005;
constexpr std::uint32_t kPanelControl = 0x3C0006;
constexpr std::uint8_t kMultiPanelBit = 0x40;
// The configuration sequences of every group but the 2550 jump here first.
constexpr std::uint32_t kConfigSequencePc = 0x100000;

// 0x3C0004 options: bit 7 starts the erase. FXX2, 1220 and 2431 know a chip erase and a data
// erase; the 2550 group combines what the bits select with the code blocks of 0x3C0005.
constexpr std::uint8_t kEraseStart = 0x80;
constexpr std::uint8_t kChipErase = 0x80;
constexpr std::uint8_t kDataErase = 0x81;
constexpr std::uint8_t kEraseBoot = 0x01;
constexpr std::uint8_t kEraseConfig = 0x02;
constexpr std::uint8_t kEraseData = 0x04;
constexpr std::uint8_t kEraseIds = 0x08;
constexpr std::uint32_t kBootBlockEnd = 0x800;  // 2550 group
constexpr std::uint32_t kCodeBlockBytes = 0x2000;

constexpr std::uint8_t Low(std::uint16_t v) {
    return static_cast<std::uint8_t>(v & 0xFF);
}
constexpr std::uint8_t High(std::uint16_t v) {
    return static_cast<std::uint8_t>(v >> 8);
}

}  // namespace

Pic18Chip::Pic18Chip(const Pic18ChipParams& params)
    : params_(params), program_(params.programBytes, 0xFF) {
    ids_.fill(0xFF);
    config_.fill(0xFF);
    data_.fill(0xFF);
    buffers_.assign(Panels(), std::vector<std::uint8_t>(BufferBytes(), 0xFF));
    idBuffer_.fill(0xFF);
}

std::size_t Pic18Chip::Panels() const {
    if (params_.group != Pic18Group::Fxx2) {
        return 1;
    }
    return std::max<std::size_t>(1, params_.programBytes / kPanelBytes);
}

void Pic18Chip::PowerOn(bool /*vppFirst*/) {
    powered_ = true;
    tblptr_ = 0;
    tablat_ = 0;
    w_ = 0;
    eecon1_ = 0;
    eeadr_ = 0;
    eedata_ = 0;
    pc_ = 0;
    gotoLow_.reset();
    multiPanel_ = false;
    for (auto& buffer : buffers_) {
        std::fill(buffer.begin(), buffer.end(), 0xFF);
    }
    idBuffer_.fill(0xFF);
    pending_.reset();
    blockSelect_ = 0;
    erase_ = Erase::None;
    eeBusy_ = false;
}

void Pic18Chip::PowerOff() {
    // A write still waiting for its hold, or running on its own, is lost with the supply.
    powered_ = false;
    pending_.reset();
    erase_ = Erase::None;
    eeBusy_ = false;
}

void Pic18Chip::Interrupt() {
    if (pending_) {
        pending_.reset();
        for (auto& buffer : buffers_) {
            std::fill(buffer.begin(), buffer.end(), 0xFF);
        }
        idBuffer_.fill(0xFF);
    }
    erase_ = Erase::None;
}

void Pic18Chip::Pic18Command(std::uint8_t command, std::uint16_t payload) {
    if (!powered_) {
        return;
    }
    command &= 0x0F;
    // The two NOPs after an erase start: the first lets it begin, PGD held low through the
    // second gives it its time.
    if (erase_ != Erase::None && command == kCore && payload == 0) {
        if (erase_ == Erase::Armed) {
            erase_ = Erase::Running;
        } else {
            erase_ = Erase::None;
            RunErase();
        }
        return;
    }
    Interrupt();
    switch (command) {
        case kCore:
            Core(payload);
            break;
        case kTableRead:
        case kTableReadPostInc:
        case kTableReadPostDec:
        case kTableReadPreInc:
            // Clocked through 0x20 the byte goes nowhere, but the pointer still moves.
            Pic18Receive(command);
            break;
        case kTableWrite:
            TableWrite(payload, false);
            break;
        case kTableWritePostInc2:
            TableWrite(payload, false);
            tblptr_ = (tblptr_ + 2) & kPointerMask;
            break;
        case kTableWrite1110:
            if (params_.group == Pic18Group::Fxx2) {
                TableWrite(payload, false);
                tblptr_ = (tblptr_ - 2) & kPointerMask;
            } else {
                TableWrite(payload, true);
                tblptr_ = (tblptr_ + 2) & kPointerMask;
            }
            break;
        case kTableWriteStart:
            TableWrite(payload, true);
            break;
        default:
            break;
    }
}

std::uint8_t Pic18Chip::Pic18Receive(std::uint8_t command) {
    if (!powered_) {
        return 0;
    }
    Interrupt();
    switch (command & 0x0F) {
        case kShiftOutTablat:
            return tablat_;
        case kTableRead:
            tablat_ = ReadByte(tblptr_);
            break;
        case kTableReadPostInc:
            tablat_ = ReadByte(tblptr_);
            tblptr_ = (tblptr_ + 1) & kPointerMask;
            break;
        case kTableReadPostDec:
            tablat_ = ReadByte(tblptr_);
            tblptr_ = (tblptr_ - 1) & kPointerMask;
            break;
        case kTableReadPreInc:
            tblptr_ = (tblptr_ + 1) & kPointerMask;
            tablat_ = ReadByte(tblptr_);
            break;
        default:
            return 0;
    }
    return tablat_;
}

void Pic18Chip::Pic18SetTablePointer(std::uint32_t address) {
    if (!powered_) {
        return;
    }
    // The firmware's own MOVLW/MOVWF sequence: core instructions like any other.
    Interrupt();
    tblptr_ = address & kPointerMask;
}

void Pic18Chip::Pic18ProgramHold(std::uint8_t command, std::uint16_t payload,
                                 std::uint8_t /*hold*/) {
    if (!powered_) {
        return;
    }
    const bool nop = (command & 0x0F) == kCore && payload == 0;
    if (pending_) {
        CompleteWrite();
        pending_.reset();
    } else if (erase_ != Erase::None && nop) {
        erase_ = Erase::None;
        RunErase();
        return;
    }
    // The held command is the sequence's NOP; anything else still executes.
    if (!nop) {
        Pic18Command(command, payload);
    }
}

void Pic18Chip::Pic18EraseHold(std::uint8_t command, std::uint16_t payload, std::uint8_t /*hold*/) {
    if (!powered_) {
        return;
    }
    Interrupt();
    if (eeBusy_) {
        CommitEeWrite();
    }
    if ((command & 0x0F) != kCore || payload != 0) {
        Pic18Command(command, payload);
    }
}

void Pic18Chip::Pic18EeSetAddress(std::uint16_t address, std::uint8_t data) {
    if (!powered_) {
        return;
    }
    Interrupt();
    eeadr_ = address;
    eedata_ = data;
}

void Pic18Chip::Pic18EeStart(bool /*startB*/) {
    if (!powered_) {
        return;
    }
    Interrupt();
    // The firmware's routine points EECON1 at data memory and enables writes before WR.
    eecon1_ = static_cast<std::uint8_t>((eecon1_ & ~(kEepgd | kCfgs)) | kWren);
    StartEeWrite();
}

std::uint8_t Pic18Chip::Pic18EeStatus() {
    if (!powered_) {
        return 0;
    }
    Interrupt();
    if (eeBusy_) {
        if (eePollsLeft_ > 0) {
            --eePollsLeft_;
        } else {
            CommitEeWrite();
        }
    }
    return eecon1_;
}

std::uint8_t Pic18Chip::Pic18EeRead(std::uint16_t address) {
    if (!powered_) {
        return 0;
    }
    Interrupt();
    eeadr_ = address;
    eedata_ = data_[address % kDataBytes];
    return eedata_;
}

void Pic18Chip::Pic18EeEnd() {
    if (!powered_) {
        return;
    }
    Interrupt();
    // Clears WREN; a write already running goes on by itself.
    eecon1_ = static_cast<std::uint8_t>(eecon1_ & ~kWren);
}

void Pic18Chip::StartEeWrite() {
    if (eeBusy_ || (eecon1_ & kWren) == 0 || (eecon1_ & (kEepgd | kCfgs)) != 0) {
        return;  // WR cannot be set again while a write runs
    }
    eeBusy_ = true;
    eePollsLeft_ = eeBusyPolls_;
    eeWriteAddress_ = static_cast<std::uint8_t>(eeadr_ % kDataBytes);
    eeWriteData_ = eedata_;
    eecon1_ |= kWr;
}

void Pic18Chip::CommitEeWrite() {
    // Data EEPROM erases before it writes: the byte is replaced.
    if (!IsStuck(Space::Data, eeWriteAddress_)) {
        data_[eeWriteAddress_] = eeWriteData_;
    }
    eeBusy_ = false;
    eecon1_ = static_cast<std::uint8_t>(eecon1_ & ~kWr);
}

void Pic18Chip::Core(std::uint16_t instruction) {
    if (gotoLow_) {
        const std::uint8_t low = *gotoLow_;
        gotoLow_.reset();
        if ((instruction & 0xF000) == 0xF000) {
            pc_ = ((static_cast<std::uint32_t>(instruction & 0x0FFF) << 8) | low) << 1;
            return;
        }
    }
    const auto f = static_cast<std::uint8_t>(instruction & 0xFF);
    const bool access = (instruction & 0x0100) == 0;
    switch (instruction & 0xFF00) {
        case 0xEF00:  // GOTO, first word
            gotoLow_ = f;
            return;
        case 0x0E00:  // MOVLW
            w_ = f;
            return;
        case 0x6E00:  // MOVWF f, ACCESS
            switch (f) {
                case kTblptrU:
                    tblptr_ = (tblptr_ & 0x00FFFF) | (std::uint32_t{w_ & 0x3Fu} << 16);
                    break;
                case kTblptrH:
                    tblptr_ = (tblptr_ & 0x3F00FF) | (std::uint32_t{w_} << 8);
                    break;
                case kTblptrL:
                    tblptr_ = (tblptr_ & 0x3FFF00) | w_;
                    break;
                case kTablat:
                    tablat_ = w_;
                    break;
                case kEeadr:
                    eeadr_ = static_cast<std::uint16_t>((eeadr_ & 0xFF00) | w_);
                    break;
                case kEeadrh:
                    eeadr_ = static_cast<std::uint16_t>((eeadr_ & 0x00FF) | (w_ << 8));
                    break;
                case kEedata:
                    eedata_ = w_;
                    break;
                default:
                    break;
            }
            return;
        case 0x5000:  // MOVF f, W, ACCESS
            if (f == kEedata) {
                w_ = eedata_;
            }
            return;
        case 0x2A00:  // INCF f, F, ACCESS: TBLPTRL alone, no carry into TBLPTRH
            if (f == kTblptrL) {
                tblptr_ = (tblptr_ & 0x3FFF00) | ((tblptr_ + 1) & 0xFF);
            }
            return;
        default:
            break;
    }
    const unsigned opcode = instruction & 0xF000;
    if ((opcode == 0x8000 || opcode == 0x9000) && access && f == kEecon1) {
        const auto bit = static_cast<std::uint8_t>(1u << ((instruction >> 9) & 7));
        if (opcode == 0x9000) {
            eecon1_ = static_cast<std::uint8_t>(eecon1_ & ~bit);
            return;
        }
        if (bit == kWr) {
            StartEeWrite();
        } else if (bit == kRd) {
            if ((eecon1_ & (kEepgd | kCfgs)) == 0) {
                eedata_ = data_[eeadr_ % kDataBytes];
            }
        } else {
            eecon1_ |= bit;
        }
    }
}

void Pic18Chip::TableWrite(std::uint16_t payload, bool start) {
    const std::uint32_t address = tblptr_;
    if (address < kIdStart) {
        Buffer(address, payload);
    } else if (address < kIdStart + kIdBytes) {
        const std::uint32_t at = (address - kIdStart) & ~1u;
        idBuffer_[at] = Low(payload);
        idBuffer_[at + 1] = High(payload);
    } else if (!start && address >= kTestSpace) {
        // One byte per write in configuration space: the even address takes the low byte.
        WriteRegister(address, (address & 1) != 0 ? High(payload) : Low(payload));
    }
    if (start) {
        StartProgramming(address, payload);
    }
}

void Pic18Chip::Buffer(std::uint32_t address, std::uint16_t payload) {
    const std::size_t panel = params_.group == Pic18Group::Fxx2 ? address / kPanelBytes : 0;
    if (panel >= buffers_.size()) {
        return;
    }
    auto& buffer = buffers_[panel];
    const std::uint32_t at = address & (BufferBytes() - 1) & ~1u;
    buffer[at] = Low(payload);
    buffer[at + 1] = High(payload);
}

void Pic18Chip::WriteRegister(std::uint32_t address, std::uint8_t byte) {
    switch (address) {
        case kPanelControl:
            if (params_.group == Pic18Group::Fxx2) {
                multiPanel_ = (byte & kMultiPanelBit) != 0;
            }
            break;
        case kBlockSelect:
            if (params_.group == Pic18Group::F2550) {
                blockSelect_ = byte;
            }
            break;
        case kEraseControl:
            StartErase(byte);
            break;
        default:
            break;
    }
}

void Pic18Chip::StartProgramming(std::uint32_t address, std::uint16_t payload) {
    if (address >= kConfigStart) {
        const bool jumped = params_.group == Pic18Group::F2550 || pc_ >= kConfigSequencePc;
        if (address < kConfigStart + kConfigBytes && (eecon1_ & kCfgs) != 0 && jumped) {
            pending_ =
                PendingWrite{address, true, (address & 1) != 0 ? High(payload) : Low(payload)};
        }
        return;
    }
    // With EEPGD clear the cycle would go to data memory; with CFGS set, to the configuration.
    if ((eecon1_ & (kEepgd | kCfgs)) == kEepgd && address < kIdStart + kIdBytes) {
        pending_ = PendingWrite{address, false, 0};
    }
}

void Pic18Chip::CompleteWrite() {
    const PendingWrite write = *pending_;
    ++cycles_;
    if (write.config) {
        if (!IsStuck(Space::Config, write.address)) {
            config_[write.address - kConfigStart] = write.byte;
        }
        return;
    }
    if (write.address >= kIdStart) {
        for (std::uint32_t i = 0; i < kIdBytes; ++i) {
            if (!IsStuck(Space::Config, kIdStart + i)) {
                ids_[i] &= idBuffer_[i];
            }
        }
        idBuffer_.fill(0xFF);
        return;
    }
    if (params_.group != Pic18Group::Fxx2) {
        ProgramBuffer(0, write.address & ~(BufferBytes() - 1));
        return;
    }
    const std::uint32_t offset = (write.address % kPanelBytes) & ~(BufferBytes() - 1);
    if (multiPanel_) {
        for (std::size_t panel = 0; panel < buffers_.size(); ++panel) {
            ProgramBuffer(panel, static_cast<std::uint32_t>(panel) * kPanelBytes + offset);
        }
    } else {
        ProgramBuffer(write.address / kPanelBytes,
                      write.address - write.address % kPanelBytes + offset);
    }
}

void Pic18Chip::ProgramBuffer(std::size_t panel, std::uint32_t base) {
    if (panel >= buffers_.size()) {
        return;
    }
    auto& buffer = buffers_[panel];
    for (std::uint32_t k = 0; k < buffer.size(); ++k) {
        const std::uint32_t address = base + k;
        if (address < program_.size() && !IsStuck(Space::Program, address / 2)) {
            program_[address] &= buffer[k];  // flash only clears bits
        }
    }
    std::fill(buffer.begin(), buffer.end(), 0xFF);
}

void Pic18Chip::StartErase(std::uint8_t options) {
    if ((options & kEraseStart) == 0) {
        return;
    }
    if (params_.group != Pic18Group::F2550 && options != kChipErase && options != kDataErase) {
        return;  // the block and panel erases are not modelled
    }
    eraseOptions_ = options;
    erase_ = Erase::Armed;
}

void Pic18Chip::RunErase() {
    std::uint8_t what = 0;
    std::uint8_t blocks = 0;
    if (params_.group == Pic18Group::F2550) {
        what = eraseOptions_;
        blocks = blockSelect_;
    } else if (eraseOptions_ == kChipErase) {
        what = kEraseBoot | kEraseConfig | kEraseData | kEraseIds;
        blocks = 0xFF;
    } else {
        what = kEraseData;
    }
    for (std::uint32_t address = 0; address < program_.size(); ++address) {
        const bool boot = address < kBootBlockEnd;
        const std::uint32_t block = address / kCodeBlockBytes;
        const bool selected = boot ? (what & kEraseBoot) != 0 : ((blocks >> block) & 1) != 0;
        if (selected && !IsStuck(Space::Program, address / 2)) {
            program_[address] = 0xFF;
        }
    }
    for (std::uint32_t i = 0; i < kIdBytes && (what & kEraseIds) != 0; ++i) {
        if (!IsStuck(Space::Config, kIdStart + i)) {
            ids_[i] = 0xFF;
        }
    }
    for (std::uint32_t i = 0; i < kConfigBytes && (what & kEraseConfig) != 0; ++i) {
        if (!IsStuck(Space::Config, kConfigStart + i)) {
            config_[i] = 0xFF;
        }
    }
    for (std::uint32_t i = 0; i < kDataBytes && (what & kEraseData) != 0; ++i) {
        if (!IsStuck(Space::Data, i)) {
            data_[i] = 0xFF;
        }
    }
}

std::uint8_t Pic18Chip::ReadByte(std::uint32_t address) const {
    if (address < program_.size()) {
        return program_[address];
    }
    if (address >= kIdStart && address < kIdStart + kIdBytes) {
        return ids_[address - kIdStart];
    }
    if (address >= kConfigStart && address < kConfigStart + kConfigBytes) {
        return config_[address - kConfigStart];
    }
    if (address == kDevId1) {
        return static_cast<std::uint8_t>(Low(params_.deviceId) | kRevision);
    }
    if (address == kDevId2) {
        return High(params_.deviceId);
    }
    return 0;  // unimplemented
}

bool Pic18Chip::Peek(Space space, std::uint32_t address, std::uint32_t& value) const {
    switch (space) {
        case Space::Program:
            if (address >= program_.size() / 2) {
                return false;
            }
            value = program_[2 * address] | (std::uint32_t{program_[2 * address + 1]} << 8);
            return true;
        case Space::Config:
            if ((address >= kConfigStart && address < kConfigStart + kConfigBytes) ||
                (address >= kIdStart && address < kIdStart + kIdBytes) || address == kDevId1 ||
                address == kDevId2) {
                value = ReadByte(address);
                return true;
            }
            return false;
        case Space::Data:
            if (address >= kDataBytes) {
                return false;
            }
            value = data_[address];
            return true;
    }
    return false;
}

bool Pic18Chip::Poke(Space space, std::uint32_t address, std::uint32_t value) {
    switch (space) {
        case Space::Program:
            if (address >= program_.size() / 2) {
                return false;
            }
            program_[2 * address] = static_cast<std::uint8_t>(value);
            program_[2 * address + 1] = static_cast<std::uint8_t>(value >> 8);
            return true;
        case Space::Config:
            if (address >= kConfigStart && address < kConfigStart + kConfigBytes) {
                config_[address - kConfigStart] = static_cast<std::uint8_t>(value);
                return true;
            }
            if (address >= kIdStart && address < kIdStart + kIdBytes) {
                ids_[address - kIdStart] = static_cast<std::uint8_t>(value);
                return true;
            }
            return false;  // the device ID is read-only
        case Space::Data:
            if (address >= kDataBytes) {
                return false;
            }
            data_[address] = static_cast<std::uint8_t>(value);
            return true;
    }
    return false;
}

void Pic18Chip::SetStuckCell(Space space, std::uint32_t address) {
    stuck_.insert({space, address});
}

bool Pic18Chip::IsStuck(Space space, std::uint32_t address) const {
    return !stuck_.empty() && stuck_.count({space, address}) != 0;
}

}  // namespace tenlo::sim
