#include "device/midrange/midrange_device.h"

#include <algorithm>
#include <array>
#include <climits>
#include <vector>

namespace tenlo {

namespace {
// The firmware takes one count byte: longer transfers go in pieces.
constexpr std::size_t kMaxWireCount = 255;
}  // namespace

CMidRangeDevice::CMidRangeDevice(CProgrammerLink& link, DeviceOptions* options,
                                 IProgressDisplay* progress)
    : CDevice(link, options, progress) {
    layout_ = DefaultLayout();
}

DeviceLayout CMidRangeDevice::DefaultLayout() {
    DeviceLayout layout;
    layout.programWidth = 14;
    layout.configWidth = 14;
    layout.dataWidth = 8;
    layout.configStart = kConfigStart;
    layout.configCount = 8;
    layout.programGrid = {4, 14, 0, 4, 1, 1, 40, 40, 100, 8};
    layout.configGrid = {4, 14, kConfigStart, 4, 1, 1, 40, 40, 100, 8};
    layout.dataGrid = {2, 8, 0, 4, 1, 1, 40, 40, 100, 8};
    return layout;
}

bool CMidRangeDevice::CheckDeviceId() {
    if (layout_.configCount <= kDeviceIdCell) {
        return false;
    }
    std::vector<std::uint16_t> config(layout_.configCount, 0);
    if (!RunReadConfig(std::span(config))) {
        return false;
    }
    const auto mask = static_cast<std::uint16_t>(~params_.revisionMask);
    return (config[kDeviceIdCell] & mask) == (layout_.deviceId & mask);
}

std::optional<CDevice::DeviceIdPlace> CMidRangeDevice::DeviceIdLocation() const {
    if (layout_.deviceId == 0 || layout_.configCount <= kDeviceIdCell) {
        return std::nullopt;
    }
    return DeviceIdPlace{layout_.configStart + static_cast<std::uint32_t>(kDeviceIdCell),
                         kWordMask};
}

void CMidRangeDevice::ReadDeviceId() {
    std::vector<std::uint16_t> config(layout_.configCount, 0);
    const CellSpan target = readConfigTarget_;
    readConfigTarget_ = std::span(config);
    ReadConfig();  // finishes the operation itself; the caller reads the word once it has ended
    readConfigTarget_ = target;
    DeviceIdRead() = config.size() > kDeviceIdCell ? config[kDeviceIdCell] : 0;
}

std::vector<WrittenCell> CMidRangeDevice::WrittenCells(Memory memory) const {
    std::vector<WrittenCell> cells = CDevice::WrittenCells(memory);
    const MidRangeParams& p = params_;
    if (memory == Memory::Program && Options().keepCalibration != 0) {
        std::erase_if(cells, [&p](const WrittenCell& cell) {
            return (p.calibrationWordAddress != 0 && cell.index == p.calibrationWordAddress) ||
                   (p.calibrationAddress != 0 && cell.index == p.calibrationAddress);
        });
    }
    if (memory == Memory::Config && layout_.configStart == kConfigStart) {
        std::erase_if(cells, [](const WrittenCell& cell) {
            return cell.index >= kUserIdCells && cell.index != kConfigWordCell;
        });
        for (WrittenCell& cell : cells) {
            if (cell.index != kConfigWordCell) {
                continue;
            }
            cell.setBits = ProtectOffBits(p);
            // Bits the chip lacks read back fixed whatever the file says.
            cell.mask &= p.configWordBits;
            if (p.bandGapMask != 0) {
                cell.mask &= ~std::uint32_t{p.bandGapMask};
                if (p.configKeepMask != 0) {
                    cell.mask &= p.configKeepMask;
                }
            }
        }
    }
    return cells;
}

bool CMidRangeDevice::IncrementAddress(std::uint32_t count) {
    const auto n = static_cast<int>(std::min<std::uint32_t>(count, INT_MAX));
    return Link().SendIcspCommand(params_.incrementAddress, n, 0);
}

bool CMidRangeDevice::WriteCellVerified(bool /*isProgram*/, std::uint16_t /*value*/) {
    return false;
}

bool CMidRangeDevice::ReadProgramWords(std::span<std::uint16_t> words) {
    if (words.empty()) {
        std::uint16_t dropped = 0;
        return Link().IcspReadWords(params_.readDataProgram, &dropped, 0);
    }
    for (std::size_t done = 0; done < words.size(); done += kMaxWireCount) {
        const auto piece = words.subspan(done, std::min(kMaxWireCount, words.size() - done));
        if (!Link().IcspReadWords(params_.readDataProgram, piece.data(),
                                  static_cast<int>(piece.size()))) {
            return false;
        }
    }
    for (auto& word : words) {
        word &= kWordMask;
    }
    return true;
}

bool CMidRangeDevice::ReadDataBytes(std::span<std::uint8_t> bytes) {
    if (bytes.empty()) {
        std::uint8_t dropped = 0;
        return Link().IcspReadBytes(params_.readDataData, &dropped, 0);
    }
    for (std::size_t done = 0; done < bytes.size(); done += kMaxWireCount) {
        const auto piece = bytes.subspan(done, std::min(kMaxWireCount, bytes.size() - done));
        if (!Link().IcspReadBytes(params_.readDataData, piece.data(),
                                  static_cast<int>(piece.size()))) {
            return false;
        }
    }
    return true;
}

bool CMidRangeDevice::EnterProgramMode() {
    auto& link = Link();
    if (!link.PowerOffVddFirstRetried() || !link.SetOption(8)) {
        return false;
    }
    return params_.vppFirst ? link.PowerOnVppFirst() : link.PowerOnVddFirst();
}

bool CMidRangeDevice::ExitProgramMode() {
    return Link().PowerOffVddFirstRetried();
}

bool CMidRangeDevice::LoadConfig(std::uint16_t value) {
    return Link().IcspLoad(params_.loadConfiguration, value);
}

void CMidRangeDevice::Finish(bool result) {
    // Power down whatever happened before.
    const bool off = NotePowerDown(ExitProgramMode(), result);
    CDevice::Finish(result && off);
}

CDevice::Step CMidRangeDevice::ReadProgramBlocks(std::span<std::uint16_t> target) {
    return ForEachBlock(target.size(), kReadBlock, [&](std::size_t start, std::size_t count) {
        return ReadProgramWords(target.subspan(start, count)) ? Step::Next : Step::Fail;
    });
}

CDevice::Step CMidRangeDevice::ReadDataBlocks(std::span<std::uint8_t> target) {
    return ForEachBlock(target.size(), kReadBlock, [&](std::size_t start, std::size_t count) {
        return ReadDataBytes(target.subspan(start, count)) ? Step::Next : Step::Fail;
    });
}

CDevice::Step CMidRangeDevice::CompareProgramBlocks(std::span<const std::uint16_t> source,
                                                    std::uint32_t mask, CompareResult& out,
                                                    std::ptrdiff_t skip) {
    std::array<std::uint16_t, kReadBlock> block{};
    return ForEachBlock(source.size(), kReadBlock, [&](std::size_t start, std::size_t count) {
        const auto read = std::span(block).first(count);
        if (!ReadProgramWords(read)) {
            return Step::Fail;
        }
        const std::ptrdiff_t skipHere = skip < 0 ? -1 : skip - static_cast<std::ptrdiff_t>(start);
        return ReportFirstDifference(read, source.subspan(start, count), mask,
                                     static_cast<std::uint32_t>(start), out, skipHere)
                   ? Step::Stop
                   : Step::Next;
    });
}

CDevice::Step CMidRangeDevice::CompareDataBlocks(std::span<const std::uint8_t> source,
                                                 CompareResult& out) {
    std::array<std::uint8_t, kReadBlock> block{};
    return ForEachBlock(source.size(), kReadBlock, [&](std::size_t start, std::size_t count) {
        const auto read = std::span(block).first(count);
        if (!ReadDataBytes(read)) {
            return Step::Fail;
        }
        return ReportFirstDifference(read, source.subspan(start, count), 0xFF,
                                     static_cast<std::uint32_t>(start), out)
                   ? Step::Stop
                   : Step::Next;
    });
}

std::span<std::uint16_t> CMidRangeDevice::ProgramTarget() {
    return CellsOf<std::uint16_t>(readProgramTarget_, layout_.programSize);
}

std::span<std::uint16_t> CMidRangeDevice::ConfigTarget() {
    return CellsOf<std::uint16_t>(readConfigTarget_, layout_.configCount);
}

std::span<std::uint8_t> CMidRangeDevice::DataTarget() {
    return CellsOf<std::uint8_t>(readDataTarget_, layout_.dataSize);
}

std::span<const std::uint16_t> CMidRangeDevice::ProgramSource() {
    return CellsOf<std::uint16_t>(programSource_, layout_.programSize);
}

std::span<const std::uint16_t> CMidRangeDevice::ConfigSource() {
    return CellsOf<std::uint16_t>(configSource_, layout_.configCount);
}

std::span<const std::uint8_t> CMidRangeDevice::DataSource() {
    return CellsOf<std::uint8_t>(dataSource_, layout_.dataSize);
}

}  // namespace tenlo
