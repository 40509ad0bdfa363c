#include "device/config_fields.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstdio>

namespace tenlo {

namespace {

unsigned Shift(const ConfigField& field) {
    return field.mask == 0 ? 0 : static_cast<unsigned>(std::countr_zero(field.mask));
}

}  // namespace

bool SameName(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::toupper(static_cast<unsigned char>(x)) ==
               std::toupper(static_cast<unsigned char>(y));
    });
}

const ConfigWord* ChipConfig::WordAt(std::size_t cell) const {
    for (const ConfigWord& word : words) {
        if (word.cell == cell) {
            return &word;
        }
    }
    return nullptr;
}

const ConfigField* ChipConfig::FindField(std::string_view name, const ConfigWord** word) const {
    for (const ConfigWord& w : words) {
        for (const ConfigField& field : w.fields) {
            if (SameName(field.name, name)) {
                if (word != nullptr) {
                    *word = &w;
                }
                return &field;
            }
        }
    }
    return nullptr;
}

std::uint32_t FieldValue(const ConfigField& field, std::uint32_t cell) {
    return (cell & field.mask) >> Shift(field);
}

std::uint32_t WithFieldValue(const ConfigField& field, std::uint32_t cell, std::uint32_t value) {
    return (cell & ~field.mask) | ((value << Shift(field)) & field.mask);
}

std::uint32_t FieldMaximum(const ConfigField& field) {
    return field.mask >> Shift(field);
}

const ConfigSetting* SettingFor(const ConfigField& field, std::uint32_t value) {
    const auto found = std::ranges::find(field.settings, value, &ConfigSetting::value);
    return found == field.settings.end() ? nullptr : &*found;
}

const ConfigSetting* FindSetting(const ConfigField& field, std::string_view name) {
    const auto found = std::ranges::find_if(
        field.settings, [name](const ConfigSetting& s) { return SameName(s.name, name); });
    return found == field.settings.end() ? nullptr : &*found;
}

std::string FieldValueHex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

}  // namespace tenlo
