#include "link/ui_interfaces.h"

#include <atomic>

namespace tenlo {

namespace {
// Installed once at start-up by the front end, read from whichever thread pumps.
std::atomic<IMessagePump*> g_pump{nullptr};
}  // namespace

void SetMessagePump(IMessagePump* pump) {
    g_pump.store(pump);
}

void PumpMessages() {
    if (IMessagePump* pump = g_pump.load()) {
        pump->Pump();
    }
}

}  // namespace tenlo
