#include "jobs/config_traps.h"

#include <algorithm>

namespace tenlo::jobs {

bool ConfigCheck::AnyWarning() const {
    return std::ranges::any_of(
        traps, [](const ConfigTrap& t) { return t.level == ConfigTrapLevel::Warning; });
}

ConfigCheck CheckConfigToWrite(const JobContext& context, const CMemoryImage& image,
                               const MemorySet& memories) {
    ConfigCheck check;
    if (!memories.config || image.CellCount(Memory::Config) == 0) {
        return check;
    }
    const std::vector<std::uint32_t> cells = ConfigCells(image);
    check.traps = FindConfigTraps(context.chip.index, cells);
    check.leftOff = FindProtectionLeftOff(context.chip.index, cells);
    return check;
}

bool ConfigTrapsAccepted(JobContext& context, const CMemoryImage& image, const MemorySet& memories,
                         Report& report) {
    ConfigCheck check = CheckConfigToWrite(context, image, memories);
    const bool ask = check.AnyWarning();
    report.configTraps = std::move(check.traps);
    report.protectionLeftOff = std::move(check.leftOff);
    if (!ask) {
        return true;
    }
    if (context.questions != nullptr &&
        context.questions->WriteDespiteConfigTraps(report.configTraps)) {
        return true;
    }
    report.outcome.cause = Cause::Declined;
    report.outcome.memory = Memory::Config;
    return false;
}

}  // namespace tenlo::jobs
