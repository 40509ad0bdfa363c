#include "device/chip_config.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "device/catalogue.h"
#include "device/dspic30/dspic30_device.h"
#include "device/midrange/midrange_device.h"

namespace tenlo {

namespace {

std::string_view Trim(std::string_view text) {
    const auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && space(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && space(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string Joined(const std::vector<std::string>& items, std::string_view between) {
    std::string text;
    for (const std::string& item : items) {
        if (!text.empty()) {
            text += between;
        }
        text += item;
    }
    return text;
}

// "a", "a and b", "a, b and c".
std::string Listed(const std::vector<std::string>& items) {
    if (items.size() < 2) {
        return Joined(items, "");
    }
    std::vector<std::string> head(items.begin(), items.end() - 1);
    return Joined(head, ", ") + " and " + items.back();
}

// The mid-range configuration word: the one cell of a 12-bit part, 0x2007 on the others.
std::size_t MidRangeWordCell(const CatalogueEntry& e) {
    return IsBaseline(e.family) ? 0 : CMidRangeDevice::kConfigWordCell;
}

std::uint32_t WidthMask(const ChipConfig& config) {
    return (std::uint32_t{1} << config.width) - 1u;
}

bool AllOnes(const ConfigField& field, std::uint32_t cell) {
    return FieldValue(field, cell) == FieldMaximum(field);
}

DecodedField Decode(const ConfigField& field, std::uint32_t cell) {
    const std::uint32_t value = FieldValue(field, cell);
    return {&field, value, SettingFor(field, value)};
}

// What a field role looks like when it is a trap in the value written.
bool IsTrap(FieldRole role, const ConfigField& field, std::uint32_t written) {
    switch (role) {
        case FieldRole::CodeProtection:
        case FieldRole::DataProtection:
        case FieldRole::ConfigWriteProtection:
            return !AllOnes(field, written);
        case FieldRole::LowVoltageProgramming:
        case FieldRole::Watchdog:
            return AllOnes(field, written);
        default:
            return false;
    }
}

// The fields of a role that are traps, with the cell of the first.
struct Found {
    std::vector<std::string> fields;
    std::size_t cell = 0;
};

Found FindRole(const ChipConfig& config, std::span<const std::uint32_t> written, FieldRole role) {
    Found found;
    for (const ConfigWord& word : config.words) {
        if (word.cell >= written.size()) {
            continue;
        }
        for (const ConfigField& field : word.fields) {
            if (field.role == role && IsTrap(role, field, written[word.cell])) {
                if (found.fields.empty()) {
                    found.cell = word.cell;
                }
                found.fields.push_back(Decode(field, written[word.cell]).Text());
            }
        }
    }
    return found;
}

// The field of a role in the chip's words, and its cell's value.
struct RoleField {
    const ConfigField* field = nullptr;
    std::size_t cell = 0;
};
RoleField FieldWithRole(const ChipConfig& config, FieldRole role) {
    for (const ConfigWord& word : config.words) {
        for (const ConfigField& field : word.fields) {
            if (field.role == role) {
                return {&field, word.cell};
            }
        }
    }
    return {};
}

std::optional<ConfigTrap> MclrTrap(const CatalogueEntry& e,
                                   std::span<const std::uint32_t> written) {
    const ChipConfig& config = *e.config;
    const RoleField mclr = FieldWithRole(config, FieldRole::MasterClear);
    const RoleField osc = FieldWithRole(config, FieldRole::Oscillator);
    if (!config.mclrOffInternalOscNeedsVppFirst || mclr.field == nullptr || osc.field == nullptr ||
        mclr.cell >= written.size() || osc.cell >= written.size() ||
        AllOnes(*mclr.field, written[mclr.cell])) {
        return std::nullopt;
    }
    const DecodedField clock = Decode(*osc.field, written[osc.cell]);
    if (clock.setting == nullptr || !clock.setting->internalOscillator) {
        return std::nullopt;
    }
    const std::optional<MidRangeParams> params = CatalogueMidRangeParams(e.index);
    const std::string name(e.name);
    const std::string fields = Decode(*mclr.field, written[mclr.cell]).Text() + ", " + clock.Text();
    const std::string ours =
        params && params->vppFirst
            ? "; this programmer does so on the " + name
            : "; this programmer raises Vdd first on the " + name + " and may not get it back";
    return ConfigTrap{ConfigTrapKind::MclrOffInternalOscillator, ConfigTrapLevel::Warning,
                      mclr.cell, fields,
                      "MCLR is off with the internal oscillator (" + fields +
                          "): the chip runs its program as soon as it has power, so only a "
                          "programmer that raises Vpp before Vdd can take it into programming "
                          "mode again" +
                          ours};
}

std::optional<ConfigTrap> WriteProtectionTrap(const ChipConfig& config,
                                              std::span<const std::uint32_t> written) {
    const Found wrtc = FindRole(config, written, FieldRole::ConfigWriteProtection);
    if (wrtc.fields.empty()) {
        return std::nullopt;
    }
    // Configuration bytes go in pairs; the protection holds from the pair after its own.
    const std::size_t from = (wrtc.cell | 1u) + 1;
    std::vector<std::string> later;
    for (const ConfigWord& word : config.words) {
        if (word.cell >= from && word.Implemented() != 0) {
            later.emplace_back(word.name);
        }
    }
    if (later.empty()) {
        return std::nullopt;
    }
    const std::string fields = Joined(wrtc.fields, ", ");
    return ConfigTrap{ConfigTrapKind::ConfigWriteProtection, ConfigTrapLevel::Warning, wrtc.cell,
                      fields,
                      "configuration write protection is on (" + fields + "): " + Listed(later) +
                          " after it will not be written, and the configuration cannot be "
                          "changed again without a chip erase"};
}

std::vector<std::uint32_t> Written(int index, std::span<const std::uint32_t> cells) {
    std::vector<std::uint32_t> written(cells.size());
    for (std::size_t i = 0; i < cells.size(); ++i) {
        written[i] = ConfigValueWritten(index, i, cells[i]);
    }
    return written;
}

bool ParseHex(std::string_view text, std::uint32_t& value) {
    if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) {
        return false;
    }
    const char* first = text.data() + 2;
    const char* last = text.data() + text.size();
    const auto [end, ec] = std::from_chars(first, last, value, 16);
    return ec == std::errc{} && end == last;
}

std::vector<std::string> SettingNames(const ConfigField& field) {
    std::vector<std::string> names;
    for (const ConfigSetting& s : field.settings) {
        if (std::ranges::find(names, s.name) == names.end()) {
            names.emplace_back(s.name);
        }
    }
    return names;
}

std::string ValueRange(const ConfigField& field) {
    return FieldValueHex(0) + " to " + FieldValueHex(FieldMaximum(field));
}

}  // namespace

const ChipConfig* CatalogueConfig(int index) {
    const CatalogueEntry* e = CatalogueEntryAt(index);
    return e == nullptr ? nullptr : e->config;
}

std::vector<std::uint32_t> ConfigCells(const CMemoryImage& image) {
    std::vector<std::uint32_t> cells(image.CellCount(Memory::Config));
    for (std::size_t i = 0; i < cells.size(); ++i) {
        cells[i] = image.Get(Memory::Config, i);
    }
    return cells;
}

std::string DecodedField::ValueText() const {
    return setting != nullptr ? std::string(setting->name) : FieldValueHex(value);
}

std::string DecodedField::Text() const {
    return std::string(field->name) + " = " + ValueText();
}

DecodedWord DecodeConfigWord(const ConfigWord& word, std::uint32_t width, std::uint32_t address,
                             std::uint32_t value) {
    DecodedWord decoded{&word, address, value, {}, 0};
    for (const ConfigField& field : word.fields) {
        decoded.fields.push_back(Decode(field, value));
    }
    const std::uint32_t widthMask = (std::uint32_t{1} << width) - 1u;
    decoded.strayBits = (value ^ word.unimplementedReads) & ~word.Implemented() & widthMask;
    return decoded;
}

std::vector<DecodedWord> DecodeConfig(int index, std::span<const std::uint32_t> cells) {
    std::vector<DecodedWord> words;
    const CatalogueEntry* e = CatalogueEntryAt(index);
    if (e == nullptr) {
        return words;
    }
    for (const ConfigWord& word : e->config->words) {
        if (word.cell < cells.size()) {
            words.push_back(DecodeConfigWord(word, e->config->width,
                                             e->configStart + static_cast<std::uint32_t>(word.cell),
                                             cells[word.cell]));
        }
    }
    return words;
}

ConfigChanges ParseConfigChanges(int index, std::string_view list) {
    ConfigChanges result;
    const CatalogueEntry* e = CatalogueEntryAt(index);
    if (e == nullptr) {
        result.error = "no chip is selected";
        return result;
    }
    const ChipConfig& config = *e->config;
    const std::string chip(e->name);
    const auto refuse = [&result](std::string why) {
        result.changes.clear();
        result.error = std::move(why);
        return result;
    };
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        const std::string_view item = Trim(list.substr(start, comma - start));
        start = comma + 1;
        const std::size_t equals = item.find('=');
        if (equals == std::string_view::npos) {
            return refuse("'" + std::string(item) + "' is not NAME=SETTING");
        }
        const std::string_view name = Trim(item.substr(0, equals));
        const std::string_view setting = Trim(item.substr(equals + 1));
        const ConfigWord* word = nullptr;
        const ConfigField* field = config.FindField(name, &word);
        if (field == nullptr) {
            std::vector<std::string> names;
            for (const ConfigWord& w : config.words) {
                for (const ConfigField& f : w.fields) {
                    names.emplace_back(f.name);
                }
            }
            return refuse("the " + chip + " has no configuration field '" + std::string(name) +
                          "'; its fields are " + Joined(names, ", "));
        }
        const bool twice = std::ranges::any_of(
            result.changes, [field](const ConfigChange& c) { return c.field == field; });
        if (twice) {
            return refuse(std::string(field->name) + " is set twice");
        }
        std::uint32_t value = 0;
        if (const ConfigSetting* named = FindSetting(*field, setting)) {
            value = named->value;
        } else if (!ParseHex(setting, value)) {
            const std::string what = std::string(field->name) + " of the " + chip;
            if (field->settings.empty()) {
                return refuse(what + " takes a value from " + ValueRange(*field) + ", not '" +
                              std::string(setting) + "'");
            }
            return refuse(what + " has no setting '" + std::string(setting) +
                          "'; its settings are " + Joined(SettingNames(*field), ", ") +
                          " (or a value from " + ValueRange(*field) + ")");
        } else if (value > FieldMaximum(*field)) {
            return refuse(std::string(field->name) + " takes a value from " + ValueRange(*field) +
                          ", not " + std::string(setting));
        }
        result.changes.push_back({word->cell, field, value});
    }
    result.ok = true;
    return result;
}

std::uint32_t ApplyConfigChange(const ConfigChange& change, std::uint32_t cell) {
    return WithFieldValue(*change.field, cell, change.value);
}

void ApplyConfigChanges(std::span<const ConfigChange> changes, CMemoryImage& image) {
    for (const ConfigChange& change : changes) {
        image.Set(Memory::Config, change.cell,
                  ApplyConfigChange(change, image.Get(Memory::Config, change.cell)));
    }
}

std::optional<std::uint32_t> ConfigImplementedMask(int index, std::size_t cell) {
    const ChipConfig* config = CatalogueConfig(index);
    const ConfigWord* word = config != nullptr ? config->WordAt(cell) : nullptr;
    if (word == nullptr) {
        return std::nullopt;
    }
    return word->Implemented();
}

std::optional<std::uint32_t> ConfigCompareMask(int index, std::size_t cell, std::uint32_t image) {
    const std::optional<std::uint32_t> implemented = ConfigImplementedMask(index, cell);
    const std::optional<MidRangeParams> params = CatalogueMidRangeParams(index);
    if (!implemented || !params) {
        return implemented;
    }
    return *implemented & ConfigWordCompareBits(*params, image);
}

std::uint32_t ConfigValueWritten(int index, std::size_t cell, std::uint32_t image) {
    const CatalogueEntry* e = CatalogueEntryAt(index);
    if (e == nullptr) {
        return image;
    }
    const std::uint32_t width = WidthMask(*e->config);
    if (const std::optional<MidRangeParams> params = CatalogueMidRangeParams(index);
        params && cell == MidRangeWordCell(*e)) {
        return (image | ProtectOffBits(*params)) & width;
    }
    if (const auto tables = CDsPic30Device::TablesFor(e->family);
        tables && cell < tables->keepMask.size()) {
        return (image | tables->forcedBits[cell]) & tables->keepMask[cell];
    }
    return image & width;
}

std::vector<ConfigTrap> FindConfigTraps(int index, std::span<const std::uint32_t> cells) {
    std::vector<ConfigTrap> traps;
    const CatalogueEntry* e = CatalogueEntryAt(index);
    if (e == nullptr) {
        return traps;
    }
    const ChipConfig& config = *e->config;
    const std::vector<std::uint32_t> written = Written(index, cells);
    const auto add = [&](ConfigTrapKind kind, FieldRole role, ConfigTrapLevel level,
                         std::string_view what, std::string_view consequence) {
        const Found found = FindRole(config, written, role);
        if (!found.fields.empty()) {
            const std::string fields = Joined(found.fields, ", ");
            traps.push_back({kind, level, found.cell, fields,
                             std::string(what) + " (" + fields + "): " + std::string(consequence)});
        }
    };
    add(ConfigTrapKind::CodeProtection, FieldRole::CodeProtection, ConfigTrapLevel::Warning,
        "code protection is on",
        "the program can no longer be read or verified, and only a chip erase turns it off");
    add(ConfigTrapKind::DataProtection, FieldRole::DataProtection, ConfigTrapLevel::Warning,
        "data EEPROM protection is on",
        "the data can no longer be read or verified, and only a chip erase turns it off");
    add(ConfigTrapKind::LowVoltageProgramming, FieldRole::LowVoltageProgramming,
        ConfigTrapLevel::Warning, "low-voltage programming is on",
        "the chip's PGM pin must be held low, or the chip may enter programming mode instead of "
        "running");
    if (std::optional<ConfigTrap> mclr = MclrTrap(*e, written)) {
        traps.push_back(std::move(*mclr));
    }
    add(ConfigTrapKind::Watchdog, FieldRole::Watchdog, ConfigTrapLevel::Notice,
        "the watchdog timer is on", "the program must clear it in time, or the chip resets");
    if (std::optional<ConfigTrap> wrtc = WriteProtectionTrap(config, written)) {
        traps.push_back(std::move(*wrtc));
    }
    return traps;
}

ProtectionLeftOff FindProtectionLeftOff(int index, std::span<const std::uint32_t> cells) {
    ProtectionLeftOff left;
    const ChipConfig* config = CatalogueConfig(index);
    if (config == nullptr) {
        return left;
    }
    for (const ConfigWord& word : config->words) {
        if (word.cell >= cells.size()) {
            continue;
        }
        const std::uint32_t image = cells[word.cell];
        const std::uint32_t written = ConfigValueWritten(index, word.cell, image);
        for (const ConfigField& field : word.fields) {
            const bool protection =
                field.role == FieldRole::CodeProtection || field.role == FieldRole::DataProtection;
            if (protection && !AllOnes(field, image) && AllOnes(field, written)) {
                left.fields.push_back(Decode(field, image).Text());
            }
        }
    }
    if (left.Any()) {
        left.text = "code protection left off: the file sets " + Listed(left.fields) +
                    ", which this programmer never writes";
    }
    return left;
}

}  // namespace tenlo
