#include "link/win32_port_backend.h"

#include <mutex>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// mmsystem.h needs the types windows.h defines.
#include <mmsystem.h>

namespace tenlo {

namespace {

// timeBeginPeriod/timeEndPeriod must pair up; several ports may be open at once.
class TimerResolution {
  public:
    static void Acquire() {
        std::lock_guard lock(mutex_);
        if (users_++ == 0) {
            timeBeginPeriod(1);
        }
    }
    static void Release() {
        std::lock_guard lock(mutex_);
        if (users_ > 0 && --users_ == 0) {
            timeEndPeriod(1);
        }
    }

  private:
    static inline std::mutex mutex_;
    static inline int users_ = 0;
};

BYTE ParityCode(char parity) {
    switch (parity) {
        case 'O':
            return ODDPARITY;
        case 'E':
            return EVENPARITY;
        case 'M':
            return MARKPARITY;
        case 'S':
            return SPACEPARITY;
        default:
            return NOPARITY;
    }
}

char ParityLetter(BYTE code) {
    switch (code) {
        case ODDPARITY:
            return 'O';
        case EVENPARITY:
            return 'E';
        case MARKPARITY:
            return 'M';
        case SPACEPARITY:
            return 'S';
        default:
            return 'N';
    }
}

class Win32PortHandle final : public IPortHandle {
  public:
    explicit Win32PortHandle(HANDLE handle) : handle_(handle) { TimerResolution::Acquire(); }
    ~Win32PortHandle() override {
        CloseHandle(handle_);
        TimerResolution::Release();
    }
    Win32PortHandle(const Win32PortHandle&) = delete;
    Win32PortHandle& operator=(const Win32PortHandle&) = delete;

    bool GetSettings(CommSettings& out) override {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(handle_, &dcb)) {
            return false;
        }
        out.baud = dcb.BaudRate;
        out.parity = ParityLetter(dcb.Parity);
        out.dataBits = dcb.ByteSize;
        out.stopBits = dcb.StopBits == TWOSTOPBITS    ? StopBits::Two
                       : dcb.StopBits == ONE5STOPBITS ? StopBits::OneHalf
                                                      : StopBits::One;
        out.parityCheck = dcb.fParity != 0;
        out.outxCtsFlow = dcb.fOutxCtsFlow != 0;
        out.outxDsrFlow = dcb.fOutxDsrFlow != 0;
        out.dtr = dcb.fDtrControl == DTR_CONTROL_HANDSHAKE ? DtrControl::Handshake
                  : dcb.fDtrControl == DTR_CONTROL_ENABLE  ? DtrControl::Enable
                                                           : DtrControl::Disable;
        switch (dcb.fRtsControl) {
            case RTS_CONTROL_ENABLE:
                out.rts = RtsControl::Enable;
                break;
            case RTS_CONTROL_HANDSHAKE:
                out.rts = RtsControl::Handshake;
                break;
            case RTS_CONTROL_TOGGLE:
                out.rts = RtsControl::Toggle;
                break;
            default:
                out.rts = RtsControl::Disable;
                break;
        }
        out.dsrSensitivity = dcb.fDsrSensitivity != 0;
        out.outX = dcb.fOutX != 0;
        out.inX = dcb.fInX != 0;
        out.timeoutOn = timeoutOn_;
        return true;
    }

