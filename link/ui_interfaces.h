#pragma once

#include <string>
#include <string_view>

namespace tenlo {

// What the core needs from a user interface. Each front end (Qt dialogs, the CLI's terminal,
// recording fakes in tests) implements these; the core never includes a toolkit.

// Message-box type bits, numerically those of the Windows API so results and styles read the
// same everywhere.
enum : unsigned {
    kMbOk = 0x0000,
    kMbOkCancel = 0x0001,
    kMbYesNo = 0x0004,
    kMbButtonMask = 0x000F,
    kMbIconError = 0x0010,
    kMbIconQuestion = 0x0020,
    kMbIconExclamation = 0x0030,
    kMbIconInformation = 0x0040,
    kMbIconMask = 0x00F0,
    kMbSystemModal = 0x1000,
    kMbSetForeground = 0x10000,
};
enum : int { kIdOk = 1, kIdCancel = 2, kIdYes = 6, kIdNo = 7 };

class IErrorBox {
  public:
    virtual ~IErrorBox() = default;
    // Shows a modal box and returns the button pressed (kIdOk for an OK box).
    virtual int ShowMessage(const std::string& caption, const std::string& text, unsigned type) = 0;
};

// Processes the calling thread's pending events; never blocks.
class IMessagePump {
  public:
    virtual ~IMessagePump() = default;
    virtual void Pump() = 0;
};

// Receives the serial trace text. Must never block the caller (the worker thread traces).
class ITraceSink {
  public:
    virtual ~ITraceSink() = default;
    virtual void Append(std::string_view text) = 0;
};

// Installs the pump that PumpMessages() runs; nullptr makes it a no-op. Front ends install
// theirs at start-up; the pump itself decides what "the calling thread's queue" means.
void SetMessagePump(IMessagePump* pump);

// Takes and dispatches every pending message of the calling thread.
void PumpMessages();

}  // namespace tenlo
