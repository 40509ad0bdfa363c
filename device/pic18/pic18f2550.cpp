#include "device/pic18/pic18f2550.h"

#include "device/progress_texts.h"

namespace tenlo {

void CPic18F2550::WriteProgram() {
    if (!OpenBody(kTextWriteProgram)) {
        return;
    }
    const auto source = ProgramSource();
    const std::size_t buffer = params_.writeBufferBytes;
    if (!PrepareProgramWrite() || buffer < 2) {
        Finish(false);
        return;
    }
    const Step written =
        ForEachBlock(source.size() * 2, buffer, [&](std::size_t byte, std::size_t count) {
            const auto words = source.subspan(byte / 2, count / 2);
            if (IsBlank(words)) {
                return Step::Next;
            }
            return WriteBuffer(static_cast<std::uint32_t>(byte), words) ? Step::Next : Step::Fail;
        });
    Finish(written == Step::Next);
}

bool CPic18F2550::PrepareProgramWrite() {
    return SendCore({kSetEepgd, kClearCfgs});
}

bool CPic18F2550::WriteConfigPair(std::uint32_t address, std::uint8_t low, std::uint8_t high) {
    return WriteConfigPairAfter({kSetEepgd, kSetCfgs}, address, low, high);
}

bool CPic18F2550::WriteDataByte(std::uint16_t address, std::uint8_t byte) {
    return WriteDataBytePolled(address, byte, false);
}

bool CPic18F2550::EraseChip() {
    // The code blocks in 0x3C0005, then boot block, configuration, data and IDs with the start
    // bit in 0x3C0004: everything.
    const std::uint16_t blocks = 0x3F3F;
    return SetTablePointer(kBlockSelect) && Link().Pic18Send(&params_.tableWrite, &blocks, 1) &&
           StartErase(0x8F8F);
}

}  // namespace tenlo
