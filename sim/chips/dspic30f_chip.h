#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/chip_model.h"

namespace tenlo::sim {

struct DsPic30FParams {
    std::string_view name;
    std::uint32_t programWords;  // 24-bit instructions
    std::uint32_t dataBytes;     // data EEPROM; 0 on the parts without one
    std::uint16_t deviceId;      // DEVID at 0xFF0000
};

// A dsPIC30F in ICSP mode (DS70102). The host makes it execute instructions one at a time
// (SIX); the programmer firmware's block commands stand for its own table reads and writes
// through TBLPAG:W6 (reads) and the write latches, and for the NVMCON unlock-and-write sequence
// that a commit runs.
//
// Executed: NOP, GOTO, MOV #lit16,Wd, MOV Ws,f to TBLPAG, NVMCON, NVMKEY and VISI, CLR Wd.
// Anything else is taken and ignored.
//
// Program space, by address (two per instruction): program memory from 0, data EEPROM ending
// at 0x7FFFFF, the seven configuration registers at 0xF80000-0xF8000C, DEVID at 0xFF0000.
// Unimplemented addresses read 0 and take no writes (sim rule). Program rows AND into flash;
// data rows and configuration registers are replaced. A commit acts by NVMCON: 0x407F erases
// program memory, data EEPROM and configuration registers; 0x4001, 0x4005 and 0x4008 write the
// row or register that was opened for them.
class DsPic30FChip final : public IChipModel {
  public:
    static constexpr std::uint32_t kErasedInstruction = 0xFFFFFF;
    static constexpr std::uint16_t kErasedWord = 0xFFFF;
    static constexpr std::uint32_t kConfigBase = 0xF80000;
    static constexpr std::uint32_t kConfigRegisters = 7;
    static constexpr std::uint32_t kDeviceIdAddress = 0xFF0000;
    static constexpr std::uint32_t kDataEnd = 0x800000;
    static constexpr std::uint32_t kProgramRow = 32;  // instructions
    static constexpr std::uint32_t kDataRow = 16;     // words

    // NVMCON operations.
    static constexpr std::uint16_t kNvmBulkErase = 0x407F;
    static constexpr std::uint16_t kNvmProgramRow = 0x4001;
    static constexpr std::uint16_t kNvmDataRow = 0x4005;
    static constexpr std::uint16_t kNvmConfigWord = 0x4008;

    // Special function registers the serial execution reaches.
    static constexpr std::uint16_t kTblpag = 0x0032;
    static constexpr std::uint16_t kNvmcon = 0x0760;
    static constexpr std::uint16_t kNvmkey = 0x0766;
    static constexpr std::uint16_t kVisi = 0x0784;

    explicit DsPic30FChip(const DsPic30FParams& params);

    std::string Name() const override { return std::string(params_.name); }

    void PowerOn(bool vppFirst) override;
    void PowerOff() override;
    bool IsPowered() const override { return powered_; }

    // Not a mid-range part: the 6-bit commands do nothing and read 0.
    void IcspCommand(std::uint8_t /*command*/) override {}
    void IcspLoad(std::uint8_t /*command*/, std::uint16_t /*data*/) override {}
    std::uint16_t IcspRead(std::uint8_t /*command*/) override { return 0; }

    // Program: instruction index. Config: 0xF80000 + 2 × register, and the read-only DEVID at
    // 0xFF0000. Data: byte index from 0 (word k is bytes 2k and 2k + 1, low byte first).
    bool Peek(Space space, std::uint32_t address, std::uint32_t& value) const override;
    bool Poke(Space space, std::uint32_t address, std::uint32_t value) override;
    void SetStuckCell(Space space, std::uint32_t address) override;

    void DsSix(std::uint32_t instruction) override;
    std::uint16_t DsRegOut() override { return powered_ ? visi_ : 0; }
    std::array<std::uint32_t, 4> DsReadProgram4() override;
    std::uint16_t DsReadWord() override;
    std::array<std::uint16_t, 4> DsReadData4() override;
    void DsBeginProgramRow(std::uint32_t address) override;
    void DsBeginDataRow(std::uint32_t address) override;
    void DsWriteProgram4(const std::array<std::uint32_t, 4>& words) override;
    void DsWriteData4(const std::array<std::uint16_t, 4>& words) override;
    void DsWriteConfig(std::uint16_t value) override;
    void DsCommitWrite() override;

    const DsPic30FParams& Params() const { return params_; }
    std::uint16_t W(unsigned index) const { return w_[index & 0xF]; }
    std::uint8_t Tblpag() const { return tblpag_; }
    std::uint16_t Nvmcon() const { return nvmcon_; }

  private:
    // What the write latches were last opened for.
    enum class Open : std::uint8_t { None, ProgramRow, DataRow, ConfigWord };

    std::uint32_t DataStart() const { return kDataEnd - params_.dataBytes; }
    std::uint32_t TablePointer(unsigned offset) const;
    // The value at a program-space address: 24 bits in program memory, 16 elsewhere.
    std::uint32_t ReadAt(std::uint32_t address) const;
    std::uint16_t DataWord(std::uint32_t word) const;
    void SetDataWord(std::uint32_t word, std::uint16_t value);
    void WriteSfr(std::uint16_t address, std::uint16_t value);
    void ResetLatches();
    void OpenRow(Open kind, std::uint16_t nvmcon, std::uint32_t rowAddress);
    void BulkErase();
    void CommitProgramRow();
    void CommitDataRow();
    void CommitConfigWord();
    bool IsStuck(Space space, std::uint32_t address) const;

    DsPic30FParams params_;
    bool powered_ = false;
    std::array<std::uint16_t, 16> w_{};
    std::uint8_t tblpag_ = 0;
    std::uint16_t nvmcon_ = 0;
    std::uint16_t visi_ = 0;

    Open open_ = Open::None;
    std::uint32_t rowAddress_ = 0;
    std::uint32_t fill_ = 0;  // next latch to fill, in instructions or words
    std::array<std::uint32_t, kProgramRow> programLatch_{};
    std::array<std::uint16_t, kDataRow> dataLatch_{};
    std::uint16_t configLatch_ = kErasedWord;

    std::vector<std::uint32_t> program_;
    std::vector<std::uint8_t> data_;
    std::array<std::uint16_t, kConfigRegisters> config_{};
    std::set<std::pair<Space, std::uint32_t>> stuck_;
};

// The dsPIC30F models by name ("dsPIC30F4013" or "30F4013", case-insensitive); nullptr for any
// other name.
std::unique_ptr<IChipModel> CreateDsPic30FChip(std::string_view name);

}  // namespace tenlo::sim
