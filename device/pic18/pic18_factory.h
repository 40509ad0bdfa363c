#pragma once

#include <memory>

#include "device/catalogue.h"
#include "device/device.h"
#include "device/pic18/pic18_params.h"

namespace tenlo {

// The constants of a PIC18 entry: the 242 group's defaults overridden by the entry's group and
// chip. The entry must be a PIC18 one.
Pic18Params Pic18ParamsFor(const CatalogueEntry& entry);

// The PIC18 groups' factory: the class of the entry's group built with its layout and constants;
// nullptr for an entry of another family.
std::unique_ptr<CDevice> CreatePic18Device(const CatalogueEntry& entry, const DeviceLayout& layout,
                                           const Pic18Params& params, CProgrammerLink& link,
                                           DeviceOptions* options, IProgressDisplay* progress);

}  // namespace tenlo
