#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tenlo::cli {

// Edit distance (insertions, deletions, substitutions, swaps of neighbours), ignoring case.
std::size_t NameDistance(std::string_view a, std::string_view b);

// The names close to what was typed, closest first: those within a few edits, and those that
// contain it or are contained in it ("16F84A" finds "PIC16F84A"). At most max names.
std::vector<std::string> SuggestNames(std::string_view typed,
                                      std::span<const std::string_view> names, std::size_t max = 5);

}  // namespace tenlo::cli
