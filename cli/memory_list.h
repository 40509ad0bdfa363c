#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tenlo::cli {

// Which of a chip's three memories a command touches.
struct MemorySet {
    bool program = false;
    bool config = false;
    bool data = false;

    bool Empty() const { return !program && !config && !data; }
    MemorySet operator&(const MemorySet& o) const {
        return {program && o.program, config && o.config, data && o.data};
    }
    bool operator==(const MemorySet&) const = default;
};

inline constexpr MemorySet kAllMemories{true, true, true};

// "program,config,data" in any order and case, each at most once. Blanks around names are
// allowed; empty items are not. nullopt with a message in error otherwise.
std::optional<MemorySet> ParseMemoryList(std::string_view text, std::string& error);

// "program, config and data" style text for messages; "nothing" when empty.
std::string DescribeMemories(const MemorySet& set);

}  // namespace tenlo::cli
