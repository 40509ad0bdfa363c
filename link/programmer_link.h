#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "link/serial_port.h"

namespace tenlo {

struct FirmwareVersion {
    int major = 0;         // b0 * 256 + b1
    int minor = 0;         // b2
    bool edition = false;  // b3 != 0
};
FirmwareVersion DecodeVersion(const std::uint8_t bytes[4]);
// "Firmware Version %d.%d" and the edition suffix ("KX" set, "RZ" clear), as the about box and
// tenlo-cli show it.
std::string FormatFirmwareVersion(const std::uint8_t bytes[4]);

// Why a command failed on the line.
enum class LinkFault : std::uint8_t {
    None,
    NoAnswer,       // nothing came within the time-out: an acknowledgement or data lost
    WrongAnswer,    // a frame was answered with another byte than 0xA5
    NotProgrammed,  // the firmware turned down a word of 0x18: it did not program
    LineBroken,     // the port itself failed (unplugged, closed)
    Stopped,        // a stop had been asked for: the command was not sent
};

struct LinkFailure {
    LinkFault fault = LinkFault::None;
    std::uint8_t command = 0;  // the command code
    int frame = 0;             // which of its frames: 0 the code, 1 the next, ...
    std::uint8_t answer = 0;   // WrongAnswer, NotProgrammed: what came instead of 0xA5
};

// The firmware command's name, as the operations are called ("ProgramWords"); "command" for a
// code the protocol does not have.
const char* CommandName(std::uint8_t code);
// One English phrase for a failure: "the programmer did not acknowledge ProgramWords (0x18)".
std::string DescribeLinkFailure(const LinkFailure& failure);

// The Ravonite's command protocol: one operation per firmware command. Every command begins
// with a one-byte frame of its code; frames are written byte by byte with a 1 ms pause after
// each and closed by the firmware's 0xA5. Every operation returns true only when every write
// succeeded, every frame was acknowledged and every expected byte arrived.
class CProgrammerLink : public CSerialPort {
  public:
    static constexpr std::uint8_t kAck = 0xA5;
    // What the firmware answers instead of 0xA5 to a word of 0x18 that would not program.
    static constexpr std::uint8_t kNotProgrammed = 0x5A;

    using CSerialPort::CSerialPort;

    // The first failure since ClearFailure (or since the link was made); None while every
    // command has gone through.
    const LinkFailure& FirstFailure() const { return failure_; }
    void ClearFailure() { failure_ = {}; }

    // A flag that asks the link to stop (set from a signal handler, say): while it is set no
    // command starts but the two power-down commands, which end every operation. The flag
    // must outlive the link or be unset again. nullptr: never stop.
    void SetStopFlag(const std::atomic<bool>* flag) { stop_ = flag; }
    const std::atomic<bool>* StopFlag() const { return stop_; }
    bool StopRequested() const { return stop_ != nullptr && stop_->load(); }

    bool Ping();                                                                     // 0x00
    bool Wait(std::uint8_t count);                                                   // 0x01
    bool GetVersion(std::uint8_t version[4]);                                        // 0x02
    bool PowerOnVddFirst();                                                          // 0x03
    bool PowerOffVppFirst();                                                         // 0x04
    bool PowerOnVppFirst();                                                          // 0x05
    bool PowerOffVddFirst();                                                         // 0x06
    bool EnterEicsp();                                                               // 0x07
    bool ExitEicsp();                                                                // 0x08
    bool SetOption(std::uint8_t option);                                             // 0x0A
    bool IcspCommand(std::uint8_t command);                                          // 0x10
    bool IcspCommandRepeat(std::uint8_t command, std::uint8_t count);                // 0x11
    bool IcspLoad(std::uint8_t command, std::uint16_t value);                        // 0x12
    bool IcspRead(std::uint8_t command, std::uint16_t* word);                        // 0x13
    bool IcspReadMulti(std::uint8_t command, std::uint16_t* words, int count);       // 0x14
    bool IcspCommandWait(std::uint8_t command, std::uint8_t wait);                   // 0x15
    bool IcspTimedProgram(std::uint8_t begin, std::uint8_t end, std::uint8_t wait);  // 0x16
    // end = -1 (sent as 0xFF) stands for no end command.
    bool SetWriteSequence(std::uint8_t load, std::uint8_t begin, int end, std::uint8_t read,
                          std::uint8_t retries, std::uint8_t wait, bool program);  // 0x17
    bool ProgramWords(const std::uint16_t* words, int count);                      // 0x18
    bool ProgramBytes(const std::uint8_t* bytes, int count);                       // 0x18
    bool LoadWords(const std::uint16_t* words, int count);                         // 0x19

