#pragma once

#include <vector>

#include "device/chip_config.h"
#include "device/memory_image.h"
#include "jobs/job_context.h"
#include "jobs/outcome.h"

namespace tenlo::jobs {

// What a write of the image's configuration would put into the chip that a user must know
// first: the traps (FindConfigTraps) and the protection the write leaves off. Empty when the
// write does not take configuration memory.
struct ConfigCheck {
    std::vector<ConfigTrap> traps;
    ProtectionLeftOff leftOff;

    // A trap that needs the user's consent (a notice only informs).
    bool AnyWarning() const;
};
ConfigCheck CheckConfigToWrite(const JobContext& context, const CMemoryImage& image,
                               const MemorySet& memories);

// The check made and noted in the report; where a trap needs consent the front is asked once
// (no questions: refused). False: the user would not write it; the report then ends in
// Cause::Declined in Phase::None, with the traps noted, and nothing was sent to the chip.
bool ConfigTrapsAccepted(JobContext& context, const CMemoryImage& image, const MemorySet& memories,
                         Report& report);

}  // namespace tenlo::jobs
