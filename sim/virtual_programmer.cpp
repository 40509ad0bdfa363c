#include "sim/virtual_programmer.h"

#include "sim/blank_chip.h"

namespace tenlo::sim {

namespace {

// The engine always binds to a chip object; an empty socket gets a stand-in nobody reaches.
FaultPlan EmptySocketIfNull(const std::unique_ptr<IChipModel>& chip, FaultPlan faults) {
    if (!chip) {
        faults.noChip = true;
    }
    return faults;
}

std::unique_ptr<IChipModel> StandInIfNull(std::unique_ptr<IChipModel> chip) {
    return chip ? std::move(chip) : std::make_unique<BlankMidrangeChip>();
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
    : CVirtualProgrammer(EmptySocketIfNull(chip, std::move(faults)),
                         StandInIfNull(std::move(chip))) {}

CVirtualProgrammer::CVirtualProgrammer(FaultPlan faults, std::unique_ptr<IChipModel> chip)
    : chip_(std::move(chip)), engine_(Prepared(chip_, faults), faults) {}

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

bool CVirtualProgrammer::Disconnected() {
    std::lock_guard<std::mutex> lock(mutex_);
    return engine_.Disconnected();
}

}  // namespace tenlo::sim
