#include "device/memory_image.h"

#include <cstring>

namespace tenlo {

std::size_t CellSpan::CellSize() const {
    return std::visit([](auto cells) { return sizeof(typename decltype(cells)::element_type); },
                      cells_);
}

std::size_t CellSpan::Count() const {
    return std::visit([](auto cells) { return cells.size(); }, cells_);
}

std::span<std::uint8_t> CellSpan::Bytes() const {
    return std::visit(
        [](auto cells) {
            return std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(cells.data()),
                                           cells.size_bytes());
        },
        cells_);
}

std::uint32_t CellSpan::Get(std::size_t index) const {
    return std::visit(
        [index](auto cells) -> std::uint32_t { return index < cells.size() ? cells[index] : 0; },
        cells_);
}

void CellSpan::Set(std::size_t index, std::uint32_t value) const {
    std::visit(
        [index, value](auto cells) {
            using Cell = typename decltype(cells)::element_type;
            if (index < cells.size()) {
                cells[index] = static_cast<Cell>(value);
            }
        },
        cells_);
}

CMemoryImage::Buffer CMemoryImage::MakeBuffer(std::uint32_t width, std::uint32_t count) {
    const std::uint32_t blank = BlankValueForWidth(width);
    switch (CellSizeForWidth(width)) {
        case 1:
            return std::vector<std::uint8_t>(count, static_cast<std::uint8_t>(blank));
        case 2:
            return std::vector<std::uint16_t>(count, static_cast<std::uint16_t>(blank));
        default:
            return std::vector<std::uint32_t>(count, blank);
    }
}

CMemoryImage::CMemoryImage(const DeviceLayout& layout)
    : layout_(&layout),
      buffers_{MakeBuffer(layout.programWidth, layout.programSize),
               MakeBuffer(layout.configWidth, layout.configCount),
               MakeBuffer(layout.dataWidth, layout.dataSize)} {}

CellSpan CMemoryImage::Cells(Memory memory) {
    return std::visit([](auto& cells) { return CellSpan(std::span(cells)); }, BufferOf(memory));
}

std::span<std::uint8_t> CMemoryImage::Bytes(Memory memory) {
    return Cells(memory).Bytes();
}

std::span<const std::uint8_t> CMemoryImage::Bytes(Memory memory) const {
    return std::visit(
        [](const auto& cells) {
            return std::span<const std::uint8_t>(
                reinterpret_cast<const std::uint8_t*>(cells.data()),
                cells.size() * sizeof(cells[0]));
        },
        BufferOf(memory));
}

std::size_t CMemoryImage::CellSize(Memory memory) const {
    return std::visit([](const auto& cells) { return sizeof(cells[0]); }, BufferOf(memory));
}

std::size_t CMemoryImage::CellCount(Memory memory) const {
    return std::visit([](const auto& cells) { return cells.size(); }, BufferOf(memory));
}

std::uint32_t CMemoryImage::Get(Memory memory, std::size_t index) const {
    return std::visit(
        [index](const auto& cells) -> std::uint32_t {
            return index < cells.size() ? cells[index] : 0;
        },
        BufferOf(memory));
}

bool CMemoryImage::Set(Memory memory, std::size_t index, std::uint32_t value) {
    if (index >= CellCount(memory)) {
        return false;
    }
    Cells(memory).Set(index, value);
    return true;
}

bool CMemoryImage::SameLayout(const CMemoryImage& other) const {
    return layout_ == other.layout_ || *layout_ == *other.layout_;
}

bool CMemoryImage::CopyBuffer(Memory memory, const CMemoryImage& other) {
    if (&other == this) {
        return true;
    }
    const auto source = other.Bytes(memory);
    const auto target = Bytes(memory);
    if (source.size() != target.size()) {
        return false;  // cannot happen for images of one layout; never copy past a buffer
    }
    if (!source.empty()) {
        std::memcpy(target.data(), source.data(), source.size());
    }
    return true;
}

bool CMemoryImage::Assign(const CMemoryImage& other) {
    if (!SameLayout(other)) {
        return false;
    }
    return CopyBuffer(Memory::Program, other) && CopyBuffer(Memory::Config, other) &&
           CopyBuffer(Memory::Data, other);
}

bool CMemoryImage::CopyProgram(const CMemoryImage& other) {
    return SameLayout(other) && CopyBuffer(Memory::Program, other);
}

bool CMemoryImage::CopyConfig(const CMemoryImage& other) {
    return SameLayout(other) && CopyBuffer(Memory::Config, other);
}

bool CMemoryImage::CopyData(const CMemoryImage& other) {
    return SameLayout(other) && CopyBuffer(Memory::Data, other);
}

}  // namespace tenlo
