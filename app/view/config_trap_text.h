#pragma once

#include <QString>
#include <vector>

#include "device/chip_config.h"
#include "jobs/outcome.h"

namespace tenlo::app {

// One trap in a sentence, its fields named.
QString ConfigTrapText(const ConfigTrap& trap);
// The question before a write whose configuration holds a trap: はい writes, いいえ does not.
QString ConfigTrapQuestion(const std::vector<ConfigTrap>& traps);
// The line to put after a write's result when the write left protection off that the file
// turns on; empty otherwise. (A notice alone, as the watchdog, is named only in a question.)
QString ConfigWriteNotes(const jobs::Report& report);

}  // namespace tenlo::app
