#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "sim/chip_model.h"
#include "sim/fault_plan.h"

namespace tenlo::sim {

// The Ravonite's firmware as a push-driven state machine: every byte from the host goes in
// through Feed, every byte the firmware sends back comes out of it at once. It never waits for
// anything, so no byte sequence can make it block; a command waiting for more bytes simply
// stays where it is until they come.
//
// Each frame of the command table is answered with 0xA5 once all its bytes have arrived; raw
// bytes are taken or streamed without one. An unknown command code is dropped unanswered.
// Commands reach the chip only while the socket is powered; reads of an unpowered (or absent)
// chip are 0.
class CFirmwareEngine {
  public:
    static constexpr std::uint8_t kAck = 0xA5;
    // The answer to a 0x18 word that did not verify after every attempt.
    static constexpr std::uint8_t kProgramFailed = 0x5A;
    static constexpr std::uint8_t kNoEnd = 0xFF;
    // How long the firmware is busy with a framed byte. It has no receive buffer and the
    // protocol gives it 1 ms after each; it needs most of that.
    static constexpr std::chrono::nanoseconds kByteHandling = std::chrono::microseconds(900);

    // What 0x17 stores for 0x18.
    struct WriteSequence {
        std::uint8_t load = 0x02;
        std::uint8_t begin = 0x08;
        std::uint8_t wait = 0;
        std::uint8_t end = kNoEnd;
        std::uint8_t read = 0x04;
        std::uint8_t retries = 1;
        std::uint8_t flag = 1;  // 1: 14-bit words, 0: data bytes
        bool operator==(const WriteSequence&) const = default;
    };

    struct Stats {
        std::uint64_t bytesIn = 0;
        std::uint64_t bytesOut = 0;
        std::uint64_t frames = 0;           // answers due, faulted ones included
        std::uint64_t droppedCodes = 0;     // unknown command codes
        std::uint64_t wordsProgrammed = 0;  // 0x18 words that verified
        std::uint64_t programRetries = 0;   // extra 0x18 attempts
        std::uint64_t programFailures = 0;  // 0x18 words answered 0x5A
        std::uint64_t lostBytes = 0;        // came while a framed byte was being handled
    };

    explicit CFirmwareEngine(IChipModel& chip, FaultPlan faults = {});

    CFirmwareEngine(const CFirmwareEngine&) = delete;
    CFirmwareEngine& operator=(const CFirmwareEngine&) = delete;

    // One byte from the host; the replies are appended to out.
    void Feed(std::uint8_t byte, std::vector<std::uint8_t>& out);
    // One byte that reached the firmware at arrival on a timed line (one steady time base for
    // every call). False when it was lost: it came less than kByteHandling after the last
    // framed byte the firmware took, so the firmware never saw it. Raw bytes (those the
    // protocol streams without pauses) keep the firmware busy for no time of their own.
    //
    // heldUpTo: how much later than the byte really came the line may have delivered it (a
    // pseudo-terminal's own delays); the byte is then taken whenever some arrival within that
    // much before arrival is in time, so a delay of the line is never counted against the host.
    bool Feed(std::uint8_t byte, std::chrono::nanoseconds arrival, std::vector<std::uint8_t>& out,
              std::chrono::nanoseconds heldUpTo = std::chrono::nanoseconds::zero());

    // True once a disconnect fault has fired: the line is gone for good.
    bool Disconnected() const { return disconnected_; }
    // True while the firmware waits for a command code (no command half received).
    bool Idle() const { return command_ == nullptr; }

    void SetVersion(const std::array<std::uint8_t, 4>& version) { version_ = version; }
    const std::array<std::uint8_t, 4>& Version() const { return version_; }

    bool Powered() const { return powered_; }
    bool VppFirst() const { return vppFirst_; }
    bool Eicsp() const { return eicsp_; }
    std::uint8_t Option() const { return option_; }
    bool HasWriteSequence() const { return sequenceSet_; }
    const WriteSequence& Sequence() const { return sequence_; }
    // The last wait (0x01, 0x15, 0x16, 0x18) and hold (0x22, 0x23) bytes received.
    std::uint8_t LastWait() const { return lastWait_; }
    std::uint8_t LastHold() const { return lastHold_; }
    // Times each command code was accepted.
    std::uint64_t CommandCount(std::uint8_t code) const { return commandCounts_[code]; }
    const Stats& Statistics() const { return stats_; }
    const FaultPlan& Faults() const { return faults_; }

    static bool IsKnownCommand(std::uint8_t code);
    // The protocol's name of a command ("IcspLoad"); nullptr for an unknown code.
    static const char* CommandName(std::uint8_t code);

  private:
    // How the bytes after a command's code travel and are answered.
    enum class Shape : std::uint8_t {
        Code,       // nothing follows: acted on once the code is answered
        Frame,      // one frame: acted on, then answered
        FrameData,  // one frame: answered, then acted on, streaming raw bytes back
        Raw,        // raw bytes in, raw bytes out, no answer
        Block,      // raw bytes in, acted on, then answered
        Counted,    // a frame opening with a count, answered; then count item frames, each
                    // acted on and answered
        Held,       // a frame of the hold byte, answered; then one item frame, acted on and
                    // answered
    };

