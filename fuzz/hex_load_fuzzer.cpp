// Feeds arbitrary text to every HEX reader, in every layout. Beyond the sanitizers it checks two
// promises: a failed load leaves the target exactly as it was, and a successful load writes
// back to a file that loads to the same image.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "hexfile/firmware_hex_reader.h"
#include "hexfile/hex_file_writer.h"
#include "hexfile/prog_hex_reader.h"

namespace {

using tenlo::HexLayout;

struct Buffers {
    explicit Buffers(const HexLayout& l, uint8_t fill)
        : program(std::size_t{l.programSize} * tenlo::CellBytes(l.programWidth), std::byte{fill}),
          config(std::size_t{l.configCount} * tenlo::CellBytes(l.configWidth), std::byte{fill}),
          data(l.dataSize, std::byte{fill}) {}
    tenlo::HexBuffers View() { return {program, config, data}; }
    tenlo::HexConstBuffers ConstView() const { return {program, config, data}; }
    bool operator==(const Buffers&) const = default;
    std::vector<std::byte> program, config, data;
};

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

void FuzzProgram(const HexLayout& layout, bool microchip, std::string_view text) {
    Buffers img(layout, 0x5A);
    const Buffers before = img;
    tenlo::CProgHexReader reader(layout, img.View(), microchip);
    if (!reader.LoadText(text)) {
        Check(img == before);
        return;
    }
    tenlo::HexWriteOptions opt;
    opt.microchipLayout = microchip;
    const auto written = tenlo::ProgramHexText(layout, img.ConstView(), opt);
    Check(written.has_value());
    Buffers back(layout, 0x5A);
    tenlo::CProgHexReader again(layout, back.View(), microchip);
    Check(again.LoadText(*written));
    Check(back == img);
}

void FuzzData(std::size_t size, std::string_view text) {
    std::vector<std::byte> data(size, std::byte{0x5A});
    const auto before = data;
    tenlo::CDataHexReader reader{std::span<std::byte>(data)};
    if (!reader.LoadText(text)) {
        Check(data == before);
        return;
    }
    const auto written = tenlo::DataHexText(data);
    Check(written.has_value());
    std::vector<std::byte> back(size, std::byte{0});
    tenlo::CDataHexReader again{std::span<std::byte>(back)};
    Check(again.LoadText(*written));
    Check(back == data);
}

void FuzzFirmware(std::string_view text) {
    std::vector<uint16_t> program(1024, 0x1234);
    std::vector<uint16_t> config(8, 0x1234);
    tenlo::CFirmwareHexReader reader(program, config);
    if (!reader.LoadText(text)) {
        Check(program == std::vector<uint16_t>(1024, 0x1234));
        Check(config == std::vector<uint16_t>(8, 0x1234));
    }
}

// One chip per core, with small program and EEPROM sizes: every address area and slot form is
// still there, and small images keep the fuzzer fast.
const HexLayout kLayouts[] = {
    {14, 64, 14, 0x2000, 8, 16},    // mid-range
    {12, 32, 12, 0x3FF, 1, 0},      // baseline
    {16, 64, 8, 0x300000, 14, 16},  // PIC18
    {24, 64, 16, 0xF80000, 7, 16},  // dsPIC30F
    {24, 64, 16, 0xF80000, 7, 0},   // dsPIC30F without EEPROM
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(bytes), size);
    for (const HexLayout& layout : kLayouts) {
        FuzzProgram(layout, false, text);
        FuzzProgram(layout, true, text);
    }
    FuzzData(256, text);
    FuzzData(0, text);
    FuzzFirmware(text);
    return 0;
}
