#include "cli/memory_list.h"

#include <strings.h>

#include <vector>

namespace tenlo::cli {

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

bool SameWord(std::string_view a, const char* b) {
    const std::string s(a);
    return strcasecmp(s.c_str(), b) == 0;
}

}  // namespace

std::optional<MemorySet> ParseMemoryList(std::string_view text, std::string& error) {
    MemorySet set;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const std::string_view item = Trim(text.substr(
            start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        bool* slot = nullptr;
        if (SameWord(item, "program")) {
            slot = &set.program;
        } else if (SameWord(item, "config")) {
            slot = &set.config;
        } else if (SameWord(item, "data")) {
            slot = &set.data;
        }
        if (item.empty()) {
            error = "empty item in the memory list \"" + std::string(text) +
                    "\" (use program, config, data separated by commas)";
            return std::nullopt;
        }
        if (slot == nullptr) {
            error = "unknown memory \"" + std::string(item) +
                    "\" in the memory list (use program, config, data)";
            return std::nullopt;
        }
        if (*slot) {
            error = "memory \"" + std::string(item) + "\" is listed twice";
            return std::nullopt;
        }
        *slot = true;
        if (comma == std::string_view::npos) {
            break;
        }
        start = comma + 1;
    }
    return set;
}

std::string DescribeMemories(const MemorySet& set) {
    std::vector<const char*> names;
    if (set.program) {
        names.push_back("program");
    }
    if (set.config) {
        names.push_back("config");
    }
    if (set.data) {
        names.push_back("data");
    }
    if (names.empty()) {
        return "nothing";
    }
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) {
            text += i + 1 == names.size() ? " and " : ", ";
        }
        text += names[i];
    }
    return text;
}

}  // namespace tenlo::cli
