#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <variant>
#include <vector>

#include "device/device_layout.h"

namespace tenlo {

// A non-owning view of one cell buffer, typed by its cell size (1, 2 or 4 bytes). Device
// operations take their buffers in this form so a buffer of the wrong kind can be refused
// instead of being read past its end.
class CellSpan {
  public:
    CellSpan() = default;
    CellSpan(std::span<std::uint8_t> cells) : cells_(cells) {}
    CellSpan(std::span<std::uint16_t> cells) : cells_(cells) {}
    CellSpan(std::span<std::uint32_t> cells) : cells_(cells) {}

    std::size_t CellSize() const;
    std::size_t Count() const;
    // The cells as T; empty unless the cells are of that size.
    template <typename T>
    std::span<T> As() const {
        if (const auto* cells = std::get_if<std::span<T>>(&cells_)) {
            return *cells;
        }
        return {};
    }
    std::span<std::uint8_t> Bytes() const;
    // Out-of-range reads give 0 and writes are ignored.
    std::uint32_t Get(std::size_t index) const;
    void Set(std::size_t index, std::uint32_t value) const;

  private:
    std::variant<std::span<std::uint8_t>, std::span<std::uint16_t>, std::span<std::uint32_t>>
        cells_;
};

// The three memories of one chip in the PC, shaped by a layout that belongs to the device
// object and must outlive the image. New cells hold all ones in the used bits.
class CMemoryImage {
  public:
    explicit CMemoryImage(const DeviceLayout& layout);

    const DeviceLayout& Layout() const { return *layout_; }

    CellSpan Cells(Memory memory);
    CellSpan Program() { return Cells(Memory::Program); }
    CellSpan Config() { return Cells(Memory::Config); }
    CellSpan Data() { return Cells(Memory::Data); }
    template <typename T>
    std::span<T> As(Memory memory) {
        return Cells(memory).As<T>();
    }

    // Native little-endian bytes of a buffer: byte 2k of a 16-bit buffer is the low byte of cell k.
    std::span<std::uint8_t> Bytes(Memory memory);
    std::span<const std::uint8_t> Bytes(Memory memory) const;
    std::size_t CellSize(Memory memory) const;
    std::size_t CellCount(Memory memory) const;

    // Bounds-checked cell access for callers fed from outside (files, edit fields). Get gives 0
    // out of range; Set stores the value truncated to the cell size and is false out of range.
    std::uint32_t Get(Memory memory, std::size_t index) const;
    bool Set(Memory memory, std::size_t index, std::uint32_t value);

    // Whole-buffer copies. They refuse (false, nothing copied) an image of another layout.
    bool SameLayout(const CMemoryImage& other) const;
    bool Assign(const CMemoryImage& other);
    bool CopyProgram(const CMemoryImage& other);
    bool CopyConfig(const CMemoryImage& other);
    bool CopyData(const CMemoryImage& other);

  private:
    using Buffer = std::variant<std::vector<std::uint8_t>, std::vector<std::uint16_t>,
                                std::vector<std::uint32_t>>;

    static Buffer MakeBuffer(std::uint32_t width, std::uint32_t count);
    Buffer& BufferOf(Memory memory) { return buffers_[static_cast<std::size_t>(memory)]; }
    const Buffer& BufferOf(Memory memory) const {
        return buffers_[static_cast<std::size_t>(memory)];
    }
    bool CopyBuffer(Memory memory, const CMemoryImage& other);

    const DeviceLayout* layout_;
    std::array<Buffer, 3> buffers_;
};

}  // namespace tenlo
