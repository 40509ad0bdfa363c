#include "link/programmer_link.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <initializer_list>

namespace tenlo {

namespace {

constexpr auto kBytePause = std::chrono::milliseconds(1);
// Every count crosses the wire as one byte; a larger count would promise the firmware fewer
// items than the caller means, so such calls are refused before anything is sent.
constexpr int kMaxCount = 255;

constexpr std::uint8_t Low(unsigned value) {
    return static_cast<std::uint8_t>(value & 0xFF);
}
constexpr std::uint8_t Mid(unsigned value) {
    return static_cast<std::uint8_t>((value >> 8) & 0xFF);
}
constexpr std::uint8_t High(unsigned value) {
    return static_cast<std::uint8_t>((value >> 16) & 0xFF);
}

bool CountFits(int count) {
    return count >= 0 && count <= kMaxCount;
}

}  // namespace

namespace {

struct NamedCommand {
    std::uint8_t code;
    const char* name;
};

constexpr NamedCommand kCommandNames[] = {
    {0x00, "Ping"},
    {0x01, "Wait"},
    {0x02, "GetVersion"},
    {0x03, "PowerOnVddFirst"},
    {0x04, "PowerOffVppFirst"},
    {0x05, "PowerOnVppFirst"},
    {0x06, "PowerOffVddFirst"},
    {0x07, "EnterEicsp"},
    {0x08, "ExitEicsp"},
    {0x0A, "SetOption"},
    {0x10, "IcspCommand"},
    {0x11, "IcspCommandRepeat"},
    {0x12, "IcspLoad"},
    {0x13, "IcspRead"},
    {0x14, "IcspReadMulti"},
    {0x15, "IcspCommandWait"},
    {0x16, "IcspTimedProgram"},
    {0x17, "SetWriteSequence"},
    {0x18, "ProgramWords"},
    {0x19, "LoadWords"},
    {0x20, "Pic18Send"},
    {0x21, "Pic18SendPayloads"},
    {0x22, "Pic18ProgramHold"},
    {0x23, "Pic18EraseHold"},
    {0x24, "Pic18Receive"},
    {0x25, "Pic18SetTablePointer"},
    {0x26, "Pic18SetEeAddress8"},
    {0x27, "Pic18SetEeAddress16"},
    {0x28, "Pic18EeStartA"},
    {0x29, "Pic18EeStartB"},
    {0x2A, "Pic18EeStatus"},
    {0x2B, "Pic18EeRead"},
    {0x2C, "Pic18EeEnd"},
    {0x30, "DsSix"},
    {0x31, "DsRegOut"},
    {0x32, "DsReadProgram4"},
    {0x33, "DsReadWord"},
    {0x34, "DsReadData8"},
    {0x35, "DsWriteProgram4"},
    {0x36, "DsWriteConfig"},
    {0x37, "DsWriteData8"},
    {0x38, "DsCommitWrite"},
    {0x39, "DsBeginProgramRow"},
    {0x3A, "DsBeginDataRow"},
};

std::string HexByte(std::uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

// "ProgramWords (0x18)", or "frame 3 of ProgramWords (0x18)" past the command's own frame.
std::string WhichFrame(const LinkFailure& f) {
    const std::string command =
        std::string(CommandName(f.command)) + " (" + HexByte(f.command) + ")";
    return f.frame == 0 ? command : "frame " + std::to_string(f.frame) + " of " + command;
}

}  // namespace

const char* CommandName(std::uint8_t code) {
    for (const NamedCommand& c : kCommandNames) {
        if (c.code == code) {
            return c.name;
        }
    }
    return "command";
}

std::string DescribeLinkFailure(const LinkFailure& f) {
    switch (f.fault) {
        case LinkFault::None:
            return "no failure";
        case LinkFault::NoAnswer:
            return "no answer came from the programmer to " + WhichFrame(f) +
                   ": an acknowledgement or data was lost";
        case LinkFault::WrongAnswer:
            return "the programmer answered " + WhichFrame(f) + " with " + HexByte(f.answer) +
                   " instead of 0xA5";
        case LinkFault::NotProgrammed:
            return "the programmer reported that a word did not program (" + WhichFrame(f) +
                   " answered " + HexByte(f.answer) + ")";
        case LinkFault::LineBroken:
            return "the line broke at " + WhichFrame(f);
        case LinkFault::Stopped:
            return "stopped before " + WhichFrame(f);
    }
    return "unknown failure";
}

FirmwareVersion DecodeVersion(const std::uint8_t bytes[4]) {
    FirmwareVersion v;
    v.major = bytes[0] * 256 + bytes[1];
    v.minor = bytes[2];
    v.edition = bytes[3] != 0;
    return v;
}

std::string FormatFirmwareVersion(const std::uint8_t bytes[4]) {
    const FirmwareVersion v = DecodeVersion(bytes);
    char text[64];
    std::snprintf(text, sizeof text, "Firmware Version %d.%d", v.major, v.minor);
    return std::string(text) + (v.edition ? "KX" : "RZ");
}

void PackDsBlock(const std::uint32_t words[4], std::uint8_t bytes[12]) {
    for (int pair = 0; pair < 2; ++pair) {
        const std::uint32_t a = words[pair * 2];
        const std::uint32_t b = words[pair * 2 + 1];
        std::uint8_t* out = bytes + pair * 6;
        out[0] = Low(a);
        out[1] = Mid(a);
        out[2] = High(a);
        out[3] = High(b);
        out[4] = Low(b);
        out[5] = Mid(b);
    }
}

void UnpackDsBlock(const std::uint8_t bytes[12], std::uint32_t words[4]) {
    for (int pair = 0; pair < 2; ++pair) {
        const std::uint8_t* in = bytes + pair * 6;
        words[pair * 2] = static_cast<std::uint32_t>(in[2]) << 16 |
                          static_cast<std::uint32_t>(in[1]) << 8 | in[0];
        words[pair * 2 + 1] = static_cast<std::uint32_t>(in[3]) << 16 |
                              static_cast<std::uint32_t>(in[5]) << 8 | in[4];
    }
}

// The protocol's building blocks, kept out of the public class so its interface stays the
// firmware's command list. Every failure is noted on the link, the first one of an operation
// kept, so a caller can tell the user what was lost where.
class LinkWire {
  public:
    explicit LinkWire(CProgrammerLink& link) : link_(link) {}

