// Our configuration field tables against gputils' processor headers, read where gputils installs
// them. Each header lists a chip's configuration words (";----- CONFIG1H Options ---") and,
// one block per field between blank lines, every setting as "_FIELD_SETTING EQU H'....'": the
// whole word with that field's bits set so and every other bit 1.
//
// A gputils name names our field F's setting S when it is _F_S or _S_F (the setting-first form
// gputils keeps for the oscillator, _XT_OSC), either with the word's suffix or without it
// (_PWRT_ON_2L). Its value must then be our setting's bits, and its block's bits (those 0 in
// some value) our field's mask. A name that names none of ours is an alias when another name
// of the same block with the same value does (_CP_ALL beside _CP_ON, _BODEN_OFF beside
// _BOREN_OFF, _1K beside _WDTPS_1K_2H); any other is a setting we lack. Every block must name
// one of our fields, and every setting we list must be named by gputils. Our fields without
// settings (the band-gap calibration) have no block there.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "device/catalogue.h"

namespace tenlo {
namespace {

const std::filesystem::path kHeaders = "/usr/share/gputils/header";

struct Name {
    std::string name;
    std::uint32_t value = 0;
};
using Block = std::vector<Name>;
struct Word {
    std::string reg;  // CONFIG, CONFIG1H
    std::vector<Block> blocks;
};
struct Header {
    std::vector<Word> words;
    std::map<std::string, std::uint32_t> addresses;  // _CONFIG1H EQU H'300001'
};

std::optional<Name> Equate(const std::string& line) {
    // _NAME EQU H'hex' ; comment
    if (line.empty() || line[0] != '_') {
        return std::nullopt;
    }
    const std::size_t end = line.find_first_of(" \t");
    const std::size_t equ = line.find("EQU", end);
    const std::size_t open = line.find("H'", equ);
    const std::size_t close = line.find('\'', open + 2);
    if (end == std::string::npos || equ == std::string::npos || open == std::string::npos ||
        close == std::string::npos) {
        return std::nullopt;
    }
    return Name{line.substr(0, end), static_cast<std::uint32_t>(std::stoul(
                                         line.substr(open + 2, close - open - 2), nullptr, 16))};
}

std::optional<Header> ReadHeader(const std::filesystem::path& path) {
    std::ifstream in(path);
    if (!in) {
        return std::nullopt;
    }
    Header header;
    Word* word = nullptr;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.rfind(";-----", 0) == 0 || line.rfind(";=====", 0) == 0) {
            word = nullptr;
            const std::size_t options = line.find(" Options");
            if (line.rfind(";----- CONFIG", 0) == 0 && options != std::string::npos) {
                header.words.push_back({line.substr(7, options - 7), {{}}});
                word = &header.words.back();
            }
            continue;
        }
        const std::optional<Name> equate = Equate(line);
        if (word == nullptr) {
            if (equate && equate->name.rfind("_CONFIG", 0) == 0) {
                header.addresses[equate->name.substr(1)] = equate->value;
            }
        } else if (line.find_first_not_of(" \t") == std::string::npos) {
            if (!word->blocks.back().empty()) {
                word->blocks.emplace_back();
            }
        } else if (equate) {
            word->blocks.back().push_back(*equate);
        }
    }
    for (Word& w : header.words) {
        std::erase_if(w.blocks, [](const Block& b) { return b.empty(); });
    }
    return header;
}

