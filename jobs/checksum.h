#pragma once

#include <cstdint>

#include "device/device.h"
#include "device/memory_image.h"

namespace tenlo::jobs {

// The checksum of a chip's program and configuration as image holds them, the one Tenlo and
// tenlo-cli both show: the 16-bit sum of every program word of the chip (a blank cell counts as
// the blank word) and of every configuration cell a write of the device's chip sets, each under
// the bits the chip implements there. Data memory is left out, so that a file's checksum stays
// that of its code whatever EEPROM contents ride with it.
std::uint16_t ImageChecksum(const CMemoryImage& image, const CDevice& device);

}  // namespace tenlo::jobs