    // The frame of a command's code. Once a stop has been asked for, no new command starts but
    // the power-down ones, so an operation ends through its normal failure path and still
    // switches the chip off. A command already under way runs to its end: cut off between its
    // frames, the firmware would take the power-down code for an argument.
    bool Command(std::uint8_t code) {
        command_ = code;
        frame_ = 0;
        if (link_.StopRequested() && code != kPowerOffVppFirst && code != kPowerOffVddFirst) {
            return Fail(LinkFault::Stopped);
        }
        return Frame({code});
    }

    // Each byte written with a 1 ms pause after it, then the firmware's 0xA5. The pause ends
    // 1 ms after the byte left, on an absolute deadline: the trace and the rest of our own
    // work happen inside it instead of being added to it.
    bool Frame(std::initializer_list<std::uint8_t> bytes) {
        for (std::uint8_t b : bytes) {
            if (!link_.WriteByte(b)) {
                return Fail(LinkFault::LineBroken);
            }
            link_.Clock().SleepUntil(link_.LastWriteTime() + kBytePause);
        }
        const bool ok = Ack();
        ++frame_;
        return ok;
    }

    bool Ack() {
        std::uint8_t reply = 0;
        if (!RawIn(&reply)) {
            return false;
        }
        if (reply == CProgrammerLink::kAck) {
            return true;
        }
        // The word frames of 0x18 are the only ones the firmware may turn down on purpose: a
        // word that did not program after all its attempts.
        const bool wordFrame = command_ == kProgram && frame_ >= kFirstWordFrame;
        return Fail(wordFrame && reply == CProgrammerLink::kNotProgrammed ? LinkFault::NotProgrammed
                                                                          : LinkFault::WrongAnswer,
                    reply);
    }

