#pragma once

#include <memory>

#include "device/catalogue.h"
#include "device/device.h"
#include "device/midrange/midrange_params.h"

namespace tenlo {

// The mid-range families' factory: the class of the entry's family built with the entry's
// layout and constants; nullptr for a family that has no class yet.
std::unique_ptr<CDevice> CreateMidRangeDevice(const CatalogueEntry& entry,
                                              const DeviceLayout& layout,
                                              const MidRangeParams& params, CProgrammerLink& link,
                                              DeviceOptions* options, IProgressDisplay* progress);

}  // namespace tenlo
