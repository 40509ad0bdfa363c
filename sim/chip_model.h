#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tenlo::sim {

// Where a simulated cell lives. Addresses are the chip's own device addresses: program word
// address, configuration address (0x2000.. on 14-bit parts, the configuration word address and
// the user-ID area on 12-bit parts, 0x300000.. on PIC18, 0xF80000.. on dsPIC30F), data byte
// index from 0.
enum class Space : std::uint8_t { Program, Config, Data };

// A chip in the virtual programmer's socket, seen through its programming pins. The firmware
// engine turns protocol commands into these calls; a model implements what its chip's
// programming specification says the chip does, whatever the host expects.
class IChipModel {
  public:
    virtual ~IChipModel() = default;

    virtual std::string Name() const = 0;

    // Socket power. vppFirst: programming voltage before supply (0x05) rather than after (0x03).
    // Power-up enters programming mode with the chip's entry state.
    virtual void PowerOn(bool vppFirst) = 0;
    virtual void PowerOff() = 0;
    virtual bool IsPowered() const = 0;

    // Mid-range serial programming: a 6-bit command alone, a load command with its data word,
    // a read command returning its data word. Chips of other families ignore these (reads 0).
    virtual void IcspCommand(std::uint8_t command) = 0;
    virtual void IcspLoad(std::uint8_t command, std::uint16_t data) = 0;
    virtual std::uint16_t IcspRead(std::uint8_t command) = 0;

    // Inspection and set-up, bypassing the pins: false when the address is not implemented.
    virtual bool Peek(Space space, std::uint32_t address, std::uint32_t& value) const = 0;
    virtual bool Poke(Space space, std::uint32_t address, std::uint32_t value) = 0;

    // Fault: cells that will not program stay as they are whatever is written to them.
    virtual void SetStuckCell(Space space, std::uint32_t address) = 0;

    // PIC18 serial programming. The firmware hands over each 4-bit command with its 16-bit
    // payload as the chip would see it clocked in; chips of other families keep these defaults,
    // which ignore everything and read 0.
    virtual void Pic18Command(std::uint8_t /*command*/, std::uint16_t /*payload*/) {}
    // A command whose last 8 clocks shift a byte out of the chip (table reads, shift out TABLAT).
    virtual std::uint8_t Pic18Receive(std::uint8_t /*command*/) { return 0; }
    // 0x25: the firmware loads TBLPTRU/H/L with its own MOVLW/MOVWF sequence.
    virtual void Pic18SetTablePointer(std::uint32_t /*address*/) {}
    // A command whose fourth clock is held for hold (firmware units): 0x22 completes a started
    // programming cycle, 0x23 a data-EEPROM write cycle.
    virtual void Pic18ProgramHold(std::uint8_t /*command*/, std::uint16_t /*payload*/,
                                  std::uint8_t /*hold*/) {}
    virtual void Pic18EraseHold(std::uint8_t /*command*/, std::uint16_t /*payload*/,
                                std::uint8_t /*hold*/) {}
    // Data EEPROM through the firmware's own routines (0x26/0x27, 0x28/0x29, 0x2A, 0x2B, 0x2C).
    // startB: the second start variant (0x29).
    virtual void Pic18EeSetAddress(std::uint16_t /*address*/, std::uint8_t /*data*/) {}
    virtual void Pic18EeStart(bool /*startB*/) {}
    // Bit 1 set while a write is still running.
    virtual std::uint8_t Pic18EeStatus() { return 0; }
    virtual std::uint8_t Pic18EeRead(std::uint16_t /*address*/) { return 0; }
    virtual void Pic18EeEnd() {}

    // dsPIC30F serial execution and the firmware's block transfers. Instructions are 24-bit.
    virtual void DsSix(std::uint32_t /*instruction*/) {}
    // The VISI register as the chip shifts it out.
    virtual std::uint16_t DsRegOut() { return 0; }
    // 0x32: four instructions from TBLPAG:W6, W6 advanced by 8.
    virtual std::array<std::uint32_t, 4> DsReadProgram4() { return {}; }
    // 0x33: the word at TBLPAG:W6, W6 advanced by 2.
    virtual std::uint16_t DsReadWord() { return 0; }
    // 0x34: four data words, W6 advanced by 8.
    virtual std::array<std::uint16_t, 4> DsReadData4() { return {}; }
    // 0x39/0x3A open a row at a byte address; 0x35/0x37 fill it; 0x36 buffers a configuration
    // word; 0x38 commits whatever is open (or bulk-erases, by NVMCON).
    virtual void DsBeginProgramRow(std::uint32_t /*address*/) {}
    virtual void DsBeginDataRow(std::uint32_t /*address*/) {}
    virtual void DsWriteProgram4(const std::array<std::uint32_t, 4>& /*words*/) {}
    virtual void DsWriteData4(const std::array<std::uint16_t, 4>& /*words*/) {}
    virtual void DsWriteConfig(std::uint16_t /*value*/) {}
    virtual void DsCommitWrite() {}
};

// The one chip factory: models for the chip names of the catalogue ("PIC16F877A",
// case-insensitive, "PIC" optional) and "blank14", the plain 14-bit BlankMidrangeChip; nullptr
// when no model exists for that name.
std::unique_ptr<IChipModel> CreateChip(std::string_view name);

}  // namespace tenlo::sim
