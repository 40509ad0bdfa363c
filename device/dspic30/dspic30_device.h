#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "device/catalogue.h"
#include "device/config_fields.h"
#include "device/device.h"

namespace tenlo {

// The dsPIC30F parts. The host makes the chip execute instructions one at a time to set its
// table pointers, and leaves the row transfers and the unlock-and-write sequence to the
// programmer's firmware. One class serves all eleven chips; they differ in layout and in the
// configuration tables of their group.
class CDsPic30Device : public CDevice {
  public:
    static constexpr std::size_t kConfigRegisters = 7;
    static constexpr std::uint32_t kConfigStart = 0xF80000;
    // The data EEPROM ends at 0x7FFFFF whatever its size.
    static constexpr std::uint32_t kDataEnd = 0x800000;
    static constexpr std::uint32_t kDeviceIdAddress = 0xFF0000;
    static constexpr std::uint32_t kInstructionMask = 0xFFFFFF;
    static constexpr std::size_t kProgramBlock = 4;  // instructions per packed block
    static constexpr std::size_t kProgramRow = 32;   // instructions per row write
    static constexpr std::size_t kDataBlock = 8;     // bytes per data transfer
    static constexpr std::size_t kDataRow = 32;      // bytes per row write

    using ConfigTable = std::array<std::uint16_t, kConfigRegisters>;
    struct ConfigTables {
        ConfigTable keepMask;       // bits that may be written
        ConfigTable forcedBits;     // ORed into every written value
        ConfigTable eraseDefaults;  // written after a chip erase
        bool operator==(const ConfigTables&) const = default;
    };

    // A catalogued chip: its layout, the tables of its group (one of the DsPic30Group
    // families) and its configuration fields, whose bits are all a register is compared on
    // (without them, the bits that may be written).
    CDsPic30Device(CProgrammerLink& link, DeviceOptions* options, IProgressDisplay* progress,
                   const DeviceLayout& layout, DeviceFamily group,
                   const ChipConfig* config = nullptr);

    // What every dsPIC30F starts from: 24-bit instructions, 16-bit configuration registers at
    // 0xF80000 (seven), 8-bit data.
    static DeviceLayout DefaultLayout();
    // Data start and the three grid formats, from the sizes.
    static void DeriveLayout(DeviceLayout& layout);
    // nullopt for a family that is not a dsPIC30F group.
    static std::optional<ConfigTables> TablesFor(DeviceFamily group);

    // Switches the socket off; false (LastPlace().stillPowered) when the programmer never
    // acknowledged it.
    bool Initialize() override;
    void GetLayout(DeviceLayout& out) const override { out = layout_; }
    // These parts have no device ID check and no separate erases: nothing is done.
    bool CheckDeviceId() override { return false; }
    bool EraseProgram() override { return false; }
    bool EraseData() override { return false; }

    const ConfigTables& Tables() const { return tables_; }
    // The bits of each register the chip implements: a compare looks at no others, since the
    // chip reads the rest as 0 whatever was written.
    const ConfigTable& Implemented() const { return implemented_; }
    // What goes into configuration register reg for an image cell: the forced bits added,
    // then cut to the bits that may be written.
    std::uint16_t ConfigValue(std::size_t reg, std::uint32_t cell) const;
    // The configuration registers take ConfigValue; they and the data EEPROM are rewritten whole
    // rather than programmed bit by bit.
    std::vector<WrittenCell> WrittenCells(Memory memory) const override;

    // DEVID at 0xFF0000.
    std::optional<DeviceIdPlace> DeviceIdLocation() const override;

  protected:
    void ReadProgram() override;
    void WriteProgram() override;
    void CompareProgram() override;
    void WriteConfig() override;
    void ReadConfig() override;
    void CompareConfig() override;
    void WriteData() override;
    void ReadData() override;
    void CompareData() override;
    void Erase() override;
    void ReadDeviceId() override;

    // Steps, in their fixed order.
    virtual bool EnterProgramMode();
    virtual bool ExitProgramMode();
    void Finish(bool result) override;
    virtual bool BulkErase();
    virtual bool PrepareProgramWrite();
    // A row of kProgramRow instructions at a program-space address (two per instruction).
    virtual bool WriteProgramRow(std::uint32_t address, std::span<const std::uint32_t> words);
    virtual bool SetProgramReadAddress(std::uint32_t address);
    virtual bool ReadProgram4(std::span<std::uint32_t, kProgramBlock> words);
    virtual bool PrepareConfigWrite();
    virtual bool WriteConfigWord(std::uint16_t value);
    virtual bool WriteEraseDefaults();
    virtual bool PrepareConfigRead();
    virtual bool ReadConfigWord(std::uint16_t& value);
    virtual bool PrepareDataWrite();
    // A row of kDataRow bytes at a data EEPROM address.
    virtual bool WriteDataRow(std::uint32_t address, std::span<const std::uint8_t> bytes);
    virtual bool SetDataReadAddress(std::uint32_t address);
    virtual bool ReadData8(std::span<std::uint8_t, kDataBlock> bytes);

  private:
    // Instructions for the chip to execute, in one command.
    bool Execute(std::initializer_list<std::uint32_t> instructions);
    // Progress shown, programming mode entered, the memory prepared; on failure the operation
    // is finished and false returned.
    bool OpenBody(std::string_view text, const std::function<bool()>& prepare);
    // Finishes a compare by the outcome of its block loop.
    void FinishCompare(Step outcome, CompareResult& out);

    std::span<std::uint32_t> ProgramTarget() const;
    std::span<std::uint16_t> ConfigTarget() const;
    std::span<std::uint8_t> DataTarget() const;
    std::span<const std::uint32_t> ProgramSource() const;
    std::span<const std::uint16_t> ConfigSource() const;
    std::span<const std::uint8_t> DataSource() const;

    ConfigTables tables_;
    ConfigTable implemented_{};
};

}  // namespace tenlo
