#pragma once

#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "sim/chip_model.h"

namespace tenlo::sim {

// A plain 14-bit mid-range chip with no family quirks: 1024 program words, 64 data bytes and
// configuration cells 0x2000-0x2007. It lets the firmware engine and the transports be
// exercised without a real chip model, and serves as "blank14" in ravonite-sim.
//
// Commands: 0x00 Load Configuration (PC = 0x2000), 0x02/0x03 load program/data latch,
// 0x04/0x05 read, 0x06 increment, 0x08 internally timed programming, 0x18 begin programming
// completed by 0x0A, 0x0E or 0x17, 0x09 bulk erase of program memory (and of the configuration
// cells with PC in configuration space), 0x0B bulk erase of data memory. Flash programs by AND;
// data bytes are replaced. The device ID at 0x2006 is read-only.
class BlankMidrangeChip final : public IChipModel {
  public:
    static constexpr std::uint32_t kProgramWords = 1024;
    static constexpr std::uint32_t kDataBytes = 64;
    static constexpr std::uint32_t kConfigStart = 0x2000;
    static constexpr std::uint32_t kConfigCount = 8;
    static constexpr std::uint16_t kDeviceId = 0x3FE1;

    BlankMidrangeChip();

    std::string Name() const override { return "BLANK14"; }

    void PowerOn(bool vppFirst) override;
    void PowerOff() override;
    bool IsPowered() const override { return powered_; }

    void IcspCommand(std::uint8_t command) override;
    void IcspLoad(std::uint8_t command, std::uint16_t data) override;
    std::uint16_t IcspRead(std::uint8_t command) override;

    bool Peek(Space space, std::uint32_t address, std::uint32_t& value) const override;
    bool Poke(Space space, std::uint32_t address, std::uint32_t value) override;
    void SetStuckCell(Space space, std::uint32_t address) override;

    std::uint16_t Pc() const { return pc_; }
    // Every command and load the chip saw since power-up, for tests that check the pin traffic.
    const std::vector<std::uint8_t>& History() const { return history_; }

  private:
    void Program();
    bool IsStuck(Space space, std::uint32_t address) const;
    std::uint16_t* ProgramCell(std::uint16_t pc);

    bool powered_ = false;
    std::uint16_t pc_ = 0;
    std::uint16_t programLatch_ = 0x3FFF;
    std::uint8_t dataLatch_ = 0xFF;
    bool dataLoaded_ = false;
    bool cycleOpen_ = false;
    std::array<std::uint16_t, kProgramWords> program_{};
    std::array<std::uint16_t, kConfigCount> config_{};
    std::array<std::uint8_t, kDataBytes> data_{};
    std::set<std::pair<Space, std::uint32_t>> stuck_;
    std::vector<std::uint8_t> history_;
};

}  // namespace tenlo::sim
