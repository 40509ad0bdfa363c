#include "sim/firmware_engine.h"

#include <algorithm>

namespace tenlo::sim {

namespace {

constexpr std::uint8_t kIncrement = 0x06;
constexpr std::uint8_t kLoadProgram = 0x02;
constexpr std::uint16_t kWordMask = 0x3FFF;
constexpr std::uint8_t kEeBusy = 0x02;
constexpr std::uint8_t kPic18CommandMask = 0x0F;

std::uint16_t Word(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

std::uint32_t Word24(std::uint8_t low, std::uint8_t middle, std::uint8_t upper) {
    return static_cast<std::uint32_t>(low | (middle << 8) | (upper << 16));
}

// A socket without a powered chip: it hears nothing and every read is 0.
class EmptySocket final : public IChipModel {
  public:
    std::string Name() const override { return {}; }
    void PowerOn(bool) override {}
    void PowerOff() override {}
    bool IsPowered() const override { return false; }
    void IcspCommand(std::uint8_t) override {}
    void IcspLoad(std::uint8_t, std::uint16_t) override {}
    std::uint16_t IcspRead(std::uint8_t) override { return 0; }
    bool Peek(Space, std::uint32_t, std::uint32_t&) const override { return false; }
    bool Poke(Space, std::uint32_t, std::uint32_t) override { return false; }
    void SetStuckCell(Space, std::uint32_t) override {}
};

}  // namespace

using E = CFirmwareEngine;

// The firmware's commands. fixed: the bytes after the code; item: the bytes of each item frame
// of the commands that take items.
// clang-format off
const E::Command E::kCommands[] = {
    // code  name                     fixed item shape              handler
    {0x00, "Ping",                    0,  0, Shape::Code,      &E::Ping},
    {0x01, "Wait",                    1,  0, Shape::Frame,     &E::Wait},
    {0x02, "GetVersion",              0,  0, Shape::Code,      &E::GetVersion},
    {0x03, "PowerOnVddFirst",         0,  0, Shape::Code,      &E::PowerOnVddFirst},
    {0x04, "PowerOffVppFirst",        0,  0, Shape::Code,      &E::PowerOff},
    {0x05, "PowerOnVppFirst",         0,  0, Shape::Code,      &E::PowerOnVppFirst},
    {0x06, "PowerOffVddFirst",        0,  0, Shape::Code,      &E::PowerOff},
    {0x07, "EnterEicsp",              0,  0, Shape::Code,      &E::EnterEicsp},
    {0x08, "ExitEicsp",               0,  0, Shape::Code,      &E::ExitEicsp},
    {0x0A, "SetOption",               1,  0, Shape::Frame,     &E::SetOption},
    {0x10, "IcspCommand",             1,  0, Shape::Frame,     &E::IcspCommand},
    {0x11, "IcspCommandRepeat",       2,  0, Shape::Frame,     &E::IcspCommandRepeat},
    {0x12, "IcspLoad",                3,  0, Shape::Frame,     &E::IcspLoad},
    {0x13, "IcspRead",                1,  0, Shape::Raw,       &E::IcspRead},
    {0x14, "IcspReadMulti",           2,  0, Shape::FrameData, &E::IcspReadMulti},
    {0x15, "IcspCommandWait",         2,  0, Shape::Frame,     &E::IcspCommandWait},
    {0x16, "IcspTimedProgram",        3,  0, Shape::Frame,     &E::IcspTimedProgram},
    {0x17, "SetWriteSequence",        7,  0, Shape::Frame,     &E::SetWriteSequence},
    {0x18, "ProgramWords",            1,  2, Shape::Counted,   &E::ProgramWords},
    {0x19, "LoadWords",               1,  2, Shape::Counted,   &E::LoadWords},
    {0x20, "Pic18Send",               1,  3, Shape::Counted,   &E::Pic18Send},
    {0x21, "Pic18SendPayloads",       2,  2, Shape::Counted,   &E::Pic18SendPayloads},
    {0x22, "Pic18ProgramHold",        1,  3, Shape::Held,      &E::Pic18ProgramHold},
    {0x23, "Pic18EraseHold",          1,  3, Shape::Held,      &E::Pic18EraseHold},
    {0x24, "Pic18Receive",            2,  0, Shape::FrameData, &E::Pic18Receive},
    {0x25, "Pic18SetTablePointer",    3,  0, Shape::Frame,     &E::Pic18SetTablePointer},
    {0x26, "Pic18SetEeAddress8",      2,  0, Shape::Frame,     &E::Pic18SetEeAddress8},
    {0x27, "Pic18SetEeAddress16",     3,  0, Shape::Frame,     &E::Pic18SetEeAddress16},
    {0x28, "Pic18EeStartA",           0,  0, Shape::Code,      &E::Pic18EeStartA},
    {0x29, "Pic18EeStartB",           0,  0, Shape::Code,      &E::Pic18EeStartB},
    {0x2A, "Pic18EeStatus",           0,  0, Shape::Code,      &E::Pic18EeStatus},
    {0x2B, "Pic18EeRead",             2,  0, Shape::Raw,       &E::Pic18EeRead},
    {0x2C, "Pic18EeEnd",              0,  0, Shape::Code,      &E::Pic18EeEnd},
    {0x30, "DsSix",                   1,  3, Shape::Counted,   &E::DsSix},
    {0x31, "DsRegOut",                0,  0, Shape::Code,      &E::DsRegOut},
    {0x32, "DsReadProgram4",          0,  0, Shape::Code,      &E::DsReadProgram4},
    {0x33, "DsReadWord",              0,  0, Shape::Code,      &E::DsReadWord},
    {0x34, "DsReadData8",             0,  0, Shape::Code,      &E::DsReadData8},
    {0x35, "DsWriteProgram4",        12,  0, Shape::Block,     &E::DsWriteProgram4},
    {0x36, "DsWriteConfig",           2,  0, Shape::Block,     &E::DsWriteConfig},
    {0x37, "DsWriteData8",            8,  0, Shape::Block,     &E::DsWriteData8},
    {0x38, "DsCommitWrite",           0,  0, Shape::Code,      &E::DsCommitWrite},
    {0x39, "DsBeginProgramRow",       3,  0, Shape::Block,     &E::DsBeginProgramRow},
    {0x3A, "DsBeginDataRow",          3,  0, Shape::Block,     &E::DsBeginDataRow},
};
// clang-format on

const E::Command* CFirmwareEngine::Find(std::uint8_t code) {
    static const std::array<const Command*, 256> byCode = [] {
        std::array<const Command*, 256> index{};
        for (const Command& command : kCommands) {
            index[command.code] = &command;
        }
        return index;
    }();
    return byCode[code];
}

bool CFirmwareEngine::IsKnownCommand(std::uint8_t code) {
    return Find(code) != nullptr;
}

const char* CFirmwareEngine::CommandName(std::uint8_t code) {
    const Command* command = Find(code);
    return command != nullptr ? command->name : nullptr;
}

CFirmwareEngine::CFirmwareEngine(IChipModel& chip, FaultPlan faults)
    : chip_(chip), faults_(std::move(faults)) {
    // The longest frame (0x35) has 12 bytes.
    bytes_.reserve(12);
    fixed_.reserve(12);
}

// ---- Receiving ----

bool CFirmwareEngine::TakesRaw() const {
    return command_ != nullptr &&
           (command_->shape == Shape::Raw || command_->shape == Shape::Block);
}

bool CFirmwareEngine::Feed(std::uint8_t byte, std::chrono::nanoseconds arrival,
                           std::vector<std::uint8_t>& out, std::chrono::nanoseconds heldUpTo) {
    if (arrival < busyUntil_) {
        ++stats_.lostBytes;
        return false;
    }
    // An unknown command code is handled too: the firmware has to look it up.
    const bool framed = !TakesRaw();
    Feed(byte, out);
    if (framed) {
        // The earliest the byte can have come that is still in time.
        busyUntil_ = std::max(arrival - heldUpTo, busyUntil_) + kByteHandling;
    }
    return true;
}

void CFirmwareEngine::Feed(std::uint8_t byte, std::vector<std::uint8_t>& out) {
    ++stats_.bytesIn;
    if (disconnected_ || silent_) {
        return;
    }
    if (faults_.disconnectAtByte != 0 && stats_.bytesIn >= faults_.disconnectAtByte) {
        disconnected_ = true;
        return;
    }
    if (faults_.silenceFromByte != 0 && stats_.bytesIn >= faults_.silenceFromByte) {
        // A hung firmware: it neither answers nor acts on anything any more.
        silent_ = true;
        return;
    }
    out_ = &out;
    if (command_ == nullptr) {
        if (const Command* command = Find(byte)) {
            StartCommand(*command);
        } else {
            ++stats_.droppedCodes;
        }
    } else {
        bytes_.push_back(byte);
        if (bytes_.size() >= need_) {
            if (itemsLeft_ > 0) {
                ItemArrived();
            } else {
                FixedBytesArrived();
            }
        }
    }
    out_ = nullptr;
}

void CFirmwareEngine::StartCommand(const Command& command) {
    ++commandCounts_[command.code];
    command_ = &command;
    // The code is a frame of its own, answered at once.
    if (!Answer()) {
        Finish();
        return;
    }
    if (command.shape == Shape::Code) {
        (this->*command.handler)({});
        Finish();
        return;
    }
    Expect(command.fixedBytes);
}

void CFirmwareEngine::FixedBytesArrived() {
    const Command& command = *command_;
    fixed_.assign(bytes_.begin(), bytes_.end());
    const Args args{fixed_, {}};
    switch (command.shape) {
        case Shape::Frame:
        case Shape::Block:
            (this->*command.handler)(args);
            Answer();
            break;
        case Shape::FrameData:
            if (Answer()) {
                (this->*command.handler)(args);
            }
            break;
        case Shape::Raw:
            (this->*command.handler)(args);
            break;
        case Shape::Counted:
            StartItems(fixed_[0]);
            return;
        case Shape::Held:
            lastHold_ = fixed_[0];
            StartItems(1);
            return;
        case Shape::Code:
            break;
    }
    Finish();
}

void CFirmwareEngine::StartItems(unsigned count) {
    itemsLeft_ = count;
    if (Answer() && count > 0) {
        Expect(command_->itemBytes);
    } else {
        Finish();
    }
}

void CFirmwareEngine::ItemArrived() {
    const Command& command = *command_;
    --itemsLeft_;
    itemFailed_ = false;
    (this->*command.handler)({fixed_, bytes_, itemsLeft_ == 0});
    if (!Answer(itemFailed_ ? kProgramFailed : kAck) || itemFailed_ || itemsLeft_ == 0) {
        Finish();
        return;
    }
    Expect(command.itemBytes);
}

void CFirmwareEngine::Expect(std::size_t count) {
    bytes_.clear();
    need_ = count;
}

void CFirmwareEngine::Finish() {
    command_ = nullptr;
    bytes_.clear();
    need_ = 0;
    itemsLeft_ = 0;
}

// ---- Answering ----

bool CFirmwareEngine::Answer(std::uint8_t byte) {
    const std::uint64_t frame = ++stats_.frames;
    if (faults_.noAckFrames.count(frame) != 0) {
        return false;
    }
    if (auto bad = faults_.badAcks.find(frame); bad != faults_.badAcks.end()) {
        Emit(bad->second);
        return false;
    }
    Emit(byte);
    return true;
}

void CFirmwareEngine::Emit(std::uint8_t byte) {
    ++stats_.bytesOut;
    out_->push_back(byte);
}

void CFirmwareEngine::EmitWord(std::uint16_t word) {
    Emit(static_cast<std::uint8_t>(word & 0xFF));
    Emit(static_cast<std::uint8_t>(word >> 8));
}

// ---- The chip ----

IChipModel& CFirmwareEngine::Chip() {
    static EmptySocket empty;
    return powered_ && !faults_.noChip ? chip_ : empty;
}

void CFirmwareEngine::Icsp(std::uint8_t command) {
    Chip().IcspCommand(command);
}

void CFirmwareEngine::Load(std::uint8_t command, std::uint16_t value) {
    // The load clocks carry 14 data bits between a start and a stop bit.
    Chip().IcspLoad(command, static_cast<std::uint16_t>(value & kWordMask));
}

std::uint16_t CFirmwareEngine::Read(std::uint8_t command) {
    return Chip().IcspRead(command);
}

bool CFirmwareEngine::ProgramOne(std::uint16_t value) {
    const bool words = sequence_.flag != 0;
    const std::uint16_t mask = words ? kWordMask : 0xFF;
    const int attempts = std::max<int>(1, sequence_.retries);
    lastWait_ = sequence_.wait;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (attempt > 0) {
            ++stats_.programRetries;
        }
        Load(sequence_.load, value);
        Icsp(sequence_.begin);
        if (sequence_.end != kNoEnd) {
            Icsp(sequence_.end);
        }
        if ((Read(sequence_.read) & mask) == (value & mask)) {
            return true;
        }
    }
    return false;
}

// ---- The commands ----

void CFirmwareEngine::Ping(const Args&) {}

void CFirmwareEngine::Wait(const Args& a) {
    lastWait_ = a.fixed[0];
}

void CFirmwareEngine::GetVersion(const Args&) {
    for (std::uint8_t b : version_) {
        Emit(b);
    }
}

void CFirmwareEngine::PowerOnVddFirst(const Args&) {
    PowerOn(false);
}

void CFirmwareEngine::PowerOnVppFirst(const Args&) {
    PowerOn(true);
}

void CFirmwareEngine::PowerOn(bool vppFirst) {
    powered_ = true;
    vppFirst_ = vppFirst;
    if (!faults_.noChip) {
        chip_.PowerOn(vppFirst);
    }
}

void CFirmwareEngine::PowerOff(const Args&) {
    powered_ = false;
    if (!faults_.noChip) {
        chip_.PowerOff();
    }
}

void CFirmwareEngine::EnterEicsp(const Args&) {
    eicsp_ = true;
}

void CFirmwareEngine::ExitEicsp(const Args&) {
    eicsp_ = false;
}

void CFirmwareEngine::SetOption(const Args& a) {
    option_ = a.fixed[0];
}

void CFirmwareEngine::IcspCommand(const Args& a) {
    Icsp(a.fixed[0]);
}

void CFirmwareEngine::IcspCommandRepeat(const Args& a) {
    for (unsigned i = 0; i < a.fixed[1]; ++i) {
        Icsp(a.fixed[0]);
    }
}

void CFirmwareEngine::IcspLoad(const Args& a) {
    Load(a.fixed[0], Word(a.fixed, 1));
}

void CFirmwareEngine::IcspRead(const Args& a) {
    EmitWord(Read(a.fixed[0]));
}

void CFirmwareEngine::IcspReadMulti(const Args& a) {
    // A count of 0 streams nothing: the host keeps its counts at 1 to 255.
    for (unsigned i = 0; i < a.fixed[1]; ++i) {
        EmitWord(Read(a.fixed[0]));
        Icsp(kIncrement);
    }
}

void CFirmwareEngine::IcspCommandWait(const Args& a) {
    Icsp(a.fixed[0]);
    lastWait_ = a.fixed[1];
}

void CFirmwareEngine::IcspTimedProgram(const Args& a) {
    Icsp(a.fixed[0]);
    lastWait_ = a.fixed[2];
    if (a.fixed[1] != kNoEnd) {
        Icsp(a.fixed[1]);
    }
}

void CFirmwareEngine::SetWriteSequence(const Args& a) {
    sequence_ = {a.fixed[0], a.fixed[1], a.fixed[2], a.fixed[3],
                 a.fixed[4], a.fixed[5], a.fixed[6]};
    sequenceSet_ = true;
}

void CFirmwareEngine::ProgramWords(const Args& a) {
    if (!ProgramOne(Word(a.item, 0))) {
        // The command stops here: the host sees no 0xA5 and gives up.
        ++stats_.programFailures;
        itemFailed_ = true;
        return;
    }
    ++stats_.wordsProgrammed;
    Icsp(kIncrement);
}

void CFirmwareEngine::LoadWords(const Args& a) {
    Load(kLoadProgram, Word(a.item, 0));
    if (!a.lastItem) {
        Icsp(kIncrement);
    }
}

void CFirmwareEngine::Pic18Send(const Args& a) {
    Chip().Pic18Command(a.item[0] & kPic18CommandMask, Word(a.item, 1));
}

void CFirmwareEngine::Pic18SendPayloads(const Args& a) {
    Chip().Pic18Command(a.fixed[1] & kPic18CommandMask, Word(a.item, 0));
}

void CFirmwareEngine::Pic18ProgramHold(const Args& a) {
    Chip().Pic18ProgramHold(a.item[0] & kPic18CommandMask, Word(a.item, 1), a.fixed[0]);
}

void CFirmwareEngine::Pic18EraseHold(const Args& a) {
    Chip().Pic18EraseHold(a.item[0] & kPic18CommandMask, Word(a.item, 1), a.fixed[0]);
}

void CFirmwareEngine::Pic18Receive(const Args& a) {
    for (unsigned i = 0; i < a.fixed[0]; ++i) {
        Emit(Chip().Pic18Receive(a.fixed[1] & kPic18CommandMask));
    }
}

void CFirmwareEngine::Pic18SetTablePointer(const Args& a) {
    Chip().Pic18SetTablePointer(Word24(a.fixed[0], a.fixed[1], a.fixed[2]));
}

void CFirmwareEngine::Pic18SetEeAddress8(const Args& a) {
    Chip().Pic18EeSetAddress(a.fixed[0], a.fixed[1]);
}

void CFirmwareEngine::Pic18SetEeAddress16(const Args& a) {
    Chip().Pic18EeSetAddress(Word(a.fixed, 0), a.fixed[2]);
}

void CFirmwareEngine::Pic18EeStartA(const Args&) {
    Chip().Pic18EeStart(false);
}

void CFirmwareEngine::Pic18EeStartB(const Args&) {
    Chip().Pic18EeStart(true);
}

void CFirmwareEngine::Pic18EeStatus(const Args&) {
    const std::uint8_t status = Chip().Pic18EeStatus();
    Emit(faults_.eeBusy ? status | kEeBusy : status);
}

void CFirmwareEngine::Pic18EeRead(const Args& a) {
    // Address raw, byte raw: no answer at all.
    Emit(Chip().Pic18EeRead(Word(a.fixed, 0)));
}

void CFirmwareEngine::Pic18EeEnd(const Args&) {
    Chip().Pic18EeEnd();
}

void CFirmwareEngine::DsSix(const Args& a) {
    Chip().DsSix(Word24(a.item[0], a.item[1], a.item[2]));
}

void CFirmwareEngine::DsRegOut(const Args&) {
    EmitWord(Chip().DsRegOut());
}

void CFirmwareEngine::DsReadProgram4(const Args&) {
    const std::array<std::uint32_t, 4> w = Chip().DsReadProgram4();
    // The packed block: low word and upper byte of w0, upper byte and low word of w1, and the
    // same again for w2 and w3.
    for (std::size_t i = 0; i < w.size(); i += 2) {
        EmitWord(static_cast<std::uint16_t>(w[i]));
        Emit(static_cast<std::uint8_t>(w[i] >> 16));
        Emit(static_cast<std::uint8_t>(w[i + 1] >> 16));
        EmitWord(static_cast<std::uint16_t>(w[i + 1]));
    }
}

void CFirmwareEngine::DsReadWord(const Args&) {
    EmitWord(Chip().DsReadWord());
}

void CFirmwareEngine::DsReadData8(const Args&) {
    for (std::uint16_t word : Chip().DsReadData4()) {
        EmitWord(word);
    }
}

void CFirmwareEngine::DsWriteProgram4(const Args& a) {
    // The packed block, as 0x32 sends it.
    std::array<std::uint32_t, 4> w{};
    for (std::size_t pair = 0; pair < 2; ++pair) {
        const auto b = a.fixed.subspan(pair * 6, 6);
        w[pair * 2] = Word24(b[0], b[1], b[2]);
        w[pair * 2 + 1] = Word24(b[4], b[5], b[3]);
    }
    Chip().DsWriteProgram4(w);
}

void CFirmwareEngine::DsWriteConfig(const Args& a) {
    Chip().DsWriteConfig(Word(a.fixed, 0));
}

void CFirmwareEngine::DsWriteData8(const Args& a) {
    std::array<std::uint16_t, 4> w{};
    for (std::size_t i = 0; i < w.size(); ++i) {
        w[i] = Word(a.fixed, i * 2);
    }
    Chip().DsWriteData4(w);
}

void CFirmwareEngine::DsCommitWrite(const Args&) {
    Chip().DsCommitWrite();
}

void CFirmwareEngine::DsBeginProgramRow(const Args& a) {
    // Upper byte first, then low and middle.
    Chip().DsBeginProgramRow(Word24(a.fixed[1], a.fixed[2], a.fixed[0]));
}

void CFirmwareEngine::DsBeginDataRow(const Args& a) {
    Chip().DsBeginDataRow(Word24(a.fixed[1], a.fixed[2], a.fixed[0]));
}

}  // namespace tenlo::sim
