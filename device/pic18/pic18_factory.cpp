#include "device/pic18/pic18_factory.h"

#include <string_view>

#include "device/pic18/pic18_device.h"
#include "device/pic18/pic18f1220.h"
#include "device/pic18/pic18f2550.h"

namespace tenlo {

namespace {

// The 18F2431 sits in the 242 group but has a single write buffer and no panel register: a
// multi-panel cycle would program only the last panel's buffer and lose the others, so it is
// written one buffer at a time.
constexpr std::string_view kSinglePanel242 = "PIC18F2431";

}  // namespace

Pic18Params Pic18ParamsFor(const CatalogueEntry& entry) {
    Pic18Params params;
    params.deviceId = entry.publishedId;
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
