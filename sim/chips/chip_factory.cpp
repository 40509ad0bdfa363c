#include <algorithm>
#include <array>
#include <cctype>
#include <memory>
#include <string>
#include <string_view>

#include "sim/blank_chip.h"
#include "sim/chip_model.h"
#include "sim/chips/baseline_chip.h"
#include "sim/chips/dspic30f_chip.h"
#include "sim/chips/midrange_chip.h"
#include "sim/chips/pic18_chip.h"

namespace tenlo::sim {

namespace {

using F = MidrangeFamily;
constexpr CodeProtectScheme kAny = CodeProtectScheme::AnyBit;
constexpr CodeProtectScheme kPair = CodeProtectScheme::Pair87x;
constexpr std::uint16_t kAll = 0x3FFF;

// One row per chip: the bits come from each part's data sheet (configuration word register)
// and the device IDs from the programming specifications.
// clang-format off
constexpr std::array kMidrange = {
    //            name          family     prog  data  id?    id      latch cp     cpMask  cpdMask cfgBits ones   cal osccal runOn
    MidrangeParams{"PIC12F629",  F::F629,  1024, 128, true,  0x0F80, 1, kAny,  0x0080, 0x0100, 0x31FF, false, 0, true,  false},
    MidrangeParams{"PIC12F635",  F::F683,  1024, 128, true,  0x0FA0, 4, kAny,  0x0040, 0x0080, 0x1FFF, true,  2, false, false},
    MidrangeParams{"PIC12F675",  F::F629,  1024, 128, true,  0x0FC0, 1, kAny,  0x0080, 0x0100, 0x31FF, false, 0, true,  false},
    MidrangeParams{"PIC12F683",  F::F683,  2048, 256, true,  0x0460, 4, kAny,  0x0040, 0x0080, 0x0FFF, true,  0, false, false},
    MidrangeParams{"PIC16F73",   F::F7x,   4096,   0, true,  0x0600, 2, kAny,  0x0010, 0,      0x005F, true,  0, false, false},
    MidrangeParams{"PIC16F74",   F::F7x,   4096,   0, true,  0x0620, 2, kAny,  0x0010, 0,      0x005F, true,  0, false, false},
    MidrangeParams{"PIC16F76",   F::F7x,   8192,   0, true,  0x0640, 2, kAny,  0x0010, 0,      0x005F, true,  0, false, false},
    MidrangeParams{"PIC16F77",   F::F7x,   8192,   0, true,  0x0660, 2, kAny,  0x0010, 0,      0x005F, true,  0, false, false},
    MidrangeParams{"PIC16F84",   F::F84A,  1024,  64, false, 0,      1, kAny,  0x3FF0, 0x3FF0, kAll,   false, 0, false, false},
    MidrangeParams{"PIC16F84A",  F::F84A,  1024,  64, true,  0x0560, 1, kAny,  0x3FF0, 0x3FF0, kAll,   false, 0, false, false},
    MidrangeParams{"PIC16F627A", F::F62xA, 1024, 128, true,  0x1040, 1, kAny,  0x2000, 0x0100, 0x21FF, true,  0, false, false},
    MidrangeParams{"PIC16F628A", F::F62xA, 2048, 128, true,  0x1060, 1, kAny,  0x2000, 0x0100, 0x21FF, true,  0, false, false},
    MidrangeParams{"PIC16F630",  F::F629,  1024, 128, true,  0x10C0, 1, kAny,  0x0080, 0x0100, 0x31FF, false, 0, true,  false},
    MidrangeParams{"PIC16F631",  F::F683,  1024, 128, true,  0x1420, 4, kAny,  0x0040, 0x0080, 0x0FFF, true,  1, false, false},
    MidrangeParams{"PIC16F636",  F::F683,  2048, 256, true,  0x10A0, 4, kAny,  0x0040, 0x0080, 0x1FFF, true,  2, false, false},
    MidrangeParams{"PIC16F639",  F::F683,  2048, 256, true,  0x10A0, 4, kAny,  0x0040, 0x0080, 0x1FFF, true,  2, false, false},
    MidrangeParams{"PIC16F648A", F::F62xA, 4096, 256, true,  0x1100, 1, kAny,  0x2000, 0x0100, 0x21FF, true,  0, false, false},
    MidrangeParams{"PIC16F676",  F::F629,  1024, 128, true,  0x10E0, 1, kAny,  0x0080, 0x0100, 0x31FF, false, 0, true,  false},
    MidrangeParams{"PIC16F677",  F::F683,  2048, 256, true,  0x1440, 4, kAny,  0x0040, 0x0080, 0x0FFF, true,  1, false, false},
    MidrangeParams{"PIC16F684",  F::F683,  2048, 256, true,  0x1080, 4, kAny,  0x0040, 0x0080, 0x0FFF, true,  0, false, false},
    MidrangeParams{"PIC16F685",  F::F683,  4096, 256, true,  0x04A0, 4, kAny,  0x0040, 0x0080, 0x0FFF, true,  1, false, false},
    MidrangeParams{"PIC16F687",  F::F683,  2048, 256, true,  0x1320, 4, kAny,  0x0040, 0x0080, 0x0FFF, true,  1, false, false},
    MidrangeParams{"PIC16F688",  F::F683,  4096, 256, true,  0x1180, 4, kAny,  0x0040, 0x0080, 0x0FFF, true,  0, false, false},
    MidrangeParams{"PIC16F689",  F::F683,  4096, 256, true,  0x1340, 4, kAny,  0x0040, 0x0080, 0x0FFF, true,  1, false, false},
    MidrangeParams{"PIC16F690",  F::F683,  4096, 256, true,  0x1400, 4, kAny,  0x0040, 0x0080, 0x0FFF, true,  1, false, false},
    MidrangeParams{"PIC16F716",  F::F716,  2048,   0, true,  0x1140, 4, kAny,  0x0010, 0,      0x00DF, true,  0, false, false},
    MidrangeParams{"PIC16F818",  F::F81x,  1024, 128, true,  0x04C0, 4, kAny,  0x2000, 0x0100, kAll,   false, 0, false, true},
    MidrangeParams{"PIC16F819",  F::F81x,  2048, 256, true,  0x04E0, 4, kAny,  0x2000, 0x0100, kAll,   false, 0, false, true},
    MidrangeParams{"PIC16F873",  F::F87x,  4096, 128, true,  0x0960, 1, kPair, 0,      0x0100, 0x3BFF, true,  0, false, false},
    MidrangeParams{"PIC16F873A", F::F87xA, 4096, 128, true,  0x0E40, 8, kAny,  0x2000, 0x0100, 0x2FCF, true,  0, false, false},
    MidrangeParams{"PIC16F874",  F::F87x,  4096, 128, true,  0x0920, 1, kPair, 0,      0x0100, 0x3BFF, true,  0, false, false},
    MidrangeParams{"PIC16F874A", F::F87xA, 4096, 128, true,  0x0E60, 8, kAny,  0x2000, 0x0100, 0x2FCF, true,  0, false, false},
    MidrangeParams{"PIC16F876",  F::F87x,  8192, 256, true,  0x09E0, 1, kPair, 0,      0x0100, 0x3BFF, true,  0, false, false},
    MidrangeParams{"PIC16F876A", F::F87xA, 8192, 256, true,  0x0E00, 8, kAny,  0x2000, 0x0100, 0x2FCF, true,  0, false, false},
    MidrangeParams{"PIC16F877",  F::F87x,  8192, 256, true,  0x09A0, 1, kPair, 0,      0x0100, 0x3BFF, true,  0, false, false},
    MidrangeParams{"PIC16F877A", F::F87xA, 8192, 256, true,  0x0E20, 8, kAny,  0x2000, 0x0100, 0x2FCF, true,  0, false, false},
    MidrangeParams{"PIC16F913",  F::F683,  4096, 256, true,  0x13E0, 4, kAny,  0x0040, 0x0080, 0x1FFF, true,  2, false, false},
    MidrangeParams{"PIC16F914",  F::F683,  4096, 256, true,  0x13C0, 4, kAny,  0x0040, 0x0080, 0x1FFF, true,  2, false, false},
    MidrangeParams{"PIC16F916",  F::F683,  8192, 256, true,  0x13A0, 8, kAny,  0x0040, 0x0080, 0x1FFF, true,  2, false, false},
    MidrangeParams{"PIC16F917",  F::F683,  8192, 256, true,  0x1380, 8, kAny,  0x0040, 0x0080, 0x1FFF, true,  2, false, false},
    MidrangeParams{"PIC16F946",  F::F683,  8192, 256, true,  0x1460, 8, kAny,  0x0040, 0x0080, 0x1FFF, true,  2, false, false},
};

constexpr std::array kBaseline = {
    //            name         prog  config  osccal cpMask  cfgBits
    BaselineParams{"PIC12F508", 512,  0x3FF,  true,  0x0008, 0x001F},
    BaselineParams{"PIC12F509", 1024, 0x7FF,  true,  0x0008, 0x001F},
    BaselineParams{"PIC16F54",  512,  0x3FF,  false, 0x0008, 0x000F},
};

// Program bytes from the data sheets, device IDs (DEVID2:DEVID1, revision clear) from the
// programming specifications.
using G = Pic18Group;
constexpr std::array kPic18 = {
    //               name          group     bytes    id
    Pic18ChipParams{"PIC18F242",  G::Fxx2,  0x4000, 0x0480},
    Pic18ChipParams{"PIC18F248",  G::Fxx2,  0x4000, 0x0800},
    Pic18ChipParams{"PIC18F252",  G::Fxx2,  0x8000, 0x0400},
    Pic18ChipParams{"PIC18F258",  G::Fxx2,  0x8000, 0x0840},
    Pic18ChipParams{"PIC18F442",  G::Fxx2,  0x4000, 0x04A0},
    Pic18ChipParams{"PIC18F448",  G::Fxx2,  0x4000, 0x0820},
    Pic18ChipParams{"PIC18F452",  G::Fxx2,  0x8000, 0x0420},
    Pic18ChipParams{"PIC18F458",  G::Fxx2,  0x8000, 0x0860},
    Pic18ChipParams{"PIC18F1220", G::F1220, 0x1000, 0x07E0},
    Pic18ChipParams{"PIC18F1320", G::F1220, 0x2000, 0x07C0},
    Pic18ChipParams{"PIC18F2220", G::F1220, 0x1000, 0x0580},
    Pic18ChipParams{"PIC18F2320", G::F1220, 0x2000, 0x0500},
    Pic18ChipParams{"PIC18F4220", G::F1220, 0x1000, 0x05A0},
    Pic18ChipParams{"PIC18F4320", G::F1220, 0x2000, 0x0520},
    Pic18ChipParams{"PIC18F2431", G::F2431, 0x4000, 0x08C0},
    Pic18ChipParams{"PIC18F2550", G::F2550, 0x8000, 0x1240},
    Pic18ChipParams{"PIC18F4550", G::F2550, 0x8000, 0x1200},
};
// clang-format on

bool SameName(std::string_view canonical, std::string_view wanted) {
    return canonical.size() == wanted.size() &&
           std::equal(canonical.begin(), canonical.end(), wanted.begin(), [](char a, char b) {
               return std::toupper(static_cast<unsigned char>(a)) ==
                      std::toupper(static_cast<unsigned char>(b));
           });
}

}  // namespace

std::unique_ptr<IChipModel> CreateChip(std::string_view name) {
    if (SameName("blank14", name)) {
        return std::make_unique<BlankMidrangeChip>();
    }
    std::string wanted(name);
    if (wanted.size() > 3 && SameName("PIC", std::string_view(wanted).substr(0, 3))) {
        wanted.erase(0, 3);
    }
    for (const MidrangeParams& p : kMidrange) {
        if (SameName(p.name.substr(3), wanted)) {
            return std::make_unique<MidrangeChip>(p);
        }
    }
    for (const BaselineParams& p : kBaseline) {
        if (SameName(p.name.substr(3), wanted)) {
            return std::make_unique<BaselineChip>(p);
        }
    }
    for (const Pic18ChipParams& p : kPic18) {
        if (SameName(p.name.substr(3), wanted)) {
            return std::make_unique<Pic18Chip>(p);
        }
    }
    return CreateDsPic30FChip(name);
}

}  // namespace tenlo::sim
