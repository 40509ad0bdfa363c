#include "support/sim_socket.h"

#include <utility>

namespace tenlo::testing {

using sim::CFirmwareEngine;
using sim::IChipModel;

SimSocket::SimSocket(std::string_view chip, sim::FaultPlan faults)
    : programmer(
          std::make_shared<sim::CVirtualProgrammer>(sim::CreateChip(chip), std::move(faults))) {}

std::uint32_t SimSocket::Peek(sim::Space space, std::uint32_t address) {
    return programmer->With([&](CFirmwareEngine&, IChipModel& chip) {
        std::uint32_t value = 0xDEADBEEF;
        chip.Peek(space, address, value);
        return value;
    });
}

void SimSocket::Poke(sim::Space space, std::uint32_t address, std::uint32_t value) {
    programmer->With([&](CFirmwareEngine&, IChipModel& chip) { chip.Poke(space, address, value); });
}

std::uint64_t SimSocket::Commands(std::uint8_t code) {
    return programmer->With(
        [code](CFirmwareEngine& engine, IChipModel&) { return engine.CommandCount(code); });
}

bool SimSocket::Powered() {
    return programmer->With([](CFirmwareEngine&, IChipModel& chip) { return chip.IsPowered(); });
}

std::uint64_t SimSocket::WordsProgrammed() {
    return programmer->With(
        [](CFirmwareEngine& engine, IChipModel&) { return engine.Statistics().wordsProgrammed; });
}

std::uint64_t SimSocket::BytesIn() {
    return programmer->With(
        [](CFirmwareEngine& engine, IChipModel&) { return engine.Statistics().bytesIn; });
}

}  // namespace tenlo::testing