    bool Raw(std::uint8_t b) { return link_.WriteByte(b) || Fail(LinkFault::LineBroken); }

    bool RawIn(std::uint8_t* b) {
        if (link_.ReadByte(b)) {
            return true;
        }
        return Fail(link_.LastReadTimedOut() ? LinkFault::NoAnswer : LinkFault::LineBroken);
    }

    bool WordIn(std::uint16_t* word) {
        std::uint8_t lo = 0;
        std::uint8_t hi = 0;
        if (!RawIn(&lo) || !RawIn(&hi)) {
            return false;
        }
        *word = static_cast<std::uint16_t>(hi << 8 | lo);
        return true;
    }

    // The code, a frame of the count, then one frame of each word, low byte first.
    bool CountedWords(std::uint8_t code, const std::uint16_t* words, int count) {
        if (!CountFits(count) || (count > 0 && words == nullptr)) {
            return false;
        }
        if (!Command(code) || !Frame({Low(static_cast<unsigned>(count))})) {
            return false;
        }
        for (int i = 0; i < count; ++i) {
            if (!Frame({Low(words[i]), Mid(words[i])})) {
                return false;
            }
        }
        return true;
    }

  private:
    static constexpr std::uint8_t kPowerOffVppFirst = 0x04;
    static constexpr std::uint8_t kPowerOffVddFirst = 0x06;
    static constexpr std::uint8_t kProgram = 0x18;
    static constexpr int kFirstWordFrame = 2;  // after the code and the count

    bool Fail(LinkFault fault, std::uint8_t answer = 0) {
        link_.NoteFailure({fault, command_, frame_, answer});
        return false;
    }

