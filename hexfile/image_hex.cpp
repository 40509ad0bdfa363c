#include "hexfile/image_hex.h"

namespace tenlo {

HexLayout ToHexLayout(const DeviceLayout& layout) {
    HexLayout l;
    l.programWidth = layout.programWidth;
    l.programSize = layout.programSize;
    l.configWidth = layout.configWidth;
    l.configStart = layout.configStart;
    l.configCount = layout.configCount;
    l.dataSize = layout.dataSize;
    return l;
}

HexBuffers BuffersOf(CMemoryImage& image) {
    return {std::as_writable_bytes(image.Bytes(Memory::Program)),
            std::as_writable_bytes(image.Bytes(Memory::Config)),
            std::as_writable_bytes(image.Bytes(Memory::Data))};
}

HexConstBuffers BuffersOf(const CMemoryImage& image) {
    return {std::as_bytes(image.Bytes(Memory::Program)), std::as_bytes(image.Bytes(Memory::Config)),
            std::as_bytes(image.Bytes(Memory::Data))};
}

CImageProgHexReader::CImageProgHexReader(CMemoryImage& image, const DeviceLayout& layout,
                                         bool microchipLayout)
    : CProgHexReader(ToHexLayout(layout), BuffersOf(image), microchipLayout) {}

CImageDataHexReader::CImageDataHexReader(CMemoryImage& image)
    : CDataHexReader(std::as_writable_bytes(image.Bytes(Memory::Data))) {}

HexLoadResult LoadProgramHex(const std::string& path, CMemoryImage& image, bool microchipLayout) {
    CImageProgHexReader reader(image, image.Layout(), microchipLayout);
    if (!reader.Open(path)) {
        return HexLoadResult::OpenFailed;
    }
    return reader.Load() ? HexLoadResult::Ok : HexLoadResult::LoadFailed;
}

HexLoadResult LoadDataHex(const std::string& path, CMemoryImage& image) {
    CImageDataHexReader reader(image);
    if (!reader.Open(path)) {
        return HexLoadResult::OpenFailed;
    }
    return reader.Load() ? HexLoadResult::Ok : HexLoadResult::LoadFailed;
}

std::optional<std::string> ProgramHexText(const CMemoryImage& image,
                                          const HexWriteOptions& options) {
    return ProgramHexText(ToHexLayout(image.Layout()), BuffersOf(image), options);
}

std::optional<std::string> DataHexText(const CMemoryImage& image, const HexWriteOptions& options) {
    return DataHexText(std::as_bytes(image.Bytes(Memory::Data)), options);
}

bool SaveProgramHex(const std::string& path, const CMemoryImage& image,
                    const HexWriteOptions& options) {
    return SaveProgramHex(path, ToHexLayout(image.Layout()), BuffersOf(image), options);
}

bool SaveDataHex(const std::string& path, const CMemoryImage& image,
                 const HexWriteOptions& options) {
    return SaveDataHex(path, std::as_bytes(image.Bytes(Memory::Data)), options);
}

}  // namespace tenlo
