#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "sim/fault_plan.h"
#include "sim/virtual_programmer.h"

namespace tenlo::testing {

// A catalogue chip in the virtual programmer's socket, as a test looks at it: its cells, and
// what the firmware has done.
struct SimSocket {
    explicit SimSocket(std::string_view chip, sim::FaultPlan faults = {});

    // 0xDEADBEEF for a cell the chip does not have.
    std::uint32_t Peek(sim::Space space, std::uint32_t address);
    void Poke(sim::Space space, std::uint32_t address, std::uint32_t value);
    // How often the firmware has started the command with this code.
    std::uint64_t Commands(std::uint8_t code);
    bool Powered();
    std::uint64_t WordsProgrammed();
    std::uint64_t BytesIn();

    std::shared_ptr<sim::CVirtualProgrammer> programmer;
};

}  // namespace tenlo::testing
