#include "hexfile/firmware_hex_reader.h"

namespace tenlo {

HexLayout CFirmwareHexReader::Layout() {
    HexLayout l;
    l.programWidth = 14;
    l.programSize = kProgramWords;
    l.configWidth = 14;
    l.configStart = 0x2000;
    l.configCount = kConfigWords;
    l.dataSize = 0;
    return l;
}

CFirmwareHexReader::CFirmwareHexReader(std::span<uint16_t> program, std::span<uint16_t> config)
    : CProgHexReader(
          Layout(),
          HexBuffers{std::as_writable_bytes(program), std::as_writable_bytes(config), {}}) {}

}  // namespace tenlo
