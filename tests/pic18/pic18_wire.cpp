#include "pic18_wire.h"

namespace tenlo::pic18 {

bool DecodeWire(const std::vector<std::uint8_t>& bytes, std::vector<WireCommand>& out) {
    std::size_t at = 0;
    auto take = [&](std::size_t n) { return at + n <= bytes.size(); };
    auto word = [&](std::size_t i) {
        return static_cast<std::uint16_t>(bytes[i] | (bytes[i + 1] << 8));
    };
    while (at < bytes.size()) {
        WireCommand c;
        c.code = bytes[at++];
        switch (c.code) {
            case 0x00:
            case 0x03:
            case 0x04:
            case 0x05:
            case 0x06:
            case 0x28:
            case 0x29:
            case 0x2A:
            case 0x2C:
                break;
            case 0x01:
            case 0x0A:
                if (!take(1)) {
                    return false;
                }
                c.value = bytes[at++];
                break;
            case 0x20: {
                if (!take(1) || !take(1 + 3 * std::size_t{bytes[at]})) {
                    return false;
                }
                const std::size_t n = bytes[at++];
                for (std::size_t i = 0; i < n; ++i, at += 3) {
                    c.items.emplace_back(bytes[at], word(at + 1));
                }
                break;
            }
            case 0x21: {
                if (!take(2) || !take(2 + 2 * std::size_t{bytes[at]})) {
                    return false;
                }
                const std::size_t n = bytes[at];
                const std::uint8_t command = bytes[at + 1];
                at += 2;
                for (std::size_t i = 0; i < n; ++i, at += 2) {
                    c.items.emplace_back(command, word(at));
                }
                break;
            }
            case 0x22:
            case 0x23:
                if (!take(4)) {
                    return false;
                }
                c.value = bytes[at];
                c.items.emplace_back(bytes[at + 1], word(at + 2));
                at += 4;
                break;
            case 0x24:
            case 0x2B:
                if (!take(2)) {
                    return false;
                }
                c.value = c.code == 0x24 ? bytes[at] : word(at);
                at += 2;
                break;
            case 0x26:
                if (!take(2)) {
                    return false;
                }
                c.value = bytes[at];
                c.data = bytes[at + 1];
                at += 2;
                break;
            case 0x25:
            case 0x27:
                if (!take(3)) {
                    return false;
                }
                if (c.code == 0x25) {
                    c.value = bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16);
                } else {
                    c.value = word(at);
                    c.data = bytes[at + 2];
                }
                at += 3;
                break;
            default:
                return false;
        }
        out.push_back(std::move(c));
    }
    return true;
}

std::vector<WireCommand> Only(const std::vector<WireCommand>& commands, std::uint8_t code) {
    std::vector<WireCommand> out;
    for (const WireCommand& c : commands) {
        if (c.code == code) {
            out.push_back(c);
        }
    }
    return out;
}

std::vector<std::uint32_t> Pointers(const std::vector<WireCommand>& commands) {
    std::vector<std::uint32_t> out;
    for (const WireCommand& c : Only(commands, 0x25)) {
        out.push_back(c.value);
    }
    return out;
}

unsigned Cycles(testing::SimRig& rig) {
    return rig.programmer->With([](sim::CFirmwareEngine&, sim::IChipModel& chip) {
        return dynamic_cast<sim::Pic18Chip&>(chip).Cycles();
    });
}

std::string GenHex(const std::string& chip) {
    return std::string(TENLO_PIC18_GEN_DIR) + "/" + chip + ".hex";
}

}  // namespace tenlo::pic18
