#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "device/config_fields.h"
#include "device/memory_image.h"

// A catalogue chip's configuration by name: its words decoded into fields, changes by name put
// into them, the bits each cell implements and compares on, and the settings that are traps
// before a write. Every front asks here; none decides these things itself.
namespace tenlo {

// The configuration words of a catalogue chip; nullptr outside the catalogue.
const ChipConfig* CatalogueConfig(int index);

// The values of an image's configuration cells, index by index, as the calls below take them.
std::vector<std::uint32_t> ConfigCells(const CMemoryImage& image);

// ---- Decoding ----

struct DecodedField {
    const ConfigField* field = nullptr;
    std::uint32_t value = 0;                 // the field's own value
    const ConfigSetting* setting = nullptr;  // nullptr: no setting names the value

    // The setting's name, or the value in hexadecimal ("0x3").
    std::string ValueText() const;
    // "FOSC = HS".
    std::string Text() const;
};

struct DecodedWord {
    const ConfigWord* word = nullptr;
    std::uint32_t address = 0;  // as the configuration grid shows it: config start + cell
    std::uint32_t value = 0;
    std::vector<DecodedField> fields;
    // Bits the chip does not implement that the value holds otherwise than the chip reads
    // them: the chip will not keep them. 0 when there are none.
    std::uint32_t strayBits = 0;
};

DecodedWord DecodeConfigWord(const ConfigWord& word, std::uint32_t width, std::uint32_t address,
                             std::uint32_t value);
// Every configuration word of the chip, in cell order, from the values of its configuration
// cells (cells holds them all, from cell 0; a word past its end is left out). Words without
// fields (a PIC18 byte the chip does not have) are decoded too, for their stray bits.
std::vector<DecodedWord> DecodeConfig(int index, std::span<const std::uint32_t> cells);

// ---- Changes by name ----

// One field of one cell set to a value of the field's own.
struct ConfigChange {
    std::size_t cell = 0;
    const ConfigField* field = nullptr;
    std::uint32_t value = 0;
};

struct ConfigChanges {
    bool ok = false;
    std::vector<ConfigChange> changes;
    // Why the list was refused, in a sentence that names what the chip has instead.
    std::string error;
};

// "NAME=SETTING[,NAME=SETTING...]": names and settings are matched case aside; a setting may
// also be a value of the field's own in hexadecimal (0x3) or decimal. A field the chip does
// not have, a setting the field does not have, a value too wide for it or a field named twice
// refuses the whole list.
ConfigChanges ParseConfigChanges(int index, std::string_view list);
// The cell value with the change made.
std::uint32_t ApplyConfigChange(const ConfigChange& change, std::uint32_t cell);
// Makes every change in the image's configuration cells.
void ApplyConfigChanges(std::span<const ConfigChange> changes, CMemoryImage& image);

// ---- Masks ----

// The bits of configuration cell `cell` that the chip implements; nullopt for a cell that is
// no configuration word (user IDs, device ID, calibration words).
std::optional<std::uint32_t> ConfigImplementedMask(int index, std::size_t cell);
// The bits of a configuration word that a compare with an image value holds the chip to: those
// it implements, less what a write never leaves there as the image says (a 12F629's band-gap
// calibration, protection the write leaves off). nullopt where ConfigImplementedMask is.
std::optional<std::uint32_t> ConfigCompareMask(int index, std::size_t cell, std::uint32_t image);
// What a write of configuration memory puts into the cell for an image value: protection left
// off on the mid-range parts, the forced and writable bits of a dsPIC30F register.
std::uint32_t ConfigValueWritten(int index, std::size_t cell, std::uint32_t image);

// ---- Traps ----

enum class ConfigTrapKind : std::uint8_t {
    CodeProtection,
    DataProtection,
    LowVoltageProgramming,
    MclrOffInternalOscillator,  // on a chip that is then reachable only with Vpp before Vdd
    Watchdog,
    ConfigWriteProtection,  // PIC18 WRTC: the configuration bytes after it stay unwritten
};

enum class ConfigTrapLevel : std::uint8_t { Warning, Notice };

struct ConfigTrap {
    ConfigTrapKind kind = ConfigTrapKind::CodeProtection;
    ConfigTrapLevel level = ConfigTrapLevel::Warning;
    std::size_t cell = 0;  // the configuration cell of the (first) field concerned
    std::string fields;    // "CP0 = ON, CP1 = ON"
    std::string text;      // one English sentence, without a level prefix
};

// The traps in what a write of these configuration cells would put into the chip, in kind
// order, one per kind. Protection that the write leaves off is none (see below).
std::vector<ConfigTrap> FindConfigTraps(int index, std::span<const std::uint32_t> cells);

// Code and data protection that the cells turn on and a write of them leaves off (the
// mid-range write never turns it on). A front says it once, after the write.
struct ProtectionLeftOff {
    std::vector<std::string> fields;  // "CP = ON", "CPD = ON"
    std::string text;                 // one English sentence; empty when nothing was left off

    bool Any() const { return !fields.empty(); }
};
ProtectionLeftOff FindProtectionLeftOff(int index, std::span<const std::uint32_t> cells);

}  // namespace tenlo
