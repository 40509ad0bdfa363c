#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "device/catalogue.h"
#include "device/device.h"
#include "device_test_support.h"
#include "link/clock.h"
#include "link/programmer_link.h"
#include "sim/fault_plan.h"
#include "sim/in_process_backend.h"
#include "sim/virtual_programmer.h"

namespace tenlo::testing {

// A simulated chip in the virtual programmer, a link to it in virtual time with the wire
// logged, and the catalogue's device for the chip with recording displays.
struct SimRig {
    explicit SimRig(std::string_view chip, sim::FaultPlan faults = {})
        : programmer(
              std::make_shared<sim::CVirtualProgrammer>(sim::CreateChip(chip), std::move(faults))),
          link(nullptr, MakeRecordingBackend(sim::MakeInProcessBackend(programmer, clock), wire),
               &clock) {
        link.Connect("COM5: baud=38400 parity=N data=8 stop=1");
        device = CreateDevice(FindCatalogueIndex(chip), link, &options, &progress);
        if (device) {
            device->SetMainWindow(&window);
        }
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
    bool Powered() {
        return programmer->With(
            [](sim::CFirmwareEngine&, sim::IChipModel& chip) { return chip.IsPowered(); });
    }
    std::uint64_t Commands(std::uint8_t code) {
        return programmer->With([code](sim::CFirmwareEngine& engine, sim::IChipModel&) {
            return engine.CommandCount(code);
        });
    }

    VirtualClock clock;
    std::shared_ptr<WireLog> wire = std::make_shared<WireLog>();
    std::shared_ptr<sim::CVirtualProgrammer> programmer;
    CProgrammerLink link;
    DeviceOptions options;
    RecordingProgress progress;
    RecordingWindow window;
    std::unique_ptr<CDevice> device;
};

}  // namespace tenlo::testing
