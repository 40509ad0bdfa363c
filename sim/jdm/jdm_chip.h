#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "link/clock.h"
#include "sim/chip_model.h"

namespace tenlo::sim {

// The Ravonite's own microcontroller (a 12F629-class flash part, DS41191) as seen through the
// JDM wiring of the serial port's modem lines: break = power and Vpp, RTS = PGC, DTR = PGD into
// the chip, CTS = PGD out of it. Driven edge by edge; every command, load and read is decoded
// from the line levels alone. Timing is judged against the injected clock.
//
// Not thread-safe: one caller drives the lines at a time, as the updater does.
class CJdmChip {
  public:
    static constexpr std::size_t kProgramWords = 1024;
    static constexpr std::size_t kDataBytes = 128;
    static constexpr std::size_t kConfigWords = 8;  // 0x2000 to 0x2007
    static constexpr std::uint32_t kConfigStart = 0x2000;
    static constexpr std::uint32_t kConfigWordAddress = 0x2007;
    static constexpr std::uint32_t kDeviceIdAddress = 0x2006;
    static constexpr std::uint32_t kOscCalAddress = 0x3FF;
    // Bits 11:9 of the configuration word are not implemented and read as 0.
    static constexpr std::uint16_t kConfigImplemented = 0x31FF;
    static constexpr std::uint16_t kFactoryOscCal = 0x3480;    // RETLW 0x80
    static constexpr std::uint16_t kFactoryConfig = 0x31FF;    // band-gap bits 11, rest erased
    static constexpr std::uint16_t kDefaultDeviceId = 0x0F81;  // 12F629, revision 1
    static constexpr IClock::Duration kProgramTime = std::chrono::microseconds(2500);
    static constexpr IClock::Duration kEraseTime = std::chrono::milliseconds(5);

    // A decoded command as the chip saw it. data is the loaded word for loads, the word put on
    // the line for reads, 0 otherwise; address is the counter when the command was decoded.
    struct Command {
        std::uint8_t code = 0;
        std::uint16_t data = 0;
        std::uint32_t address = 0;
        bool operator==(const Command&) const = default;
    };

    explicit CJdmChip(IClock& clock, std::uint16_t deviceId = kDefaultDeviceId);

    CJdmChip(const CJdmChip&) = delete;
    CJdmChip& operator=(const CJdmChip&) = delete;

    // The four line operations. False, with no effect, once the adapter counts as unplugged.
    bool SetDtr(bool on);
    bool SetRts(bool on);
    bool SetBreak(bool on);
    bool GetCts(bool& on);

    // Back to the factory state: program erased but for OSCCAL, data erased, configuration
    // word 0x31FF, unpowered, lines low. Faults stay as set.
    void FactoryReset();

    // Cells bypassing the pins. Program addresses 0..0x3FF, configuration 0x2000..0x2007, data
    // 0..127. False for an address the chip does not implement. A programming cycle that has
    // had its time completes before the cell is looked at.
    bool Peek(Space space, std::uint32_t address, std::uint32_t& value);
    bool Poke(Space space, std::uint32_t address, std::uint32_t value);
    std::uint16_t ProgramWord(std::uint32_t address);
    std::uint16_t ConfigWord();
    std::uint16_t OscCal() { return ProgramWord(kOscCalAddress); }

    bool IsPowered() const { return powered_; }
    std::uint32_t AddressCounter() const { return pc_; }

    // Faults.
    // The first n line calls succeed, every later one fails (the adapter was pulled out).
    void FailLineCallsAfter(std::size_t n) { failAfter_ = n; }
    // A cell that neither programs nor erases: it keeps the value it has.
    void SetStuckCell(Space space, std::uint32_t address) { stuck_.insert({space, address}); }
    // A cell that programs and reads back correctly but does not hold its charge: it is erased
    // again when power goes off.
    void SetLeakyCell(Space space, std::uint32_t address) { leaky_.insert({space, address}); }
    // CTS reads this level whatever the chip or DTR does; nullopt: normal.
    void SetCtsStuck(std::optional<bool> level) { ctsStuck_ = level; }

    // Observation.
    std::size_t LineCalls() const { return lineCalls_; }
    const std::vector<Command>& Commands() const { return commands_; }
    void ClearCommands() { commands_.clear(); }
    void RecordCommands(bool on) { recordCommands_ = on; }
    std::size_t CompletedProgramCycles() const { return completedPrograms_; }
    std::size_t CompletedEraseCycles() const { return completedErases_; }
    // Programming or erase cycles cut short by a clock edge, power-off or a missing end command.
    std::size_t AbortedCycles() const { return abortedCycles_; }

  private:
    enum class Phase : std::uint8_t { Command, Load, Read };
    enum class Cycle : std::uint8_t { None, Program, ExternalProgram, EraseProgram, EraseData };
    enum class LastLoad : std::uint8_t { None, Program, Data };

    bool CountLineCall();
    void PowerUp();
    void PowerDown();
    void ClockRise();
    void ClockFall();
    void Decode(std::uint8_t code);
    void FinishLoad();
    // A pending cycle completes when its time has passed; interrupt: the chip is disturbed now
    // (clock edge, power-off), so a cycle that has not had its time is lost.
    void Settle(bool interrupt);
    void CompleteCycle(Cycle cycle);
    std::uint16_t ReadProgramSpace();
    void ProgramFlash(std::uint16_t& cell, Space space, std::uint32_t address, std::uint16_t latch);
    bool IsStuck(Space space, std::uint32_t address) const {
        return stuck_.count({space, address}) != 0;
    }
    bool CodeProtected() const { return (config_[7] & 0x0080) == 0; }
    bool DataProtected() const { return (config_[7] & 0x0100) == 0; }
    void Record(std::uint8_t code, std::uint16_t data, std::uint32_t address);

    IClock& clock_;
    std::uint16_t deviceId_;

    std::vector<std::uint16_t> program_;
    std::vector<std::uint8_t> data_;
    std::uint16_t config_[kConfigWords] = {};

    // Line levels as the host last set them.
    bool dtr_ = false;
    bool rts_ = false;
    bool powered_ = false;

    // Serial state machine.
    Phase phase_ = Phase::Command;
    std::uint8_t loadCode_ = 0;
    int bits_ = 0;  // falling edges (command, load) or rising edges (read) of this phase
    std::uint32_t shift_ = 0;
    std::uint16_t readWord_ = 0;
    bool driving_ = false;
    bool outBit_ = false;

    std::uint32_t pc_ = 0;
    std::uint16_t programLatch_ = 0x3FFF;
    std::uint8_t dataLatch_ = 0xFF;
    LastLoad lastLoad_ = LastLoad::None;

    Cycle pending_ = Cycle::None;
    IClock::Duration cycleStart_{};
    bool externalTimed_ = false;  // an externally timed cycle had its time before the next edge
    bool externalChecked_ = false;

    // Faults and observation.
    std::optional<std::size_t> failAfter_;
    std::size_t lineCalls_ = 0;
    std::set<std::pair<Space, std::uint32_t>> stuck_;
    std::set<std::pair<Space, std::uint32_t>> leaky_;
    std::optional<bool> ctsStuck_;
    std::vector<Command> commands_;
    bool recordCommands_ = true;
    std::size_t completedPrograms_ = 0;
    std::size_t completedErases_ = 0;
    std::size_t abortedCycles_ = 0;
};

}  // namespace tenlo::sim
