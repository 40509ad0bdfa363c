#include "link/posix_port_backend.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <utility>

#include "link/port_discovery.h"
#include "link/port_names.h"

namespace tenlo {

// ---------------------------------------------------------------------------------------------
// The real system calls.

int PosixSys::Open(const char* path, int flags) {
    return ::open(path, flags);
}
int PosixSys::Close(int fd) {
    return ::close(fd);
}
int PosixSys::Flock(int fd, int operation) {
    return ::flock(fd, operation);
}
int PosixSys::Ioctl(int fd, unsigned long request) {
    return ::ioctl(fd, request);
}
int PosixSys::Ioctl(int fd, unsigned long request, int* arg) {
    return ::ioctl(fd, request, arg);
}
int PosixSys::TcGetAttr(int fd, termios* t) {
    return ::tcgetattr(fd, t);
}
int PosixSys::TcSetAttr(int fd, int actions, const termios* t) {
    return ::tcsetattr(fd, actions, t);
}
int PosixSys::TcFlush(int fd, int queue) {
    return ::tcflush(fd, queue);
}
int PosixSys::Poll(pollfd* fds, nfds_t count, int timeoutMs) {
    return ::poll(fds, count, timeoutMs);
}
ssize_t PosixSys::Read(int fd, void* buffer, std::size_t count) {
    return ::read(fd, buffer, count);
}
ssize_t PosixSys::Write(int fd, const void* buffer, std::size_t count) {
    return ::write(fd, buffer, count);
}
bool PosixSys::Exists(const char* path) {
    struct stat st {};
    return ::stat(path, &st) == 0;
}

std::shared_ptr<PosixSys> RealPosixSys() {
    static const auto sys = std::make_shared<PosixSys>();
    return sys;
}

namespace {

// A call interrupted by a signal is repeated, but not for ever: a stuck signal storm must not
// hang the caller.
constexpr int kEintrRetries = 64;

template <typename Call>
auto RetryOnEintr(Call call) {
    auto result = call();
    for (int i = 0; i < kEintrRetries && result < 0 && errno == EINTR; ++i) {
        result = call();
    }
    return result;
}

struct BaudSpeed {
    std::uint32_t baud;
    speed_t speed;
};

constexpr BaudSpeed kSpeeds[] = {
    {50, B50},           {75, B75},         {110, B110},       {134, B134},     {150, B150},
    {200, B200},         {300, B300},       {600, B600},       {1200, B1200},   {1800, B1800},
    {2400, B2400},       {4800, B4800},     {9600, B9600},     {19200, B19200}, {38400, B38400},
    {57600, B57600},     {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B500000
    {500000, B500000},
#endif
#ifdef B576000
    {576000, B576000},
#endif
#ifdef B921600
    {921600, B921600},
#endif
#ifdef B1000000
    {1000000, B1000000},
#endif
#ifdef B1152000
    {1152000, B1152000},
#endif
#ifdef B1500000
    {1500000, B1500000},
#endif
#ifdef B2000000
    {2000000, B2000000},
#endif
#ifdef B2500000
    {2500000, B2500000},
#endif
#ifdef B3000000
    {3000000, B3000000},
#endif
#ifdef B3500000
    {3500000, B3500000},
#endif
#ifdef B4000000
    {4000000, B4000000},
#endif
};

bool SpeedForBaud(std::uint32_t baud, speed_t& speed) {
    for (const auto& entry : kSpeeds) {
        if (entry.baud == baud) {
            speed = entry.speed;
            return true;
        }
    }
    return false;
}

std::uint32_t BaudForSpeed(speed_t speed) {
    for (const auto& entry : kSpeeds) {
        if (entry.speed == speed) {
            return entry.baud;
        }
    }
    return 9600;
}

CommSettings SettingsFromTermios(const termios& t) {
    CommSettings s;
    s.baud = BaudForSpeed(cfgetospeed(&t));
    switch (t.c_cflag & CSIZE) {
        case CS5:
            s.dataBits = 5;
            break;
        case CS6:
            s.dataBits = 6;
            break;
        case CS7:
            s.dataBits = 7;
            break;
        default:
            s.dataBits = 8;
            break;
    }
    if ((t.c_cflag & PARENB) == 0) {
        s.parity = 'N';
    } else if ((t.c_cflag & CMSPAR) != 0) {
        s.parity = (t.c_cflag & PARODD) != 0 ? 'M' : 'S';
    } else {
        s.parity = (t.c_cflag & PARODD) != 0 ? 'O' : 'E';
    }
    s.stopBits = (t.c_cflag & CSTOPB) != 0 ? StopBits::Two : StopBits::One;
    s.parityCheck = (t.c_iflag & INPCK) != 0;
    s.outxCtsFlow = (t.c_cflag & CRTSCTS) != 0;
    s.rts = s.outxCtsFlow ? RtsControl::Handshake : RtsControl::Enable;
    s.outX = (t.c_iflag & IXON) != 0;
    s.inX = (t.c_iflag & IXOFF) != 0;
    return s;
}

// Closes on destruction; TIOCNXCL first so the next open of the device is not refused by an
// exclusive flag that outlives us (a pty slave keeps it while the master stays open).
class UniqueFd {
  public:
    UniqueFd(std::shared_ptr<PosixSys> sys, int fd) : sys_(std::move(sys)), fd_(fd) {}
    ~UniqueFd() {
        if (fd_ >= 0) {
            sys_->Ioctl(fd_, TIOCNXCL);
            sys_->Close(fd_);
        }
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    PosixSys& sys() const { return *sys_; }

  private:
    std::shared_ptr<PosixSys> sys_;
    int fd_;
};

class PosixPortHandle final : public IPortHandle {
  public:
    PosixPortHandle(std::unique_ptr<UniqueFd> fd, const CommSettings& settings)
        : fd_(std::move(fd)), settings_(settings) {}

    bool GetSettings(CommSettings& out) override {
        out = settings_;
        return true;
    }

    bool ApplySettings(const CommSettings& s) override {
        termios t{};
        if (RetryOnEintr([&] { return Sys().TcGetAttr(Fd(), &t); }) != 0) {
            return false;
        }
        speed_t speed{};
        if (!SpeedForBaud(s.baud, speed) || s.dataBits < 5 || s.dataBits > 8) {
            return false;
        }
        cfsetispeed(&t, speed);
        cfsetospeed(&t, speed);
        t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
        static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
        t.c_cflag |= kSizes[s.dataBits - 5] | CLOCAL | CREAD;
        switch (s.parity) {
            case 'E':
                t.c_cflag |= PARENB;
                break;
            case 'O':
                t.c_cflag |= PARENB | PARODD;
                break;
            case 'M':
                t.c_cflag |= PARENB | PARODD | CMSPAR;
                break;
            case 'S':
                t.c_cflag |= PARENB | CMSPAR;
                break;
            default:
                break;
        }
        // The UART gives 1.5 stop bits for CSTOPB with 5 data bits.
        if (s.stopBits != StopBits::One) {
            t.c_cflag |= CSTOPB;
        }
        if (s.outxCtsFlow || s.rts == RtsControl::Handshake) {
            t.c_cflag |= CRTSCTS;
        }
        t.c_iflag &= ~static_cast<tcflag_t>(INPCK | IXON | IXOFF | IXANY);
        if (s.parityCheck && s.parity != 'N') {
            t.c_iflag |= INPCK;
        }
        if (s.outX) {
            t.c_iflag |= IXON;
        }
        if (s.inX) {
            t.c_iflag |= IXOFF;
        }
        if (RetryOnEintr([&] { return Sys().TcSetAttr(Fd(), TCSANOW, &t); }) != 0) {
            return false;
        }
        settings_ = s;
        // Like the Windows driver, an enabled line is raised. Ports without modem lines
        // (pseudo-terminals) refuse this, which is no reason to refuse the settings.
        if (s.dtr != DtrControl::Disable) {
            SetDtr(true);
        } else {
            SetDtr(false);
        }
        if (s.rts == RtsControl::Enable) {
            SetRts(true);
        } else if (s.rts == RtsControl::Disable) {
            SetRts(false);
        }
        return true;
    }

    bool SetQueueSizes(std::size_t, std::size_t) override { return true; }

    bool Purge() override {
        return RetryOnEintr([&] { return Sys().TcFlush(Fd(), TCIOFLUSH); }) == 0;
    }

    bool SetTimeouts(std::chrono::milliseconds readTotal,
                     std::chrono::milliseconds writeTotal) override {
        readTimeout_ = readTotal;
        writeTimeout_ = writeTotal;
        return true;
    }

    long Write(const std::uint8_t* data, std::size_t count) override {
        return Transfer(const_cast<std::uint8_t*>(data), count, true);
    }

    long Read(std::uint8_t* data, std::size_t count) override {
        return Transfer(data, count, false);
    }

    long BytesWaiting() override {
        int waiting = 0;
        if (RetryOnEintr([&] { return Sys().Ioctl(Fd(), FIONREAD, &waiting); }) != 0) {
            return -1;
        }
        return waiting;
    }

    bool SetDtr(bool on) override { return ModemLine(TIOCM_DTR, on); }
    bool SetRts(bool on) override { return ModemLine(TIOCM_RTS, on); }

    bool SetBreak(bool on) override {
        return RetryOnEintr([&] { return Sys().Ioctl(Fd(), on ? TIOCSBRK : TIOCCBRK); }) == 0;
    }

    bool GetCts(bool& on) override {
        int bits = 0;
        if (RetryOnEintr([&] { return Sys().Ioctl(Fd(), TIOCMGET, &bits); }) != 0) {
            return false;
        }
        on = (bits & TIOCM_CTS) != 0;
        return true;
    }

  private:
    PosixSys& Sys() { return fd_->sys(); }
    int Fd() const { return fd_->get(); }

    bool ModemLine(int line, bool on) {
        int bits = line;
        return RetryOnEintr([&] { return Sys().Ioctl(Fd(), on ? TIOCMBIS : TIOCMBIC, &bits); }) ==
               0;
    }

    // Moves count bytes or as many as the total time-out allows. VTIME restarts with every
    // read, so the deadline covers the whole transfer and poll() waits for the rest.
    long Transfer(std::uint8_t* data, std::size_t count, bool writing) {
        if (count == 0) {
            return 0;
        }
        using Steady = std::chrono::steady_clock;
        const auto deadline = Steady::now() + (writing ? writeTimeout_ : readTimeout_);
        std::size_t done = 0;
        const auto failed = [&done] { return done > 0 ? static_cast<long>(done) : -1L; };
        while (done < count) {
            const ssize_t n = writing ? Sys().Write(Fd(), data + done, count - done)
                                      : Sys().Read(Fd(), data + done, count - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (n == 0 && !writing) {
                // VMIN is 1, so an empty read is a hang-up, not a lack of data.
                return failed();
            }
            if (n < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
                return failed();
            }
            const auto left = deadline - Steady::now();
            if (left <= Steady::duration::zero()) {
                break;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
            pollfd p{Fd(), static_cast<short>(writing ? POLLOUT : POLLIN), 0};
            const int ready = Sys().Poll(&p, 1, static_cast<int>(ms));
            if (ready < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return failed();
            }
            if (ready == 0) {
                continue;  // the deadline check above ends the transfer
            }
            if ((p.revents & (POLLERR | POLLNVAL)) != 0) {
                return failed();
            }
            if ((p.revents & POLLHUP) != 0 && (p.revents & POLLIN) == 0) {
                return failed();
            }
        }
        return static_cast<long>(done);
    }

    std::unique_ptr<UniqueFd> fd_;
    CommSettings settings_;
    std::chrono::milliseconds readTimeout_{1000};
    std::chrono::milliseconds writeTimeout_{1000};
};

}  // namespace

std::optional<std::string> ResolvePortPath(const std::string& deviceName, PosixSys& sys) {
    if (deviceName.find('/') != std::string::npos) {
        return deviceName;
    }
    const std::optional<unsigned long> number = ComPortNumber(deviceName);
    if (!number) {
        return std::nullopt;
    }
    for (const std::string& candidate : ComPortCandidates(*number)) {
        if (sys.Exists(candidate.c_str())) {
            return candidate;
        }
    }
    return std::nullopt;
}

PosixPortBackend::PosixPortBackend(std::shared_ptr<PosixSys> sys)
    : sys_(sys ? std::move(sys) : RealPosixSys()) {}

std::unique_ptr<IPortHandle> PosixPortBackend::Open(const std::string& deviceName) {
    PortOpenFailure ignored;
    return OpenExplained(deviceName, ignored);
}

std::unique_ptr<IPortHandle> PosixPortBackend::OpenExplained(const std::string& deviceName,
                                                             PortOpenFailure& failure) {
    failure = {};
    const std::optional<std::string> path = ResolvePortPath(deviceName, *sys_);
    if (!path) {
        failure.reason = PortOpenFailure::Reason::NotFound;
        failure.error = ENOENT;
        return nullptr;
    }
    return OpenPath(*path, &failure);
}

std::unique_ptr<IPortHandle> PosixPortBackend::OpenPath(const std::string& path,
                                                        PortOpenFailure* failure) {
    const auto fail = [&](PortOpenFailure::Reason reason, int error) {
        if (failure != nullptr) {
            if (reason == PortOpenFailure::Reason::None) {
                *failure = DiagnoseOpenFailure(path, error);
            } else {
                *failure = {reason, path, error, {}, {}};
            }
        }
        return nullptr;
    };
    const int raw = RetryOnEintr(
        [&] { return sys_->Open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); });
    if (raw < 0) {
        return fail(PortOpenFailure::Reason::None, errno);
    }
    auto fd = std::make_unique<UniqueFd>(sys_, raw);
    // TIOCEXCL keeps other openers out but not root; the lock keeps out every opener that
    // asks for it, which all of ours do.
    if (RetryOnEintr([&] { return sys_->Flock(raw, LOCK_EX | LOCK_NB); }) != 0) {
        const int error = errno == EWOULDBLOCK ? EBUSY : errno;
        // Closed before the holder is looked for, or we would find ourselves.
        fd.reset();
        return fail(PortOpenFailure::Reason::None, error);
    }
    if (RetryOnEintr([&] { return sys_->Ioctl(raw, TIOCEXCL); }) != 0) {
        return fail(PortOpenFailure::Reason::Other, errno);
    }
    termios t{};
    if (RetryOnEintr([&] { return sys_->TcGetAttr(raw, &t); }) != 0) {
        // Not a terminal at all (a file, a folder someone linked as comN).
        return fail(PortOpenFailure::Reason::Other, errno);
    }
    // Raw at once: a pseudo-terminal starts cooked and echoing.
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (RetryOnEintr([&] { return sys_->TcSetAttr(raw, TCSANOW, &t); }) != 0) {
        return fail(PortOpenFailure::Reason::Other, errno);
    }
    return std::make_unique<PosixPortHandle>(std::move(fd), SettingsFromTermios(t));
}

}  // namespace tenlo
