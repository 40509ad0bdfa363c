#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/chip_model.h"

namespace tenlo::sim {

// The PIC18 programming groups. They differ in the size and number of write buffers, in the
// erase registers and in whether the configuration sequence jumps out of user memory first.
enum class Pic18Group : std::uint8_t {
    Fxx2,   // 18F242/252/442/452, 18F248/258/448/458 (DS39576): one 8-byte buffer per 8 KB
            // panel, multi-panel writes
    F1220,  // 18F1220/1320/2220/2320/4220/4320 (DS39592): one 8-byte buffer
    F2431,  // 18F2431 (DS30500): one 8-byte buffer, no multi-panel mode
    F2550,  // 18F2550/4550 (DS39622): one 32-byte buffer, erase by 0x3C0005:0x3C0004
};

struct Pic18ChipParams {
    std::string_view name;
    Pic18Group group;
    std::uint32_t programBytes;
    std::uint16_t deviceId;  // DEVID2:DEVID1, revision bits clear
};

// A PIC18 chip in programming mode, seen through its 4-bit serial commands and the firmware's
// own data-EEPROM routines.
//
// Table writes fill the write buffer the address selects; 1111 (and, outside the FXX2 group,
// 1110) starts programming, which completes only in the programming hold that must follow
// (0x22); any other command first means the write never happens (sim rule). Flash ANDs;
// configuration bytes are replaced. 0x80 written to 0x3C0004 (the 2550 group: 0x3F3F to
// 0x3C0005, then 0x8F8F to 0x3C0004) erases the chip in the two NOPs that follow.
class Pic18Chip final : public IChipModel {
  public:
    static constexpr std::uint32_t kIdStart = 0x200000;
    static constexpr std::uint32_t kIdBytes = 8;
    static constexpr std::uint32_t kConfigStart = 0x300000;
    static constexpr std::uint32_t kConfigBytes = 14;
    static constexpr std::uint32_t kDevId1 = 0x3FFFFE;
    static constexpr std::uint32_t kDevId2 = 0x3FFFFF;
    static constexpr std::uint32_t kDataBytes = 256;
    static constexpr std::uint32_t kPanelBytes = 8192;
    static constexpr std::uint8_t kRevision = 1;
    static constexpr std::uint8_t kEeBusy = 0x02;  // WR in EECON1

    explicit Pic18Chip(const Pic18ChipParams& params);

    std::string Name() const override { return std::string(params_.name); }

    void PowerOn(bool vppFirst) override;
    void PowerOff() override;
    bool IsPowered() const override { return powered_; }

    // Mid-range ICSP does not reach a PIC18.
    void IcspCommand(std::uint8_t) override {}
    void IcspLoad(std::uint8_t, std::uint16_t) override {}
    std::uint16_t IcspRead(std::uint8_t) override { return 0; }

    // Program: word index; Config: 0x300000-0x30000D, the IDs 0x200000-0x200007 and (read
    // only) the device ID bytes 0x3FFFFE/F; Data: byte index.
    bool Peek(Space space, std::uint32_t address, std::uint32_t& value) const override;
    bool Poke(Space space, std::uint32_t address, std::uint32_t value) override;
    void SetStuckCell(Space space, std::uint32_t address) override;

    void Pic18Command(std::uint8_t command, std::uint16_t payload) override;
    std::uint8_t Pic18Receive(std::uint8_t command) override;
    void Pic18SetTablePointer(std::uint32_t address) override;
    void Pic18ProgramHold(std::uint8_t command, std::uint16_t payload, std::uint8_t hold) override;
    void Pic18EraseHold(std::uint8_t command, std::uint16_t payload, std::uint8_t hold) override;
    void Pic18EeSetAddress(std::uint16_t address, std::uint8_t data) override;
    void Pic18EeStart(bool startB) override;
    std::uint8_t Pic18EeStatus() override;
    std::uint8_t Pic18EeRead(std::uint16_t address) override;
    void Pic18EeEnd() override;

    // How many status polls a data-EEPROM write stays busy for (default 1).
    void SetEeBusyPolls(unsigned polls) { eeBusyPolls_ = polls; }

    const Pic18ChipParams& Params() const { return params_; }
    std::uint32_t TablePointer() const { return tblptr_; }
    bool MultiPanel() const { return multiPanel_; }
    // Programming cycles that completed (program, ID and configuration writes).
    unsigned Cycles() const { return cycles_; }

  private:
    enum class Erase : std::uint8_t { None, Armed, Running };
    struct PendingWrite {
        std::uint32_t address;
        bool config;
        std::uint8_t byte;  // configuration writes: the byte the address takes
    };

    // Whatever waits for a hold or a NOP is given up when another command comes first.
    void Interrupt();
    void Core(std::uint16_t instruction);
    void TableWrite(std::uint16_t payload, bool start);
    void Buffer(std::uint32_t address, std::uint16_t payload);
    void WriteRegister(std::uint32_t address, std::uint8_t byte);
    void StartProgramming(std::uint32_t address, std::uint16_t payload);
    void CompleteWrite();
    void ProgramBuffer(std::size_t panel, std::uint32_t base);
    void StartErase(std::uint8_t options);
    void RunErase();
    void StartEeWrite();
    void CommitEeWrite();
    std::uint8_t ReadByte(std::uint32_t address) const;

    std::uint32_t BufferBytes() const { return params_.group == Pic18Group::F2550 ? 32 : 8; }
    std::size_t Panels() const;
    bool IsStuck(Space space, std::uint32_t address) const;

    Pic18ChipParams params_;
    bool powered_ = false;

    std::uint32_t tblptr_ = 0;
    std::uint8_t tablat_ = 0;
    std::uint8_t w_ = 0;
    std::uint8_t eecon1_ = 0;
    std::uint16_t eeadr_ = 0;
    std::uint8_t eedata_ = 0;
    std::uint32_t pc_ = 0;
    std::optional<std::uint8_t> gotoLow_;  // first word of a GOTO seen

    bool multiPanel_ = false;
    std::vector<std::vector<std::uint8_t>> buffers_;  // one per panel (one outside FXX2)
    std::array<std::uint8_t, kIdBytes> idBuffer_{};
    std::optional<PendingWrite> pending_;
    unsigned cycles_ = 0;

    std::uint8_t blockSelect_ = 0;  // 0x3C0005 on the 2550 group
    Erase erase_ = Erase::None;
    std::uint8_t eraseOptions_ = 0;

    bool eeBusy_ = false;
    unsigned eePollsLeft_ = 0;
    unsigned eeBusyPolls_ = 1;
    std::uint8_t eeWriteAddress_ = 0;
    std::uint8_t eeWriteData_ = 0;

    std::vector<std::uint8_t> program_;
    std::array<std::uint8_t, kIdBytes> ids_{};
    std::array<std::uint8_t, kConfigBytes> config_{};
    std::array<std::uint8_t, kDataBytes> data_{};
    std::set<std::pair<Space, std::uint32_t>> stuck_;
};

}  // namespace tenlo::sim
