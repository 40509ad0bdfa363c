#include "hexfile/hex_file_writer.h"

#include <algorithm>
#include <fstream>

#include "hexfile/cell_bytes.h"

namespace tenlo {

namespace {

void AppendRecord(std::string& out, uint8_t type, uint16_t address, const uint8_t* data,
                  std::size_t count) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    uint8_t sum = 0;
    auto pair = [&](uint8_t b) {
        out.push_back(kDigits[b >> 4]);
        out.push_back(kDigits[b & 0xF]);
        sum = static_cast<uint8_t>(sum + b);
    };
    out.push_back(':');
    pair(static_cast<uint8_t>(count));
    pair(static_cast<uint8_t>(address >> 8));
    pair(static_cast<uint8_t>(address));
    pair(type);
    for (std::size_t i = 0; i < count; ++i) {
        pair(data[i]);
    }
    pair(static_cast<uint8_t>(0x100 - sum));
    out.push_back('\n');
}

bool WriteFile(const std::string& path, const std::optional<std::string>& text) {
    if (!text) {
        return false;
    }
    std::ofstream f(path, std::ios::out | std::ios::binary | std::ios::trunc);
    if (!f) {
        return false;
    }
    f.write(text->data(), static_cast<std::streamsize>(text->size()));
    f.close();
    return !f.fail();
}

}  // namespace

std::optional<std::string> CHexFileWriter::Finish() {
    std::stable_sort(bytes_.begin(), bytes_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::string out;
    uint32_t upper = 0;  // every reader starts with base 0
    uint8_t record[kBytesPerRecord];
    std::size_t count = 0;
    uint64_t recordStart = 0;
    auto flush = [&] {
        if (count > 0) {
            AppendRecord(out, 0, static_cast<uint16_t>(recordStart), record, count);
            count = 0;
        }
    };
    for (std::size_t i = 0; i < bytes_.size(); ++i) {
        const auto [address, byte] = bytes_[i];
        if (address > 0xFFFFFFFFu || (i > 0 && bytes_[i - 1].first == address)) {
            return std::nullopt;
        }
        const bool contiguous = count > 0 && address == recordStart + count;
        if (!contiguous || address % kBytesPerRecord == 0) {
            flush();
            const auto hi = static_cast<uint32_t>(address >> 16);
            if (hi != upper) {
                const uint8_t value[2] = {static_cast<uint8_t>(hi >> 8), static_cast<uint8_t>(hi)};
                AppendRecord(out, 4, 0, value, 2);
                upper = hi;
            }
            recordStart = address;
        }
        record[count++] = byte;
    }
    flush();
    out += ":00000001FF\n";
    bytes_.clear();
    return out;
}

std::optional<std::string> ProgramHexText(const HexLayout& layout, HexConstBuffers image,
                                          const HexWriteOptions& options) {
    const HexAddressMap map(layout, options.microchipLayout);
    const uint32_t progCell = CellBytes(layout.programWidth);
    const uint32_t confCell = CellBytes(layout.configWidth);
    if (image.program.size() != std::size_t{layout.programSize} * progCell ||
        image.config.size() != std::size_t{layout.configCount} * confCell) {
        return std::nullopt;
    }
    if (map.DataInProgramFile() && image.data.size() != layout.dataSize) {
        return std::nullopt;
    }
    CHexFileWriter w;

    const uint32_t progBlank = BlankValue(layout.programWidth) & BlankValue(8 * progCell);
    for (uint32_t c = 0; c < layout.programSize; ++c) {
        const uint32_t v = hexcells::Cell(image.program, progCell, c);
        if (options.writeBlankCells || v != progBlank) {
            for (uint32_t k = 0; k < progCell; ++k) {
                w.Put(map.ProgramAddress(c, k), static_cast<uint8_t>(v >> (8 * k)));
            }
        }
    }

    const uint32_t confBlank = BlankValue(layout.configWidth) & BlankValue(8 * confCell);
    const uint32_t confFileBytes = std::min(map.ConfigCellBytes(), confCell);
    for (uint32_t c = 0; c < layout.configCount; ++c) {
        const uint32_t v = hexcells::Cell(image.config, confCell, c);
        if (options.writeBlankCells || v != confBlank) {
            for (uint32_t k = 0; k < confFileBytes; ++k) {
                w.Put(map.ConfigAddress(c, k), static_cast<uint8_t>(v >> (8 * k)));
            }
            // dsPIC30F slots: the upper 16 bits are fillers.
            for (uint32_t k = map.ConfigCellBytes(); k < map.ConfigSlotBytes(); ++k) {
                w.Put(map.ConfigAddress(c, k), 0);
            }
        }
    }

    if (map.DataInProgramFile()) {
        const uint32_t per = map.DataBytesPerSlot();
        for (uint32_t first = 0; first < layout.dataSize; first += per) {
            const uint32_t n = std::min(per, layout.dataSize - first);
            bool blank = true;
            for (uint32_t i = first; i < first + n; ++i) {
                blank = blank && image.data[i] == std::byte{0xFF};
            }
            if (!options.writeBlankCells && blank) {
                continue;
            }
            for (uint32_t i = first; i < first + n; ++i) {
                w.Put(map.DataAddress(i), std::to_integer<uint8_t>(image.data[i]));
            }
            // Fillers of the slot: after its data bytes, up to the slot size.
            const uint64_t slotStart = map.DataAddress(first);
            for (uint32_t k = per; k < map.DataSlotBytes(); ++k) {
                w.Put(slotStart + k, 0);
            }
        }
    }
    return w.Finish();
}

std::optional<std::string> DataHexText(std::span<const std::byte> data,
                                       const HexWriteOptions& options) {
    CHexFileWriter w;
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (options.writeBlankCells || data[i] != std::byte{0xFF}) {
            w.Put(i, std::to_integer<uint8_t>(data[i]));
        }
    }
    return w.Finish();
}

bool SaveProgramHex(const std::string& path, const HexLayout& layout, HexConstBuffers image,
                    const HexWriteOptions& options) {
    return WriteFile(path, ProgramHexText(layout, image, options));
}

bool SaveDataHex(const std::string& path, std::span<const std::byte> data,
                 const HexWriteOptions& options) {
    return WriteFile(path, DataHexText(data, options));
}

}  // namespace tenlo
