#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "link/clock.h"
#include "link/port_backend.h"
#include "link/ui_interfaces.h"

namespace tenlo {

// Synchronous byte-wise serial port: one byte out, then the reply byte in, each bounded by a
// one-second time-out. Reports its own failures in English error boxes.
class CSerialPort {
  public:
    // owner: where error boxes go (none: they are not shown). backend and clock default to the
    // process-wide ones.
    explicit CSerialPort(IErrorBox* ownerWindow = nullptr,
                         std::shared_ptr<IPortBackend> backend = nullptr, IClock* clock = nullptr);
    virtual ~CSerialPort();

    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    bool Open(const std::string& definition);
    void Connect(const std::string& definition);
    bool IsConnected() const { return connected_; }
    bool IsOpen() const { return handle_ != nullptr; }
    bool Disconnect();
    bool Close();
    void Release();

    bool WriteByte(std::uint8_t byte);
    // Waits one second for the byte; after a read that got nothing in that second, the next
    // ones wait only 50 ms until a byte comes again, so cleaning up after a silent
    // peer does not cost a second per command.
    bool ReadByte(std::uint8_t* byte);
    // Whether the last failed ReadByte ran out of time (rather than finding the line broken).
    bool LastReadTimedOut() const { return lastReadTimedOut_; }
    // Reads up to count bytes; buffer must hold count + 1 (a zero byte follows the bytes read).
    bool ReadBlock(std::uint8_t* buffer, std::size_t count, std::size_t* read);
    void FlushInput();

    void SetOwnerWindow(IErrorBox* owner) { ownerWindow_ = owner; }
    void SetTraceWindow(ITraceSink* trace) { traceWindow_ = trace; }
    // "Error" in Tenlo, "Reader/Writer" in TenloUpdate.
    void SetErrorCaption(std::string caption) { caption_ = std::move(caption); }
    const std::string& ErrorCaption() const { return caption_; }

    int ShowError(unsigned type, const char* format, ...) __attribute__((format(printf, 3, 4)));

    // Why the last Open did not open the port (reason None after one that did).
    const PortOpenFailure& LastOpenFailure() const { return lastOpenFailure_; }
    // A text that follows "Cannot open %s." on a line of its own, saying why and what to do;
    // empty from the function adds nothing.
    using OpenFailureNote = std::function<std::string(const PortOpenFailure&)>;
    void SetOpenFailureNote(OpenFailureNote note) { openFailureNote_ = std::move(note); }

    // Modem-line control for the firmware updater.
    bool SetDTR(bool on);
    bool SetRTS(bool on);
    bool SetBreak(bool on);
    bool GetCTS(bool* cts);

    IClock& Clock() { return *clock_; }
    // When the last byte written left for the driver, on Clock(): the protocol's pauses run
    // from there.
    IClock::Duration LastWriteTime() const { return lastWrite_; }

  protected:
    IPortHandle* Handle() { return handle_.get(); }

  private:
    void TraceByte(std::uint8_t byte, bool transmitted);
    int ShowText(unsigned type, const std::string& text);

    bool lastTraceTx_ = false;
    std::unique_ptr<IPortHandle> handle_;
    IErrorBox* ownerWindow_ = nullptr;
    ITraceSink* traceWindow_ = nullptr;
    bool showErrors_ = true;
    bool connected_ = false;
    bool lastReadTimedOut_ = false;
    bool peerSilent_ = false;

    std::string caption_ = "Error";
    PortOpenFailure lastOpenFailure_;
    OpenFailureNote openFailureNote_;
    std::shared_ptr<IPortBackend> backend_;
    IClock* clock_;
    IClock::Duration lastWrite_{0};
};

// "COM%d: baud=38400 parity=N data=8 stop=1" for a port number: the definition both programs
// open the programmer's port with.
std::string ProgrammerPortDefinition(int portNumber);

// Parses the part of a device-definition string that follows "COMn:" the way the Windows
// BuildCommDCB does, updating only the settings it names. False, with settings untouched, for
// anything it cannot read.
bool ParseDeviceDefinition(const std::string& definition, CommSettings& settings);

}  // namespace tenlo
