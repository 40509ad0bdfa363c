#include "device/midrange/midrange_factory.h"

#include "device/midrange/pic12f50x.h"
#include "device/midrange/pic12f629.h"
#include "device/midrange/pic16f54.h"
#include "device/midrange/pic16f62xa.h"
#include "device/midrange/pic16f716.h"
#include "device/midrange/pic16f7x.h"
#include "device/midrange/pic16f81x.h"
#include "device/midrange/pic16f84.h"
#include "device/midrange/pic16f84a.h"
#include "device/midrange/pic16f87xa.h"
#include "device/midrange/pic16f91x.h"

namespace tenlo {

std::unique_ptr<CDevice> CreateMidRangeDevice(const CatalogueEntry& entry,
                                              const DeviceLayout& layout,
                                              const MidRangeParams& params, CProgrammerLink& link,
                                              DeviceOptions* options, IProgressDisplay* progress) {
    switch (entry.family) {
        case DeviceFamily::Mid16F84A:
            return std::make_unique<CPic16F84A>(link, options, progress, layout, params);
        case DeviceFamily::Mid16F84:
            return std::make_unique<CPic16F84>(link, options, progress, layout, params);
        case DeviceFamily::Mid16F716:
            return std::make_unique<CPic16F716>(link, options, progress, layout, params);
        case DeviceFamily::Mid16F7x:
            return std::make_unique<CPic16F7x>(link, options, progress, layout, params);
        case DeviceFamily::Mid16F54:
            return std::make_unique<CPic16F54>(link, options, progress, layout, params);
        case DeviceFamily::Mid12F50x:
            return std::make_unique<CPic12F50x>(link, options, progress, layout, params);
        case DeviceFamily::Mid16F62xA:
            return std::make_unique<CPic16F62xA>(link, options, progress, layout, params);
        case DeviceFamily::Mid16F87xA:
            return std::make_unique<CPic16F87xA>(link, options, progress, layout, params);
        case DeviceFamily::Mid16F91x:
            return std::make_unique<CPic16F91x>(link, options, progress, layout, params);
        case DeviceFamily::Mid16F81x:
            return std::make_unique<CPic16F81x>(link, options, progress, layout, params);
        case DeviceFamily::Mid12F629:
            return std::make_unique<CPic12F629>(link, options, progress, layout, params);
        default:
            return nullptr;
    }
}

}  // namespace tenlo
