#include "device/pic18/pic18_factory.h"

#include <array>
#include <string_view>
#include <utility>

#include "device/pic18/pic18_device.h"
#include "device/pic18/pic18f1220.h"
#include "device/pic18/pic18f2550.h"

namespace tenlo {

namespace {

// DEVID2:DEVID1 with the revision bits clear, from the chips' programming documents.
constexpr std::array<std::pair<std::string_view, std::uint16_t>, 17> kDeviceIds{{
    {"PIC18F242", 0x0480},
    {"PIC18F248", 0x0800},
    {"PIC18F252", 0x0400},
    {"PIC18F258", 0x0840},
    {"PIC18F442", 0x04A0},
    {"PIC18F448", 0x0820},
    {"PIC18F452", 0x0420},
    {"PIC18F458", 0x0860},
    {"PIC18F1220", 0x07E0},
    {"PIC18F1320", 0x07C0},
    {"PIC18F2220", 0x0580},
    {"PIC18F2320", 0x0500},
    {"PIC18F2431", 0x08C0},
    {"PIC18F2550", 0x1240},
    {"PIC18F4220", 0x05A0},
    {"PIC18F4320", 0x0520},
    {"PIC18F4550", 0x1200},
}};

// The 18F2431 sits in the 242 group but has a single write buffer and no panel register: a
// multi-panel cycle would program only the last panel's buffer and lose the others, so it is
// written one buffer at a time.
constexpr std::string_view kSinglePanel242 = "PIC18F2431";

}  // namespace

Pic18Params Pic18ParamsFor(const CatalogueEntry& entry) {
    Pic18Params params;
    for (const auto& [name, id] : kDeviceIds) {
        if (name == entry.name) {
            params.deviceId = id;
        }
    }
    switch (entry.family) {
        case DeviceFamily::Pic18Group1220:
            params.multiPanel = false;
            break;
        case DeviceFamily::Pic18Group2550:
            params.writeBufferBytes = 32;
            params.multiPanel = false;
            break;
        default:
            params.multiPanel = entry.name != kSinglePanel242;
            break;
    }
    return params;
}

std::unique_ptr<CDevice> CreatePic18Device(const CatalogueEntry& entry, const DeviceLayout& layout,
                                           const Pic18Params& params, CProgrammerLink& link,
                                           DeviceOptions* options, IProgressDisplay* progress) {
    switch (entry.family) {
        case DeviceFamily::Pic18Group242:
            return std::make_unique<CPic18Device>(link, options, progress, layout, params);
        case DeviceFamily::Pic18Group1220:
            return std::make_unique<CPic18F1220>(link, options, progress, layout, params);
        case DeviceFamily::Pic18Group2550:
            return std::make_unique<CPic18F2550>(link, options, progress, layout, params);
        default:
            return nullptr;
    }
}

}  // namespace tenlo
