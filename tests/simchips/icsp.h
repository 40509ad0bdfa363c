#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string_view>

#include "sim/chip_model.h"
#include "sim/chips/baseline_chip.h"
#include "sim/chips/midrange_chip.h"

namespace tenlo::sim::testing {

inline constexpr std::uint8_t kLoadConfig = 0x00;
inline constexpr std::uint8_t kSetup1 = 0x01;
inline constexpr std::uint8_t kLoadProgram = 0x02;
inline constexpr std::uint8_t kLoadData = 0x03;
inline constexpr std::uint8_t kReadProgram = 0x04;
inline constexpr std::uint8_t kReadData = 0x05;
inline constexpr std::uint8_t kIncrement = 0x06;
inline constexpr std::uint8_t kSetup2 = 0x07;
inline constexpr std::uint8_t kBegin = 0x08;
inline constexpr std::uint8_t kBulkProgram = 0x09;
inline constexpr std::uint8_t kEnd0A = 0x0A;
inline constexpr std::uint8_t kBulkData = 0x0B;
inline constexpr std::uint8_t kEnd0E = 0x0E;
inline constexpr std::uint8_t kEnd17 = 0x17;
inline constexpr std::uint8_t kBeginOnly = 0x18;
inline constexpr std::uint8_t kChipErase = 0x1F;

// A chip in the socket, powered, driven the way a programmer clocks it.
class Icsp {
  public:
    explicit Icsp(std::string_view name) : chip_(CreateChip(name)) {
        if (chip_) {
            chip_->PowerOn(true);
        }
    }

    bool Present() const { return chip_ != nullptr; }
    IChipModel& Chip() { return *chip_; }

    void Cmd(std::uint8_t command) { chip_->IcspCommand(command); }
    void Load(std::uint8_t command, std::uint16_t data) { chip_->IcspLoad(command, data); }
    std::uint16_t Read(std::uint8_t command = kReadProgram) { return chip_->IcspRead(command); }
    void Inc(unsigned count = 1) {
        for (unsigned i = 0; i < count; ++i) {
            chip_->IcspCommand(kIncrement);
        }
    }
    // Load Configuration with an all-ones word: PC 0x2000, latch harmless for AND programming.
    void ToConfig(unsigned increments = 0) {
        Load(kLoadConfig, 0x3FFF);
        Inc(increments);
    }

    std::uint32_t Peek(Space space, std::uint32_t address) const {
        std::uint32_t value = 0xDEADBEEF;
        EXPECT_TRUE(chip_->Peek(space, address, value)) << std::hex << address;
        return value;
    }
    std::uint32_t Prog(std::uint32_t a) const { return Peek(Space::Program, a); }
    std::uint32_t Cfg(std::uint32_t a) const { return Peek(Space::Config, a); }
    std::uint32_t Data(std::uint32_t a) const { return Peek(Space::Data, a); }
    void Poke(Space space, std::uint32_t address, std::uint32_t value) {
        ASSERT_TRUE(chip_->Poke(space, address, value)) << std::hex << address;
    }

    std::uint16_t Pc() const {
        if (auto* mid = dynamic_cast<const MidrangeChip*>(chip_.get())) {
            return mid->Pc();
        }
        return dynamic_cast<const BaselineChip&>(*chip_).Pc();
    }

  private:
    std::unique_ptr<IChipModel> chip_;
};

}  // namespace tenlo::sim::testing
