#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "jobs/job_context.h"

namespace tenlo::cli {

using jobs::kAllMemories;
using jobs::MemorySet;

// "program,config,data" in any order and case, each at most once. Blanks around names are
// allowed; empty items are not. nullopt with a message in error otherwise.
std::optional<MemorySet> ParseMemoryList(std::string_view text, std::string& error);

// "program, config and data" style text for messages; "nothing" when empty.
std::string DescribeMemories(const MemorySet& set);

}  // namespace tenlo::cli
