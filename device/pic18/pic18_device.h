#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "device/device.h"
#include "device/pic18/pic18_params.h"

namespace tenlo {

// The PIC18 parts, and the 242 group itself (18F242/248/252/258/442/448/452/458, 18F2431): the
// operation bodies and the steps they are built from. The 1220 and 2550 groups override steps.
class CPic18Device : public CDevice {
  public:
    // Core instructions the sequences send as payloads.
    static constexpr std::uint16_t kSetEepgd = 0x8EA6;    // BSF EECON1, EEPGD
    static constexpr std::uint16_t kSetCfgs = 0x8CA6;     // BSF EECON1, CFGS
    static constexpr std::uint16_t kSetWren = 0x86A6;     // BSF EECON1, WREN
    static constexpr std::uint16_t kClearCfgs = 0x9CA6;   // BCF EECON1, CFGS
    static constexpr std::uint16_t kGoto100000 = 0xEF00;  // GOTO 0x100000, first word
    static constexpr std::uint16_t kGotoSecond = 0xF800;  // and its second
    static constexpr std::uint16_t kIncTblptrl = 0x2AF6;  // INCF TBLPTRL
    static constexpr std::uint16_t kNop = 0x0000;

    static constexpr std::uint32_t kEraseControl = 0x3C0004;
    static constexpr std::uint32_t kBlockSelect = 0x3C0005;
    static constexpr std::uint32_t kPanelControl = 0x3C0006;
    static constexpr std::uint32_t kDeviceIdAddress = 0x3FFFFE;

    static constexpr std::size_t kReadBlock = 64;       // program words per read
    static constexpr std::size_t kConfigReadBlock = 8;  // configuration words per read
    static constexpr std::size_t kMaxReadWords = 127;   // twice as many bytes fit a count byte
    static constexpr int kDataPolls = 10;               // status reads of one data write
    static constexpr std::uint8_t kDataBusy = 0x02;

    CPic18Device(CProgrammerLink& link, DeviceOptions* options, IProgressDisplay* progress,
                 const DeviceLayout& layout, const Pic18Params& params);

    bool Initialize() override { return true; }
    void GetLayout(DeviceLayout& out) const override { out = layout_; }
    // The family has no ID check, program-only or data-only erase: nothing is done and false
    // says so.
    bool CheckDeviceId() override { return false; }
    bool EraseProgram() override { return false; }
    bool EraseData() override { return false; }

    // DEVID2:DEVID1, revision bits included.
    std::optional<DeviceIdPlace> DeviceIdLocation() const override;

    const Pic18Params& Params() const { return params_; }

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
    virtual bool SetTablePointer(std::uint32_t address);
    // Table reads with post-increment, two bytes a word, low byte first; at most 127 words.
    virtual bool ReadWords(std::span<std::uint16_t> words);
    virtual bool ReadDataByte(std::uint16_t address, std::uint8_t& out);
    virtual bool PrepareProgramWrite();
    virtual bool SetMultiPanel(bool on);
    // Four words into the buffer of the address's panel; the last panel's starts programming.
    virtual bool WriteBuffer8(std::uint32_t address, std::span<const std::uint16_t> words,
                              bool last);
    virtual bool WriteConfigPair(std::uint32_t address, std::uint8_t low, std::uint8_t high);
    virtual bool WriteDataByte(std::uint16_t address, std::uint8_t byte);
    virtual bool IsBlank(std::span<const std::uint16_t> words);
    virtual bool EraseChip();
    virtual bool EnterProgramMode();
    virtual bool ExitProgramMode();
    void Finish(bool result) override;
    // One whole write buffer at the address, programmed; the 2550 group's only.
    virtual bool WriteBuffer(std::uint32_t address, std::span<const std::uint16_t> words);

    // Shared pieces of the steps.
    bool SendCore(std::initializer_list<std::uint16_t> instructions);
    // One programming cycle in the hold the chip needs to complete it.
    bool ProgramHold();
    // The configuration write of two bytes after the given access sequence.
    bool WriteConfigPairAfter(std::initializer_list<std::uint16_t> access, std::uint32_t address,
                              std::uint8_t low, std::uint8_t high);
    // Writes the options to the erase register and gives the erase its time.
    bool StartErase(std::uint16_t options);
    // A data byte whose end is found by polling the write status; startB picks the start.
    bool WriteDataBytePolled(std::uint16_t address, std::uint8_t byte, bool startB);

    // Opens a body: progress shown, programming mode entered. False, with the operation
    // already finished, when entering failed.
    bool OpenBody(std::string_view text);
    Step ReadProgramBlocks(std::span<std::uint16_t> target);
    Step ReadConfigBytes(std::span<std::uint8_t> target);

    std::span<std::uint16_t> ProgramTarget();
    std::span<std::uint8_t> ConfigTarget();
    std::span<std::uint8_t> DataTarget();
    std::span<const std::uint16_t> ProgramSource();
    std::span<const std::uint8_t> ConfigSource();
    std::span<const std::uint8_t> DataSource();

    Pic18Params params_;
};

}  // namespace tenlo