    CProgrammerLink& link_;
    std::uint8_t command_ = 0;
    int frame_ = 0;
};

bool CProgrammerLink::Ping() {
    return LinkWire(*this).Command(0x00);
}

bool CProgrammerLink::Wait(std::uint8_t count) {
    LinkWire w(*this);
    return w.Command(0x01) && w.Frame({count});
}

bool CProgrammerLink::GetVersion(std::uint8_t version[4]) {
    if (version == nullptr) {
        return false;
    }
    LinkWire w(*this);
    if (!w.Command(0x02)) {
        return false;
    }
    for (int i = 0; i < 4; ++i) {
        if (!w.RawIn(&version[i])) {
            return false;
        }
    }
    return true;
}

bool CProgrammerLink::PowerOnVddFirst() {
    return LinkWire(*this).Command(0x03);
}
bool CProgrammerLink::PowerOffVppFirst() {
    return LinkWire(*this).Command(0x04);
}
bool CProgrammerLink::PowerOnVppFirst() {
    return LinkWire(*this).Command(0x05);
}
bool CProgrammerLink::PowerOffVddFirst() {
    return LinkWire(*this).Command(0x06);
}
bool CProgrammerLink::PowerOffVddFirstRetried() {
    return Retried(&CProgrammerLink::PowerOffVddFirst);
}
bool CProgrammerLink::PowerOffVppFirstRetried() {
    return Retried(&CProgrammerLink::PowerOffVppFirst);
}

bool CProgrammerLink::Retried(bool (CProgrammerLink::*powerOff)()) {
    const LinkFailure before = failure_;
    for (int attempt = 0; attempt < kPowerOffAttempts; ++attempt) {
        if (attempt > 0) {
            FlushInput();
        }
        if ((this->*powerOff)()) {
            failure_ = before;
            return true;
        }
    }
    return false;
}

bool CProgrammerLink::EnterEicsp() {
    return LinkWire(*this).Command(0x07);
}
bool CProgrammerLink::ExitEicsp() {
    return LinkWire(*this).Command(0x08);
}

bool CProgrammerLink::SetOption(std::uint8_t option) {
    LinkWire w(*this);
    return w.Command(0x0A) && w.Frame({option});
}

bool CProgrammerLink::IcspCommand(std::uint8_t command) {
    LinkWire w(*this);
    return w.Command(0x10) && w.Frame({command});
}

bool CProgrammerLink::IcspCommandRepeat(std::uint8_t command, std::uint8_t count) {
    LinkWire w(*this);
    return w.Command(0x11) && w.Frame({command, count});
}

bool CProgrammerLink::IcspLoad(std::uint8_t command, std::uint16_t value) {
    LinkWire w(*this);
    return w.Command(0x12) && w.Frame({command, Low(value), Mid(value)});
}

bool CProgrammerLink::IcspRead(std::uint8_t command, std::uint16_t* word) {
    if (word == nullptr) {
        return false;
    }
    LinkWire w(*this);
    return w.Command(0x13) && w.Raw(command) && w.WordIn(word);
}

bool CProgrammerLink::IcspReadMulti(std::uint8_t command, std::uint16_t* words, int count) {
    // The firmware streams 1 to 255 words; for a count byte of 0 the stream length is unknown.
    if (count < 1 || count > kMaxCount || words == nullptr) {
        return false;
    }
    LinkWire w(*this);
    if (!w.Command(0x14) || !w.Frame({command, Low(static_cast<unsigned>(count))})) {
        return false;
    }
    for (int i = 0; i < count; ++i) {
        if (!w.WordIn(&words[i])) {
            return false;
        }
    }
    return true;
}

bool CProgrammerLink::IcspCommandWait(std::uint8_t command, std::uint8_t wait) {
    LinkWire w(*this);
    return w.Command(0x15) && w.Frame({command, wait});
}

bool CProgrammerLink::IcspTimedProgram(std::uint8_t begin, std::uint8_t end, std::uint8_t wait) {
    LinkWire w(*this);
    return w.Command(0x16) && w.Frame({begin, end, wait});
}

bool CProgrammerLink::SetWriteSequence(std::uint8_t load, std::uint8_t begin, int end,
                                       std::uint8_t read, std::uint8_t retries, std::uint8_t wait,
                                       bool program) {
    const std::uint8_t endByte = end < 0 ? 0xFF : Low(static_cast<unsigned>(end));
    LinkWire w(*this);
    return w.Command(0x17) && w.Frame({load, begin, wait, endByte, read, retries,
                                       static_cast<std::uint8_t>(program ? 1 : 0)});
}

bool CProgrammerLink::ProgramWords(const std::uint16_t* words, int count) {
    return LinkWire(*this).CountedWords(0x18, words, count);
}

bool CProgrammerLink::ProgramBytes(const std::uint8_t* bytes, int count) {
    if (!CountFits(count) || (count > 0 && bytes == nullptr)) {
        return false;
    }
    LinkWire w(*this);
    if (!w.Command(0x18) || !w.Frame({Low(static_cast<unsigned>(count))})) {
        return false;
    }
    for (int i = 0; i < count; ++i) {
        if (!w.Frame({bytes[i], 0x00})) {
            return false;
        }
    }
    return true;
}

bool CProgrammerLink::LoadWords(const std::uint16_t* words, int count) {
    return LinkWire(*this).CountedWords(0x19, words, count);
}

bool CProgrammerLink::Pic18Send(const std::uint8_t* commands, const std::uint16_t* payloads,
                                int count) {
    if (!CountFits(count) || (count > 0 && (commands == nullptr || payloads == nullptr))) {
        return false;
    }
    LinkWire w(*this);
    if (!w.Command(0x20) || !w.Frame({Low(static_cast<unsigned>(count))})) {
        return false;
    }
    for (int i = 0; i < count; ++i) {
        if (!w.Frame({commands[i], Low(payloads[i]), Mid(payloads[i])})) {
            return false;
        }
    }
    return true;
}

bool CProgrammerLink::Pic18SendPayloads(std::uint8_t command, const std::uint16_t* payloads,
                                        int count) {
    if (!CountFits(count) || (count > 0 && payloads == nullptr)) {
        return false;
    }
    LinkWire w(*this);
    if (!w.Command(0x21) || !w.Frame({Low(static_cast<unsigned>(count)), command})) {
        return false;
    }
    for (int i = 0; i < count; ++i) {
        if (!w.Frame({Low(payloads[i]), Mid(payloads[i])})) {
            return false;
        }
    }
    return true;
}

bool CProgrammerLink::Pic18ProgramHold(std::uint8_t command, std::uint16_t payload,
                                       std::uint8_t hold) {
    LinkWire w(*this);
    return w.Command(0x22) && w.Frame({hold}) && w.Frame({command, Low(payload), Mid(payload)});
}

bool CProgrammerLink::Pic18EraseHold(std::uint8_t command, std::uint16_t payload,
                                     std::uint8_t hold) {
    LinkWire w(*this);
    return w.Command(0x23) && w.Frame({hold}) && w.Frame({command, Low(payload), Mid(payload)});
}

bool CProgrammerLink::Pic18Receive(std::uint8_t command, std::uint8_t* bytes, int count) {
    if (!CountFits(count) || (count > 0 && bytes == nullptr)) {
        return false;
    }
    LinkWire w(*this);
    if (!w.Command(0x24) || !w.Frame({Low(static_cast<unsigned>(count)), command})) {
        return false;
    }
    for (int i = 0; i < count; ++i) {
        if (!w.RawIn(&bytes[i])) {
            return false;
        }
    }
    return true;
}

bool CProgrammerLink::Pic18SetTablePointer(std::uint32_t address) {
    LinkWire w(*this);
    return w.Command(0x25) && w.Frame({Low(address), Mid(address), High(address)});
}

bool CProgrammerLink::Pic18SetEeAddress8(std::uint8_t a, std::uint8_t b) {
    LinkWire w(*this);
    return w.Command(0x26) && w.Frame({a, b});
}

bool CProgrammerLink::Pic18SetEeAddress16(std::uint16_t address, std::uint8_t data) {
    LinkWire w(*this);
    return w.Command(0x27) && w.Frame({Low(address), Mid(address), data});
}

bool CProgrammerLink::Pic18EeStartA() {
    return LinkWire(*this).Command(0x28);
}
bool CProgrammerLink::Pic18EeStartB() {
    return LinkWire(*this).Command(0x29);
}

bool CProgrammerLink::Pic18EeStatus(std::uint8_t* status) {
    if (status == nullptr) {
        return false;
    }
    LinkWire w(*this);
    return w.Command(0x2A) && w.RawIn(status);
}

bool CProgrammerLink::Pic18EeRead(std::uint16_t address, std::uint8_t* value) {
    if (value == nullptr) {
        return false;
    }
    LinkWire w(*this);
    return w.Command(0x2B) && w.Raw(Low(address)) && w.Raw(Mid(address)) && w.RawIn(value);
}

bool CProgrammerLink::Pic18EeEnd() {
    return LinkWire(*this).Command(0x2C);
}

bool CProgrammerLink::DsSix(const std::uint32_t* instructions, int count) {
    if (!CountFits(count) || (count > 0 && instructions == nullptr)) {
        return false;
    }
    LinkWire w(*this);
    if (!w.Command(0x30) || !w.Frame({Low(static_cast<unsigned>(count))})) {
        return false;
    }
    for (int i = 0; i < count; ++i) {
        const std::uint32_t op = instructions[i];
        if (!w.Frame({Low(op), Mid(op), High(op)})) {
            return false;
        }
    }
    return true;
}

bool CProgrammerLink::DsRegOut(std::uint16_t* value) {
    if (value == nullptr) {
        return false;
    }
    LinkWire w(*this);
    return w.Command(0x31) && w.WordIn(value);
}

bool CProgrammerLink::DsReadProgram4(std::uint32_t words[4]) {
    if (words == nullptr) {
        return false;
    }
    LinkWire w(*this);
    if (!w.Command(0x32)) {
        return false;
    }
    std::uint8_t block[12];
    for (std::uint8_t& b : block) {
        if (!w.RawIn(&b)) {
            return false;
        }
    }
    UnpackDsBlock(block, words);
    return true;
}

bool CProgrammerLink::DsReadWord(std::uint16_t* value) {
    if (value == nullptr) {
        return false;
    }
    LinkWire w(*this);
    return w.Command(0x33) && w.WordIn(value);
}

bool CProgrammerLink::DsReadData8(std::uint8_t bytes[8]) {
    if (bytes == nullptr) {
        return false;
    }
    LinkWire w(*this);
    if (!w.Command(0x34)) {
        return false;
    }
    for (int i = 0; i < 8; ++i) {
        if (!w.RawIn(&bytes[i])) {
            return false;
        }
    }
    return true;
}

bool CProgrammerLink::DsWriteProgram4(const std::uint32_t words[4]) {
    if (words == nullptr) {
        return false;
    }
    std::uint8_t block[12];
    PackDsBlock(words, block);
    LinkWire w(*this);
    if (!w.Command(0x35)) {
        return false;
    }
    for (std::uint8_t b : block) {
        if (!w.Raw(b)) {
            return false;
        }
    }
    return w.Ack();
}

bool CProgrammerLink::DsWriteConfig(std::uint16_t value) {
    LinkWire w(*this);
    return w.Command(0x36) && w.Raw(Low(value)) && w.Raw(Mid(value)) && w.Ack();
}

bool CProgrammerLink::DsWriteData8(const std::uint8_t bytes[8]) {
    if (bytes == nullptr) {
        return false;
    }
    LinkWire w(*this);
    if (!w.Command(0x37)) {
        return false;
    }
    for (int i = 0; i < 8; ++i) {
        if (!w.Raw(bytes[i])) {
            return false;
        }
    }
    return w.Ack();
}

bool CProgrammerLink::DsCommitWrite() {
    return LinkWire(*this).Command(0x38);
}

bool CProgrammerLink::DsBeginProgramRow(std::uint32_t address) {
    LinkWire w(*this);
    return w.Command(0x39) && w.Raw(High(address)) && w.Raw(Low(address)) && w.Raw(Mid(address)) &&
           w.Ack();
}

bool CProgrammerLink::DsBeginDataRow(std::uint32_t address) {
    LinkWire w(*this);
    return w.Command(0x3A) && w.Raw(High(address)) && w.Raw(Low(address)) && w.Raw(Mid(address)) &&
           w.Ack();
}

bool CProgrammerLink::SendIcspCommand(std::uint8_t command, int count, std::uint8_t wait) {
    int n = std::max(count, 1);
    if (wait != 0) {
        for (int i = 0; i < n; ++i) {
            if (!IcspCommandWait(command, wait)) {
                return false;
            }
        }
        return true;
    }
    // The repeat count is one byte: a larger count goes out in several repeats so the chip
    // still sees exactly n commands (one byte of it alone would run 256 as 0).
    while (n > 0) {
        const int chunk = std::min(n, kMaxCount);
        const bool ok = chunk == 1 ? IcspCommand(command)
                                   : IcspCommandRepeat(command, Low(static_cast<unsigned>(chunk)));
        if (!ok) {
            return false;
        }
        n -= chunk;
    }
    return true;
}

bool CProgrammerLink::IcspReadWords(std::uint8_t command, std::uint16_t* words, int count) {
    if (count == 0) {
        return IcspRead(command, words);
    }
    return IcspReadMulti(command, words, count);
}

bool CProgrammerLink::IcspReadBytes(std::uint8_t command, std::uint8_t* bytes, int count) {
    if (!CountFits(count) || bytes == nullptr) {
        return false;
    }
    const int words = std::max(count, 1);
    std::uint16_t buffer[kMaxCount];
    if (!IcspReadWords(command, buffer, count)) {
        return false;
    }
    for (int i = 0; i < words; ++i) {
        bytes[i] = Low(buffer[i]);
    }
    return true;
}

}  // namespace tenlo
