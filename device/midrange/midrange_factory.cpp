#include "device/midrange/midrange_factory.h"

#include "device/midrange/pic16f84a.h"

namespace tenlo {

std::unique_ptr<CDevice> CreateMidRangeDevice(const CatalogueEntry& entry,
                                              const DeviceLayout& layout,
                                              const MidRangeParams& params, CProgrammerLink& link,
                                              DeviceOptions* options, IProgressDisplay* progress) {
    switch (entry.family) {
        case DeviceFamily::Mid16F84A:
            return std::make_unique<CPic16F84A>(link, options, progress, layout, params);
        default:
            return nullptr;
    }
}

}  // namespace tenlo
