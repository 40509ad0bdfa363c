#include "sim/chips/dspic30f_chip.h"

#include <strings.h>

namespace tenlo::sim {

namespace {

constexpr std::uint32_t kInstructionMask = 0xFFFFFF;
constexpr std::uint16_t kResetW15 = 0x0800;  // the stack pointer's reset value
constexpr std::uint8_t kConfigPage = 0xF8;

// Instruction encodings (dsPIC30F/33F programmer's reference).
constexpr std::uint32_t kMovLiteralMask = 0xF00000;  // MOV #lit16, Wd: 0010 kkkk…k dddd
constexpr std::uint32_t kMovLiteral = 0x200000;
constexpr std::uint32_t kMovToFileMask = 0xF80000;  // MOV Ws, f: 1000 1fff…f ssss
constexpr std::uint32_t kMovToFile = 0x880000;
constexpr std::uint32_t kClrMask = 0xFFF87F;  // CLR Wd: 1110 1011 0000 0ddd d000 0000
constexpr std::uint32_t kClr = 0xEB0000;

constexpr std::uint32_t kProgramRowBytes = 2 * DsPic30FChip::kProgramRow;
constexpr std::uint32_t kDataRowBytes = 2 * DsPic30FChip::kDataRow;

// Sizes from the data sheets, device IDs from DS70102.
// clang-format off
constexpr std::array<DsPic30FParams, 11> kParts{{
    //  name            program  data   DEVID
    {"dsPIC30F2010",     4096, 1024, 0x0040},
    {"dsPIC30F2011",     4096,    0, 0x0240},
    {"dsPIC30F2012",     4096,    0, 0x0241},
    {"dsPIC30F3010",     8192, 1024, 0x01C0},
    {"dsPIC30F3011",     8192, 1024, 0x01C1},
    {"dsPIC30F3012",     8192, 1024, 0x00C1},
    {"dsPIC30F3013",     8192, 1024, 0x00C3},
    {"dsPIC30F3014",     8192, 1024, 0x0160},
    {"dsPIC30F4011",    16384, 1024, 0x0101},
    {"dsPIC30F4012",    16384, 1024, 0x0100},
    {"dsPIC30F4013",    16384, 1024, 0x0141},
}};
// clang-format on

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

DsPic30FChip::DsPic30FChip(const DsPic30FParams& params)
    : params_(params),
      program_(params.programWords, kErasedInstruction),
      data_(params.dataBytes, 0xFF) {
    config_.fill(kErasedWord);
    ResetLatches();
}

void DsPic30FChip::PowerOn(bool /*vppFirst*/) {
    // A device reset: working registers clear, the stack pointer at its start, no write open.
    powered_ = true;
    w_.fill(0);
    w_[15] = kResetW15;
    tblpag_ = 0;
    nvmcon_ = 0;
    visi_ = 0;
    ResetLatches();
}

void DsPic30FChip::PowerOff() {
    powered_ = false;
    ResetLatches();
}

void DsPic30FChip::ResetLatches() {
    open_ = Open::None;
    rowAddress_ = 0;
    fill_ = 0;
    programLatch_.fill(kErasedInstruction);
    dataLatch_.fill(kErasedWord);
    configLatch_ = kErasedWord;
}

bool DsPic30FChip::IsStuck(Space space, std::uint32_t address) const {
    return stuck_.count({space, address}) != 0;
}

void DsPic30FChip::SetStuckCell(Space space, std::uint32_t address) {
    stuck_.insert({space, address});
}

bool DsPic30FChip::Peek(Space space, std::uint32_t address, std::uint32_t& value) const {
    switch (space) {
        case Space::Program:
            if (address >= program_.size()) {
                return false;
            }
            value = program_[address];
            return true;
        case Space::Data:
            if (address >= data_.size()) {
                return false;
            }
            value = data_[address];
            return true;
        case Space::Config:
            if (address == kDeviceIdAddress) {
                value = params_.deviceId;
                return true;
            }
            if (address < kConfigBase || address % 2 != 0 ||
                (address - kConfigBase) / 2 >= kConfigRegisters) {
                return false;
            }
            value = config_[(address - kConfigBase) / 2];
            return true;
    }
    return false;
}

bool DsPic30FChip::Poke(Space space, std::uint32_t address, std::uint32_t value) {
    switch (space) {
        case Space::Program:
            if (address >= program_.size()) {
                return false;
            }
            program_[address] = value & kInstructionMask;
            return true;
        case Space::Data:
            if (address >= data_.size()) {
                return false;
            }
            data_[address] = static_cast<std::uint8_t>(value);
            return true;
        case Space::Config:
            // DEVID is factory-set: only the configuration registers take a value.
            if (address < kConfigBase || address % 2 != 0 ||
                (address - kConfigBase) / 2 >= kConfigRegisters) {
                return false;
            }
            config_[(address - kConfigBase) / 2] = static_cast<std::uint16_t>(value);
            return true;
    }
    return false;
}

void DsPic30FChip::DsSix(std::uint32_t instruction) {
    if (!powered_) {
        return;
    }
    instruction &= kInstructionMask;
    if ((instruction & kMovLiteralMask) == kMovLiteral) {
        w_[instruction & 0xF] = static_cast<std::uint16_t>(instruction >> 4);
    } else if ((instruction & kMovToFileMask) == kMovToFile) {
        // The file address field holds bits 15:1 of the register's byte address.
        const auto file = static_cast<std::uint16_t>(((instruction >> 4) & 0x7FFF) << 1);
        WriteSfr(file, w_[instruction & 0xF]);
    } else if ((instruction & kClrMask) == kClr) {
        w_[(instruction >> 7) & 0xF] = 0;
    }
    // NOP, GOTO (both words) and everything else change nothing the model keeps.
}

void DsPic30FChip::WriteSfr(std::uint16_t address, std::uint16_t value) {
    switch (address) {
        case kTblpag:
            tblpag_ = static_cast<std::uint8_t>(value);
            break;
        case kNvmcon:
            nvmcon_ = value;
            break;
        case kVisi:
            visi_ = value;
            break;
        case kNvmkey:  // the unlock keys are the firmware's part of a commit
        default:
            break;
    }
}

std::uint32_t DsPic30FChip::TablePointer(unsigned offset) const {
    // W6 is a 16-bit register: it wraps within the page TBLPAG selects.
    return std::uint32_t{tblpag_} << 16 | static_cast<std::uint16_t>(w_[6] + offset);
}

std::uint16_t DsPic30FChip::DataWord(std::uint32_t word) const {
    return static_cast<std::uint16_t>(data_[2 * word] | data_[2 * word + 1] << 8);
}

void DsPic30FChip::SetDataWord(std::uint32_t word, std::uint16_t value) {
    for (std::uint32_t k = 0; k < 2; ++k) {
        if (!IsStuck(Space::Data, 2 * word + k)) {
            data_[2 * word + k] = static_cast<std::uint8_t>(value >> (8 * k));
        }
    }
}

std::uint32_t DsPic30FChip::ReadAt(std::uint32_t address) const {
    const std::uint32_t even = address & ~1u;
    if (even / 2 < program_.size()) {
        return program_[even / 2];
    }
    if (even >= DataStart() && even < kDataEnd) {
        return DataWord((even - DataStart()) / 2);
    }
    if (even >= kConfigBase && (even - kConfigBase) / 2 < kConfigRegisters) {
        return config_[(even - kConfigBase) / 2];
    }
    if (even == kDeviceIdAddress) {
        return params_.deviceId;
    }
    return 0;
}

std::array<std::uint32_t, 4> DsPic30FChip::DsReadProgram4() {
    std::array<std::uint32_t, 4> words{};
    if (!powered_) {
        return words;
    }
    for (unsigned i = 0; i < words.size(); ++i) {
        words[i] = ReadAt(TablePointer(2 * i)) & kInstructionMask;
    }
    w_[6] = static_cast<std::uint16_t>(w_[6] + 8);
    return words;
}

std::uint16_t DsPic30FChip::DsReadWord() {
    if (!powered_) {
        return 0;
    }
    const auto word = static_cast<std::uint16_t>(ReadAt(TablePointer(0)));
    w_[6] = static_cast<std::uint16_t>(w_[6] + 2);
    return word;
}

std::array<std::uint16_t, 4> DsPic30FChip::DsReadData4() {
    std::array<std::uint16_t, 4> words{};
    if (!powered_) {
        return words;
    }
    for (unsigned i = 0; i < words.size(); ++i) {
        words[i] = static_cast<std::uint16_t>(ReadAt(TablePointer(2 * i)));
    }
    w_[6] = static_cast<std::uint16_t>(w_[6] + 8);
    return words;
}

void DsPic30FChip::DsBeginProgramRow(std::uint32_t address) {
    OpenRow(Open::ProgramRow, kNvmProgramRow, address & ~(kProgramRowBytes - 1));
}

void DsPic30FChip::DsBeginDataRow(std::uint32_t address) {
    OpenRow(Open::DataRow, kNvmDataRow, address & ~(kDataRowBytes - 1));
}

void DsPic30FChip::OpenRow(Open kind, std::uint16_t nvmcon, std::uint32_t rowAddress) {
    if (!powered_) {
        return;
    }
    // The firmware sets NVMCON for a row write; the row is the aligned one holding the address.
    ResetLatches();
    nvmcon_ = nvmcon;
    open_ = kind;
    rowAddress_ = rowAddress;
}

void DsPic30FChip::DsWriteProgram4(const std::array<std::uint32_t, 4>& words) {
    if (!powered_ || open_ != Open::ProgramRow) {
        return;
    }
    // Latches are selected by the low address bits: a ninth block lands on the first again.
    for (std::uint32_t word : words) {
        programLatch_[fill_ % kProgramRow] = word & kInstructionMask;
        ++fill_;
    }
}

void DsPic30FChip::DsWriteData4(const std::array<std::uint16_t, 4>& words) {
    if (!powered_ || open_ != Open::DataRow) {
        return;
    }
    for (std::uint16_t word : words) {
        dataLatch_[fill_ % kDataRow] = word;
        ++fill_;
    }
}

void DsPic30FChip::DsWriteConfig(std::uint16_t value) {
    if (!powered_) {
        return;
    }
    // The firmware points TBLPAG at the configuration page and writes the latch at W7.
    ResetLatches();
    nvmcon_ = kNvmConfigWord;
    tblpag_ = kConfigPage;
    open_ = Open::ConfigWord;
    configLatch_ = value;
}

void DsPic30FChip::DsCommitWrite() {
    if (!powered_) {
        return;
    }
    switch (nvmcon_) {
        case kNvmBulkErase:
            BulkErase();
            break;
        case kNvmProgramRow:
            CommitProgramRow();
            break;
        case kNvmDataRow:
            CommitDataRow();
            break;
        case kNvmConfigWord:
            CommitConfigWord();
            break;
        default:
            break;
    }
    ResetLatches();
}

void DsPic30FChip::BulkErase() {
    for (std::uint32_t i = 0; i < program_.size(); ++i) {
        if (!IsStuck(Space::Program, i)) {
            program_[i] = kErasedInstruction;
        }
    }
    for (std::uint32_t i = 0; i < data_.size(); ++i) {
        if (!IsStuck(Space::Data, i)) {
            data_[i] = 0xFF;
        }
    }
    for (std::uint32_t k = 0; k < kConfigRegisters; ++k) {
        if (!IsStuck(Space::Config, kConfigBase + 2 * k)) {
            config_[k] = kErasedWord;
        }
    }
}

void DsPic30FChip::CommitProgramRow() {
    if (open_ != Open::ProgramRow) {
        return;
    }
    const std::uint32_t first = rowAddress_ / 2;
    for (std::uint32_t i = 0; i < kProgramRow; ++i) {
        const std::uint32_t index = first + i;
        if (index < program_.size() && !IsStuck(Space::Program, index)) {
            program_[index] &= programLatch_[i];
        }
    }
}

void DsPic30FChip::CommitDataRow() {
    if (open_ != Open::DataRow || rowAddress_ < DataStart() || rowAddress_ >= kDataEnd) {
        return;
    }
    const std::uint32_t first = (rowAddress_ - DataStart()) / 2;
    for (std::uint32_t i = 0; i < kDataRow && 2 * (first + i) < data_.size(); ++i) {
        SetDataWord(first + i, dataLatch_[i]);
    }
}

void DsPic30FChip::CommitConfigWord() {
    if (open_ != Open::ConfigWord) {
        return;
    }
    const std::uint32_t index = w_[7] / 2u;
    if (w_[7] % 2 == 0 && index < kConfigRegisters &&
        !IsStuck(Space::Config, kConfigBase + w_[7])) {
        config_[index] = configLatch_;
    }
    // TBLWTL W0, [W7++]: the pointer moves on to the next register.
    w_[7] = static_cast<std::uint16_t>(w_[7] + 2);
}

std::unique_ptr<IChipModel> CreateDsPic30FChip(std::string_view name) {
    constexpr std::string_view kPrefix = "dsPIC";
    for (const DsPic30FParams& p : kParts) {
        if (SameName(p.name, name) || SameName(p.name.substr(kPrefix.size()), name)) {
            return std::make_unique<DsPic30FChip>(p);
        }
    }
    return nullptr;
}

}  // namespace tenlo::sim
