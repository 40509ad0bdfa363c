#include "sim/state_file.h"

#include <fstream>
#include <map>
#include <utility>

#include "hexfile/hex_file_reader.h"
#include "hexfile/hex_file_writer.h"

namespace tenlo::sim {

namespace {

// Upper bounds for the probes: the largest memories of the supported families.
constexpr std::uint32_t kMaxProgramCells = 0x40000;
constexpr std::uint32_t kMaxDataBytes = 0x10000;
constexpr std::uint32_t kMaxConfigCells = 64;

std::uint32_t CountFrom(const IChipModel& chip, Space space, std::uint32_t start,
                        std::uint32_t limit) {
    std::uint32_t value = 0;
    std::uint32_t n = 0;
    while (n < limit && chip.Peek(space, start + n, value)) {
        ++n;
    }
    return n;
}

// dsPIC30F configuration registers sit at even byte addresses; everyone else's are cells.
std::uint32_t ConfigStride(const HexLayout& layout) {
    return layout.programWidth == 24 ? 2 : 1;
}

std::uint32_t ConfigAddress(const HexLayout& layout, std::uint32_t cell) {
    return layout.configStart + cell * ConfigStride(layout);
}

// Configuration areas have holes (reserved words a model may not implement): the area runs to
// the last cell that answers.
std::uint32_t ConfigCount(const IChipModel& chip, const HexLayout& layout) {
    std::uint32_t value = 0;
    std::uint32_t count = 0;
    for (std::uint32_t cell = 0; cell < kMaxConfigCells; ++cell) {
        if (chip.Peek(Space::Config, ConfigAddress(layout, cell), value)) {
            count = cell + 1;
        }
    }
    return count;
}

Space SpaceOf(HexRegion region) {
    switch (region) {
        case HexRegion::Program:
            return Space::Program;
        case HexRegion::Config:
            return Space::Config;
        case HexRegion::Data:
            break;
    }
    return Space::Data;
}

std::uint32_t WidthOf(const HexLayout& layout, HexRegion region) {
    switch (region) {
        case HexRegion::Program:
            return layout.programWidth;
        case HexRegion::Config:
            return layout.configWidth;
        case HexRegion::Data:
            break;
    }
    return 8;
}

// Collects the cells a file mentions; nothing reaches the chip until the whole file is good.
class CStateReader final : public CHexFileReader {
  public:
    explicit CStateReader(const HexLayout& layout) : map_(layout, true) {}

    std::map<std::pair<HexRegion, std::uint32_t>, std::uint32_t> cells;

  protected:
    bool BeginLoad() override {
        cells.clear();
        return true;
    }
    bool StoreByte(std::uint8_t byte, std::uint32_t address) override {
        const auto place = map_.Locate(address);
        if (!place) {
            return false;
        }
        if (place->filler) {
            return true;
        }
        const auto key = std::pair{place->region, place->cell};
        auto [it, fresh] =
            cells.try_emplace(key, BlankValue(WidthOf(map_.Layout(), place->region)));
        const unsigned shift = 8 * place->byteInCell;
        it->second = (it->second & ~(0xFFu << shift)) | (std::uint32_t{byte} << shift);
        return true;
    }

  private:
    HexAddressMap map_;
};

}  // namespace

bool ProbeLayout(const IChipModel& chip, HexLayout& layout) {
    HexLayout probe;
    std::uint32_t value = 0;
    if (chip.Peek(Space::Config, 0x300000, value)) {
        probe.programWidth = 16;
        probe.configWidth = 8;
        probe.configStart = 0x300000;
    } else if (chip.Peek(Space::Config, 0xF80000, value)) {
        probe.programWidth = 24;
        probe.configWidth = 16;
        probe.configStart = 0xF80000;
    } else if (chip.Peek(Space::Config, 0x2007, value)) {
        probe.programWidth = 14;
        probe.configWidth = 14;
        probe.configStart = 0x2000;
    } else {
        // 12-bit parts keep their configuration word at the address the counter starts from.
        probe.programWidth = 12;
        probe.configWidth = 12;
        for (std::uint32_t address : {0x3FFu, 0x7FFu, 0xFFFu}) {
            if (chip.Peek(Space::Config, address, value)) {
                probe.configStart = address;
                break;
            }
        }
        if (probe.configStart == 0) {
            return false;
        }
        probe.configCount = 1;
    }
    if (probe.configCount == 0) {
        probe.configCount = ConfigCount(chip, probe);
    }
    probe.programSize = CountFrom(chip, Space::Program, 0, kMaxProgramCells);
    probe.dataSize = CountFrom(chip, Space::Data, 0, kMaxDataBytes);
    if (probe.programSize == 0) {
        return false;
    }
    layout = probe;
    return true;
}

bool LoadChipState(IChipModel& chip, const std::string& path, std::string& error) {
    HexLayout layout;
    if (!ProbeLayout(chip, layout)) {
        error = "the chip's memories cannot be found";
        return false;
    }
    CStateReader reader(layout);
    if (!reader.Open(path)) {
        error = "cannot open " + path;
        return false;
    }
    if (!reader.Load()) {
        error = path + " is not a HEX file for " + chip.Name();
        return false;
    }
    for (const auto& [key, value] : reader.cells) {
        const auto [region, cell] = key;
        const std::uint32_t address =
            region == HexRegion::Config ? ConfigAddress(layout, cell) : cell;
        // Read-only cells (device IDs) may refuse; the rest of the state still goes in.
        chip.Poke(SpaceOf(region), address, value);
    }
    return true;
}

bool SaveChipState(const IChipModel& chip, const std::string& path, std::string& error) {
    HexLayout layout;
    if (!ProbeLayout(chip, layout)) {
        error = "the chip's memories cannot be found";
        return false;
    }
    const HexAddressMap map(layout, true);
    CHexFileWriter writer;
    auto put = [&](Space space, std::uint32_t address, std::uint32_t bytes, auto where) {
        std::uint32_t value = 0;
        if (!chip.Peek(space, address, value)) {
            return;
        }
        for (std::uint32_t k = 0; k < bytes; ++k) {
            writer.Put(where(k), static_cast<std::uint8_t>(value >> (8 * k)));
        }
    };
    for (std::uint32_t cell = 0; cell < layout.programSize; ++cell) {
        put(Space::Program, cell, map.ProgramCellBytes(),
            [&](std::uint32_t k) { return map.ProgramAddress(cell, k); });
    }
    for (std::uint32_t cell = 0; cell < layout.configCount; ++cell) {
        put(Space::Config, ConfigAddress(layout, cell), map.ConfigCellBytes(),
            [&](std::uint32_t k) { return map.ConfigAddress(cell, k); });
        // Padding of wider slots, as Microchip's tools write it.
        for (std::uint32_t k = map.ConfigCellBytes(); k < map.ConfigSlotBytes(); ++k) {
            writer.Put(map.ConfigAddress(cell, k), 0);
        }
    }
    if (map.DataInProgramFile()) {
        for (std::uint32_t index = 0; index < layout.dataSize; ++index) {
            put(Space::Data, index, 1, [&](std::uint32_t) { return map.DataAddress(index); });
            const std::uint32_t perSlot = map.DataBytesPerSlot();
            if (index % perSlot == perSlot - 1) {
                for (std::uint32_t k = 1; k <= map.DataSlotBytes() - perSlot; ++k) {
                    writer.Put(map.DataAddress(index) + k, 0);
                }
            }
        }
    }
    const auto text = writer.Finish();
    if (!text) {
        error = "the chip's state does not fit a HEX file";
        return false;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << *text;
    out.close();
    if (!out) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace tenlo::sim
