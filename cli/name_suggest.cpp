#include "cli/name_suggest.h"

#include <algorithm>
#include <cctype>
#include <tuple>

namespace tenlo::cli {

namespace {

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

}  // namespace

std::size_t NameDistance(std::string_view a, std::string_view b) {
    const std::string x = Lower(a);
    const std::string y = Lower(b);
    const std::size_t n = x.size();
    const std::size_t m = y.size();
    // Three rows are enough for the neighbour swap.
    std::vector<std::size_t> prev2(m + 1), prev(m + 1), cur(m + 1);
    for (std::size_t j = 0; j <= m; ++j) {
        prev[j] = j;
    }
    for (std::size_t i = 1; i <= n; ++i) {
        cur[0] = i;
        for (std::size_t j = 1; j <= m; ++j) {
            const std::size_t cost = x[i - 1] == y[j - 1] ? 0 : 1;
            cur[j] = std::min({prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + cost});
            if (i > 1 && j > 1 && x[i - 1] == y[j - 2] && x[i - 2] == y[j - 1]) {
                cur[j] = std::min(cur[j], prev2[j - 2] + 1);
            }
        }
        std::swap(prev2, prev);
        std::swap(prev, cur);
    }
    return prev[m];
}

std::vector<std::string> SuggestNames(std::string_view typed,
                                      std::span<const std::string_view> names, std::size_t max) {
    const std::string t = Lower(typed);
    if (t.empty()) {
        return {};
    }
    // A third of the typed length, at least 2: "PIC16F8A" is one edit from three chips, and
    // a wholly different word should not drag in the catalogue.
    const std::size_t limit = std::max<std::size_t>(2, t.size() / 3);
    // Ties go to the name of the typed length: "PIC16F8A4" means PIC16F84A before PIC16F84.
    std::vector<std::tuple<std::size_t, std::size_t, std::size_t, std::string_view>> found;
    for (std::size_t order = 0; order < names.size(); ++order) {
        const std::string_view name = names[order];
        const std::string n = Lower(name);
        std::size_t d = NameDistance(t, n);
        const bool contains =
            t.size() >= 3 && (n.find(t) != std::string::npos || t.find(n) != std::string::npos);
        if (contains) {
            // Rank containment by how much is missing, but ahead of loose edits.
            d = std::min(d, std::size_t{1});
        }
        if (d <= limit || contains) {
            const std::size_t lengthGap =
                n.size() > t.size() ? n.size() - t.size() : t.size() - n.size();
            found.emplace_back(d, lengthGap, order, name);
        }
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> out;
    for (const auto& [d, gap, order, name] : found) {
        if (out.size() == max) {
            break;
        }
        out.emplace_back(name);
    }
    return out;
}

}  // namespace tenlo::cli
