#include "device/catalogue.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "device/config_tables.h"
#include "device/dspic30/dspic30_device.h"
#include "device/midrange/midrange_factory.h"
#include "device/midrange/pic16f84a.h"
#include "device/pic18/pic18_factory.h"

namespace tenlo {

namespace {

using F = DeviceFamily;
namespace C = config_tables;

// clang-format off
constexpr std::array<CatalogueEntry, kCatalogueSize> kEntries{{
    // index, name, family, program, data, config start, config count, device ID, pins, menu,
    // published ID, revision mask, configuration words
    {0, "PIC12F508", F::Mid12F50x, 512, 0, 0x3FF, 1, 0, 0, false, 0, 0x1F, &C::k12F50x},
    {1, "PIC12F509", F::Mid12F50x, 1024, 0, 0x7FF, 1, 0, 0, false, 0, 0x1F, &C::k12F50x},
    {2, "PIC12F629", F::Mid12F629, 1024, 128, 0x2000, 8, 0x0F90, 0, true, 0x0F80, 0x1F, &C::k12F629},
    {3, "PIC12F635", F::Mid16F91x, 1024, 128, 0x2000, 10, 0x0FA0, 0, true, 0x0FA0, 0x1F, &C::k12F635},
    {4, "PIC12F675", F::Mid12F629, 1024, 128, 0x2000, 8, 0x0FC0, 0, true, 0x0FC0, 0x1F, &C::k12F629},
    {5, "PIC12F683", F::Mid16F91x, 2048, 256, 0x2000, 9, 0x0460, 0, true, 0x0460, 0x1F, &C::k12F683},
    {6, "PIC16F54", F::Mid16F54, 512, 0, 0x3FF, 1, 0, 0, false, 0, 0x1F, &C::k16F54},
    {7, "PIC16F73", F::Mid16F7x, 4096, 0, 0x2000, 8, 0x0600, 0, false, 0x0600, 0x1F, &C::k16F7x},
    {8, "PIC16F74", F::Mid16F7x, 4096, 0, 0x2000, 8, 0x0620, 0, false, 0x0620, 0x1F, &C::k16F7x},
    {9, "PIC16F76", F::Mid16F7x, 8192, 0, 0x2000, 8, 0x0640, 0, false, 0x0640, 0x1F, &C::k16F7x},
    {10, "PIC16F77", F::Mid16F7x, 8192, 0, 0x2000, 8, 0x0660, 0, false, 0x0660, 0x1F, &C::k16F7x},
    {11, "PIC16F84", F::Mid16F84, 1024, 64, 0x2000, 8, 0, 0, true, 0, 0x1F, &C::k16F84},
    {12, "PIC16F84A", F::Mid16F84A, 1024, 64, 0x2000, 8, 0x0540, 0, true, 0x0560, 0x1F, &C::k16F84},
    {13, "PIC16F627A", F::Mid16F62xA, 1024, 128, 0x2000, 8, 0x1040, 0, true, 0x1040, 0x1F, &C::k16F62xA},
    {14, "PIC16F628A", F::Mid16F62xA, 2048, 128, 0x2000, 8, 0x1060, 0, true, 0x1060, 0x1F, &C::k16F62xA},
    {15, "PIC16F630", F::Mid12F629, 1024, 128, 0x2000, 8, 0x30C0, 0, true, 0x10C0, 0x1F, &C::k12F629},
    {16, "PIC16F631", F::Mid16F91x, 1024, 128, 0x2000, 9, 0x1420, 0, true, 0x1420, 0x1F, &C::k16F690},
    {17, "PIC16F636", F::Mid16F91x, 2048, 256, 0x2000, 10, 0x10A0, 0, true, 0x10A0, 0x1F, &C::k12F635},
    {18, "PIC16F639", F::Mid16F91x, 2048, 256, 0x2000, 10, 0x10A0, 0, true, 0x10A0, 0x1F, &C::k12F635},
    {19, "PIC16F648A", F::Mid16F62xA, 4096, 256, 0x2000, 8, 0x1100, 0, true, 0x1100, 0x1F, &C::k16F62xA},
    {20, "PIC16F676", F::Mid12F629, 1024, 128, 0x2000, 8, 0x30E0, 0, false, 0x10E0, 0x1F, &C::k12F629},
    {21, "PIC16F677", F::Mid16F91x, 2048, 256, 0x2000, 9, 0x1440, 0, false, 0x1440, 0x1F, &C::k16F690},
    {22, "PIC16F684", F::Mid16F91x, 2048, 256, 0x2000, 9, 0x1080, 0, false, 0x1080, 0x1F, &C::k12F683},
    {23, "PIC16F685", F::Mid16F91x, 4096, 256, 0x2000, 9, 0x04A0, 0, false, 0x04A0, 0x1F, &C::k16F690},
    {24, "PIC16F687", F::Mid16F91x, 2048, 256, 0x2000, 9, 0x1320, 0, false, 0x1320, 0x1F, &C::k16F690},
    {25, "PIC16F688", F::Mid16F91x, 4096, 256, 0x2000, 9, 0x1180, 0, false, 0x1180, 0x1F, &C::k12F683},
    {26, "PIC16F689", F::Mid16F91x, 4096, 256, 0x2000, 9, 0x1340, 0, false, 0x1340, 0x1F, &C::k16F690},
    {27, "PIC16F690", F::Mid16F91x, 4096, 256, 0x2000, 9, 0x1400, 0, false, 0x1400, 0x1F, &C::k16F690},
    {28, "PIC16F716", F::Mid16F716, 2048, 0, 0x2000, 8, 0x1140, 0, false, 0x1140, 0x1F, &C::k16F716},
    {29, "PIC16F818", F::Mid16F81x, 1024, 128, 0x2000, 8, 0x04C0, 0, false, 0x04C0, 0x0F, &C::k16F818},
    {30, "PIC16F819", F::Mid16F81x, 2048, 256, 0x2000, 8, 0x04E0, 0, false, 0x04E0, 0x0F, &C::k16F819},
    {31, "PIC16F873", F::Mid16F84A, 4096, 128, 0x2000, 8, 0x0960, 0, true, 0x0960, 0x1F, &C::k16F87x},
    {32, "PIC16F873A", F::Mid16F87xA, 4096, 128, 0x2000, 8, 0x0E40, 0, true, 0x0E40, 0x0F, &C::k16F87xA},
    {33, "PIC16F874", F::Mid16F84A, 4096, 128, 0x2000, 8, 0x0920, 0, true, 0x0920, 0x1F, &C::k16F87x},
    {34, "PIC16F874A", F::Mid16F87xA, 4096, 128, 0x2000, 8, 0x0E60, 0, true, 0x0E60, 0x0F, &C::k16F87xA},
    {35, "PIC16F876", F::Mid16F84A, 8192, 256, 0x2000, 8, 0x09E0, 0, true, 0x09E0, 0x1F, &C::k16F87x},
    {36, "PIC16F876A", F::Mid16F87xA, 8192, 256, 0x2000, 8, 0x0E00, 0, true, 0x0E00, 0x0F, &C::k16F87xA},
    {37, "PIC16F877", F::Mid16F84A, 8192, 256, 0x2000, 8, 0x09A0, 0, true, 0x09A0, 0x1F, &C::k16F87x},
    {38, "PIC16F877A", F::Mid16F87xA, 8192, 256, 0x2000, 8, 0x0E20, 0, true, 0x0E20, 0x0F, &C::k16F87xA},
    {39, "PIC16F913", F::Mid16F91x, 4096, 256, 0x2000, 10, 0x13E0, 0, false, 0x13E0, 0x0F, &C::k16F913},
    {40, "PIC16F914", F::Mid16F91x, 4096, 256, 0x2000, 10, 0x13C0, 0, false, 0x13C0, 0x0F, &C::k16F913},
    {41, "PIC16F916", F::Mid16F91x, 8192, 256, 0x2000, 10, 0x13A0, 0, false, 0x13A0, 0x0F, &C::k16F913},
    {42, "PIC16F917", F::Mid16F91x, 8192, 256, 0x2000, 10, 0x1380, 0, false, 0x1380, 0x0F, &C::k16F913},
    {43, "PIC16F946", F::Mid16F91x, 8192, 256, 0x2000, 10, 0x1460, 0, false, 0x1460, 0x0F, &C::k16F913},
    {44, "PIC18F242", F::Pic18Group242, 8192, 256, 0x300000, 14, 0, 0, false, 0x0480, 0x1F, &C::k18F242},
    {45, "PIC18F248", F::Pic18Group242, 8192, 256, 0x300000, 14, 0, 0, false, 0x0800, 0x1F, &C::k18F248},
    {46, "PIC18F252", F::Pic18Group242, 16384, 256, 0x300000, 14, 0, 0, false, 0x0400, 0x1F, &C::k18F252},
    {47, "PIC18F258", F::Pic18Group242, 16384, 256, 0x300000, 14, 0, 0, false, 0x0840, 0x1F, &C::k18F258},
    {48, "PIC18F442", F::Pic18Group242, 8192, 256, 0x300000, 14, 0, 0, false, 0x04A0, 0x1F, &C::k18F242},
    {49, "PIC18F448", F::Pic18Group242, 8192, 256, 0x300000, 14, 0, 0, false, 0x0820, 0x1F, &C::k18F248},
    {50, "PIC18F452", F::Pic18Group242, 16384, 256, 0x300000, 14, 0, 0, false, 0x0420, 0x1F, &C::k18F252},
    {51, "PIC18F458", F::Pic18Group242, 16384, 256, 0x300000, 14, 0, 0, false, 0x0860, 0x1F, &C::k18F258},
    {52, "PIC18F1220", F::Pic18Group1220, 2048, 256, 0x300000, 14, 0, 0, false, 0x07E0, 0x1F, &C::k18F1220},
    {53, "PIC18F1320", F::Pic18Group1220, 4096, 256, 0x300000, 14, 0, 0, false, 0x07C0, 0x1F, &C::k18F1320},
    {54, "PIC18F2220", F::Pic18Group1220, 2048, 256, 0x300000, 14, 0, 0, false, 0x0580, 0x1F, &C::k18F2220},
    {55, "PIC18F2320", F::Pic18Group1220, 4096, 256, 0x300000, 14, 0, 0, false, 0x0500, 0x1F, &C::k18F2320},
    {56, "PIC18F2431", F::Pic18Group242, 8192, 256, 0x300000, 14, 0, 0, false, 0x08C0, 0x1F, &C::k18F2431},
    {57, "PIC18F2550", F::Pic18Group2550, 16384, 256, 0x300000, 14, 0, 0, false, 0x1240, 0x1F, &C::k18F2550},
    {58, "PIC18F4220", F::Pic18Group1220, 2048, 256, 0x300000, 14, 0, 0, false, 0x05A0, 0x1F, &C::k18F2220},
    {59, "PIC18F4320", F::Pic18Group1220, 4096, 256, 0x300000, 14, 0, 0, false, 0x0520, 0x1F, &C::k18F2320},
    {60, "PIC18F4550", F::Pic18Group2550, 16384, 256, 0x300000, 14, 0, 0, false, 0x1200, 0x1F, &C::k18F4550},
    {61, "dsPIC30F2010", F::DsPic30Group4012, 4096, 1024, 0xF80000, 7, 0, 28, false, 0x0040, 0, &C::k30F4012},
    {62, "dsPIC30F2011", F::DsPic30Group3012, 4096, 0, 0xF80000, 7, 0, 18, false, 0x0240, 0, &C::k30F3012},
    {63, "dsPIC30F2012", F::DsPic30Group3012, 4096, 0, 0xF80000, 7, 0, 28, false, 0x0241, 0, &C::k30F3012},
    {64, "dsPIC30F3010", F::DsPic30Group3010, 8192, 1024, 0xF80000, 7, 0, 28, false, 0x01C0, 0, &C::k30F3010},
    // 24 KB of flash, as on the 3010 beside it: 8192 instructions.
    {65, "dsPIC30F3011", F::DsPic30Group3010, 8192, 1024, 0xF80000, 7, 0, 40, false, 0x01C1, 0, &C::k30F3010},
    {66, "dsPIC30F3012", F::DsPic30Group3012, 8192, 1024, 0xF80000, 7, 0, 18, false, 0x00C1, 0, &C::k30F3012},
    {67, "dsPIC30F3013", F::DsPic30Group3012, 8192, 1024, 0xF80000, 7, 0, 28, false, 0x00C3, 0, &C::k30F3012},
    {68, "dsPIC30F3014", F::DsPic30Group3012, 8192, 1024, 0xF80000, 7, 0, 40, false, 0x0160, 0, &C::k30F3012},
    {69, "dsPIC30F4011", F::DsPic30Group4012, 16384, 1024, 0xF80000, 7, 0, 40, false, 0x0101, 0, &C::k30F4012},
    {70, "dsPIC30F4012", F::DsPic30Group4012, 16384, 1024, 0xF80000, 7, 0, 28, false, 0x0100, 0, &C::k30F4012},
    {71, "dsPIC30F4013", F::DsPic30Group3012, 16384, 1024, 0xF80000, 7, 0, 40, false, 0x0141, 0, &C::k30F3012},
}};
// clang-format on

// clang-format off
constexpr std::array<const char*, 17> kFamilyLabels{
    "12F50x", "12F629", "16F91x", "16F54", "16F7x", "16F84", "16F84A", "16F62xA", "16F716",
    "16F81x", "16F87xA", "PIC18 242 group", "PIC18 1220 group", "PIC18 2550 group",
    "dsPIC30F 3012 group", "dsPIC30F 3010 group", "dsPIC30F 4012 group",
};
// clang-format on
static_assert(kFamilyLabels.size() == static_cast<std::size_t>(DeviceFamily::DsPic30Group4012) + 1);

constexpr std::array<int, 21> kMenu{2,  3,  4,  5,  11, 12, 13, 14, 15, 16, 17,
                                    18, 19, 31, 32, 33, 34, 35, 36, 37, 38};

// What a chip's row changes in the mid-range constants; unset fields keep the family's value.
struct MidRangeOverride {
    std::optional<std::uint8_t> programWait{};
    std::optional<std::uint8_t> eraseWait{};
    std::optional<std::uint8_t> beginProgrammingOnly{};
    std::optional<std::uint8_t> endProgramming{};
    std::optional<std::uint8_t> chipErase{};
    std::optional<std::uint16_t> protectOffMask{};
    std::optional<std::uint32_t> rowSize{};
    std::optional<std::uint8_t> dataWait{};
    std::optional<std::uint8_t> longEraseWait{};
    std::optional<std::uint8_t> rowEraseWait{};
    std::optional<std::uint32_t> calibrationAddress{};
    std::optional<std::uint32_t> backupCalibrationOffset{};
    std::optional<std::uint16_t> calibrationProtectOffMask{};
    std::optional<std::uint16_t> bandGapMask{};
    std::optional<std::uint16_t> configKeepMask{};
    std::optional<std::uint32_t> calibrationWordAddress{};
    std::optional<std::uint32_t> configWordIndex{};
    std::optional<bool> vppFirst{};
};

template <typename T>
void Apply(T& field, const std::optional<T>& value) {
    if (value) {
        field = *value;
    }
}

void Apply(MidRangeParams& p, const MidRangeOverride& o) {
    Apply(p.programWait, o.programWait);
    Apply(p.eraseWait, o.eraseWait);
    Apply(p.beginProgrammingOnly, o.beginProgrammingOnly);
    Apply(p.endProgramming, o.endProgramming);
    Apply(p.chipErase, o.chipErase);
    Apply(p.protectOffMask, o.protectOffMask);
    Apply(p.rowSize, o.rowSize);
    Apply(p.dataWait, o.dataWait);
    Apply(p.longEraseWait, o.longEraseWait);
    Apply(p.rowEraseWait, o.rowEraseWait);
    Apply(p.calibrationAddress, o.calibrationAddress);
    Apply(p.backupCalibrationOffset, o.backupCalibrationOffset);
    Apply(p.calibrationProtectOffMask, o.calibrationProtectOffMask);
    Apply(p.bandGapMask, o.bandGapMask);
    Apply(p.configKeepMask, o.configKeepMask);
    Apply(p.calibrationWordAddress, o.calibrationWordAddress);
    Apply(p.configWordIndex, o.configWordIndex);
    Apply(p.vppFirst, o.vppFirst);
}

// The constant rows, one per group of chips that share them. The 12-bit parts write their
// configuration word without a protect-off mask. A data wait is the data EEPROM's own write
// time (erase and write of one byte), longer than a flash row's on the parts that have one.
const MidRangeOverride k12F508{.programWait = 20,
                               .eraseWait = 100,
                               .beginProgrammingOnly = 24,
                               .endProgramming = 0x0E,
                               .chipErase = 0x1F,
                               .protectOffMask = 0,
                               .calibrationAddress = 0x1FF,
                               .backupCalibrationOffset = 516};
const MidRangeOverride k12F509{.programWait = 20,
                               .eraseWait = 100,
                               .beginProgrammingOnly = 24,
                               .endProgramming = 0x0E,
                               .chipErase = 0x1F,
                               .protectOffMask = 0,
                               .calibrationAddress = 0x3FF,
                               .backupCalibrationOffset = 1028};
const MidRangeOverride k16F54{.programWait = 20,
                              .eraseWait = 100,
                              .beginProgrammingOnly = 24,
                              .endProgramming = 0x0E,
                              .chipErase = 0x1F,
                              .protectOffMask = 0};
const MidRangeOverride k12F629{.programWait = 20,
                               .eraseWait = 80,
                               .beginProgrammingOnly = 24,
                               .endProgramming = 0x0A,
                               .chipErase = 0x1F,
                               .protectOffMask = 0x3FF0,
                               .calibrationProtectOffMask = 0x0180,
                               .bandGapMask = 0x3000,
                               .configKeepMask = 0x31FF,
                               .calibrationWordAddress = 0x3FF,
                               .configWordIndex = 7,
                               .vppFirst = true};
const MidRangeOverride k16F6xxRow4{.programWait = 30,
                                   .eraseWait = 60,
                                   .beginProgrammingOnly = 24,
                                   .endProgramming = 0x0A,
                                   .chipErase = 0x1F,
                                   .protectOffMask = 0x30C0,
                                   .rowSize = 4,
                                   .dataWait = 60};
const MidRangeOverride k16F636Row4{.programWait = 30,
                                   .eraseWait = 60,
                                   .beginProgrammingOnly = 24,
                                   .endProgramming = 0x0A,
                                   .chipErase = 0x1F,
                                   .protectOffMask = 0x20C0,
                                   .rowSize = 4,
                                   .dataWait = 60};
const MidRangeOverride k16F913{.programWait = 30,
                               .eraseWait = 60,
                               .beginProgrammingOnly = 24,
                               .endProgramming = 0x0A,
                               .chipErase = 0x1F,
                               .protectOffMask = 0x20C0,
                               .rowSize = 4,
                               .dataWait = 60};
const MidRangeOverride k16F916{.programWait = 30,
                               .eraseWait = 60,
                               .beginProgrammingOnly = 24,
                               .endProgramming = 0x0A,
                               .chipErase = 0x1F,
                               .protectOffMask = 0x20C0,
                               .rowSize = 8,
                               .dataWait = 60};
const MidRangeOverride k16F7x{.programWait = 10,
                              .eraseWait = 100,
                              .beginProgrammingOnly = 24,
                              .endProgramming = 0x0E,
                              .chipErase = 0x09,
                              .protectOffMask = 0x3FB0,
                              .longEraseWait = 30};
const MidRangeOverride k16F84{.programWait = 100,
                              .eraseWait = 100,
                              .beginProgrammingOnly = 24,
                              .endProgramming = 0x17,
                              .chipErase = 0x1F,
                              .protectOffMask = 0x3FF0};
const MidRangeOverride k16F62xA{.programWait = 25,
                                .eraseWait = 60,
                                .beginProgrammingOnly = 8,
                                .endProgramming = 0x17,
                                .chipErase = 0x1F,
                                .protectOffMask = 0x3F00,
                                .dataWait = 60};
const MidRangeOverride k16F716{.programWait = 20,
                               .eraseWait = 60,
                               .beginProgrammingOnly = 24,
                               .endProgramming = 0x0E,
                               .chipErase = 0x09,
                               .protectOffMask = 0x3F30};
const MidRangeOverride k16F81x{.programWait = 10,
                               .eraseWait = 80,
                               .beginProgrammingOnly = 24,
                               .endProgramming = 0x17,
                               .chipErase = 0x1F,
                               .protectOffMask = 0x2100,
                               .rowSize = 4,
                               .dataWait = 80,
                               .rowEraseWait = 10,
                               .vppFirst = true};
const MidRangeOverride k16F87x{.programWait = 20,
                               .eraseWait = 100,
                               .beginProgrammingOnly = 24,
                               .endProgramming = 0x17,
                               .chipErase = 0x1F,
                               .protectOffMask = 0x3130};
const MidRangeOverride k16F87xA{.programWait = 80,
                                .eraseWait = 80,
                                .beginProgrammingOnly = 24,
                                .endProgramming = 0x17,
                                .chipErase = 0x1F,
                                .protectOffMask = 0x3130,
                                .rowSize = 8,
                                .dataWait = 80,
                                .vppFirst = true};

const MidRangeOverride* ConstantsOf(int index) {
    switch (index) {
        case 0:
            return &k12F508;
        case 1:
            return &k12F509;
        case 2:
        case 4:
        case 15:
        case 20:
            return &k12F629;
        case 3:
        case 17:
        case 18:
            return &k16F636Row4;
        case 5:
        case 16:
        case 21:
        case 22:
        case 23:
        case 24:
        case 25:
        case 26:
        case 27:
            return &k16F6xxRow4;
        case 6:
            return &k16F54;
        case 7:
        case 8:
        case 9:
        case 10:
            return &k16F7x;
        case 11:
        case 12:
            return &k16F84;
        case 13:
        case 14:
        case 19:
            return &k16F62xA;
        case 28:
            return &k16F716;
        case 29:
        case 30:
            return &k16F81x;
        case 31:
        case 33:
        case 35:
        case 37:
            return &k16F87x;
        case 32:
        case 34:
        case 36:
        case 38:
            return &k16F87xA;
        case 39:
        case 40:
            return &k16F913;
        case 41:
        case 42:
        case 43:
            return &k16F916;
        default:
            return nullptr;
    }
}

DeviceLayout MidRangeLayout(const CatalogueEntry& e) {
    DeviceLayout layout = CPic16F84A::DefaultLayout();
    if (IsBaseline(e.family)) {
        layout.programWidth = 12;
        layout.configWidth = 12;
        layout.programGrid = {3, 12, 0, 4, 1, 1, 40, 40, 100, 8};
        layout.configGrid = {3, 12, e.configStart, 4, 1, 1, 40, 40, 100, 8};
    }
    return layout;
}

DeviceLayout Pic18Layout() {
    DeviceLayout layout;
    layout.programWidth = 16;
    layout.configWidth = 8;
    layout.dataWidth = 8;
    layout.programGrid = {4, 16, 0, 6, 1, 0, 50, 50, 0, 8};
    layout.configGrid = {2, 8, 0x300000, 6, 1, 1, 50, 30, 100, 8};
    layout.dataGrid = {2, 8, 0, 6, 1, 1, 50, 30, 100, 8};
    return layout;
}

DeviceLayout DsPic30Layout(const CatalogueEntry& e) {
    DeviceLayout layout = CDsPic30Device::DefaultLayout();
    layout.dataSize = e.dataSize;
    CDsPic30Device::DeriveLayout(layout);
    return layout;
}

char Lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

}  // namespace

bool IsMidRange(DeviceFamily family) {
    return family <= DeviceFamily::Mid16F87xA;
}

bool IsPic18(DeviceFamily family) {
    return family >= DeviceFamily::Pic18Group242 && family <= DeviceFamily::Pic18Group2550;
}

bool IsDsPic30(DeviceFamily family) {
    return family >= DeviceFamily::DsPic30Group3012;
}

bool IsBaseline(DeviceFamily family) {
    return family == DeviceFamily::Mid12F50x || family == DeviceFamily::Mid16F54;
}

const char* FamilyLabel(DeviceFamily family) {
    return kFamilyLabels[static_cast<std::size_t>(family)];
}

std::span<const CatalogueEntry> CatalogueEntries() {
    return kEntries;
}

const CatalogueEntry* CatalogueEntryAt(int index) {
    if (index < 0 || index >= kCatalogueSize) {
        return nullptr;
    }
    return &kEntries[static_cast<std::size_t>(index)];
}

std::span<const int> DeviceMenuIndices() {
    return kMenu;
}

int FindCatalogueIndex(std::string_view name) {
    for (const auto& entry : kEntries) {
        if (std::ranges::equal(entry.name, name,
                               [](char a, char b) { return Lower(a) == Lower(b); })) {
            return entry.index;
        }
    }
    return -1;
}

std::optional<DeviceLayout> CatalogueLayout(int index) {
    const CatalogueEntry* e = CatalogueEntryAt(index);
    if (e == nullptr) {
        return std::nullopt;
    }
    DeviceLayout layout = IsMidRange(e->family) ? MidRangeLayout(*e)
                          : IsPic18(e->family)  ? Pic18Layout()
                                                : DsPic30Layout(*e);
    layout.name = std::string(e->name);
    layout.deviceId = e->deviceId;
    layout.pinCount = e->pinCount;
    layout.programSize = e->programSize;
    layout.dataSize = e->dataSize;
    layout.configStart = e->configStart;
    layout.configCount = e->configCount;
    return layout;
}

std::optional<MidRangeParams> CatalogueMidRangeParams(int index) {
    const CatalogueEntry* e = CatalogueEntryAt(index);
    if (e == nullptr || !IsMidRange(e->family)) {
        return std::nullopt;
    }
    MidRangeParams params = CPic16F84A::DefaultParams();
    if (const MidRangeOverride* row = ConstantsOf(index)) {
        Apply(params, *row);
    }
    // Tools may clear the bits the chip lacks (mikroC does); the chip reads them back fixed, so
    // they say nothing about what was programmed.
    const ConfigWord* word =
        e->config->WordAt(IsBaseline(e->family) ? 0 : CMidRangeDevice::kConfigWordCell);
    params.configWordBits = static_cast<std::uint16_t>(word != nullptr ? word->Implemented() : 0);
    params.revisionMask = e->revisionMask;
    return params;
}

std::optional<Pic18Params> CataloguePic18Params(int index) {
    const CatalogueEntry* e = CatalogueEntryAt(index);
    if (e == nullptr || !IsPic18(e->family)) {
        return std::nullopt;
    }
    return Pic18ParamsFor(*e);
}

std::vector<DeviceIdMatch> IdentifyDeviceId(DeviceFamily family, std::uint16_t word) {
    const auto kind = [](DeviceFamily f) { return IsMidRange(f) ? 0 : IsPic18(f) ? 1 : 2; };
    // A mid-range ID word is the 14-bit cell.
    const auto id =
        IsMidRange(family) ? static_cast<std::uint16_t>(word & CMidRangeDevice::kWordMask) : word;
    std::vector<DeviceIdMatch> matches;
    for (const CatalogueEntry& e : kEntries) {
        if (kind(e.family) == kind(family) && e.publishedId != 0 &&
            (id & ~e.revisionMask) == e.publishedId) {
            matches.push_back({&e, static_cast<std::uint16_t>(id & e.revisionMask)});
        }
    }
    return matches;
}

std::unique_ptr<CDevice> CreateDevice(int index, CProgrammerLink& link, DeviceOptions* options,
                                      IProgressDisplay* progress) {
    const CatalogueEntry* e = CatalogueEntryAt(index);
    if (e == nullptr) {
        return nullptr;
    }
    if (IsMidRange(e->family)) {
        return CreateMidRangeDevice(*e, *CatalogueLayout(index), *CatalogueMidRangeParams(index),
                                    link, options, progress);
    }
    if (IsPic18(e->family)) {
        return CreatePic18Device(*e, *CatalogueLayout(index), Pic18ParamsFor(*e), link, options,
                                 progress);
    }
    if (IsDsPic30(e->family)) {
        return std::make_unique<CDsPic30Device>(link, options, progress, *CatalogueLayout(index),
                                                e->family, e->config);
    }
    return nullptr;
}

}  // namespace tenlo
