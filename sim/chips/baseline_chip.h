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

struct BaselineParams {
    std::string_view name;
    std::uint32_t programWords;   // 512 or 1024
    std::uint16_t configAddress;  // the configuration word, also the entry PC
    bool oscCal;                  // MOVLW calibration in the last word, backup after the user IDs
    std::uint16_t cpMask;         // configuration bit that protects program memory when 0
    std::uint16_t configBits;     // bits of the configuration word that exist; the others read 1
};

// A 12-bit baseline chip (16F54, 12F508, 12F509) in programming mode. There is no Load
// Configuration: the PC enters on the configuration word, the first increment takes it to 0,
// and after program memory it runs on into the user-ID area.
class BaselineChip final : public IChipModel {
  public:
    static constexpr std::uint16_t kErased = 0x0FFF;
    static constexpr std::uint16_t kOscCalFactory = 0x0C1A;  // MOVLW 0x1A
    static constexpr std::uint32_t kAreaWords = 0x40;        // user IDs, backup OSCCAL, reserved
    static constexpr std::uint32_t kBackupOffset = 4;

    explicit BaselineChip(const BaselineParams& params);

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

    const BaselineParams& Params() const { return params_; }
    std::uint16_t Pc() const { return pc_; }

  private:
    std::uint32_t AreaStart() const { return params_.programWords; }
    std::uint32_t AreaCells() const { return params_.oscCal ? kBackupOffset + 1 : kBackupOffset; }
    bool InArea(std::uint32_t pc) const {
        return pc >= AreaStart() && pc < AreaStart() + kAreaWords;
    }
    // The cell behind a PC value (nullptr when nothing is there) and its Peek address.
    std::uint16_t* Cell(std::uint16_t pc, Space& space, std::uint32_t& address);
    std::uint16_t Read() const;
    std::uint16_t ConfigRead() const {
        return static_cast<std::uint16_t>((configWord_ & params_.configBits) |
                                          (kErased & ~params_.configBits));
    }
    bool Protected() const { return (configWord_ & params_.cpMask) == 0; }
    bool IsStuck(Space space, std::uint32_t address) const;
    void Erase(Space space, std::uint32_t address, std::uint16_t& cell);
    void BulkErase();
    void Program();
    void ResetLatch();

    BaselineParams params_;
    bool powered_ = false;
    std::uint16_t pc_ = 0;
    std::uint16_t latch_ = kErased;
    bool latchLoaded_ = false;
    bool pending_ = false;

    std::vector<std::uint16_t> program_;
    std::array<std::uint16_t, kBackupOffset + 1> area_{};  // user IDs, then the backup OSCCAL
    std::uint16_t configWord_ = kErased;
    std::set<std::pair<Space, std::uint32_t>> stuck_;
};

}  // namespace tenlo::sim
