#pragma once

#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/chip_model.h"

namespace tenlo::sim {

// Programming behaviour groups of the 14-bit parts. Each differs in which begin/end/erase
// commands exist and what they touch; sizes and bits come from the parameter row.
enum class MidrangeFamily : std::uint8_t {
    F84A,   // 16F84, 16F84A (DS30262)
    F87x,   // 16F873/874/876/877 (DS39025)
    F62xA,  // 16F627A/628A/648A (DS41196)
    F629,   // 12F629/675, 16F630/676 (DS41191)
    F683,   // 12F683, 12F635, 16F6xx, 16F91x (DS41204, DS41244)
    F87xA,  // 16F873A/874A/876A/877A (DS39589)
    F81x,   // 16F818/819 (DS39603)
    F7x,    // 16F73/74/76/77 (DS30324)
    F716,   // 16F716 (DS40245)
};

// How the configuration word protects program memory.
enum class CodeProtectScheme : std::uint8_t {
    AnyBit,   // all of program memory while any bit of cpMask reads 0
    Pair87x,  // CP1:CP0 (bits 13:12 and 5:4): 11 none, 10 last 256 words, 01 upper half, 00 all
};

struct MidrangeParams {
    std::string_view name;
    MidrangeFamily family;
    std::uint32_t programWords;  // power of two
    std::uint32_t dataBytes;     // power of two, or 0
    bool hasDeviceId;
    std::uint16_t deviceId;  // revision bits clear
    std::uint8_t latches;    // program latches: 1, 2, 4 or 8
    CodeProtectScheme cpScheme;
    std::uint16_t cpMask;
    std::uint16_t cpdMask;            // data protection; 0 when the part has none
    std::uint16_t configImplemented;  // bits of the configuration word that exist
    bool unimplementedReadOne;        // the others read 1 (most parts) or 0 (12F629 family)
    std::uint8_t calibrationWords;    // read-only words from 0x2008: 0, 1 or 2
    bool oscCal;                      // RETLW calibration in the last program word (12F629 family)
    bool runOn;                       // PC runs from 0x1FFF into 0x2000 (16F818/819)
};

// A 14-bit mid-range chip in programming mode, seen through its ICSP commands.
//
// Common to all: 0x00 Load Configuration (PC = 0x2000, latch loaded), 0x02/0x03 load program/
// data latch, 0x04/0x05 read, 0x06 increment. Per family:
//   F84A/F87x  0x08 erase+program one word, 0x18 program only; 0x01 0x07 0x08 bulk erase setup
//              (everything at 0x2007); F84A also 0x09/0x0B, which arm an erase run by 0x08
//   F62xA      0x08 program; 0x09 bulk, 0x0B data erase
//   F629/F683  0x08 program, 0x18..0x0A program; 0x09 bulk, 0x0B data erase
//   F87xA      0x08 erase+program the 8-word block, 0x18..0x17 one word; 0x09/0x0B unless
//              protected, 0x1F chip erase
//   F81x       0x18..0x17 4-word block, 0x08..0x17 32-word row erase; 0x09/0x0B, 0x1F
//   F7x        0x08..0x0E even/odd pair; 0x09 chip erase
//   F716       0x18..0x0E 4-word block; 0x09 bulk erase
// An externally timed cycle interrupted by any other command, or by power-off, writes nothing.
class MidrangeChip final : public IChipModel {
  public:
    static constexpr std::uint16_t kConfigStart = 0x2000;
    static constexpr std::uint16_t kConfigWord = 0x2007;
    static constexpr std::uint16_t kDeviceIdAddress = 0x2006;
    static constexpr std::uint16_t kRevision = 1;
    static constexpr std::uint16_t kOscCalFactory = 0x3480;
    static constexpr std::array<std::uint16_t, 2> kCalibrationFactory = {0x1A5C, 0x2B3D};

    explicit MidrangeChip(const MidrangeParams& params);

    std::string Name() const override { return std::string(params_.name); }

    void PowerOn(bool vppFirst) override;
    void PowerOff() override;
    bool IsPowered() const override { return powered_; }

    void IcspCommand(std::uint8_t command) override;
    void IcspLoad(std::uint8_t command, std::uint16_t data) override;
    std::uint16_t IcspRead(std::uint8_t command) override;

    bool Peek(Space space, std::uint32_t address, std::uint32_t& value) const override;
    bool Poke(Space space, std::uint32_t address, std::uint32_t value) override;
    void SetStuckCell(Space space, std::uint32_t address) override;

    const MidrangeParams& Params() const { return params_; }
    std::uint16_t Pc() const { return pc_; }

  private:
    // Externally timed cycles wait for their end command.
    enum class Pending : std::uint8_t { None, Block, OneWord, RowErase };
    enum ArmedErase : std::uint8_t { kArmProgram = 1, kArmData = 2 };

    // Shared prologue of every command: an open externally timed cycle either ends here or is
    // abandoned, and the erase-setup pair only counts when its parts come back to back.
    bool EndsPendingCycle(std::uint8_t command);
    void Execute(std::uint8_t command);
    void Increment();
    void LoadProgramLatch(std::uint16_t data);
    void LoadDataLatch(std::uint16_t data);

    // Cycles. eraseFirst: each programmed word is erased first; eraseBlock: the whole latch
    // block is erased whether loaded or not; oneWord: only the latch at PC is used.
    void ProgramCycle(bool eraseFirst, bool eraseBlock, bool oneWord);
    bool DataCycleDue() const { return dataLatchLoaded_ && params_.dataBytes != 0; }
    void WriteDataLatch();
    void ResetLatches();
    void BeginPending(Pending kind, std::uint8_t endCommand);
    void CompletePending();

    void BulkEraseSetupExecute();  // 0x01 0x07 then 0x08
    void ArmedEraseExecute();      // 0x09/0x0B then 0x08 on the 16F84A
    void BulkErase();              // internally timed 0x09 of the later parts
    void ChipErase();
    void RowErase();

    void EraseProgram();
    void EraseData();
    void EraseUserIds();
    void EraseConfigWord();

    bool ProgramProtected(std::uint32_t index) const;
    bool AnyProgramProtected() const;
    bool DataProtected() const;

    std::uint16_t ReadProgramSpace(std::uint16_t pc) const;
    std::uint16_t ConfigValue(std::uint32_t address) const;
    bool ConfigWritable(std::uint32_t address) const;
    bool ConfigImplemented(std::uint32_t address) const;
    // Flash cell behind a PC value, or nullptr when it cannot be programmed.
    std::uint16_t* FlashCell(std::uint16_t pc, Space& space, std::uint32_t& address);
    bool IsStuck(Space space, std::uint32_t address) const;
    std::uint16_t ConfigWordRaw() const { return config_[7]; }

    MidrangeParams params_;
    bool powered_ = false;
    std::uint16_t pc_ = 0;

    std::array<std::uint16_t, 8> latch_{};
    std::array<bool, 8> latchLoaded_{};
    std::uint8_t dataLatch_ = 0xFF;
    bool dataLatchLoaded_ = false;

    Pending pending_ = Pending::None;
    std::uint8_t pendingEnd_ = 0;
    bool setup1_ = false;      // 0x01 seen, waiting for 0x07
    bool setupArmed_ = false;  // 0x01 0x07 seen, 0x08 erases
    std::uint8_t armedErase_ = 0;

    std::vector<std::uint16_t> program_;
    std::vector<std::uint8_t> data_;
    std::array<std::uint16_t, 16> config_{};  // 0x2000-0x200F
    std::set<std::pair<Space, std::uint32_t>> stuck_;
};

}  // namespace tenlo::sim
