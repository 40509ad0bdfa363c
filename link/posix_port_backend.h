#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include <poll.h>
#include <sys/types.h>
#include <termios.h>

#include "link/port_backend.h"

namespace tenlo {

// Every system call the termios backend makes, so tests can make any of them fail (EINTR,
// ENOTTY, EBUSY) without hardware. Each returns what the call returns and leaves errno set.
class PosixSys {
  public:
    virtual ~PosixSys() = default;

    virtual int Open(const char* path, int flags);
    virtual int Close(int fd);
    virtual int Flock(int fd, int operation);
    virtual int Ioctl(int fd, unsigned long request);
    virtual int Ioctl(int fd, unsigned long request, int* arg);
    virtual int TcGetAttr(int fd, termios* t);
    virtual int TcSetAttr(int fd, int actions, const termios* t);
    virtual int TcFlush(int fd, int queue);
    virtual int Poll(pollfd* fds, nfds_t count, int timeoutMs);
    virtual ssize_t Read(int fd, void* buffer, std::size_t count);
    virtual ssize_t Write(int fd, const void* buffer, std::size_t count);
    virtual bool Exists(const char* path);
};

// The process-wide real system calls.
std::shared_ptr<PosixSys> RealPosixSys();

// Where "COMn" lives on this machine: the first existing of its candidates (port_names.h). A
// name holding a '/' is taken as a path. Nothing for a name that is not COMn (n from 1) or when
// none exists.
std::optional<std::string> ResolvePortPath(const std::string& deviceName, PosixSys& sys);

// termios serial ports, opened exclusively (TIOCEXCL plus flock) in raw mode, every transfer
// bounded by poll() against the time-out deadline.
class PosixPortBackend final : public IPortBackend {
  public:
    explicit PosixPortBackend(std::shared_ptr<PosixSys> sys = nullptr);

    std::unique_ptr<IPortHandle> Open(const std::string& deviceName) override;
    std::unique_ptr<IPortHandle> OpenExplained(const std::string& deviceName,
                                               PortOpenFailure& failure) override;
    // Opens a path directly (tenlo-cli --port /dev/ttyUSB0); failure, when given, says why not.
    std::unique_ptr<IPortHandle> OpenPath(const std::string& path,
                                          PortOpenFailure* failure = nullptr);

  private:
    std::shared_ptr<PosixSys> sys_;
};

}  // namespace tenlo
