#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "hexfile/prog_hex_reader.h"

namespace tenlo::e2e {

// A PIC16F84A's memories as HEX files hold them.
struct Chip84A {
    std::vector<std::byte> program = std::vector<std::byte>(2048, std::byte{0});
    std::vector<std::byte> config = std::vector<std::byte>(16, std::byte{0});
    std::vector<std::byte> data = std::vector<std::byte>(64, std::byte{0});

    static HexLayout Layout() {
        HexLayout layout;
        layout.programWidth = 14;
        layout.programSize = 1024;
        layout.configWidth = 14;
        layout.configStart = 0x2000;
        layout.configCount = 8;
        layout.dataSize = 64;
        return layout;
    }
    // One file in Microchip's layout (data EEPROM inside), as the CLI and the tools write it.
    bool Load(const std::string& path) {
        CProgHexReader reader(Layout(), {program, config, data}, true);
        return reader.Open(path) && reader.Load();
    }
    // A program file without data memory and a data file from address 0.
    bool LoadPair(const std::string& programPath, const std::string& dataPath) {
        CProgHexReader programs(Layout(), {program, config, data});
        CDataHexReader datas{std::span<std::byte>(data)};
        return programs.Open(programPath) && programs.Load() && datas.Open(dataPath) &&
               datas.Load();
    }
    std::uint16_t Config(std::size_t i) const {
        return static_cast<std::uint16_t>(std::to_integer<unsigned>(config[2 * i]) |
                                          std::to_integer<unsigned>(config[2 * i + 1]) << 8);
    }
};

}  // namespace tenlo::e2e
