#pragma once

#include "device/config_fields.h"

// The configuration words of every catalogue chip, one object per layout; the catalogue's rows
// point at them.
namespace tenlo::config_tables {

// The settings of a one-bit field, as the assemblers name them: enables, and protections (which
// are on at 0).
inline constexpr ConfigSetting kOffOn[] = {{"OFF", 0}, {"ON", 1}};
inline constexpr ConfigSetting kOnOff[] = {{"ON", 0}, {"OFF", 1}};

// Mid-range, by the chips that share a configuration word.
extern const ChipConfig k12F50x;   // 12F508, 12F509
extern const ChipConfig k16F54;    // 16F54
extern const ChipConfig k12F629;   // 12F629, 12F675, 16F630, 16F676
extern const ChipConfig k12F683;   // 12F683, 16F684, 16F688
extern const ChipConfig k12F635;   // 12F635, 16F636, 16F639
extern const ChipConfig k16F690;   // 16F631, 16F677, 16F685, 16F687, 16F689, 16F690
extern const ChipConfig k16F913;   // 16F913, 16F914, 16F916, 16F917, 16F946
extern const ChipConfig k16F7x;    // 16F73, 16F74, 16F76, 16F77
extern const ChipConfig k16F84;    // 16F84, 16F84A
extern const ChipConfig k16F62xA;  // 16F627A, 16F628A, 16F648A
extern const ChipConfig k16F716;   // 16F716
extern const ChipConfig k16F818;   // 16F818
extern const ChipConfig k16F819;   // 16F819
extern const ChipConfig k16F87x;   // 16F873, 16F874, 16F876, 16F877
extern const ChipConfig k16F87xA;  // 16F873A, 16F874A, 16F876A, 16F877A

// PIC18.
extern const ChipConfig k18F242;   // 18F242, 18F442
extern const ChipConfig k18F252;   // 18F252, 18F452
extern const ChipConfig k18F248;   // 18F248, 18F448
extern const ChipConfig k18F258;   // 18F258, 18F458
extern const ChipConfig k18F1220;  // 18F1220
extern const ChipConfig k18F1320;  // 18F1320
extern const ChipConfig k18F2220;  // 18F2220, 18F4220
extern const ChipConfig k18F2320;  // 18F2320, 18F4320
extern const ChipConfig k18F2431;  // 18F2431
extern const ChipConfig k18F2550;  // 18F2550
extern const ChipConfig k18F4550;  // 18F4550

// dsPIC30F, by oscillator and motor-control variant.
extern const ChipConfig k30F4012;  // 30F2010, 30F4011, 30F4012
extern const ChipConfig k30F3010;  // 30F3010, 30F3011
extern const ChipConfig k30F3012;  // 30F2011, 30F2012, 30F3012, 30F3013, 30F3014, 30F4013

}  // namespace tenlo::config_tables
