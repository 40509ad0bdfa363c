#include "jobs/checksum.h"

namespace tenlo::jobs {

std::uint16_t ImageChecksum(const CMemoryImage& image, const CDevice& device) {
    const DeviceLayout& layout = image.Layout();
    const std::uint32_t programBits = BlankValueForWidth(layout.programWidth);
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < layout.programSize; ++i) {
        sum += image.Get(Memory::Program, i) & programBits;
    }
    for (const WrittenCell& cell : device.WrittenCells(Memory::Config)) {
        sum += image.Get(Memory::Config, cell.index) & cell.mask;
    }
    return static_cast<std::uint16_t>(sum & 0xFFFF);
}

}  // namespace tenlo::jobs
