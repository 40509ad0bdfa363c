#include "sim/firmware_engine.h"

#include <algorithm>

namespace tenlo::sim {

namespace {

constexpr std::uint8_t kIncrement = 0x06;
constexpr std::uint8_t kLoadProgram = 0x02;
constexpr std::uint16_t kWordMask = 0x3FFF;
constexpr std::uint8_t kEeBusy = 0x02;

// Stages of the multi-part commands.
enum Stage : int { kHead = 0, kItem = 1 };

}  // namespace

CFirmwareEngine::CFirmwareEngine(IChipModel& chip, FaultPlan faults)
    : chip_(chip), faults_(std::move(faults)) {
    args_.reserve(16);
}

bool CFirmwareEngine::IsKnownCommand(std::uint8_t code) {
    return code <= 0x08 || code == 0x0A || (code >= 0x10 && code <= 0x19) ||
           (code >= 0x20 && code <= 0x2C) || (code >= 0x30 && code <= 0x3A);
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
    if (command_ < 0) {
        StartCommand(byte);
    } else {
        args_.push_back(byte);
        if (args_.size() >= need_) {
            Continue();
        }
    }
    out_ = nullptr;
}

void CFirmwareEngine::Expect(std::size_t count, int stage) {
    args_.clear();
    need_ = count;
    stage_ = stage;
}

bool CFirmwareEngine::StartItems(std::size_t itemSize) {
    remaining_ = args_[0];
    if (!Answer()) {
        return false;
    }
    if (remaining_ == 0) {
        Finish();
    } else {
        Expect(itemSize, kItem);
    }
    return true;
}

void CFirmwareEngine::Finish() {
    command_ = -1;
    args_.clear();
    need_ = 0;
    stage_ = kHead;
}

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

std::uint16_t CFirmwareEngine::Arg16(std::size_t at) const {
    return static_cast<std::uint16_t>(args_[at] | (args_[at + 1] << 8));
}

void CFirmwareEngine::Icsp(std::uint8_t command) {
    if (ChipPresent()) {
        chip_.IcspCommand(command);
    }
}

void CFirmwareEngine::Load(std::uint8_t command, std::uint16_t value) {
    if (ChipPresent()) {
        // The load clocks carry 14 data bits between a start and a stop bit.
        chip_.IcspLoad(command, static_cast<std::uint16_t>(value & kWordMask));
    }
}

std::uint16_t CFirmwareEngine::Read(std::uint8_t command) {
    return ChipPresent() ? chip_.IcspRead(command) : 0;
}

void CFirmwareEngine::StartCommand(std::uint8_t code) {
    if (!IsKnownCommand(code)) {
        ++stats_.droppedCodes;
        return;
    }
    ++commandCounts_[code];
    command_ = code;
    if (!Answer()) {
        Finish();
        return;
    }
    switch (code) {
        case 0x00:  // Ping
            break;
        case 0x02:  // GetVersion
            for (std::uint8_t b : version_) {
                Emit(b);
            }
            break;
        case 0x03:
        case 0x05:
            powered_ = true;
            vppFirst_ = code == 0x05;
            if (!faults_.noChip) {
                chip_.PowerOn(vppFirst_);
            }
            break;
        case 0x04:
        case 0x06:
            powered_ = false;
            if (!faults_.noChip) {
                chip_.PowerOff();
            }
            break;
        case 0x07:
            eicsp_ = true;
            break;
        case 0x08:
            eicsp_ = false;
            break;
        case 0x28:
        case 0x29:
            if (ChipPresent()) {
                chip_.Pic18EeStart(code == 0x29);
            }
            break;
        case 0x2A: {
            std::uint8_t status = ChipPresent() ? chip_.Pic18EeStatus() : 0;
            if (faults_.eeBusy) {
                status |= kEeBusy;
            }
            Emit(status);
            break;
        }
        case 0x2C:
            if (ChipPresent()) {
                chip_.Pic18EeEnd();
            }
            break;
        case 0x31:
            EmitWord(ChipPresent() ? chip_.DsRegOut() : 0);
            break;
        case 0x32: {
            const std::array<std::uint32_t, 4> w =
                ChipPresent() ? chip_.DsReadProgram4() : std::array<std::uint32_t, 4>{};
            // The packed block: low word and upper byte of w0, upper byte and low word of w1,
            // and the same again for w2 and w3.
            for (int pair = 0; pair < 2; ++pair) {
                const std::uint32_t a = w[pair * 2];
                const std::uint32_t b = w[pair * 2 + 1];
                Emit(static_cast<std::uint8_t>(a));
                Emit(static_cast<std::uint8_t>(a >> 8));
                Emit(static_cast<std::uint8_t>(a >> 16));
                Emit(static_cast<std::uint8_t>(b >> 16));
                Emit(static_cast<std::uint8_t>(b));
                Emit(static_cast<std::uint8_t>(b >> 8));
            }
            break;
        }
        case 0x33:
            EmitWord(ChipPresent() ? chip_.DsReadWord() : 0);
            break;
        case 0x34: {
            const std::array<std::uint16_t, 4> w =
                ChipPresent() ? chip_.DsReadData4() : std::array<std::uint16_t, 4>{};
            for (std::uint16_t word : w) {
                EmitWord(word);
            }
            break;
        }
        case 0x38:
            if (ChipPresent()) {
                chip_.DsCommitWrite();
            }
            break;

        // Commands with arguments.
        case 0x01:
        case 0x0A:
        case 0x10:
        case 0x13:
        case 0x18:
        case 0x19:
        case 0x20:
        case 0x22:
        case 0x23:
        case 0x30:
            Expect(1, kHead);
            return;
        case 0x11:
        case 0x15:
        case 0x14:
        case 0x21:
        case 0x24:
        case 0x26:
        case 0x2B:
        case 0x36:
            Expect(2, kHead);
            return;
        case 0x12:
        case 0x16:
        case 0x25:
        case 0x27:
        case 0x39:
        case 0x3A:
            Expect(3, kHead);
            return;
        case 0x17:
            Expect(7, kHead);
            return;
        case 0x35:
            Expect(12, kHead);
            return;
        case 0x37:
            Expect(8, kHead);
            return;
        default:
            break;
    }
    Finish();
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

void CFirmwareEngine::Continue() {
    const auto cmd = static_cast<std::uint8_t>(command_);
    // Single-frame commands are answered after the switch, now that all of the frame has
    // arrived; the others answer their own frames and set this.
    bool answered = false;
    switch (cmd) {
        case 0x01:
            lastWait_ = args_[0];
            break;
        case 0x0A:
            option_ = args_[0];
            break;
        case 0x10:
            Icsp(args_[0]);
            break;
        case 0x11:
            for (unsigned i = 0; i < args_[1]; ++i) {
                Icsp(args_[0]);
            }
            break;
        case 0x15:
            Icsp(args_[0]);
            lastWait_ = args_[1];
            break;
        case 0x12:
            Load(args_[0], Arg16(1));
            break;
        case 0x13:
            // The read command travels raw: no answer, just the word.
            EmitWord(Read(args_[0]));
            Finish();
            return;
        case 0x14: {
            answered = true;
            if (!Answer()) {
                break;
            }
            const std::uint8_t read = args_[0];
            // A count of 0 streams nothing: the host keeps its counts at 1 to 255.
            for (unsigned i = 0; i < args_[1]; ++i) {
                EmitWord(Read(read));
                Icsp(kIncrement);
            }
            Finish();
            return;
        }
        case 0x16:
            Icsp(args_[0]);
            lastWait_ = args_[2];
            if (args_[1] != kNoEnd) {
                Icsp(args_[1]);
            }
            break;
        case 0x17:
            sequence_.load = args_[0];
            sequence_.begin = args_[1];
            sequence_.wait = args_[2];
            sequence_.end = args_[3];
            sequence_.read = args_[4];
            sequence_.retries = args_[5];
            sequence_.flag = args_[6];
            sequenceSet_ = true;
            break;
        case 0x18:
        case 0x19:
            answered = true;
            if (stage_ == kHead) {
                if (StartItems(2)) {
                    return;
                }
                break;
            }
            --remaining_;
            if (cmd == 0x18) {
                if (!ProgramOne(Arg16(0))) {
                    ++stats_.programFailures;
                    // The command stops here: the host sees no 0xA5 and gives up.
                    Answer(kProgramFailed);
                    break;
                }
                ++stats_.wordsProgrammed;
                Icsp(kIncrement);
            } else {
                Load(kLoadProgram, Arg16(0));
                if (remaining_ != 0) {
                    Icsp(kIncrement);
                }
            }
            if (!Answer() || remaining_ == 0) {
                break;
            }
            Expect(2, kItem);
            return;
        case 0x20:
        case 0x30:
            answered = true;
            if (stage_ == kHead) {
                if (StartItems(3)) {
                    return;
                }
                break;
            }
            --remaining_;
            if (ChipPresent()) {
                if (cmd == 0x20) {
                    chip_.Pic18Command(static_cast<std::uint8_t>(args_[0] & 0x0F), Arg16(1));
                } else {
                    chip_.DsSix(
                        static_cast<std::uint32_t>(args_[0] | (args_[1] << 8) | (args_[2] << 16)));
                }
            }
            if (!Answer() || remaining_ == 0) {
                break;
            }
            Expect(3, kItem);
            return;
        case 0x21:
            answered = true;
            if (stage_ == kHead) {
                heldCommand_ = static_cast<std::uint8_t>(args_[1] & 0x0F);
                if (StartItems(2)) {
                    return;
                }
                break;
            }
            --remaining_;
            if (ChipPresent()) {
                chip_.Pic18Command(heldCommand_, Arg16(0));
            }
            if (!Answer() || remaining_ == 0) {
                break;
            }
            Expect(2, kItem);
            return;
        case 0x22:
        case 0x23:
            if (stage_ == kHead) {
                heldCommand_ = args_[0];
                lastHold_ = args_[0];
                answered = true;
                if (Answer()) {
                    Expect(3, kItem);
                    return;
                }
                break;
            }
            if (ChipPresent()) {
                const auto command = static_cast<std::uint8_t>(args_[0] & 0x0F);
                if (cmd == 0x22) {
                    chip_.Pic18ProgramHold(command, Arg16(1), heldCommand_);
                } else {
                    chip_.Pic18EraseHold(command, Arg16(1), heldCommand_);
                }
            }
            break;
        case 0x24: {
            answered = true;
            if (!Answer()) {
                break;
            }
            const auto command = static_cast<std::uint8_t>(args_[1] & 0x0F);
            for (unsigned i = 0; i < args_[0]; ++i) {
                Emit(ChipPresent() ? chip_.Pic18Receive(command) : 0);
            }
            Finish();
            return;
        }
        case 0x25:
            if (ChipPresent()) {
                chip_.Pic18SetTablePointer(
                    static_cast<std::uint32_t>(args_[0] | (args_[1] << 8) | (args_[2] << 16)));
            }
            break;
        case 0x26:
            if (ChipPresent()) {
                chip_.Pic18EeSetAddress(args_[0], args_[1]);
            }
            break;
        case 0x27:
            if (ChipPresent()) {
                chip_.Pic18EeSetAddress(Arg16(0), args_[2]);
            }
            break;
        case 0x2B:
            // Address raw, byte raw: no answer at all.
            Emit(ChipPresent() ? chip_.Pic18EeRead(Arg16(0)) : 0);
            Finish();
            return;
        case 0x35: {
            // The packed block, as 0x32 sends it.
            std::array<std::uint32_t, 4> w{};
            for (int pair = 0; pair < 2; ++pair) {
                const std::uint8_t* b = &args_[static_cast<std::size_t>(pair) * 6];
                w[pair * 2] = static_cast<std::uint32_t>(b[0] | (b[1] << 8) | (b[2] << 16));
                w[pair * 2 + 1] = static_cast<std::uint32_t>(b[4] | (b[5] << 8) | (b[3] << 16));
            }
            if (ChipPresent()) {
                chip_.DsWriteProgram4(w);
            }
            break;
        }
        case 0x36:
            if (ChipPresent()) {
                chip_.DsWriteConfig(Arg16(0));
            }
            break;
        case 0x37: {
            std::array<std::uint16_t, 4> w{};
            for (std::size_t i = 0; i < w.size(); ++i) {
                w[i] = Arg16(i * 2);
            }
            if (ChipPresent()) {
                chip_.DsWriteData4(w);
            }
            break;
        }
        case 0x39:
        case 0x3A: {
            // Upper byte first, then low and middle.
            const auto address =
                static_cast<std::uint32_t>((args_[0] << 16) | args_[1] | (args_[2] << 8));
            if (ChipPresent()) {
                if (cmd == 0x39) {
                    chip_.DsBeginProgramRow(address);
                } else {
                    chip_.DsBeginDataRow(address);
                }
            }
            break;
        }
        default:
            break;
    }
    if (!answered) {
        Answer();
    }
    Finish();
}

}  // namespace tenlo::sim
