#include "device/pic18/pic18f1220.h"

namespace tenlo {

bool CPic18F1220::PrepareProgramWrite() {
    return SendCore({kSetEepgd, kClearCfgs});
}

bool CPic18F1220::SetMultiPanel(bool /*on*/) {
    return true;
}

bool CPic18F1220::WriteDataByte(std::uint16_t address, std::uint8_t byte) {
    auto& link = Link();
    // The address fits one byte; the write gets its time from the held clock, not from polls.
    return link.Pic18SetEeAddress8(static_cast<std::uint8_t>(address), byte) &&
           link.Pic18EeStartB() &&
           link.Pic18EraseHold(params_.coreInstruction, kNop, params_.dataHold) &&
           link.Pic18EeEnd();
}

}  // namespace tenlo