    bool ApplySettings(const CommSettings& s) override {
        // Start from the driver's block so the fields a definition cannot reach stay as they are.
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(handle_, &dcb)) {
            return false;
        }
        dcb.BaudRate = s.baud;
        dcb.Parity = ParityCode(s.parity);
        dcb.ByteSize = s.dataBits;
        dcb.StopBits = s.stopBits == StopBits::Two       ? TWOSTOPBITS
                       : s.stopBits == StopBits::OneHalf ? ONE5STOPBITS
                                                         : ONESTOPBIT;
        dcb.fParity = s.parityCheck ? TRUE : FALSE;
        dcb.fOutxCtsFlow = s.outxCtsFlow ? TRUE : FALSE;
        dcb.fOutxDsrFlow = s.outxDsrFlow ? TRUE : FALSE;
        dcb.fDtrControl = s.dtr == DtrControl::Handshake ? DTR_CONTROL_HANDSHAKE
                          : s.dtr == DtrControl::Enable  ? DTR_CONTROL_ENABLE
                                                         : DTR_CONTROL_DISABLE;
        switch (s.rts) {
            case RtsControl::Enable:
                dcb.fRtsControl = RTS_CONTROL_ENABLE;
                break;
            case RtsControl::Handshake:
                dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
                break;
            case RtsControl::Toggle:
                dcb.fRtsControl = RTS_CONTROL_TOGGLE;
                break;
            default:
                dcb.fRtsControl = RTS_CONTROL_DISABLE;
                break;
        }
        dcb.fDsrSensitivity = s.dsrSensitivity ? TRUE : FALSE;
        dcb.fOutX = s.outX ? TRUE : FALSE;
        dcb.fInX = s.inX ? TRUE : FALSE;
        if (!SetCommState(handle_, &dcb)) {
            return false;
        }
        timeoutOn_ = s.timeoutOn;
        return true;
    }

    bool SetQueueSizes(std::size_t input, std::size_t output) override {
        return SetupComm(handle_, static_cast<DWORD>(input), static_cast<DWORD>(output)) != 0;
    }

    bool Purge() override { return PurgeComm(handle_, PURGE_TXCLEAR | PURGE_RXCLEAR) != 0; }

    bool SetTimeouts(std::chrono::milliseconds readTotal,
                     std::chrono::milliseconds writeTotal) override {
        COMMTIMEOUTS t{};
        t.ReadIntervalTimeout = 0;
        t.ReadTotalTimeoutMultiplier = 0;
        t.ReadTotalTimeoutConstant = static_cast<DWORD>(readTotal.count());
        t.WriteTotalTimeoutMultiplier = 0;
        t.WriteTotalTimeoutConstant = static_cast<DWORD>(writeTotal.count());
        return SetCommTimeouts(handle_, &t) != 0;
    }

    long Write(const std::uint8_t* data, std::size_t count) override {
        DWORD written = 0;
        if (!WriteFile(handle_, data, static_cast<DWORD>(count), &written, nullptr)) {
            return -1;
        }
        return static_cast<long>(written);
    }

    long Read(std::uint8_t* data, std::size_t count) override {
        DWORD read = 0;
        if (!ReadFile(handle_, data, static_cast<DWORD>(count), &read, nullptr)) {
            return -1;
        }
        return static_cast<long>(read);
    }

    long BytesWaiting() override {
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(handle_, &errors, &status)) {
            return -1;
        }
        return static_cast<long>(status.cbInQue);
    }

    bool SetDtr(bool on) override { return EscapeCommFunction(handle_, on ? SETDTR : CLRDTR) != 0; }
    bool SetRts(bool on) override { return EscapeCommFunction(handle_, on ? SETRTS : CLRRTS) != 0; }
    bool SetBreak(bool on) override {
        return EscapeCommFunction(handle_, on ? SETBREAK : CLRBREAK) != 0;
    }

    bool GetCts(bool& on) override {
        DWORD status = 0;
        if (!GetCommModemStatus(handle_, &status)) {
            return false;
        }
        on = (status & MS_CTS_ON) != 0;
        return true;
    }

  private:
    HANDLE handle_;
    bool timeoutOn_ = false;
};

}  // namespace

std::unique_ptr<IPortHandle> Win32PortBackend::Open(const std::string& deviceName) {
    // Through the device namespace: the bare name reaches only COM1 to COM9.
    const std::string path =
        deviceName.rfind("\\\\.\\", 0) == 0 ? deviceName : "\\\\.\\" + deviceName;
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    // The driver's own time-outs may be "wait for ever"; every read and write must end.
    COMMTIMEOUTS t{};
    t.ReadTotalTimeoutConstant = 1000;
    t.WriteTotalTimeoutConstant = 1000;
    SetCommTimeouts(handle, &t);
    return std::make_unique<Win32PortHandle>(handle);
}

}  // namespace tenlo
