#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "device/catalogue.h"
#include "device/device.h"
#include "device/device_ui.h"
#include "link/clock.h"
#include "link/programmer_link.h"
#include "sim/fault_plan.h"
#include "sim/in_process_backend.h"
#include "sim/virtual_programmer.h"

namespace tenlo::families {

// Keeps every text and position the operation showed.
class RecordedProgress : public IProgressDisplay {
  public:
    void SetRange(int) override {}
    bool Open() override { return true; }
    void SetPosition(int position) override {
        std::lock_guard lock(mutex_);
        positions_.push_back(position);
    }
    void SetText(std::string_view text) override {
        std::lock_guard lock(mutex_);
        texts_.emplace_back(text);
    }
    void Close() override {}

    std::vector<std::string> Texts() const {
        std::lock_guard lock(mutex_);
        return texts_;
    }
    std::vector<int> Positions() const {
        std::lock_guard lock(mutex_);
        return positions_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> texts_;
    std::vector<int> positions_;
};

// A simulated chip in the virtual programmer, the link to it in virtual time, and the
// catalogue's device for the chip.
struct FamilyRig {
    explicit FamilyRig(std::string_view chip, sim::FaultPlan faults = {})
        : programmer(
              std::make_shared<sim::CVirtualProgrammer>(sim::CreateChip(chip), std::move(faults))),
          link(nullptr, sim::MakeInProcessBackend(programmer, clock), &clock) {
        link.Connect("COM5: baud=38400 parity=N data=8 stop=1");
        device = CreateDevice(FindCatalogueIndex(chip), link, &options, &progress);
    }

    std::uint32_t Peek(sim::Space space, std::uint32_t address) {
        return programmer->With([&](sim::CFirmwareEngine&, sim::IChipModel& chip) {
            std::uint32_t value = 0xDEADBEEF;
            chip.Peek(space, address, value);
            return value;
        });
    }
    void Poke(sim::Space space, std::uint32_t address, std::uint32_t value) {
        programmer->With([&](sim::CFirmwareEngine&, sim::IChipModel& chip) {
            chip.Poke(space, address, value);
        });
    }
    // How often the firmware has started the command with this code.
    std::uint64_t Commands(std::uint8_t code) {
        return programmer->With([code](sim::CFirmwareEngine& engine, sim::IChipModel&) {
            return engine.CommandCount(code);
        });
    }
    bool Powered() {
        return programmer->With(
            [](sim::CFirmwareEngine&, sim::IChipModel& chip) { return chip.IsPowered(); });
    }
    std::uint64_t WordsProgrammed() {
        return programmer->With([](sim::CFirmwareEngine& engine, sim::IChipModel&) {
            return engine.Statistics().wordsProgrammed;
        });
    }

    VirtualClock clock;
    std::shared_ptr<sim::CVirtualProgrammer> programmer;
    CProgrammerLink link;
    DeviceOptions options;
    RecordedProgress progress;
    std::unique_ptr<CDevice> device;
};

// Command codes of the programmer, as the tests count them.
namespace cmd {
inline constexpr std::uint8_t kWait = 0x01;
inline constexpr std::uint8_t kExitEicsp = 0x08;
inline constexpr std::uint8_t kIcspCommand = 0x10;
inline constexpr std::uint8_t kIcspRepeat = 0x11;
inline constexpr std::uint8_t kIcspLoad = 0x12;
inline constexpr std::uint8_t kIcspRead = 0x13;
inline constexpr std::uint8_t kIcspReadMulti = 0x14;
inline constexpr std::uint8_t kIcspWait = 0x15;
inline constexpr std::uint8_t kTimedProgram = 0x16;
inline constexpr std::uint8_t kProgramWords = 0x18;
inline constexpr std::uint8_t kLoadWords = 0x19;
}  // namespace cmd

}  // namespace tenlo::families
