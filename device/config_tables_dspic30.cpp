// The configuration registers of the dsPIC30F parts (FOSC, FWDT, FBORPOR, FBS, FSS, FGS and
// FICD, one cell each from 0xF80000), from the data sheets' configuration bit descriptions,
// with field and setting names as the compiler's configuration macros spell them. None of these
// parts has a boot or secure segment: FBS and FSS hold nothing here.
#include <array>

#include "device/config_tables.h"

namespace tenlo::config_tables {

namespace {

using R = FieldRole;
using S = ConfigSetting;
using F = ConfigField;

constexpr std::size_t kFosc = 0;
constexpr std::size_t kFwdt = 1;
constexpr std::size_t kFborpor = 2;
constexpr std::size_t kFbs = 3;
constexpr std::size_t kFss = 4;
constexpr std::size_t kFgs = 5;
constexpr std::size_t kFicd = 6;

constexpr std::array<F, 0> kNone{};

// FOS<1:0> picks the oscillator group (11 the primary oscillator in the mode FPR<3:0> gives);
// the compiler's macros name both together and leave FPR all ones for the other groups.
constexpr S kFosfpr4012[] = {
    {"XTL", 0x300},      {"HS", 0x302},       {"XT", 0x304},        {"XT_PLL4", 0x305},
    {"XT_PLL8", 0x306},  {"XT_PLL16", 0x307}, {"ERCIO", 0x308},     {"ERC", 0x309},
    {"EC", 0x30B},       {"ECIO", 0x30C},     {"EC_PLL4", 0x30D},   {"EC_PLL8", 0x30E},
    {"EC_PLL16", 0x30F}, {"LP", 0x20F},       {"FRC", 0x10F, true}, {"LPRC", 0x00F, true},
};
// The later parts: FOS<2:0> 111 with FPR<4:0>, which adds the internal FRC with the PLL.
constexpr S kFosfpr3012[] = {
    {"XTL", 0x700},
    {"HS", 0x702},
    {"XT", 0x704},
    {"XT_PLL4", 0x705},
    {"XT_PLL8", 0x706},
    {"XT_PLL16", 0x707},
    {"ERCIO", 0x708},
    {"ERC", 0x709},
    {"EC", 0x70B},
    {"ECIO", 0x70C},
    {"EC_PLL4", 0x70D},
    {"EC_PLL8", 0x70E},
    {"EC_PLL16", 0x70F},
    {"FRC_PLL4", 0x701, true},
    {"FRC_PLL8", 0x70A, true},
    {"FRC_PLL16", 0x703, true},
};
// FCKSM<1:0>: 1x is switching and monitor off; the compiler's own value for it is 10.
constexpr S kFcksm[] = {
    {"CSW_FSCM_OFF", 3}, {"CSW_FSCM_OFF", 2}, {"CSW_ON_FSCM_OFF", 1}, {"CSW_FSCM_ON", 0}};
constexpr std::string_view kFosfprText = "Oscillator source and primary oscillator mode";
constexpr std::string_view kFcksmText = "Clock switching and fail-safe clock monitor";

constexpr F kFosc4012Fields[] = {
    {"FOSFPR", 0x030F, kFosfpr4012, kFosfprText, R::Oscillator},
    {"FCKSMEN", 0xC000, kFcksm, kFcksmText},
};
constexpr F kFosc3012Fields[] = {
    {"FOSFPR", 0x071F, kFosfpr3012, kFosfprText, R::Oscillator},
    {"FCKSMEN", 0xC000, kFcksm, kFcksmText},
};

constexpr S kWdtpsb[] = {
    {"WDTPSB_1", 0},   {"WDTPSB_2", 1},   {"WDTPSB_3", 2},   {"WDTPSB_4", 3},
    {"WDTPSB_5", 4},   {"WDTPSB_6", 5},   {"WDTPSB_7", 6},   {"WDTPSB_8", 7},
    {"WDTPSB_9", 8},   {"WDTPSB_10", 9},  {"WDTPSB_11", 10}, {"WDTPSB_12", 11},
    {"WDTPSB_13", 12}, {"WDTPSB_14", 13}, {"WDTPSB_15", 14}, {"WDTPSB_16", 15}};
constexpr S kWdtpsa[] = {{"WDTPSA_1", 0}, {"WDTPSA_8", 1}, {"WDTPSA_64", 2}, {"WDTPSA_512", 3}};
constexpr S kWdt[] = {{"WDT_OFF", 0}, {"WDT_ON", 1}};
constexpr F kFwdtFields[] = {
    {"FWPSB", 0x000F, kWdtpsb, "Watchdog postscaler B (1:1 to 1:16)"},
    {"FWPSA", 0x0030, kWdtpsa, "Watchdog prescaler A (1:1, 1:8, 1:64 or 1:512)"},
    {"WDT", 0x8000, kWdt, "Watchdog timer enable", R::Watchdog},
};

constexpr S kPwrt[] = {{"PWRT_OFF", 0}, {"PWRT_4", 1}, {"PWRT_16", 2}, {"PWRT_64", 3}};
constexpr S kBorv[] = {{"BORV45", 0}, {"BORV42", 1}, {"BORV27", 2}, {"BORV20", 3}};
constexpr S kPbor[] = {{"PBOR_OFF", 0}, {"PBOR_ON", 1}};
constexpr S kLpol[] = {{"PWMxL_ACT_LO", 0}, {"PWMxL_ACT_HI", 1}};
constexpr S kHpol[] = {{"PWMxH_ACT_LO", 0}, {"PWMxH_ACT_HI", 1}};
constexpr S kPwmpin[] = {{"RST_PWMPIN", 0}, {"RST_IOPIN", 1}};
constexpr S kMclr[] = {{"MCLR_DIS", 0}, {"MCLR_EN", 1}};
constexpr F kFpwrt{"FPWRT", 0x0003, kPwrt, "Power-on reset timer (off, 4, 16 or 64 ms)"};
constexpr F kBodenv{"BODENV", 0x0030, kBorv, "Brown-out reset voltage"};
constexpr F kBoren{"BOREN", 0x0080, kPbor, "Brown-out reset enable"};
constexpr F kMclren{"MCLREN", 0x8000, kMclr, "MCLR pin function (MCLR_DIS: the pin is ignored)",
                    R::MasterClear};
constexpr F kFborporMotor[] = {
    kFpwrt,
    kBodenv,
    kBoren,
    {"LPOL", 0x0100, kLpol, "Polarity of the low-side PWM outputs"},
    {"HPOL", 0x0200, kHpol, "Polarity of the high-side PWM outputs"},
    {"PWMPIN", 0x0400, kPwmpin, "PWM pins after reset (RST_IOPIN: high impedance)"},
    kMclren,
};
constexpr F kFborporPlain[] = {kFpwrt, kBodenv, kBoren, kMclren};

constexpr S kGwrp[] = {{"GWRP_ON", 0}, {"GWRP_OFF", 1}};
constexpr S kGcp[] = {{"CODE_PROT_ON", 0}, {"CODE_PROT_OFF", 1}};
constexpr F kFgsFields[] = {
    {"GWRP", 0x0001, kGwrp, "Write protection of the general code segment"},
    {"GCP", 0x0002, kGcp, "Code protection of the general code segment", R::CodeProtection},
};

constexpr S kIcs[] = {{"ICS_PGD3", 0}, {"ICS_PGD2", 1}, {"ICS_PGD1", 2}, {"ICS_PGD", 3}};
constexpr S kCoe[] = {{"COE_ON", 0}, {"COE_OFF", 1}};
constexpr S kBkbug[] = {{"BKBUG_ON", 0}, {"BKBUG_OFF", 1}};
constexpr F kFicdFields[] = {
    {"ICS", 0x0003, kIcs, "The pin pair the debugger communicates on"},
    {"COE", 0x4000, kCoe, "Clip-on emulation mode after reset"},
    {"BKBUG", 0x8000, kBkbug, "Debug mode after reset"},
};

constexpr std::array<ConfigWord, 7> Registers(std::span<const F> fosc, std::span<const F> fborpor) {
    return {{
        {kFosc, "FOSC", fosc},
        {kFwdt, "FWDT", kFwdtFields},
        {kFborpor, "FBORPOR", fborpor},
        {kFbs, "FBS", kNone},
        {kFss, "FSS", kNone},
        {kFgs, "FGS", kFgsFields},
        {kFicd, "FICD", kFicdFields},
    }};
}

constexpr auto k4012Registers = Registers(kFosc4012Fields, kFborporMotor);
constexpr auto k3010Registers = Registers(kFosc3012Fields, kFborporMotor);
constexpr auto k3012Registers = Registers(kFosc3012Fields, kFborporPlain);

constexpr std::uint32_t kWidth16 = 16;

}  // namespace

const ChipConfig k30F4012{k4012Registers, kWidth16, false};
const ChipConfig k30F3010{k3010Registers, kWidth16, false};
const ChipConfig k30F3012{k3012Registers, kWidth16, false};

}  // namespace tenlo::config_tables
