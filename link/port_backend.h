#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tenlo {

enum class StopBits : std::uint8_t { One, OneHalf, Two };
enum class DtrControl : std::uint8_t { Disable, Enable, Handshake };
enum class RtsControl : std::uint8_t { Disable, Enable, Handshake, Toggle };

// The settings a device-definition string controls: the fields of a Windows device control
// block that its syntax can reach.
struct CommSettings {
    std::uint32_t baud = 9600;
    char parity = 'N';  // N, E, O, M, S
    std::uint8_t dataBits = 8;
    StopBits stopBits = StopBits::One;
    bool parityCheck = false;  // fParity
    bool outxCtsFlow = false;
    bool outxDsrFlow = false;
    DtrControl dtr = DtrControl::Enable;
    RtsControl rts = RtsControl::Enable;
    bool dsrSensitivity = false;
    bool outX = false;
    bool inX = false;
    bool timeoutOn = false;  // "to=": infinite time-out processing

    bool operator==(const CommSettings&) const = default;
};

// An open port. Every call returns promptly: reads and writes are bounded by the time-outs
// last set (one second unless told otherwise), never blocking beyond them.
class IPortHandle {
  public:
    virtual ~IPortHandle() = default;

    virtual bool GetSettings(CommSettings& out) = 0;
    virtual bool ApplySettings(const CommSettings& settings) = 0;
    virtual bool SetQueueSizes(std::size_t input, std::size_t output) = 0;
    // Discards both the input and the output queue.
    virtual bool Purge() = 0;
    virtual bool SetTimeouts(std::chrono::milliseconds readTotal,
                             std::chrono::milliseconds writeTotal) = 0;

    // Bytes transferred; 0 when the time-out passed first; -1 on an error.
    virtual long Write(const std::uint8_t* data, std::size_t count) = 0;
    virtual long Read(std::uint8_t* data, std::size_t count) = 0;
    // Bytes waiting in the input queue, or -1 on an error.
    virtual long BytesWaiting() = 0;

    // Modem lines. A port without them (a pseudo-terminal) returns false.
    virtual bool SetDtr(bool on) = 0;
    virtual bool SetRts(bool on) = 0;
    virtual bool SetBreak(bool on) = 0;
    virtual bool GetCts(bool& on) = 0;
};

// Why a port did not open, as far as the system tells it.
struct PortOpenFailure {
    enum class Reason : std::uint8_t {
        None,
        NotFound,          // no such port, or the name leads nowhere
        PermissionDenied,  // the device exists but this user may not open it
        Busy,              // another program holds it
        Other,
    };
    Reason reason = Reason::None;
    std::string device;  // the path the name led to, when it led to one
    int error = 0;       // errno (or the system's own code)
    std::string group;   // PermissionDenied: the group owning the device node
    std::string holder;  // Busy: "minicom (pid 1234)" when a lock file or /proc tells it
};

// Opens ports by the device name taken from a definition string ("COM5", "com12").
class IPortBackend {
  public:
    virtual ~IPortBackend() = default;
    // nullptr when the port cannot be opened (missing, busy, no permission).
    virtual std::unique_ptr<IPortHandle> Open(const std::string& deviceName) = 0;
    // Open, saying why it failed; a backend that cannot tell says Other.
    virtual std::unique_ptr<IPortHandle> OpenExplained(const std::string& deviceName,
                                                       PortOpenFailure& failure) {
        failure = {};
        std::unique_ptr<IPortHandle> handle = Open(deviceName);
        if (!handle) {
            failure.reason = PortOpenFailure::Reason::Other;
        }
        return handle;
    }
};

// The OS backend (termios on POSIX, Win32 on Windows), unless a front end has installed
// another one (the in-process simulator for --simulate).
std::shared_ptr<IPortBackend> DefaultPortBackend();
void SetDefaultPortBackend(std::shared_ptr<IPortBackend> backend);
std::shared_ptr<IPortBackend> OsPortBackend();

}  // namespace tenlo
