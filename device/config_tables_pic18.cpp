// The configuration bytes of the PIC18 parts (0x300000 to 0x30000D), from the configuration
// register tables of each data sheet, with names as the assemblers spell them.
#include <array>

#include "device/config_tables.h"

namespace tenlo::config_tables {

namespace {

using R = FieldRole;
using S = ConfigSetting;
using F = ConfigField;

constexpr std::string_view kPwrt = "Power-up timer (ON: a start-up delay)";
constexpr std::string_view kBor = "Brown-out reset enable";
constexpr std::string_view kBorv = "Brown-out reset voltage";
constexpr std::string_view kWdt = "Watchdog timer enable (OFF: SWDTEN turns it on)";
constexpr std::string_view kWdtps = "Watchdog timer postscaler";
constexpr std::string_view kStvr = "Reset on stack overflow or underflow";
constexpr std::string_view kLvp = "Low-voltage programming on the PGM pin";
constexpr std::string_view kDebug = "Background debugger (ON: RB6 and RB7 are the debugger's)";
constexpr std::string_view kMclre = "MCLR pin function (OFF: the pin is RE3 or RA5, an input)";
constexpr std::string_view kIeso = "Internal/external oscillator switch-over at start-up";
constexpr std::string_view kFcmen = "Fail-safe clock monitor";
constexpr std::string_view kCcp2mx = "The pin of CCP2 (ON: RC1; OFF: RB3)";

// CONFIG1L, 3L and 4H of the parts that have no such byte.
constexpr std::array<F, 0> kNone{};

// ---- CONFIG5L to CONFIG7H: code, write and table read protection by block ----

constexpr std::array<F, 4> kCpBlocks{{
    {"CP0", 0x01, kOnOff, "Code protection of block 0", R::CodeProtection},
    {"CP1", 0x02, kOnOff, "Code protection of block 1", R::CodeProtection},
    {"CP2", 0x04, kOnOff, "Code protection of block 2", R::CodeProtection},
    {"CP3", 0x08, kOnOff, "Code protection of block 3", R::CodeProtection},
}};
constexpr std::array<F, 2> kCpBootData{{
    {"CPB", 0x40, kOnOff, "Code protection of the boot block", R::CodeProtection},
    {"CPD", 0x80, kOnOff, "Data EEPROM code protection", R::DataProtection},
}};
constexpr std::array<F, 4> kWrtBlocks{{
    {"WRT0", 0x01, kOnOff, "Write protection of block 0"},
    {"WRT1", 0x02, kOnOff, "Write protection of block 1"},
    {"WRT2", 0x04, kOnOff, "Write protection of block 2"},
    {"WRT3", 0x08, kOnOff, "Write protection of block 3"},
}};
constexpr std::array<F, 3> kWrtConfigBootData{{
    {"WRTC", 0x20, kOnOff, "Write protection of the configuration registers",
     R::ConfigWriteProtection},
    {"WRTB", 0x40, kOnOff, "Write protection of the boot block"},
    {"WRTD", 0x80, kOnOff, "Write protection of the data EEPROM"},
}};
constexpr std::array<F, 4> kEbtrBlocks{{
    {"EBTR0", 0x01, kOnOff, "Table reads of block 0 from other blocks prevented"},
    {"EBTR1", 0x02, kOnOff, "Table reads of block 1 from other blocks prevented"},
    {"EBTR2", 0x04, kOnOff, "Table reads of block 2 from other blocks prevented"},
    {"EBTR3", 0x08, kOnOff, "Table reads of block 3 from other blocks prevented"},
}};
constexpr std::array<F, 1> kEbtrBoot{{
    {"EBTRB", 0x40, kOnOff, "Table reads of the boot block from other blocks prevented"},
}};

// The protection bytes of a part with blocks protection blocks (2 or 4).
constexpr std::array<ConfigWord, 6> Protection(std::size_t blocks) {
    const auto first = [blocks](const std::array<F, 4>& all) {
        return std::span<const F>(all).first(blocks);
    };
    return {{
        {8, "CONFIG5L", first(kCpBlocks)},
        {9, "CONFIG5H", kCpBootData},
        {10, "CONFIG6L", first(kWrtBlocks)},
        {11, "CONFIG6H", kWrtConfigBootData},
        {12, "CONFIG7L", first(kEbtrBlocks)},
        {13, "CONFIG7H", kEbtrBoot},
    }};
}

// The first eight bytes, then the protection bytes.
constexpr std::array<ConfigWord, 14> Words(std::span<const F> c1l, std::span<const F> c1h,
                                           std::span<const F> c2l, std::span<const F> c2h,
                                           std::span<const F> c3l, std::span<const F> c3h,
                                           std::span<const F> c4l, std::size_t blocks) {
    const std::array<ConfigWord, 6> protection = Protection(blocks);
    std::array<ConfigWord, 14> words{{
        {0, "CONFIG1L", c1l},
        {1, "CONFIG1H", c1h},
        {2, "CONFIG2L", c2l},
        {3, "CONFIG2H", c2h},
        {4, "CONFIG3L", c3l},
        {5, "CONFIG3H", c3h},
        {6, "CONFIG4L", c4l},
        {7, "CONFIG4H", kNone},
    }};
    for (std::size_t i = 0; i < protection.size(); ++i) {
        words[8 + i] = protection[i];
    }
    return words;
}

// ---- 18F242 group: 242, 252, 442, 452 and the CAN parts 248, 258, 448, 458 ----

constexpr S kOsc242[] = {{"LP", 0}, {"XT", 1},   {"HS", 2},    {"RC", 3},
                         {"EC", 4}, {"ECIO", 5}, {"HSPLL", 6}, {"RCIO", 7}};
constexpr F k242C1H[] = {
    {"OSC", 0x07, kOsc242, "Oscillator selection (IO: OSC2 is RA6)", R::Oscillator},
    {"OSCS", 0x20, kOnOff, "Oscillator switch to the Timer1 oscillator allowed"},
};
constexpr S kBorv20[] = {{"45", 0}, {"42", 1}, {"27", 2}, {"20", 3}};
constexpr S kBorv25[] = {{"45", 0}, {"42", 1}, {"27", 2}, {"25", 3}};
// CONFIG2L and CONFIG4L before the USB parts, under the names each part's assembler gives.
constexpr std::array<F, 3> Reset2L(std::string_view pwrt, std::string_view bor,
                                   std::span<const S> borv) {
    return {{
        {pwrt, 0x01, kOnOff, kPwrt},
        {bor, 0x02, kOffOn, kBor},
        {"BORV", 0x0C, borv, kBorv},
    }};
}
constexpr std::array<F, 3> Debug4L(std::string_view stvr) {
    return {{
        {stvr, 0x01, kOffOn, kStvr},
        {"LVP", 0x04, kOffOn, kLvp, R::LowVoltageProgramming},
        {"DEBUG", 0x80, kOnOff, kDebug},
    }};
}

constexpr auto k242C2L = Reset2L("PWRT", "BOR", kBorv20);
constexpr auto k248C2L = Reset2L("PWRT", "BOR", kBorv25);
constexpr S kWdtps128[] = {{"1", 0},  {"2", 1},  {"4", 2},  {"8", 3},
                           {"16", 4}, {"32", 5}, {"64", 6}, {"128", 7}};
constexpr F k242C2H[] = {
    {"WDT", 0x01, kOffOn, kWdt, R::Watchdog},
    {"WDTPS", 0x0E, kWdtps128, kWdtps},
};
constexpr F k242C3H[] = {{"CCP2MX", 0x01, kOffOn, kCcp2mx}};
constexpr auto k242C4L = Debug4L("STVR");

constexpr auto k242Words = Words(kNone, k242C1H, k242C2L, k242C2H, kNone, k242C3H, k242C4L, 2);
constexpr auto k252Words = Words(kNone, k242C1H, k242C2L, k242C2H, kNone, k242C3H, k242C4L, 4);
constexpr auto k248Words = Words(kNone, k242C1H, k248C2L, k242C2H, kNone, kNone, k242C4L, 2);
constexpr auto k258Words = Words(kNone, k242C1H, k248C2L, k242C2H, kNone, kNone, k242C4L, 4);

// ---- 18F1220 group: 1220, 1320, 2220, 2320, 4220, 4320 ----

constexpr S kOscEcio[] = {{"LP", 0},           {"XT", 1},    {"HS", 2},   {"EC", 4},
                          {"ECIO", 5},         {"HSPLL", 6}, {"RCIO", 7}, {"INTIO2", 8, true},
                          {"INTIO1", 9, true}, {"RC", 0xC}};
constexpr S kOscEciop[] = {{"LP", 0},           {"XT", 1},    {"HS", 2},   {"EC", 4},
                           {"ECIOP", 5},        {"HSPLL", 6}, {"RCIO", 7}, {"INTIO2", 8, true},
                           {"INTIO1", 9, true}, {"RC", 0xC}};
constexpr std::string_view kOsc1220 =
    "Oscillator selection (IO: OSC2 is RA6; INTIO2: both oscillator pins are I/O)";
constexpr F k1220C1H[] = {
    {"OSC", 0x0F, kOscEcio, kOsc1220, R::Oscillator},
    {"FSCM", 0x40, kOffOn, kFcmen},
    {"IESO", 0x80, kOffOn, kIeso},
};
constexpr F k1320C1H[] = {
    {"OSC", 0x0F, kOscEciop, kOsc1220, R::Oscillator},
    {"FSCM", 0x40, kOffOn, kFcmen},
    {"IESO", 0x80, kOffOn, kIeso},
};
// The 18-pin parts have no 2.0 V brown-out level; BORV 11 is reserved there.
constexpr S kBorv1220[] = {{"45", 0}, {"42", 1}, {"27", 2}};
constexpr auto k1220C2L = Reset2L("PWRT", "BOR", kBorv1220);
constexpr S kWdtps32K[] = {{"1", 0},   {"2", 1},   {"4", 2},    {"8", 3},   {"16", 4},  {"32", 5},
                           {"64", 6},  {"128", 7}, {"256", 8},  {"512", 9}, {"1K", 10}, {"2K", 11},
                           {"4K", 12}, {"8K", 13}, {"16K", 14}, {"32K", 15}};
constexpr F k1220C2H[] = {
    {"WDT", 0x01, kOffOn, kWdt, R::Watchdog},
    {"WDTPS", 0x1E, kWdtps32K, kWdtps},
};
constexpr F k1220C3H[] = {{"MCLRE", 0x80, kOffOn, kMclre, R::MasterClear}};
constexpr S kPbad[] = {{"DIG", 0}, {"ANA", 1}};
constexpr F k2220C3H[] = {
    {"CCP2MX", 0x01, kOffOn, kCcp2mx},
    {"PBAD", 0x02, kPbad, "PORTB<4:0> after reset (ANA: analogue inputs)"},
    {"MCLRE", 0x80, kOffOn, kMclre, R::MasterClear},
};

constexpr auto k1220Words = Words(kNone, k1220C1H, k1220C2L, k1220C2H, kNone, k1220C3H, k242C4L, 2);
constexpr auto k1320Words = Words(kNone, k1320C1H, k1220C2L, k1220C2H, kNone, k1220C3H, k242C4L, 4);
constexpr auto k2220Words = Words(kNone, k1320C1H, k242C2L, k1220C2H, kNone, k2220C3H, k242C4L, 2);
constexpr auto k2320Words = Words(kNone, k1320C1H, k242C2L, k1220C2H, kNone, k2220C3H, k242C4L, 4);

// ---- 18F2431: the motor-control part ----

constexpr S kWdtps32768[] = {{"1", 0},     {"2", 1},     {"4", 2},      {"8", 3},
                             {"16", 4},    {"32", 5},    {"64", 6},     {"128", 7},
                             {"256", 8},   {"512", 9},   {"1024", 10},  {"2048", 11},
                             {"4096", 12}, {"8192", 13}, {"16384", 14}, {"32768", 15}};
constexpr S kOsc2431[] = {{"LP", 0},          {"XT", 1},        {"HS", 2},    {"RC2", 3},
                          {"EC", 4},          {"ECIO", 5},      {"HSPLL", 6}, {"RCIO", 7},
                          {"IRCIO", 8, true}, {"IRC", 9, true}, {"RC1", 0xA}, {"RC", 0xC}};
constexpr F k2431C1H[] = {
    {"OSC", 0x0F, kOsc2431, "Oscillator selection (IRC: the internal oscillator)", R::Oscillator},
    {"FCMEN", 0x40, kOffOn, kFcmen},
    {"IESO", 0x80, kOffOn, kIeso},
};
constexpr auto k2431C2L = Reset2L("PWRTEN", "BOREN", kBorv20);
constexpr F k2431C2H[] = {
    {"WDTEN", 0x01, kOffOn, kWdt, R::Watchdog},
    {"WDPS", 0x1E, kWdtps32768, kWdtps},
    {"WINEN", 0x20, kOnOff, "Watchdog timer window"},
};
constexpr S kLowHigh[] = {{"LOW", 0}, {"HIGH", 1}};
constexpr F k2431C3L[] = {
    {"PWMPIN", 0x04, kOnOff, "PWM outputs on after reset (OFF: driven inactive)"},
    {"LPOL", 0x08, kLowHigh, "Polarity of the low-side PWM outputs"},
    {"HPOL", 0x10, kLowHigh, "Polarity of the high-side PWM outputs"},
    {"T1OSCMX", 0x20, kOffOn, "Low-power Timer1 oscillator"},
};
constexpr auto k2431C4L = Debug4L("STVREN");

constexpr auto k2431Words =
    Words(kNone, k2431C1H, k2431C2L, k2431C2H, k2431C3L, k1220C3H, k2431C4L, 4);

// ---- 18F2550 group: the USB parts ----

constexpr S kPlldiv[] = {{"1", 0}, {"2", 1}, {"3", 2},  {"4", 3},
                         {"5", 4}, {"6", 5}, {"10", 6}, {"12", 7}};
constexpr S kCpudiv[] = {{"OSC1_PLL2", 0}, {"OSC2_PLL3", 1}, {"OSC3_PLL4", 2}, {"OSC4_PLL6", 3}};
constexpr S kUsbdiv[] = {{"1", 0}, {"2", 1}};
constexpr F k2550C1L[] = {
    {"PLLDIV", 0x07, kPlldiv, "Oscillator divider before the 96 MHz PLL (it needs 4 MHz)"},
    {"CPUDIV", 0x18, kCpudiv, "System clock postscaler (oscillator and PLL divisors)"},
    {"USBDIV", 0x20, kUsbdiv, "USB clock from the oscillator (1) or the PLL halved (2)"},
};
constexpr S kFosc2550[] = {{"XT_XT", 0},
                           {"XTPLL_XT", 2},
                           {"ECIO_EC", 4},
                           {"EC_EC", 5},
                           {"ECPLLIO_EC", 6},
                           {"ECPLL_EC", 7},
                           {"INTOSCIO_EC", 8, true},
                           {"INTOSC_EC", 9, true},
                           {"INTOSC_XT", 0xA, true},
                           {"INTOSC_HS", 0xB, true},
                           {"HS", 0xC},
                           {"HSPLL_HS", 0xE}};
constexpr F k2550C1H[] = {
    {"FOSC", 0x0F, kFosc2550, "Oscillator selection (the part after _ clocks the USB)",
     R::Oscillator},
    {"FCMEN", 0x40, kOffOn, kFcmen},
    {"IESO", 0x80, kOffOn, kIeso},
};
constexpr S kBor2550[] = {{"OFF", 0}, {"SOFT", 1}, {"ON_ACTIVE", 2}, {"ON", 3}};
constexpr S kBorv2550[] = {{"0", 0}, {"1", 1}, {"2", 2}, {"3", 3}};
constexpr F k2550C2L[] = {
    {"PWRT", 0x01, kOnOff, kPwrt},
    {"BOR", 0x06, kBor2550,
     "Brown-out reset (SOFT: by SBOREN; ON_ACTIVE: on while running, off in sleep)"},
    {"BORV", 0x18, kBorv2550, "Brown-out reset voltage (0: highest, 3: lowest)"},
    {"VREGEN", 0x20, kOffOn, "USB 3.3 V voltage regulator"},
};
constexpr F k2550C2H[] = {
    {"WDT", 0x01, kOffOn, kWdt, R::Watchdog},
    {"WDTPS", 0x1E, kWdtps32768, kWdtps},
};
constexpr F k2550C3H[] = {
    {"CCP2MX", 0x01, kOffOn, kCcp2mx},
    {"PBADEN", 0x02, kOffOn, "PORTB<4:0> after reset (ON: analogue inputs)"},
    {"LPT1OSC", 0x04, kOffOn, "Low-power Timer1 oscillator"},
    {"MCLRE", 0x80, kOffOn, kMclre, R::MasterClear},
};
constexpr std::string_view kXinst = "Extended instruction set";
constexpr F k2550C4L[] = {
    {"STVREN", 0x01, kOffOn, kStvr},
    {"LVP", 0x04, kOffOn, kLvp, R::LowVoltageProgramming},
    {"XINST", 0x40, kOffOn, kXinst},
    {"DEBUG", 0x80, kOnOff, kDebug},
};
constexpr F k4550C4L[] = {
    {"STVREN", 0x01, kOffOn, kStvr},
    {"LVP", 0x04, kOffOn, kLvp, R::LowVoltageProgramming},
    {"ICPRT", 0x20, kOffOn, "Dedicated in-circuit debug and programming port (44-pin only)"},
    {"XINST", 0x40, kOffOn, kXinst},
    {"DEBUG", 0x80, kOnOff, kDebug},
};

constexpr auto k2550Words =
    Words(k2550C1L, k2550C1H, k2550C2L, k2550C2H, kNone, k2550C3H, k2550C4L, 4);
constexpr auto k4550Words =
    Words(k2550C1L, k2550C1H, k2550C2L, k2550C2H, kNone, k2550C3H, k4550C4L, 4);

constexpr std::uint32_t kWidth8 = 8;

}  // namespace

// The PIC18 parts read their unimplemented bits as 0 and enter programming with Vdd first.
const ChipConfig k18F242{k242Words, kWidth8, false};
const ChipConfig k18F252{k252Words, kWidth8, false};
const ChipConfig k18F248{k248Words, kWidth8, false};
const ChipConfig k18F258{k258Words, kWidth8, false};
const ChipConfig k18F1220{k1220Words, kWidth8, false};
const ChipConfig k18F1320{k1320Words, kWidth8, false};
const ChipConfig k18F2220{k2220Words, kWidth8, false};
const ChipConfig k18F2320{k2320Words, kWidth8, false};
const ChipConfig k18F2431{k2431Words, kWidth8, false};
const ChipConfig k18F2550{k2550Words, kWidth8, false};
const ChipConfig k18F4550{k4550Words, kWidth8, false};

}  // namespace tenlo::config_tables