std::string HeaderName(std::string_view chip) {
    std::string name = "p";
    for (char c : chip.substr(3)) {  // PIC16F877A -> p16f877a.inc
        name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return name + ".inc";
}

struct Ours {
    const ConfigField* field;
    const ConfigSetting* setting;
};

// Every spelling by which gputils may name one of our settings of the word.
std::map<std::string, Ours> Spellings(const ConfigWord& word, const std::string& suffix) {
    std::map<std::string, Ours> spellings;
    for (const ConfigField& f : word.fields) {
        for (const ConfigSetting& s : f.settings) {
            const std::string fs = "_" + std::string(f.name) + "_" + std::string(s.name);
            const std::string sf = "_" + std::string(s.name) + "_" + std::string(f.name);
            for (const std::string& n : {fs, sf}) {
                spellings[n] = {&f, &s};
                if (!suffix.empty()) {
                    spellings[n + "_" + suffix] = {&f, &s};
                }
            }
        }
    }
    return spellings;
}

struct Counts {
    int chips = 0;
    int words = 0;
    int fields = 0;
    int settings = 0;
};

void CheckChip(const CatalogueEntry& e, const Header& header, Counts& counts) {
    const ChipConfig& config = *e.config;
    const std::uint32_t width = (1u << config.width) - 1u;
    std::vector<const ConfigWord*> seen;
    for (const Word& gw : header.words) {
        SCOPED_TRACE(std::string(e.name) + " " + gw.reg);
        const auto address = header.addresses.find(gw.reg);
        ASSERT_NE(address, header.addresses.end()) << "no address for the word";
        // gputils puts a 12-bit part's word where its HEX file has it (0xFFF).
        const std::size_t cell = IsBaseline(e.family) ? 0 : address->second - e.configStart;
        const ConfigWord* word = config.WordAt(cell);
        ASSERT_NE(word, nullptr) << "our table has no word at cell " << cell;
        seen.push_back(word);
        ++counts.words;
        EXPECT_EQ(word->name, gw.reg);
        const std::string suffix = gw.reg.size() > 6 ? gw.reg.substr(6) : "";
        const std::map<std::string, Ours> spellings = Spellings(*word, suffix);
        std::vector<const ConfigSetting*> named;
        for (const Block& block : gw.blocks) {
            std::uint32_t bits = 0;
            for (const Name& n : block) {
                bits |= ~n.value & width;
            }
            const auto ours = [&](const Name& n) { return spellings.find(n.name); };
            bool any = false;
            for (const Name& n : block) {
                const auto found = ours(n);
                if (found == spellings.end()) {
                    const bool alias = std::ranges::any_of(block, [&](const Name& other) {
                        return other.value == n.value && ours(other) != spellings.end();
                    });
                    EXPECT_TRUE(alias) << "gputils has " << n.name << " = 0x" << std::hex << n.value
                                       << ", which our table lacks";
                    continue;
                }
                any = true;
                const ConfigField& f = *found->second.field;
                const ConfigSetting& s = *found->second.setting;
                const std::uint32_t placed = s.value << std::countr_zero(f.mask);
                EXPECT_EQ(f.mask, bits) << f.name << ": gputils' bits differ";
                EXPECT_EQ((width & ~f.mask) | placed, n.value)
                    << n.name << ": our " << f.name << " = " << s.name << " differs";
                named.push_back(&s);
            }
            EXPECT_TRUE(any) << "gputils has a field our table lacks: " << block.front().name;
            counts.fields += any ? 1 : 0;
        }
        for (const ConfigField& f : word->fields) {
            for (const ConfigSetting& s : f.settings) {
                EXPECT_TRUE(std::ranges::find(named, &s) != named.end())
                    << f.name << " = " << s.name << " is not in gputils";
                counts.settings += 1;
            }
        }
    }
    for (const ConfigWord& word : config.words) {
        if (!word.fields.empty()) {
            EXPECT_TRUE(std::ranges::find(seen, &word) != seen.end())
                << e.name << " " << word.name << " is not in gputils";
        }
    }
    ++counts.chips;
}

TEST(ConfigGputils, EveryFieldAndSettingHasGputilsBitsAndNoGputilsFieldIsMissing) {
    if (!std::filesystem::is_directory(kHeaders)) {
        GTEST_SKIP() << "gputils is not installed (scripts/bootstrap installs it)";
    }
    Counts counts;
    int known = 0;
    for (const CatalogueEntry& e : CatalogueEntries()) {
        if (IsDsPic30(e.family)) {
            continue;  // gputils has no dsPIC30F
        }
        const std::optional<Header> header = ReadHeader(kHeaders / HeaderName(e.name));
        if (!header) {
            ADD_FAILURE() << "gputils has no header for " << e.name;
            continue;
        }
        ++known;
        CheckChip(e, *header, counts);
    }
    EXPECT_EQ(known, 61);
    EXPECT_EQ(counts.chips, 61);
    std::printf("gputils cross-check: %d chips, %d configuration words, %d fields, %d settings\n",
                counts.chips, counts.words, counts.fields, counts.settings);
    RecordProperty("chips", counts.chips);
    RecordProperty("fields", counts.fields);
}

}  // namespace
}  // namespace tenlo
