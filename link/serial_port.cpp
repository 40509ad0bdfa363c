#include "link/serial_port.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>

namespace tenlo {

namespace {

constexpr std::chrono::milliseconds kTransferTimeout{1000};
// Once a read has waited the full second for nothing, the peer is presumed gone: the reads
// that follow (the power-down after a failed operation, a last ping) wait only this long,
// until a byte arrives again.
constexpr std::chrono::milliseconds kSilentPeerTimeout{50};
constexpr std::size_t kQueueSize = 4096;
constexpr std::size_t kFlushChunk = 100;
// FlushInput drains whatever the driver holds; a peer that keeps streaming must not keep it
// busy for ever, so stop after a generous multiple of the input queue.
constexpr std::size_t kFlushLimit = 16 * kQueueSize;
constexpr std::size_t kErrorTextSize = 256;
// Only this many leading characters of a definition may hold the colon after "COMn".
constexpr std::size_t kNameScanLength = 8;

bool StartsWithCom(const std::string& text) {
    if (text.size() < 3) {
        return false;
    }
    for (std::size_t i = 0; i < 3; ++i) {
        if (std::toupper(static_cast<unsigned char>(text[i])) != "COM"[i]) {
            return false;
        }
    }
    return true;
}

std::string DeviceNameOf(const std::string& definition) {
    if (!StartsWithCom(definition)) {
        return {};
    }
    const std::size_t limit = std::min(definition.size(), kNameScanLength);
    const std::size_t colon = definition.find(':');
    if (colon == std::string::npos || colon >= limit) {
        return {};
    }
    return definition.substr(0, colon);
}

// Cuts a UTF-8 text back to a whole character so a truncated message stays valid text.
void TrimToCharacter(std::string& text) {
    std::size_t end = text.size();
    std::size_t back = end;
    while (back > 0 && (static_cast<unsigned char>(text[back - 1]) & 0xC0) == 0x80) {
        --back;
    }
    if (back == 0) {
        return;
    }
    const auto lead = static_cast<unsigned char>(text[back - 1]);
    std::size_t need = 1;
    if (lead >= 0xF0) {
        need = 4;
    } else if (lead >= 0xE0) {
        need = 3;
    } else if (lead >= 0xC0) {
        need = 2;
    }
    if (end - (back - 1) < need) {
        text.resize(back - 1);
    }
}

}  // namespace

CSerialPort::CSerialPort(IErrorBox* ownerWindow, std::shared_ptr<IPortBackend> backend,
                         IClock* clock)
    : ownerWindow_(ownerWindow),
      backend_(std::move(backend)),
      clock_(clock != nullptr ? clock : &SystemClock()) {}

CSerialPort::~CSerialPort() = default;

bool CSerialPort::Open(const std::string& definition) {
    const std::string name = DeviceNameOf(definition);
    lastOpenFailure_ = {};
    if (name.empty()) {
        lastOpenFailure_.reason = PortOpenFailure::Reason::NotFound;
        ShowError(kMbOk, "Device definition string must start with \"COMn:\".\n%s",
                  definition.c_str());
        return false;
    }

    // The earlier port is replaced here; it must not stay held open, lost, behind the new one.
    handle_.reset();
    // Resolved at every open so a backend installed after construction (--simulate) is used.
    std::shared_ptr<IPortBackend> backend = backend_ ? backend_ : DefaultPortBackend();
    std::unique_ptr<IPortHandle> handle =
        backend ? backend->OpenExplained(name, lastOpenFailure_) : nullptr;
    if (!handle) {
        if (lastOpenFailure_.reason == PortOpenFailure::Reason::None) {
            lastOpenFailure_.reason = PortOpenFailure::Reason::Other;
        }
        const std::string note = openFailureNote_ ? openFailureNote_(lastOpenFailure_) : "";
        if (note.empty()) {
            ShowError(kMbOk, "Cannot open %s.", name.c_str());
        } else if (showErrors_ && ownerWindow_ != nullptr) {
            // The note may run past the fixed-size buffer of ShowError: the message itself is
            // short, and what follows it is ours.
            ShowText(kMbOk, "Cannot open " + name + ".\n" + note);
        }
        return false;
    }

    // Settings the definition leaves out keep the driver's current values.
    CommSettings settings;
    handle->GetSettings(settings);
    if (!ParseDeviceDefinition(definition, settings)) {
        handle.reset();
        lastOpenFailure_.reason = PortOpenFailure::Reason::Other;
        ShowError(kMbOk, "Cannot analyze device definition string.\n%s", definition.c_str());
        return false;
    }
    settings.parityCheck = true;
    handle->ApplySettings(settings);
    handle->SetQueueSizes(kQueueSize, kQueueSize);
    handle->Purge();
    handle_ = std::move(handle);
    return true;
}

void CSerialPort::Connect(const std::string& definition) {
    connected_ = false;
    if (!Open(definition)) {
        return;
    }
    FlushInput();
    handle_->SetTimeouts(kTransferTimeout, kTransferTimeout);
    peerSilent_ = false;
    connected_ = true;
}

bool CSerialPort::Disconnect() {
    if (!connected_) {
        ShowError(kMbOk, "COM port has already been disconnected.");
        return false;
    }
    if (!Close()) {
        ShowError(kMbOk, "Can not close COM port.");
        return false;
    }
    connected_ = false;
    return true;
}

bool CSerialPort::Close() {
    if (!handle_) {
        ShowError(kMbOk, "COM port has already been closed.");
        return false;
    }
    handle_.reset();
    return true;
}

void CSerialPort::Release() {
    showErrors_ = false;
    handle_.reset();
}

bool CSerialPort::WriteByte(std::uint8_t byte) {
    if (!handle_ || handle_->Write(&byte, 1) != 1) {
        return false;
    }
    lastWrite_ = clock_->Now();
    TraceByte(byte, true);
    return true;
}

bool CSerialPort::ReadByte(std::uint8_t* byte) {
    if (!handle_ || byte == nullptr) {
        return false;
    }
    std::uint8_t value = 0;
    const long got = handle_->Read(&value, 1);
    lastReadTimedOut_ = got == 0;
    if (got != 1) {
        if (lastReadTimedOut_ && connected_ && !peerSilent_) {
            peerSilent_ = true;
            handle_->SetTimeouts(kSilentPeerTimeout, kTransferTimeout);
        }
        return false;
    }
    if (peerSilent_) {
        peerSilent_ = false;
        handle_->SetTimeouts(kTransferTimeout, kTransferTimeout);
    }
    *byte = value;
    TraceByte(value, false);
    return true;
}

bool CSerialPort::ReadBlock(std::uint8_t* buffer, std::size_t count, std::size_t* read) {
    if (read != nullptr) {
        *read = 0;
    }
    if (buffer == nullptr) {
        return false;
    }
    buffer[0] = 0;
    if (!handle_ || count == 0) {
        return false;
    }
    const long got = handle_->Read(buffer, count);
    if (got <= 0) {
        return false;
    }
    // A misbehaving backend must not make us write past the caller's buffer.
    const auto n = std::min(static_cast<std::size_t>(got), count);
    buffer[n] = 0;
    for (std::size_t i = 0; i < n; ++i) {
        TraceByte(buffer[i], false);
    }
    if (read != nullptr) {
        *read = n;
    }
    return true;
}

void CSerialPort::FlushInput() {
    if (!handle_) {
        return;
    }
    std::uint8_t buffer[kFlushChunk + 1];
    std::size_t drained = 0;
    while (drained < kFlushLimit) {
        const long waiting = handle_->BytesWaiting();
        if (waiting <= 0) {
            return;
        }
        std::size_t got = 0;
        if (!ReadBlock(buffer, std::min(static_cast<std::size_t>(waiting), kFlushChunk), &got)) {
            return;
        }
        drained += got;
    }
}

int CSerialPort::ShowError(unsigned type, const char* format, ...) {
    if (!showErrors_ || ownerWindow_ == nullptr || format == nullptr) {
        return 0;
    }
    char buffer[kErrorTextSize];
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    std::string text(written < 0 ? "" : buffer);
    if (written >= static_cast<int>(sizeof buffer)) {
        TrimToCharacter(text);
    }
    return ShowText(type, text);
}

int CSerialPort::ShowText(unsigned type, const std::string& text) {
    return ownerWindow_->ShowMessage(caption_, text,
                                     type | kMbIconError | kMbSystemModal | kMbSetForeground);
}

bool CSerialPort::SetDTR(bool on) {
    return handle_ && handle_->SetDtr(on);
}

bool CSerialPort::SetRTS(bool on) {
    return handle_ && handle_->SetRts(on);
}

bool CSerialPort::SetBreak(bool on) {
    return handle_ && handle_->SetBreak(on);
}

bool CSerialPort::GetCTS(bool* cts) {
    if (!handle_ || cts == nullptr) {
        return false;
    }
    bool on = false;
    if (!handle_->GetCts(on)) {
        return false;
    }
    *cts = on;
    return true;
}

void CSerialPort::TraceByte(std::uint8_t byte, bool transmitted) {
    if (traceWindow_ == nullptr) {
        return;
    }
    if (transmitted && !lastTraceTx_) {
        traceWindow_->Append("\nTx: ");
        lastTraceTx_ = true;
    } else if (!transmitted && lastTraceTx_) {
        traceWindow_->Append("\nRx: ");
        lastTraceTx_ = false;
    }
    char text[4];
    std::snprintf(text, sizeof text, "%02X ", byte);
    traceWindow_->Append(text);
}

std::string ProgrammerPortDefinition(int portNumber) {
    return "COM" + std::to_string(portNumber) + ": baud=38400 parity=N data=8 stop=1";
}

}  // namespace tenlo
