#pragma once

#include <optional>
#include <string>

#include "device/device_layout.h"
#include "device/memory_image.h"
#include "hexfile/hex_file_writer.h"
#include "hexfile/hex_layout.h"
#include "hexfile/prog_hex_reader.h"

namespace tenlo {

// The HEX code's view of a chip layout.
HexLayout ToHexLayout(const DeviceLayout& layout);
HexBuffers BuffersOf(CMemoryImage& image);
HexConstBuffers BuffersOf(const CMemoryImage& image);

// A program reader over a memory image. On success the program and configuration buffers (and
// the data buffer, in the Microchip layout) are replaced whole; on failure the image is as it
// was, so the current image can be passed directly.
class CImageProgHexReader : public CProgHexReader {
  public:
    CImageProgHexReader(CMemoryImage& image, const DeviceLayout& layout,
                        bool microchipLayout = false);
};

// A data reader over a memory image's data buffer.
class CImageDataHexReader : public CDataHexReader {
  public:
    explicit CImageDataHexReader(CMemoryImage& image);
};

// What became of loading a file, so callers can tell the user which went wrong.
enum class HexLoadResult { Ok, OpenFailed, LoadFailed };

HexLoadResult LoadProgramHex(const std::string& path, CMemoryImage& image,
                             bool microchipLayout = false);
HexLoadResult LoadDataHex(const std::string& path, CMemoryImage& image);

std::optional<std::string> ProgramHexText(const CMemoryImage& image,
                                          const HexWriteOptions& options = {});
std::optional<std::string> DataHexText(const CMemoryImage& image,
                                       const HexWriteOptions& options = {});
bool SaveProgramHex(const std::string& path, const CMemoryImage& image,
                    const HexWriteOptions& options = {});
bool SaveDataHex(const std::string& path, const CMemoryImage& image,
                 const HexWriteOptions& options = {});

}  // namespace tenlo
