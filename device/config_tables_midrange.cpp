// The configuration words of the 12- and 14-bit parts, from the configuration word register of
// each data sheet, with field and setting names as the assemblers spell them.
#include <array>

#include "device/config_tables.h"

namespace tenlo::config_tables {

namespace {

using R = FieldRole;
using S = ConfigSetting;
using F = ConfigField;

constexpr std::size_t kWordCell = 7;      // 0x2007
constexpr std::size_t kBaselineCell = 0;  // the one configuration cell of a 12-bit part

constexpr std::string_view kWdte = "Watchdog timer enable";
constexpr std::string_view kPwrte = "Power-up timer enable (ON: a 72 ms start-up delay)";
constexpr std::string_view kMclre = "MCLR pin function (OFF: the pin is a digital input)";
constexpr std::string_view kCp = "Program memory code protection";
constexpr std::string_view kOsc = "Oscillator selection";
constexpr std::string_view kFoscIo =
    "Oscillator selection (IO: the CLKOUT pin is I/O; CLK: it outputs Fosc/4)";

// The fields most parts have where most parts have them.
constexpr F kWdte4{"WDTE", 0x0004, kOffOn, kWdte, R::Watchdog};
constexpr F kPwrte8{"PWRTE", 0x0008, kOnOff, kPwrte};
constexpr F kMclreRa5{"MCLRE", 0x0020, kOffOn,
                      "RA5/MCLR pin function (OFF: RA5 is a digital input)", R::MasterClear};
constexpr F kBoren40{"BOREN", 0x0040, kOffOn, "Brown-out reset enable"};
constexpr F kLvp80{"LVP", 0x0080, kOffOn, "Low-voltage programming on the PGM pin",
                   R::LowVoltageProgramming};
constexpr F kCpd100{"CPD", 0x0100, kOnOff, "Data EEPROM code protection", R::DataProtection};
constexpr F kDebug800{"DEBUG", 0x0800, kOnOff,
                      "In-circuit debugger (ON: the ICSP pins are the debugger's)"};
constexpr F kCp2000{"CP", 0x2000, kOnOff, kCp, R::CodeProtection};
// The 8-, 14- and 20-pin parts shift them up by one.
constexpr F kWdte8{"WDTE", 0x0008, kOffOn, kWdte, R::Watchdog};
constexpr F kPwrte10{"PWRTE", 0x0010, kOnOff, kPwrte};
constexpr F kMclre20{"MCLRE", 0x0020, kOffOn, kMclre, R::MasterClear};

// The eight modes of the flash parts with an internal oscillator, as each spells them; high
// is the value of the first internal mode (FOSC2 set).
constexpr std::array<S, 8> EightModes(std::string_view ec, std::string_view intIo,
                                      std::string_view intClk, std::uint32_t high) {
    return {{{"LP", 0},
             {"XT", 1},
             {"HS", 2},
             {ec, 3},
             {intIo, high, true},
             {intClk, high + 1, true},
             {"EXTRCIO", high + 2},
             {"EXTRCCLK", high + 3}}};
}

// ---- 12-bit parts ----

constexpr F kWdtBaseline{"WDT", 0x004, kOffOn, kWdte, R::Watchdog};
constexpr F kCpBaseline{"CP", 0x008, kOnOff, kCp, R::CodeProtection};

constexpr S kOsc12F50x[] = {{"LP", 0}, {"XT", 1}, {"IntRC", 2, true}, {"ExtRC", 3}};
constexpr F k12F50xFields[] = {
    {"OSC", 0x003, kOsc12F50x, kOsc, R::Oscillator},
    kWdtBaseline,
    kCpBaseline,
    {"MCLRE", 0x010, kOffOn, "GP3/MCLR pin function (OFF: GP3 is an input, MCLR tied high)",
     R::MasterClear},
};
constexpr ConfigWord k12F50xWords[] = {{kBaselineCell, "CONFIG", k12F50xFields, 0xFE0}};

constexpr S kOsc16F54[] = {{"LP", 0}, {"XT", 1}, {"HS", 2}, {"RC", 3}};
constexpr F k16F54Fields[] = {
    {"OSC", 0x003, kOsc16F54, kOsc, R::Oscillator},
    kWdtBaseline,
    kCpBaseline,
};
constexpr ConfigWord k16F54Words[] = {{kBaselineCell, "CONFIG", k16F54Fields, 0xFF0}};

// ---- 14-bit parts ----

constexpr auto kFoscIntRc = EightModes("EC", "INTRCIO", "INTRCCLK", 4);
constexpr auto kFoscIntOsc = EightModes("EC", "INTOSCIO", "INTOSCCLK", 4);

constexpr F k12F629Fields[] = {
    {"FOSC", 0x0007, kFoscIntRc, kFoscIo, R::Oscillator},
    kWdte8,
    kPwrte10,
    kMclre20,
    kBoren40,
    {"CP", 0x0080, kOnOff, kCp, R::CodeProtection},
    kCpd100,
    {"BG", 0x3000, {}, "Band-gap calibration, set at the factory and kept by this programmer"},
};
constexpr ConfigWord k12F629Words[] = {{kWordCell, "CONFIG", k12F629Fields, 0}};

constexpr S kBodModes[] = {{"OFF", 0}, {"SBODEN", 1}, {"NSLEEP", 2}, {"ON", 3}};
constexpr std::string_view kBod =
    "Brown-out reset (SBODEN: by SBOREN; NSLEEP: on while running, off in sleep)";

// The word of the 8-, 14- and 20-pin parts with the two-speed start-up, less what some add.
constexpr std::array<F, 9> Fields6xx(std::span<const S> fosc) {
    return {{
        {"FOSC", 0x0007, fosc, kFoscIo, R::Oscillator},
        kWdte8,
        kPwrte10,
        kMclre20,
        {"CP", 0x0040, kOnOff, kCp, R::CodeProtection},
        {"CPD", 0x0080, kOnOff, "Data EEPROM code protection", R::DataProtection},
        {"BOREN", 0x0300, kBodModes, kBod},
        {"IESO", 0x0400, kOffOn, "Internal/external oscillator switch-over at start-up"},
        {"FCMEN", 0x0800, kOffOn, "Fail-safe clock monitor"},
    }};
}

template <std::size_t N>
constexpr std::array<F, N + 1> With(const std::array<F, N>& fields, const F& more) {
    std::array<F, N + 1> all{};
    for (std::size_t i = 0; i < N; ++i) {
        all[i] = fields[i];
    }
    all[N] = more;
    return all;
}

constexpr auto k12F683Fields = Fields6xx(kFoscIntOsc);
constexpr ConfigWord k12F683Words[] = {{kWordCell, "CONFIG", k12F683Fields, 0x3000}};

constexpr auto k12F635Fields =
    With(Fields6xx(kFoscIntOsc),
         {"WURE", 0x1000, kOnOff, "Wake-up reset (ON: a wake-up from sleep resets the chip)"});
constexpr ConfigWord k12F635Words[] = {{kWordCell, "CONFIG", k12F635Fields, 0x2000}};

constexpr auto k16F690Fields = Fields6xx(kFoscIntRc);
constexpr ConfigWord k16F690Words[] = {{kWordCell, "CONFIG", k16F690Fields, 0x3000}};

constexpr auto k16F913Fields =
    With(Fields6xx(kFoscIntOsc), {"DEBUG", 0x1000, kOnOff, kDebug800.description});
constexpr ConfigWord k16F913Words[] = {{kWordCell, "CONFIG", k16F913Fields, 0x2000}};

constexpr S kFoscRc[] = {{"LP", 0}, {"XT", 1}, {"HS", 2}, {"RC", 3}};
constexpr S kFoscExtRc[] = {{"LP", 0}, {"XT", 1}, {"HS", 2}, {"EXTRC", 3}};

constexpr F k16F7xFields[] = {
    {"FOSC", 0x0003, kFoscRc, kOsc, R::Oscillator}, kWdte4,   kPwrte8,
    {"CP", 0x0010, kOnOff, kCp, R::CodeProtection}, kBoren40,
};
constexpr ConfigWord k16F7xWords[] = {{kWordCell, "CONFIG", k16F7xFields, 0x3FA0}};

// Ten code protection bits that act as one.
constexpr S kCp16F84[] = {{"ON", 0}, {"OFF", 0x3FF}};
constexpr F k16F84Fields[] = {
    {"FOSC", 0x0003, kFoscExtRc, kOsc, R::Oscillator},
    kWdte4,
    kPwrte8,
    {"CP", 0x3FF0, kCp16F84, kCp, R::CodeProtection},
};
constexpr ConfigWord k16F84Words[] = {{kWordCell, "CONFIG", k16F84Fields, 0}};

// FOSC2 sits apart from FOSC1:FOSC0, at bit 4.
constexpr auto kFosc16F62xA = EightModes("ECIO", "INTOSCIO", "INTOSCCLK", 0x10);
constexpr auto kFosc16F81x = EightModes("EC", "INTOSCIO", "INTOSCCLK", 0x10);

constexpr F k16F62xAFields[] = {
    {"FOSC", 0x0013, kFosc16F62xA, kFoscIo, R::Oscillator},
    kWdte4,
    kPwrte8,
    kMclreRa5,
    kBoren40,
    kLvp80,
    kCpd100,
    kCp2000,
};
constexpr ConfigWord k16F62xAWords[] = {{kWordCell, "CONFIG", k16F62xAFields, 0x1E00}};

constexpr S kBodenv[] = {{"25", 0}, {"40", 1}};
constexpr F k16F716Fields[] = {
    {"FOSC", 0x0003, kFoscRc, kOsc, R::Oscillator},
    kWdte4,
    kPwrte8,
    kBoren40,
    {"BODENV", 0x0080, kBodenv, "Brown-out reset voltage (2.5 V or 4.0 V)"},
    kCp2000,
};
constexpr ConfigWord k16F716Words[] = {{kWordCell, "CONFIG", k16F716Fields, 0x1F30}};

constexpr S kWrt16F818[] = {{"1024", 1}, {"512", 2}, {"OFF", 3}};
constexpr S kWrt16F819[] = {{"1536", 0}, {"1024", 1}, {"512", 2}, {"OFF", 3}};
constexpr std::string_view kWrt81x =
    "Flash self-write protection (1024: words below 0x400 are protected, and so on)";
constexpr S kCcpmx[] = {{"RB3", 0}, {"RB2", 1}};

constexpr std::array<F, 11> Fields81x(std::span<const S> wrt) {
    return {{
        {"FOSC", 0x0013, kFosc16F81x, kFoscIo, R::Oscillator},
        kWdte4,
        kPwrte8,
        kMclreRa5,
        kBoren40,
        kLvp80,
        kCpd100,
        {"WRT", 0x0600, wrt, kWrt81x},
        kDebug800,
        {"CCPMX", 0x1000, kCcpmx, "The pin of CCP1 (RB3 or RB2)"},
        kCp2000,
    }};
}

constexpr auto k16F818Fields = Fields81x(kWrt16F818);
constexpr auto k16F819Fields = Fields81x(kWrt16F819);
constexpr ConfigWord k16F818Words[] = {{kWordCell, "CONFIG", k16F818Fields, 0}};
constexpr ConfigWord k16F819Words[] = {{kWordCell, "CONFIG", k16F819Fields, 0}};

// CP1:CP0 come twice (bits 13:12 and 5:4) and are written alike.
constexpr S kCp16F87x[] = {{"ALL", 0x000}, {"HALF", 0x101}, {"UPPER_256", 0x202}, {"OFF", 0x303}};
constexpr F k16F87xFields[] = {
    {"FOSC", 0x0003, kFoscExtRc, kOsc, R::Oscillator},
    kWdte4,
    kPwrte8,
    {"CP", 0x3030, kCp16F87x, "Program memory code protection (HALF: the upper half)",
     R::CodeProtection},
    kBoren40,
    kLvp80,
    kCpd100,
    {"WRT", 0x0200, kOffOn, "Flash self-write by EECON (ON: unprotected memory may be written)"},
    kDebug800,
};
constexpr ConfigWord k16F87xWords[] = {{kWordCell, "CONFIG", k16F87xFields, 0x0400}};

constexpr S kWrt16F87xA[] = {{"HALF", 0}, {"1FOURTH", 1}, {"256", 2}, {"OFF", 3}};
constexpr F k16F87xAFields[] = {
    {"FOSC", 0x0003, kFoscExtRc, kOsc, R::Oscillator},
    kWdte4,
    kPwrte8,
    kBoren40,
    kLvp80,
    kCpd100,
    {"WRT", 0x0600, kWrt16F87xA,
     "Flash self-write protection (HALF, 1FOURTH, 256: that much of the bottom is protected)"},
    kDebug800,
    kCp2000,
};
constexpr ConfigWord k16F87xAWords[] = {{kWordCell, "CONFIG", k16F87xAFields, 0x1030}};

}  // namespace

constexpr std::uint32_t kWidth12 = 12;
constexpr std::uint32_t kWidth14 = 14;

const ChipConfig k12F50x{k12F50xWords, kWidth12, true};
const ChipConfig k16F54{k16F54Words, kWidth12, false};
const ChipConfig k12F629{k12F629Words, kWidth14, true};
const ChipConfig k12F683{k12F683Words, kWidth14, true};
const ChipConfig k12F635{k12F635Words, kWidth14, true};
const ChipConfig k16F690{k16F690Words, kWidth14, true};
const ChipConfig k16F913{k16F913Words, kWidth14, true};
const ChipConfig k16F7x{k16F7xWords, kWidth14, false};
const ChipConfig k16F84{k16F84Words, kWidth14, false};
const ChipConfig k16F62xA{k16F62xAWords, kWidth14, true};
const ChipConfig k16F716{k16F716Words, kWidth14, false};
const ChipConfig k16F818{k16F818Words, kWidth14, true};
const ChipConfig k16F819{k16F819Words, kWidth14, true};
const ChipConfig k16F87x{k16F87xWords, kWidth14, false};
const ChipConfig k16F87xA{k16F87xAWords, kWidth14, false};

}  // namespace tenlo::config_tables
