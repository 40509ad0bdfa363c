// Loading the files a user opens: what a failed load says (line, reason, the cell a byte would
// be), and a file cut short taken only when the user says so.

#include "jobs/hex_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "device/catalogue.h"

namespace tenlo::jobs {
namespace {

struct Questions final : IJobQuestions {
    bool GoOnWithOtherChip(const std::string&, const std::vector<std::string>&,
                           std::uint16_t) override {
        return false;
    }
    bool LoadWithoutEndRecord(const std::string& path, bool empty) override {
        asked = path;
        wasEmpty = empty;
        return take;
    }
    bool WriteDespiteConfigTraps(const std::vector<ConfigTrap>&) override { return false; }
    bool take = false;
    std::string asked;
    bool wasEmpty = false;
};

class HexFiles : public ::testing::Test {
  protected:
    HexFiles() : layout_(*CatalogueLayout(FindCatalogueIndex("PIC16F84A"))), image_(layout_) {
        dir_ =
            std::filesystem::temp_directory_path() / ("tenlo-jobs-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
    }
    ~HexFiles() override { std::filesystem::remove_all(dir_); }

    std::string File(const std::string& name, const std::string& text) {
        const std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    DeviceLayout layout_;
    CMemoryImage image_;
    Questions questions_;
    std::filesystem::path dir_;
};

TEST_F(HexFiles, AFileWithoutItsEndRecordIsTakenOnlyWhenTheUserSaysSo) {
    const std::string cut = File("cut.hex", ":020000000528D1\n");
    FileOutcome f = LoadProgramFile(cut, image_, ProgramLayout::Microchip, &questions_);
    EXPECT_EQ(f.cause, FileCause::NoEndRecord);
    EXPECT_EQ(questions_.asked, cut);
    EXPECT_FALSE(questions_.wasEmpty);
    EXPECT_EQ(image_.Get(Memory::Program, 0), 0x3FFFu) << "nothing taken";

    questions_.take = true;
    f = LoadProgramFile(cut, image_, ProgramLayout::Microchip, &questions_);
    EXPECT_TRUE(f.Ok());
    EXPECT_TRUE(f.provided.program);
    EXPECT_EQ(image_.Get(Memory::Program, 0), 0x2805u);

    questions_.take = false;
    f = LoadDataFile(File("empty.hex", ""), image_, &questions_);
    EXPECT_EQ(f.cause, FileCause::NoEndRecord);
    EXPECT_TRUE(questions_.wasEmpty);
    EXPECT_TRUE(f.empty);
}

TEST_F(HexFiles, ARecordThatDoesNotCheckOutIsToldByItsLineAndReason) {
    const std::string bad = File("bad.hex", ":020000000528D1\n:020002000528D0\n:00000001FF\n");
    const FileOutcome f = LoadProgramFile(bad, image_, ProgramLayout::Plain, &questions_);
    EXPECT_EQ(f.cause, FileCause::NotHex);
    EXPECT_EQ(f.failure.line, 2u);
    EXPECT_EQ(f.failure.fault, HexFault::BadChecksum);
    EXPECT_EQ(image_.Get(Memory::Program, 0), 0x3FFFu);

    const FileOutcome text =
        LoadProgramFile(File("notes.hex", "notes\n"), image_, ProgramLayout::Plain, nullptr);
    EXPECT_EQ(text.failure.fault, HexFault::NotARecord);
    EXPECT_EQ(text.failure.line, 1u);
}

TEST_F(HexFiles, AByteBeyondTheChipSaysWhereItWouldBeOnABiggerOne) {
    // Program word 0x400 of a 1024-word chip: file byte 0x0800.
    const std::string big = File("big.hex", ":02080000FF3FB8\n:00000001FF\n");
    const FileOutcome f = LoadProgramFile(big, image_, ProgramLayout::Microchip, nullptr);
    EXPECT_EQ(f.cause, FileCause::NotHex);
    EXPECT_EQ(f.failure.fault, HexFault::AddressRejected);
    EXPECT_EQ(f.failure.address, 0x0800u);
    EXPECT_EQ(f.failure.line, 1u);
    EXPECT_EQ(f.rejection, Rejection::NoSuchMemory);
    ASSERT_TRUE(f.beyond.has_value());
    EXPECT_EQ(f.beyond->region, HexRegion::Program);
    EXPECT_EQ(f.beyond->cell, 0x400u);

    // Data EEPROM inside the program file while a data file goes separately.
    const std::string eeprom = File("ee.hex", ":024200001200AA\n:00000001FF\n");
    EXPECT_EQ(LoadProgramFile(eeprom, image_, ProgramLayout::Plain, nullptr).rejection,
              Rejection::EepromInProgramFile);
    const FileOutcome tools = LoadProgramFile(eeprom, image_, ProgramLayout::Microchip, nullptr);
    EXPECT_TRUE(tools.Ok());
    EXPECT_TRUE(tools.provided.data);
    EXPECT_EQ(image_.Get(Memory::Data, 0), 0x12u);
}

TEST_F(HexFiles, ADsPic30FilesRegistersLandInTheirOwnPlacesWithOrWithoutItsEeprom) {
    // As XC16 writes them: register k in the low half of the 4-byte slot at 0x1F00000 + 4k.
    // Read 2 bytes apart, FOSC's slot would fill two registers and FWDT would land in FBORPOR.
    const std::string file = File("ds.hex",
                                  ":020000040000FA\n:080000000001040000000000F3\n"
                                  ":0200000401F009\n:08000000FFC70000BF800000F3\n"
                                  ":00000001FF\n");
    const DeviceLayout chip = *CatalogueLayout(FindCatalogueIndex("dsPIC30F4013"));
    for (const ProgramLayout layout : {ProgramLayout::Plain, ProgramLayout::Microchip}) {
        CMemoryImage ds(chip);
        const FileOutcome f = LoadProgramFile(file, ds, layout, nullptr);
        ASSERT_TRUE(f.Ok()) << static_cast<int>(f.cause);
        EXPECT_EQ(ds.Get(Memory::Program, 0), 0x040100u);
        EXPECT_EQ(ds.Get(Memory::Config, 0), 0xC7FFu);
        EXPECT_EQ(ds.Get(Memory::Config, 1), 0x80BFu);
        EXPECT_EQ(ds.Get(Memory::Config, 2), 0xFFFFu);
        EXPECT_FALSE(f.provided.data);
    }
}

TEST_F(HexFiles, WhatIsNoFileIsToldApartFromWhatIsNotThere) {
    EXPECT_EQ(LoadDataFile(dir_.string(), image_, nullptr).cause, FileCause::NotARegularFile);
    EXPECT_EQ(LoadDataFile((dir_ / "none.hex").string(), image_, nullptr).cause,
              FileCause::NotOpened);
}

}  // namespace
}  // namespace tenlo::jobs
