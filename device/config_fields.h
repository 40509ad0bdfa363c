#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tenlo {

// What a field does where a rule about traps needs to know it. Most fields do nothing a rule
// looks at.
enum class FieldRole : std::uint8_t {
    None,
    Oscillator,
    Watchdog,               // on when all its bits are 1
    MasterClear,            // MCLR pin function: on when all its bits are 1
    LowVoltageProgramming,  // on when all its bits are 1
    CodeProtection,         // off when all its bits are 1
    DataProtection,         // off when all its bits are 1
    ConfigWriteProtection,  // PIC18 WRTC: off when all its bits are 1
};

// One named value of a field, as the assemblers spell it. The value is the field's own: its bits
// shifted down to the lowest bit of the field's mask.
struct ConfigSetting {
    std::string_view name;
    std::uint32_t value = 0;
    bool internalOscillator = false;  // an oscillator setting that runs from the chip's own clock
};

// One field of a configuration word: its name as the data sheets and assemblers spell it, the
// bits it takes and its settings. A name may stand for two values where the chip treats them
// alike (the first is the one written); a field without settings holds a value (a calibration).
struct ConfigField {
    std::string_view name;
    std::uint32_t mask = 0;
    std::span<const ConfigSetting> settings;
    std::string_view description;
    FieldRole role = FieldRole::None;
};

// One configuration cell (word, byte or register) of a chip. The bits outside every field are
// not implemented: the chip reads them as they stand in unimplementedReads.
struct ConfigWord {
    std::size_t cell = 0;
    std::string_view name;
    std::span<const ConfigField> fields;
    std::uint32_t unimplementedReads = 0;

    constexpr std::uint32_t Implemented() const {
        std::uint32_t bits = 0;
        for (const ConfigField& f : fields) {
            bits |= f.mask;
        }
        return bits;
    }
};

// The configuration cells of one chip that carry fields, in cell order, and the programming
// facts the trap rules need. Chips whose words are alike share one.
struct ChipConfig {
    std::span<const ConfigWord> words;
    std::uint32_t width = 0;  // bits per configuration cell
    // With MCLR off and the internal oscillator the chip runs its program as soon as it has
    // power, so its programming specification enters programming mode with Vpp before Vdd.
    bool mclrOffInternalOscNeedsVppFirst = false;

    const ConfigWord* WordAt(std::size_t cell) const;
    // The field of that name, case aside, and the word that holds it; nullptr when none.
    const ConfigField* FindField(std::string_view name, const ConfigWord** word = nullptr) const;
};

// The field's own value in a cell, and a cell with the field set to a value of its own.
std::uint32_t FieldValue(const ConfigField& field, std::uint32_t cell);
std::uint32_t WithFieldValue(const ConfigField& field, std::uint32_t cell, std::uint32_t value);
// The largest value the field holds.
std::uint32_t FieldMaximum(const ConfigField& field);
// The setting that names a value (the first, where two do); nullptr when none does.
const ConfigSetting* SettingFor(const ConfigField& field, std::uint32_t value);
// The setting of that name, case aside; nullptr when the field has none.
const ConfigSetting* FindSetting(const ConfigField& field, std::string_view name);
// "0x3" for a value no setting names: the field's own value in hexadecimal.
std::string FieldValueHex(std::uint32_t value);

// Case-insensitive equality of two names.
bool SameName(std::string_view a, std::string_view b);

}  // namespace tenlo
