#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "hexfile/hex_layout.h"

namespace tenlo::hextest {

// Chips as the catalogue describes them (widths, words, configuration start and count, EEPROM).
inline const HexLayout k16F84A{14, 1024, 14, 0x2000, 8, 64};
inline const HexLayout k16F877A{14, 8192, 14, 0x2000, 8, 256};
inline const HexLayout k12F629{14, 1024, 14, 0x2000, 8, 128};
inline const HexLayout k18F452{16, 16384, 8, 0x300000, 14, 256};
inline const HexLayout k12F508{12, 512, 12, 0x3FF, 1, 0};
inline const HexLayout k30F4013{24, 16384, 16, 0xF80000, 7, 1024};
inline const HexLayout k30F2011{24, 4096, 16, 0xF80000, 7, 0};

// One Intel HEX record with its checksum, upper-case, without line end.
inline std::string Rec(unsigned type, unsigned address, std::initializer_list<unsigned> bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string s = ":";
    unsigned sum = 0;
    auto put = [&](unsigned b) {
        s += digits[(b >> 4) & 0xF];
        s += digits[b & 0xF];
        sum += b;
    };
    put(static_cast<unsigned>(bytes.size()));
    put(address >> 8 & 0xFF);
    put(address & 0xFF);
    put(type);
    for (unsigned b : bytes) {
        put(b & 0xFF);
    }
    put((0x100 - (sum & 0xFF)) & 0xFF);
    return s;
}

inline std::string Lines(std::initializer_list<std::string> lines) {
    std::string s;
    for (const auto& l : lines) {
        s += l;
        s += '\n';
    }
    return s;
}

inline const std::string kEnd = ":00000001FF";

// The three cell buffers of one chip, read and written as whole cells in host order.
class Image {
  public:
    explicit Image(const HexLayout& l)
        : layout(l),
          program(std::size_t{l.programSize} * CellBytes(l.programWidth)),
          config(std::size_t{l.configCount} * CellBytes(l.configWidth)),
          data(l.dataSize) {
        Fill(0xA5);
    }
    void Fill(uint8_t v) {
        for (auto* buf : {&program, &config, &data}) {
            std::fill(buf->begin(), buf->end(), std::byte{v});
        }
    }
    uint32_t Prog(uint32_t i) const { return Get(program, CellBytes(layout.programWidth), i); }
    uint32_t Conf(uint32_t i) const { return Get(config, CellBytes(layout.configWidth), i); }
    uint8_t Data(uint32_t i) const { return std::to_integer<uint8_t>(data.at(i)); }
    void SetProg(uint32_t i, uint32_t v) { Set(program, CellBytes(layout.programWidth), i, v); }
    void SetConf(uint32_t i, uint32_t v) { Set(config, CellBytes(layout.configWidth), i, v); }
    HexBuffers Buffers() { return {program, config, data}; }
    HexConstBuffers ConstBuffers() const { return {program, config, data}; }
    bool operator==(const Image& o) const {
        return program == o.program && config == o.config && data == o.data;
    }

    HexLayout layout;
    std::vector<std::byte> program;
    std::vector<std::byte> config;
    std::vector<std::byte> data;

  private:
    static uint32_t Get(const std::vector<std::byte>& b, uint32_t size, uint32_t i) {
        if (size == 1) {
            return std::to_integer<uint32_t>(b.at(i));
        }
        if (size == 2) {
            uint16_t v;
            std::memcpy(&v, &b.at(std::size_t{i} * 2), 2);
            return v;
        }
        uint32_t v;
        std::memcpy(&v, &b.at(std::size_t{i} * 4), 4);
        return v;
    }
    static void Set(std::vector<std::byte>& b, uint32_t size, uint32_t i, uint32_t v) {
        if (size == 1) {
            b.at(i) = static_cast<std::byte>(v);
        } else if (size == 2) {
            const auto w = static_cast<uint16_t>(v);
            std::memcpy(&b.at(std::size_t{i} * 2), &w, 2);
        } else {
            std::memcpy(&b.at(std::size_t{i} * 4), &v, 4);
        }
    }
};

}  // namespace tenlo::hextest
