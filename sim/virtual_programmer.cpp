#include "sim/virtual_programmer.h"

#include <algorithm>
#include <cctype>

#include "sim/blank_chip.h"

namespace tenlo::sim {

// An empty socket still gets a chip object for the engine to bind to; nothing reaches it.
struct CVirtualProgrammer::Socket {
    std::unique_ptr<IChipModel> chip;
    FaultPlan faults;
};

namespace {

CVirtualProgrammer::Socket Fill(std::unique_ptr<IChipModel> chip, FaultPlan faults) {
    if (!chip) {
        faults.noChip = true;
        chip = std::make_unique<BlankMidrangeChip>();
    }
    return {std::move(chip), std::move(faults)};
}

// Stuck cells are set on the chip once, before the engine binds to it.
IChipModel& Prepared(const std::unique_ptr<IChipModel>& chip, const FaultPlan& faults) {
    for (const auto& [space, address] : faults.stuckCells) {
        chip->SetStuckCell(space, address);
    }
    return *chip;
}

}  // namespace

CVirtualProgrammer::CVirtualProgrammer(std::unique_ptr<IChipModel> chip, FaultPlan faults)
    : CVirtualProgrammer(Fill(std::move(chip), std::move(faults))) {}

CVirtualProgrammer::CVirtualProgrammer(Socket socket)
    : chip_(std::move(socket.chip)), engine_(Prepared(chip_, socket.faults), socket.faults) {}

bool CVirtualProgrammer::Transfer(const std::uint8_t* bytes, std::size_t count,
                                  std::vector<std::uint8_t>& out) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::size_t i = 0; i < count; ++i) {
        engine_.Feed(bytes[i], out);
        if (engine_.Disconnected()) {
            return false;
        }
    }
    return true;
}

CVirtualProgrammer::Intake CVirtualProgrammer::Receive(std::uint8_t byte, IClock::Duration arrival,
                                                       std::vector<std::uint8_t>& out,
                                                       IClock::Duration heldUpTo) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!engine_.Feed(byte, arrival, out, heldUpTo)) {
        return Intake::Lost;
    }
    return engine_.Disconnected() ? Intake::Broken : Intake::Taken;
}

bool CVirtualProgrammer::Disconnected() {
    std::lock_guard<std::mutex> lock(mutex_);
    return engine_.Disconnected();
}

}  // namespace tenlo::sim
