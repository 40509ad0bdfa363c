#include "cli/device_id_table.h"

#include <strings.h>

#include <array>

namespace tenlo::cli {

namespace {

// From the chips' programming specifications. The 16F87xA, 16F818/819 and 16F91x parts keep
// a 4-bit revision; the rest use 5 bits. PIC16F84 has no ID word.
constexpr std::array<PublishedDeviceId, 40> kIds{{
    {"PIC16F84A", 0x0560, 5},  {"PIC16F627A", 0x1040, 5}, {"PIC16F628A", 0x1060, 5},
    {"PIC16F648A", 0x1100, 5}, {"PIC12F629", 0x0F80, 5},  {"PIC12F675", 0x0FC0, 5},
    {"PIC16F630", 0x10C0, 5},  {"PIC16F676", 0x10E0, 5},  {"PIC16F873A", 0x0E40, 4},
    {"PIC16F874A", 0x0E60, 4}, {"PIC16F876A", 0x0E00, 4}, {"PIC16F877A", 0x0E20, 4},
    {"PIC16F873", 0x0960, 5},  {"PIC16F874", 0x0920, 5},  {"PIC16F876", 0x09E0, 5},
    {"PIC16F877", 0x09A0, 5},  {"PIC16F818", 0x04C0, 4},  {"PIC16F819", 0x04E0, 4},
    {"PIC16F73", 0x0600, 5},   {"PIC16F74", 0x0620, 5},   {"PIC16F76", 0x0640, 5},
    {"PIC16F77", 0x0660, 5},   {"PIC16F716", 0x1140, 5},  {"PIC16F913", 0x13E0, 4},
    {"PIC16F914", 0x13C0, 4},  {"PIC16F916", 0x13A0, 4},  {"PIC16F917", 0x1380, 4},
    {"PIC16F946", 0x1460, 4},  {"PIC12F683", 0x0460, 5},  {"PIC12F635", 0x0FA0, 5},
    {"PIC16F631", 0x1420, 5},  {"PIC16F636", 0x10A0, 5},  {"PIC16F639", 0x10A0, 5},
    {"PIC16F677", 0x1440, 5},  {"PIC16F684", 0x1080, 5},  {"PIC16F685", 0x04A0, 5},
    {"PIC16F687", 0x1320, 5},  {"PIC16F688", 0x1180, 5},  {"PIC16F689", 0x1340, 5},
    {"PIC16F690", 0x1400, 5},
}};

const std::array<PublishedDeviceId, 40>& AllIds() {
    return kIds;
}

}  // namespace

std::span<const PublishedDeviceId> PublishedDeviceIds() {
    return AllIds();
}

const PublishedDeviceId* PublishedIdFor(std::string_view chipName) {
    const std::string wanted(chipName);
    for (const PublishedDeviceId& e : AllIds()) {
        if (strcasecmp(std::string(e.name).c_str(), wanted.c_str()) == 0) {
            return &e;
        }
    }
    return nullptr;
}

std::vector<IdMatch> IdentifyDeviceId(std::uint16_t word) {
    std::vector<IdMatch> out;
    for (const PublishedDeviceId& e : AllIds()) {
        const std::uint16_t mask = e.RevisionMask();
        if (static_cast<std::uint16_t>(word & ~mask & 0x3FFF) == e.id) {
            out.push_back({&e, static_cast<std::uint16_t>(word & mask)});
        }
    }
    return out;
}

}  // namespace tenlo::cli