    bool Pic18Send(const std::uint8_t* commands, const std::uint16_t* payloads, int count);  // 0x20
    bool Pic18SendPayloads(std::uint8_t command, const std::uint16_t* payloads, int count);  // 0x21
    bool Pic18ProgramHold(std::uint8_t command, std::uint16_t payload, std::uint8_t hold);   // 0x22
    bool Pic18EraseHold(std::uint8_t command, std::uint16_t payload, std::uint8_t hold);     // 0x23
    bool Pic18Receive(std::uint8_t command, std::uint8_t* bytes, int count);                 // 0x24
    bool Pic18SetTablePointer(std::uint32_t address);                                        // 0x25
    bool Pic18SetEeAddress8(std::uint8_t a, std::uint8_t b);                                 // 0x26
    bool Pic18SetEeAddress16(std::uint16_t address, std::uint8_t data);                      // 0x27
    bool Pic18EeStartA();                                                                    // 0x28
    bool Pic18EeStartB();                                                                    // 0x29
    bool Pic18EeStatus(std::uint8_t* status);                                                // 0x2A
    bool Pic18EeRead(std::uint16_t address, std::uint8_t* value);                            // 0x2B
    bool Pic18EeEnd();                                                                       // 0x2C

    bool DsSix(const std::uint32_t* instructions, int count);  // 0x30
    bool DsRegOut(std::uint16_t* value);                       // 0x31
    bool DsReadProgram4(std::uint32_t words[4]);               // 0x32
    bool DsReadWord(std::uint16_t* value);                     // 0x33
    bool DsReadData8(std::uint8_t bytes[8]);                   // 0x34
    bool DsWriteProgram4(const std::uint32_t words[4]);        // 0x35
    bool DsWriteConfig(std::uint16_t value);                   // 0x36
    bool DsWriteData8(const std::uint8_t bytes[8]);            // 0x37
    bool DsCommitWrite();                                      // 0x38
    bool DsBeginProgramRow(std::uint32_t address);             // 0x39
    bool DsBeginDataRow(std::uint32_t address);                // 0x3A

    // Power-down as the device families end their work with it. An answer lost or garbled on
    // the way may mean the firmware never switched off, so the command is sent again (off twice
    // does no harm), each time on an input cleared of whatever late byte the last attempt left.
    // False only when no attempt was acknowledged: then the chip may still be powered. An
    // attempt that gets through takes back the failure the earlier ones noted.
    static constexpr int kPowerOffAttempts = 3;
    bool PowerOffVddFirstRetried();
    bool PowerOffVppFirstRetried();

    // The choosing operations the device families use.
    bool SendIcspCommand(std::uint8_t command, int count, std::uint8_t wait);
    bool IcspReadWords(std::uint8_t command, std::uint16_t* words, int count);
    bool IcspReadBytes(std::uint8_t command, std::uint8_t* bytes, int count);

  private:
    friend class LinkWire;
    bool Retried(bool (CProgrammerLink::*powerOff)());
    void NoteFailure(const LinkFailure& failure) {
        if (failure_.fault == LinkFault::None) {
            failure_ = failure;
        }
    }

    LinkFailure failure_;
    const std::atomic<bool>* stop_ = nullptr;
};

// The 12-byte packed form of four 24-bit dsPIC30F instructions, both ways.
void PackDsBlock(const std::uint32_t words[4], std::uint8_t bytes[12]);
void UnpackDsBlock(const std::uint8_t bytes[12], std::uint32_t words[4]);

}  // namespace tenlo
