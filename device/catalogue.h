#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "device/config_fields.h"
#include "device/device.h"
#include "device/device_layout.h"
#include "device/midrange/midrange_params.h"
#include "device/pic18/pic18_params.h"

namespace tenlo {

// The algorithm family that serves a chip: the mid-range family classes, the three PIC18
// groups and the three dsPIC30F groups.
enum class DeviceFamily : std::uint8_t {
    Mid12F50x,
    Mid12F629,
    Mid16F91x,
    Mid16F54,
    Mid16F7x,
    Mid16F84,
    Mid16F84A,  // CPic16F84A itself: 16F84A and the 16F87x parts
    Mid16F62xA,
    Mid16F716,
    Mid16F81x,
    Mid16F87xA,
    Pic18Group242,
    Pic18Group1220,
    Pic18Group2550,
    DsPic30Group3012,
    DsPic30Group3010,
    DsPic30Group4012,
};

bool IsMidRange(DeviceFamily family);
bool IsPic18(DeviceFamily family);
bool IsDsPic30(DeviceFamily family);
// The 12-bit baseline parts (PIC16F54, PIC12F508, PIC12F509).
bool IsBaseline(DeviceFamily family);
// The name a family goes by in listings and messages ("16F87xA", "PIC18 242 group").
const char* FamilyLabel(DeviceFamily family);

struct CatalogueEntry {
    int index = 0;
    std::string_view name;
    DeviceFamily family = DeviceFamily::Mid16F84A;
    std::uint32_t programSize = 0;  // words
    std::uint32_t dataSize = 0;     // bytes
    std::uint32_t configStart = 0;
    std::uint32_t configCount = 0;
    std::uint16_t deviceId = 0;  // as CheckDeviceId expects it; 0: none
    std::int32_t pinCount = 0;   // dsPIC30F only
    bool inMenu = false;
    // The ID the chip itself carries, as its programming specification publishes it (PIC18:
    // DEVID2:DEVID1); several mid-range ones differ from deviceId, which CheckDeviceId keeps.
    // 0: none.
    std::uint16_t publishedId = 0;
    // The silicon revision bits of the device ID word, left out when an ID is compared (none on
    // the dsPIC30F, whose DEVID is the ID alone).
    std::uint16_t revisionMask = 0x1F;
    // The chip's configuration words and their fields; chips that share a layout share one.
    const ChipConfig* config = nullptr;
};

inline constexpr int kCatalogueSize = 72;
inline constexpr int kStartupDeviceIndex = 12;  // PIC16F84A
// Command id of a device menu item: this plus the catalogue index.
inline constexpr int kDeviceMenuCommandBase = 50000;

std::span<const CatalogueEntry> CatalogueEntries();
// nullptr outside 0..71.
const CatalogueEntry* CatalogueEntryAt(int index);
// The entries the device menu offers, in menu order.
std::span<const int> DeviceMenuIndices();
// Case-insensitive; -1 when no chip has that name.
int FindCatalogueIndex(std::string_view name);

// Every entry's layout.
std::optional<DeviceLayout> CatalogueLayout(int index);
// The constants of a mid-range entry: the family's defaults overridden by the chip's row.
std::optional<MidRangeParams> CatalogueMidRangeParams(int index);
// The constants of a PIC18 entry: the group's values and the chip's device ID.
std::optional<Pic18Params> CataloguePic18Params(int index);

// What a device ID word read from a chip of the given family names: every entry of the same
// kind (mid-range, PIC18 or dsPIC30F; their ID values overlap) whose published ID equals the
// word with that entry's revision bits masked off. Usually one; two chips can share an ID
// (PIC16F636 and PIC16F639).
struct DeviceIdMatch {
    const CatalogueEntry* entry = nullptr;
    std::uint16_t revision = 0;
};
std::vector<DeviceIdMatch> IdentifyDeviceId(DeviceFamily family, std::uint16_t word);

// The device of an entry; nullptr outside the catalogue.
std::unique_ptr<CDevice> CreateDevice(int index, CProgrammerLink& link, DeviceOptions* options,
                                      IProgressDisplay* progress);

}  // namespace tenlo