    // What a handler acts on: the bytes after the code and, for the commands with items, the
    // item that has just arrived.
    struct Args {
        std::span<const std::uint8_t> fixed;
        std::span<const std::uint8_t> item;
        bool lastItem = true;
    };
    using Handler = void (CFirmwareEngine::*)(const Args&);

    struct Command {
        std::uint8_t code;
        const char* name;
        std::uint8_t fixedBytes;
        std::uint8_t itemBytes;
        Shape shape;
        Handler handler;
    };
    static const Command* Find(std::uint8_t code);

    // True while the bytes the firmware waits for are raw ones.
    bool TakesRaw() const;
    void StartCommand(const Command& command);
    void FixedBytesArrived();
    // Answers the frame that announced count items, then waits for them.
    void StartItems(unsigned count);
    void ItemArrived();
    void Expect(std::size_t count);
    void Finish();
    // Sends the answer to a frame (subject to the frame faults); false ends the command.
    bool Answer(std::uint8_t byte = kAck);
    void Emit(std::uint8_t byte);
    void EmitWord(std::uint16_t word);

    // The chip the commands reach: the model while the socket is powered and filled, else an
    // empty socket that hears nothing and reads 0.
    IChipModel& Chip();
    void Icsp(std::uint8_t command);
    void Load(std::uint8_t command, std::uint16_t value);
    std::uint16_t Read(std::uint8_t command);
    void PowerOn(bool vppFirst);
    bool ProgramOne(std::uint16_t value);

    // The handlers, one a command (the two power-downs share one), named as the protocol
    // names the commands.
    void Ping(const Args&);
    void Wait(const Args& a);
    void GetVersion(const Args&);
    void PowerOnVddFirst(const Args&);
    void PowerOnVppFirst(const Args&);
    void PowerOff(const Args&);
    void EnterEicsp(const Args&);
    void ExitEicsp(const Args&);
    void SetOption(const Args& a);
    void IcspCommand(const Args& a);
    void IcspCommandRepeat(const Args& a);
    void IcspLoad(const Args& a);
    void IcspRead(const Args& a);
    void IcspReadMulti(const Args& a);
    void IcspCommandWait(const Args& a);
    void IcspTimedProgram(const Args& a);
    void SetWriteSequence(const Args& a);
    void ProgramWords(const Args& a);
    void LoadWords(const Args& a);
    void Pic18Send(const Args& a);
    void Pic18SendPayloads(const Args& a);
    void Pic18ProgramHold(const Args& a);
    void Pic18EraseHold(const Args& a);
    void Pic18Receive(const Args& a);
    void Pic18SetTablePointer(const Args& a);
    void Pic18SetEeAddress8(const Args& a);
    void Pic18SetEeAddress16(const Args& a);
    void Pic18EeStartA(const Args&);
    void Pic18EeStartB(const Args&);
    void Pic18EeStatus(const Args&);
    void Pic18EeRead(const Args& a);
    void Pic18EeEnd(const Args&);
    void DsSix(const Args& a);
    void DsRegOut(const Args&);
    void DsReadProgram4(const Args&);
    void DsReadWord(const Args&);
    void DsReadData8(const Args&);
    void DsWriteProgram4(const Args& a);
    void DsWriteConfig(const Args& a);
    void DsWriteData8(const Args& a);
    void DsCommitWrite(const Args&);
    void DsBeginProgramRow(const Args& a);
    void DsBeginDataRow(const Args& a);

    static const Command kCommands[];

    IChipModel& chip_;
    FaultPlan faults_;
    std::vector<std::uint8_t>* out_ = nullptr;

    // The command being received: its fixed bytes, then its items one by one.
    const Command* command_ = nullptr;
    std::vector<std::uint8_t> bytes_;
    std::size_t need_ = 0;
    std::vector<std::uint8_t> fixed_;
    unsigned itemsLeft_ = 0;   // not 0 while items are being received
    bool itemFailed_ = false;  // set by a handler whose item the firmware refuses

    std::array<std::uint8_t, 4> version_{0x01, 0x00, 0x03, 0x00};
    bool powered_ = false;
    bool vppFirst_ = false;
    bool eicsp_ = false;
    std::uint8_t option_ = 0;
    bool sequenceSet_ = false;
    WriteSequence sequence_;
    std::uint8_t lastWait_ = 0;
    std::uint8_t lastHold_ = 0;
    bool silent_ = false;
    bool disconnected_ = false;
    std::chrono::nanoseconds busyUntil_ = std::chrono::nanoseconds::min();
    std::array<std::uint64_t, 256> commandCounts_{};
    Stats stats_;
};

}  // namespace tenlo::sim
