// Configuration by name: decoding, changes by name, masks and traps, as a front sees them.
#include "device/chip_config.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "device/catalogue.h"
#include "device/dspic30/dspic30_device.h"

namespace tenlo {
namespace {

int Index(std::string_view chip) {
    const int index = FindCatalogueIndex(chip);
    EXPECT_GE(index, 0) << chip;
    return index;
}

// Every configuration cell blank (all ones), with the given cells set.
std::vector<std::uint32_t> Cells(std::string_view chip,
                                 std::initializer_list<std::pair<std::size_t, std::uint32_t>> set) {
    const CatalogueEntry& e = *CatalogueEntryAt(Index(chip));
    std::vector<std::uint32_t> cells(e.configCount, (1u << e.config->width) - 1u);
    for (const auto& [cell, value] : set) {
        cells[cell] = value;
    }
    return cells;
}

// "NAME = SETTING" of every field of the word at cell.
std::vector<std::string> Texts(std::string_view chip, std::size_t cell, std::uint32_t value) {
    std::vector<std::string> texts;
    for (const DecodedWord& word : DecodeConfig(Index(chip), Cells(chip, {{cell, value}}))) {
        if (word.word->cell == cell) {
            for (const DecodedField& field : word.fields) {
                texts.push_back(field.Text());
            }
        }
    }
    return texts;
}

std::uint32_t Stray(std::string_view chip, std::size_t cell, std::uint32_t value) {
    for (const DecodedWord& word : DecodeConfig(Index(chip), Cells(chip, {{cell, value}}))) {
        if (word.word->cell == cell) {
            return word.strayBits;
        }
    }
    ADD_FAILURE() << chip << " has no configuration word at cell " << cell;
    return 0;
}

std::vector<ConfigTrapKind> Kinds(const std::vector<ConfigTrap>& traps) {
    std::vector<ConfigTrapKind> kinds;
    for (const ConfigTrap& t : traps) {
        kinds.push_back(t.kind);
    }
    return kinds;
}

using K = ConfigTrapKind;

TEST(ChipConfigTables, FieldsFitTheirWordAndNamesAreUniquePerChip) {
    for (const CatalogueEntry& e : CatalogueEntries()) {
        SCOPED_TRACE(std::string(e.name));
        ASSERT_NE(e.config, nullptr);
        const std::uint32_t width = (1u << e.config->width) - 1u;
        std::set<std::string> names;
        for (const ConfigWord& word : e.config->words) {
            EXPECT_LT(word.cell, e.configCount) << word.name;
            std::uint32_t taken = 0;
            for (const ConfigField& f : word.fields) {
                EXPECT_NE(f.mask, 0u) << f.name;
                EXPECT_EQ(f.mask & ~width, 0u) << f.name;
                EXPECT_EQ(f.mask & taken, 0u) << f.name << " overlaps another field";
                EXPECT_FALSE(f.description.empty()) << f.name;
                taken |= f.mask;
                std::string upper;
                for (char c : f.name) {
                    upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                }
                EXPECT_TRUE(names.insert(upper).second) << f.name << " twice";
                std::set<std::uint32_t> values;
                for (const ConfigSetting& s : f.settings) {
                    EXPECT_LE(s.value, FieldMaximum(f)) << f.name << " = " << s.name;
                    EXPECT_TRUE(values.insert(s.value).second) << f.name << " = " << s.name;
                }
            }
            // Outside the fields, only what the chip reads there.
            EXPECT_EQ(word.unimplementedReads & taken, 0u) << word.name;
        }
    }
}

TEST(ChipConfigTables, EverySettingOfEveryChipRoundTripsThroughItsName) {
    int settings = 0;
    for (const CatalogueEntry& e : CatalogueEntries()) {
        const std::uint32_t blank = (1u << e.config->width) - 1u;
        for (const ConfigWord& word : e.config->words) {
            for (const ConfigField& f : word.fields) {
                for (const ConfigSetting& s : f.settings) {
                    SCOPED_TRACE(std::string(e.name) + " " + std::string(f.name) + "=" +
                                 std::string(s.name));
                    const ConfigChanges parsed = ParseConfigChanges(
                        e.index, std::string(f.name) + "=" + std::string(s.name));
                    ASSERT_TRUE(parsed.ok) << parsed.error;
                    ASSERT_EQ(parsed.changes.size(), 1u);
                    EXPECT_EQ(parsed.changes[0].cell, word.cell);
                    const std::uint32_t cell = ApplyConfigChange(parsed.changes[0], blank);
                    // Only the field's bits change, and it reads back as the same name.
                    EXPECT_EQ(cell | f.mask, blank);
                    const DecodedWord decoded = DecodeConfigWord(word, e.config->width, 0, cell);
                    for (const DecodedField& d : decoded.fields) {
                        if (d.field == &f) {
                            EXPECT_TRUE(SameName(d.ValueText(), s.name)) << d.ValueText();
                        }
                    }
                    ++settings;
                }
            }
        }
    }
    EXPECT_GT(settings, 2000);
}

TEST(ChipConfigDecode, AMidRangeWordDecodesFieldByFieldWithTheBitsTheChipLacks) {
    // The word the main window shows as 3F72.
    EXPECT_EQ(Texts("PIC16F877A", 7, 0x3F72),
              (std::vector<std::string>{"FOSC = HS", "WDTE = OFF", "PWRTE = ON", "BOREN = ON",
                                        "LVP = OFF", "CPD = OFF", "WRT = OFF", "DEBUG = OFF",
                                        "CP = OFF"}));
    // Bits 12, 5 and 4 are not there and read 1: a tool that clears them sets them otherwise.
    EXPECT_EQ(Stray("PIC16F877A", 7, 0x3F72), 0u);
    EXPECT_EQ(Stray("PIC16F877A", 7, 0x2F4A), 0x1030u);
    // The 12F629 reads its missing bits 11:9 as 0; its band-gap bits are a value, not a setting.
    EXPECT_EQ(Texts("PIC12F629", 7, 0x31D4).back(), "BG = 0x3");
    EXPECT_EQ(Stray("PIC12F629", 7, 0x31D4), 0u);
    EXPECT_EQ(Stray("PIC12F629", 7, 0x3FD4), 0x0E00u);
    // FOSC2 at bit 4 belongs to FOSC.
    EXPECT_EQ(Texts("PIC16F628A", 7, 0x3F50).front(), "FOSC = INTOSCIO");
    // The 16F877 writes CP1:CP0 twice; half of them set is no setting.
    EXPECT_EQ(Texts("PIC16F877", 7, 0x1FFF)[3], "CP = 0x103");
    // The 12-bit parts' one word is cell 0 at their configuration start.
    const std::vector<DecodedWord> f508 =
        DecodeConfig(Index("PIC12F508"), Cells("PIC12F508", {{0, 0xFFA}}));
    ASSERT_EQ(f508.size(), 1u);
    EXPECT_EQ(f508[0].address, 0x3FFu);
    EXPECT_EQ(f508[0].fields[0].Text(), "OSC = IntRC");
}

TEST(ChipConfigDecode, Pic18BytesDecodeEachUnderItsOwnNameAndMissingBytesOnlyStray) {
    const std::vector<DecodedWord> words =
        DecodeConfig(Index("PIC18F452"), Cells("PIC18F452", {{1, 0x22}, {6, 0x81}}));
    ASSERT_EQ(words.size(), 14u);
    EXPECT_EQ(words[1].word->name, "CONFIG1H");
    EXPECT_EQ(words[1].address, 0x300001u);
    EXPECT_EQ(words[1].fields[0].Text(), "OSC = HS");
    EXPECT_EQ(words[1].fields[1].Text(), "OSCS = OFF");
    EXPECT_EQ(words[6].fields[1].Text(), "LVP = OFF");
    // CONFIG1L is not on this chip: blank, it holds 8 bits the chip reads as 0.
    EXPECT_TRUE(words[0].fields.empty());
    EXPECT_EQ(words[0].strayBits, 0xFFu);
    EXPECT_EQ(Stray("PIC18F452", 0, 0x00), 0u);
    // The 18-pin parts have no BORV 11.
    EXPECT_EQ(Texts("PIC18F1220", 2, 0x1F).back(), "BORV = 0x3");
}

TEST(ChipConfigDecode, DsPic30RegistersDecodeAsTheDataSheetsGiveTheirBits) {
    // FOSC: clock switching off (10 or 11), the primary oscillator in XT with the PLL x16.
    EXPECT_EQ(Texts("dsPIC30F4011", 0, 0xC307),
              (std::vector<std::string>{"FOSFPR = XT_PLL16", "FCKSMEN = CSW_FSCM_OFF"}));
    EXPECT_EQ(Texts("dsPIC30F4012", 0, 0xBFF2),
              (std::vector<std::string>{"FOSFPR = HS", "FCKSMEN = CSW_FSCM_OFF"}));
    EXPECT_EQ(Stray("dsPIC30F4012", 0, 0xBFF2), 0x3CF0u);
    // The later parts' FRC with the PLL, a primary oscillator mode of FOS 111.
    EXPECT_EQ(Texts("dsPIC30F4013", 0, 0x8703).front(), "FOSFPR = FRC_PLL16");
    EXPECT_EQ(
        Texts("dsPIC30F4013", 1, 0x003F),
        (std::vector<std::string>{"FWPSB = WDTPSB_16", "FWPSA = WDTPSA_512", "WDT = WDT_OFF"}));
    EXPECT_EQ(Texts("dsPIC30F4011", 2, 0x83A2),
              (std::vector<std::string>{"FPWRT = PWRT_16", "BODENV = BORV27", "BOREN = PBOR_ON",
                                        "LPOL = PWMxL_ACT_HI", "HPOL = PWMxH_ACT_HI",
                                        "PWMPIN = RST_PWMPIN", "MCLREN = MCLR_EN"}));
    // Without the motor-control PWM, FBORPOR has no bits 10:8.
    EXPECT_EQ(Stray("dsPIC30F3012", 2, 0x87B3), 0x0700u);
    EXPECT_EQ(Texts("dsPIC30F4011", 5, 0xFFFF),
              (std::vector<std::string>{"GWRP = GWRP_OFF", "GCP = CODE_PROT_OFF"}));
    EXPECT_EQ(Stray("dsPIC30F4011", 5, 0xFFFF), 0xFFFCu);
    EXPECT_EQ(Texts("dsPIC30F4012", 6, 0xC003),
              (std::vector<std::string>{"ICS = ICS_PGD", "COE = COE_OFF", "BKBUG = BKBUG_OFF"}));
}

TEST(ChipConfigDecode, DsPic30FieldsCoverWhatTheGroupWritesAndNoMore) {
    // A register takes only the bits that may be written; those it does not implement are
    // written as forced ones.
    for (const CatalogueEntry& e : CatalogueEntries()) {
        if (!IsDsPic30(e.family)) {
            continue;
        }
        const auto tables = CDsPic30Device::TablesFor(e.family);
        ASSERT_TRUE(tables);
        for (std::size_t reg = 0; reg < e.configCount; ++reg) {
            SCOPED_TRACE(std::string(e.name) + " register " + std::to_string(reg));
            const std::uint32_t implemented = ConfigImplementedMask(e.index, reg).value_or(0);
            EXPECT_EQ(implemented & ~std::uint32_t{tables->keepMask[reg]}, 0u);
            EXPECT_EQ(
                tables->keepMask[reg] & ~implemented & ~std::uint32_t{tables->forcedBits[reg]}, 0u);
        }
    }
}

TEST(ChipConfigChanges, NamesAndSettingsAreMatchedCaseAsideAndMayBeValues) {
    const int f877a = Index("PIC16F877A");
    ConfigChanges parsed = ParseConfigChanges(f877a, " fosc = xt , LVP=OFF,WRT=0x2");
    ASSERT_TRUE(parsed.ok) << parsed.error;
    std::uint32_t word = 0x3FFF;
    for (const ConfigChange& c : parsed.changes) {
        word = ApplyConfigChange(c, word);
    }
    EXPECT_EQ(word, 0x3D7Du);  // XT, LVP off, WRT 256

    // Settings named by numbers are names: WDTPS=128 is 1:128, not the value 128.
    parsed = ParseConfigChanges(Index("PIC18F452"), "WDTPS=128,BORV=20");
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(ApplyConfigChange(parsed.changes[0], 0x00), 0x0Eu);
    EXPECT_EQ(parsed.changes[0].cell, 3u);
    EXPECT_EQ(parsed.changes[1].cell, 2u);

    // A field without settings takes a value.
    parsed = ParseConfigChanges(Index("PIC12F675"), "BG=0x1");
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(ApplyConfigChange(parsed.changes[0], 0x31FF), 0x11FFu);

    CMemoryImage image(*CatalogueLayout(f877a));
    ApplyConfigChanges(ParseConfigChanges(f877a, "CP=ON").changes, image);
    EXPECT_EQ(image.Get(Memory::Config, 7), 0x1FFFu);
    EXPECT_EQ(image.Get(Memory::Config, 0), 0x3FFFu);
}

TEST(ChipConfigChanges, WhatTheChipDoesNotHaveIsRefusedWithWhatItHas) {
    const int f877a = Index("PIC16F877A");
    ConfigChanges parsed = ParseConfigChanges(f877a, "FOSC=HS,MCLRE=OFF");
    EXPECT_FALSE(parsed.ok);
    EXPECT_TRUE(parsed.changes.empty());
    EXPECT_EQ(parsed.error,
              "the PIC16F877A has no configuration field 'MCLRE'; its fields are FOSC, WDTE, "
              "PWRTE, BOREN, LVP, CPD, WRT, DEBUG, CP");
    parsed = ParseConfigChanges(f877a, "FOSC=INTOSC");
    EXPECT_EQ(parsed.error,
              "FOSC of the PIC16F877A has no setting 'INTOSC'; its settings are LP, XT, HS, "
              "EXTRC (or a value from 0x0 to 0x3)");
    EXPECT_EQ(ParseConfigChanges(f877a, "FOSC=0x4").error,
              "FOSC takes a value from 0x0 to 0x3, not 0x4");
    EXPECT_EQ(ParseConfigChanges(f877a, "FOSC=HS,fosc=XT").error, "FOSC is set twice");
    EXPECT_EQ(ParseConfigChanges(f877a, "FOSC").error, "'FOSC' is not NAME=SETTING");
    EXPECT_EQ(ParseConfigChanges(f877a, "FOSC=HS,").error, "'' is not NAME=SETTING");
    EXPECT_EQ(ParseConfigChanges(Index("PIC12F629"), "BG=ON").error,
              "BG of the PIC12F629 takes a value from 0x0 to 0x3, not 'ON'");
    // A name standing for two values is listed once.
    EXPECT_EQ(ParseConfigChanges(Index("dsPIC30F4012"), "FCKSMEN=OFF").error,
              "FCKSMEN of the dsPIC30F4012 has no setting 'OFF'; its settings are CSW_FSCM_OFF, "
              "CSW_ON_FSCM_OFF, CSW_FSCM_ON (or a value from 0x0 to 0x3)");
}

TEST(ChipConfigMasks, EachCellImplementsItsFieldsAndOtherCellsAreNoConfiguration) {
    const int f877a = Index("PIC16F877A");
    EXPECT_EQ(ConfigImplementedMask(f877a, 7), 0x2FCFu);
    EXPECT_FALSE(ConfigImplementedMask(f877a, 0));  // a user ID
    EXPECT_FALSE(ConfigImplementedMask(f877a, 6));  // the device ID
    EXPECT_EQ(ConfigImplementedMask(Index("PIC16F716"), 7), 0x20CFu);
    EXPECT_EQ(ConfigImplementedMask(Index("PIC18F452"), 0), 0u);
    EXPECT_EQ(ConfigImplementedMask(Index("PIC18F2550"), 0), 0x3Fu);
    EXPECT_EQ(ConfigImplementedMask(Index("dsPIC30F4012"), 0), 0xC30Fu);
    EXPECT_EQ(ConfigImplementedMask(Index("dsPIC30F3012"), 3), 0u);  // FBS
    EXPECT_FALSE(ConfigImplementedMask(-1, 0));
}

TEST(ChipConfigMasks, MidRangeProtectOffBitsAreExactlyTheProtectionFields) {
    // The write forces these bits on; a compare leaves out what it forced, so the two must be
    // the chip's own code and data protection and nothing else it implements.
    for (const CatalogueEntry& e : CatalogueEntries()) {
        const std::optional<MidRangeParams> p = CatalogueMidRangeParams(e.index);
        if (!p || IsBaseline(e.family)) {
            continue;
        }
        SCOPED_TRACE(std::string(e.name));
        std::uint32_t protection = 0;
        for (const ConfigField& f : e.config->WordAt(7)->fields) {
            if (f.role == FieldRole::CodeProtection || f.role == FieldRole::DataProtection) {
                protection |= f.mask;
            }
        }
        EXPECT_EQ(ProtectOffBits(*p) & p->configWordBits, protection);
    }
}

TEST(ChipConfigMasks, TheCompareLeavesOutOnlyProtectionTheWriteLeftOff) {
    // PIC16F627A, file 0x0118: CP on, which the write leaves off; the chip holds 0x2118.
    const int f627a = Index("PIC16F627A");
    const std::uint32_t mask = *ConfigCompareMask(f627a, 7, 0x0118);
    EXPECT_EQ(0x2118u & mask, 0x0118u & mask);
    EXPECT_EQ(ConfigValueWritten(f627a, 7, 0x0118), 0x3F18u);
    // Where the file leaves protection off, a protected chip still differs.
    const std::uint32_t off = *ConfigCompareMask(f627a, 7, 0x2118);
    EXPECT_NE(0x0118u & off, 0x2118u & off);
    // The 12F629's band-gap bits are the chip's own.
    EXPECT_EQ(*ConfigCompareMask(Index("PIC12F629"), 7, 0x3FFF), 0x01FFu);
    // The 12-bit parts write their protection as it stands.
    EXPECT_EQ(*ConfigCompareMask(Index("PIC12F508"), 0, 0x0FF2), 0x1Fu);
    EXPECT_EQ(ConfigValueWritten(Index("PIC12F508"), 0, 0x0FF2), 0x0FF2u);
    // A dsPIC30F register: forced bits, then the writable ones.
    EXPECT_EQ(ConfigValueWritten(Index("dsPIC30F4011"), 5, 0x0000), 0x0004u);
}

TEST(ChipConfigTraps, CodeAndDataProtectionThatAWriteKeepsAreTraps) {
    const int f452 = Index("PIC18F452");
    std::vector<ConfigTrap> traps =
        FindConfigTraps(f452, Cells("PIC18F452", {{2, 0x0F}, {3, 0x0E}, {6, 0x81}, {8, 0x0C}}));
    ASSERT_EQ(Kinds(traps), (std::vector<K>{K::CodeProtection}));
    EXPECT_EQ(traps[0].cell, 8u);
    EXPECT_EQ(traps[0].fields, "CP0 = ON, CP1 = ON");
    EXPECT_EQ(traps[0].level, ConfigTrapLevel::Warning);
    EXPECT_EQ(traps[0].text,
              "code protection is on (CP0 = ON, CP1 = ON): the program can no longer be read or "
              "verified, and only a chip erase turns it off");

    traps = FindConfigTraps(f452, Cells("PIC18F452", {{3, 0x0E}, {6, 0x81}, {9, 0x40}}));
    ASSERT_EQ(Kinds(traps), (std::vector<K>{K::DataProtection}));
    EXPECT_EQ(traps[0].fields, "CPD = ON");

    // The 12-bit parts and the dsPIC30F write protection as the file has it.
    EXPECT_EQ(Kinds(FindConfigTraps(Index("PIC12F508"), std::vector<std::uint32_t>{0xFF2})),
              (std::vector<K>{K::CodeProtection}));
    EXPECT_EQ(Kinds(FindConfigTraps(Index("dsPIC30F4013"),
                                    Cells("dsPIC30F4013", {{1, 0x003F}, {5, 0xFFFD}}))),
              (std::vector<K>{K::CodeProtection}));
}

TEST(ChipConfigTraps, MidRangeProtectionIsNoTrapButLeftOffAndSaidSo) {
    // 16F876A, 0x0F42: CP on in the file; the write leaves it off.
    const int f876a = Index("PIC16F876A");
    const std::vector<std::uint32_t> cells = Cells("PIC16F876A", {{7, 0x0F42}});
    EXPECT_EQ(Kinds(FindConfigTraps(f876a, cells)), std::vector<K>{});
    const ProtectionLeftOff left = FindProtectionLeftOff(f876a, cells);
    EXPECT_EQ(left.fields, (std::vector<std::string>{"CP = ON"}));
    EXPECT_EQ(left.text,
              "code protection left off: the file sets CP = ON, which this programmer never "
              "writes");
    // 16F684, 0x01A4: code and data protection.
    EXPECT_EQ(FindProtectionLeftOff(Index("PIC16F684"), Cells("PIC16F684", {{7, 0x0124}})).fields,
              (std::vector<std::string>{"CP = ON", "CPD = ON"}));
    EXPECT_FALSE(FindProtectionLeftOff(f876a, Cells("PIC16F876A", {{7, 0x3F72}})).Any());
    EXPECT_FALSE(FindProtectionLeftOff(Index("PIC18F452"), Cells("PIC18F452", {{8, 0}})).Any());
}

TEST(ChipConfigTraps, LowVoltageProgrammingOnIsATrap) {
    // An erased 16F877A word has LVP on: a file without __CONFIG leaves RB3 in charge.
    const std::vector<ConfigTrap> traps =
        FindConfigTraps(Index("PIC16F877A"), Cells("PIC16F877A", {{7, 0x3FFB}}));
    ASSERT_EQ(Kinds(traps), (std::vector<K>{K::LowVoltageProgramming}));
    EXPECT_EQ(traps[0].text,
              "low-voltage programming is on (LVP = ON): the chip's PGM pin must be held low, or "
              "the chip may enter programming mode instead of running");
    EXPECT_EQ(Kinds(FindConfigTraps(Index("PIC18F4550"), Cells("PIC18F4550", {{3, 0x1E}}))),
              (std::vector<K>{K::LowVoltageProgramming}));
}

TEST(ChipConfigTraps, MclrOffWithTheInternalOscillatorOnlyWhereEntryThenNeedsVppFirst) {
    // 16F684: MCLRE off, INTOSCIO, watchdog off. This programmer enters it with Vdd first.
    std::vector<ConfigTrap> traps =
        FindConfigTraps(Index("PIC16F684"), Cells("PIC16F684", {{7, 0x3FD4}}));
    ASSERT_EQ(Kinds(traps), (std::vector<K>{K::MclrOffInternalOscillator}));
    EXPECT_EQ(traps[0].fields, "MCLRE = OFF, FOSC = INTOSCIO");
    EXPECT_EQ(traps[0].text,
              "MCLR is off with the internal oscillator (MCLRE = OFF, FOSC = INTOSCIO): the chip "
              "runs its program as soon as it has power, so only a programmer that raises Vpp "
              "before Vdd can take it into programming mode again; this programmer raises Vdd "
              "first on the PIC16F684 and may not get it back");
    // The 12F629 is entered with Vpp first here.
    traps = FindConfigTraps(Index("PIC12F629"), Cells("PIC12F629", {{7, 0x31D4}}));
    ASSERT_EQ(Kinds(traps), (std::vector<K>{K::MclrOffInternalOscillator}));
    EXPECT_NE(traps[0].text.find("; this programmer does so on the PIC12F629"), std::string::npos);
    // An external oscillator, MCLR on, or a chip entered Vdd first whatever its word: no trap.
    EXPECT_TRUE(FindConfigTraps(Index("PIC16F684"), Cells("PIC16F684", {{7, 0x3FD1}})).empty());
    EXPECT_TRUE(FindConfigTraps(Index("PIC16F684"), Cells("PIC16F684", {{7, 0x3FF4}})).empty());
    EXPECT_TRUE(FindConfigTraps(Index("PIC18F2550"),
                                Cells("PIC18F2550", {{1, 0x08}, {3, 0x1E}, {5, 0x00}, {6, 0x81}}))
                    .empty());
}

TEST(ChipConfigTraps, AWatchdogLeftOnIsANotice) {
    const std::vector<ConfigTrap> traps =
        FindConfigTraps(Index("PIC16F628A"), Cells("PIC16F628A", {{7, 0x3F74}}));
    ASSERT_EQ(Kinds(traps), (std::vector<K>{K::Watchdog}));
    EXPECT_EQ(traps[0].level, ConfigTrapLevel::Notice);
    EXPECT_EQ(traps[0].text,
              "the watchdog timer is on (WDTE = ON): the program must clear it in time, or the "
              "chip resets");
    EXPECT_EQ(Kinds(FindConfigTraps(Index("dsPIC30F4013"), Cells("dsPIC30F4013", {}))),
              (std::vector<K>{K::Watchdog}));
}

TEST(ChipConfigTraps, Pic18ConfigurationWriteProtectionLeavesTheLaterBytesUnwritten) {
    const std::vector<ConfigTrap> traps =
        FindConfigTraps(Index("PIC18F452"), Cells("PIC18F452", {{3, 0x0E}, {6, 0x81}, {11, 0xDF}}));
    ASSERT_EQ(Kinds(traps), (std::vector<K>{K::ConfigWriteProtection}));
    EXPECT_EQ(traps[0].cell, 11u);
    EXPECT_EQ(traps[0].text,
              "configuration write protection is on (WRTC = ON): CONFIG7L and CONFIG7H after it "
              "will not be written, and the configuration cannot be changed again without a chip "
              "erase");
}

TEST(ChipConfigTraps, EveryTrapAtOnceComesInKindOrder) {
    const std::vector<ConfigTrap> traps =
        FindConfigTraps(Index("PIC18F452"), Cells("PIC18F452", {{8, 0x0E}, {9, 0x7F}, {11, 0xDF}}));
    EXPECT_EQ(Kinds(traps),
              (std::vector<K>{K::CodeProtection, K::DataProtection, K::LowVoltageProgramming,
                              K::Watchdog, K::ConfigWriteProtection}));
}

}  // namespace
}  // namespace tenlo
