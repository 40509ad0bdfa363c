#pragma once

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
};

// Models for the chip names of the catalogue ("PIC16F877A", case-insensitive); nullptr when no
// model exists for that chip.
std::unique_ptr<IChipModel> CreateChip(std::string_view name);

}  // namespace tenlo::sim
