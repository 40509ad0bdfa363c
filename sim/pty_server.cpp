#include "sim/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace tenlo::sim {

namespace {

// How long a pseudo-terminal may hold a host byte before the server can read it. The kernel
// passes terminal input on from a worker thread, and on a busy machine that takes up to some
// milliseconds: a host that paused 1 ms can have two bytes read 260 us apart. The firmware's
// handling time is judged against the earliest the byte can have come; a host that skips its
// pauses still runs out of that allowance within a few frames, as each of its frames of two
// bytes or more takes over half a millisecond of it.
constexpr IClock::Duration kPtyDelivery = std::chrono::milliseconds(10);

bool MakeRaw(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) {
        return false;
    }
    cfmakeraw(&t);
    cfsetispeed(&t, B38400);
    cfsetospeed(&t, B38400);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

void CloseFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

}  // namespace

CPtyServer::CPtyServer(std::shared_ptr<CVirtualProgrammer> programmer, IClock& clock, bool lineRate)
    : programmer_(std::move(programmer)), clock_(clock), lineRate_(lineRate) {}

CPtyServer::~CPtyServer() {
    Hangup();
}

bool CPtyServer::Open(std::string& error) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) {
        error = std::string("posix_openpt: ") + std::strerror(errno);
        return false;
    }
    const char* name = nullptr;
    if (grantpt(master_) != 0 || unlockpt(master_) != 0 || (name = ptsname(master_)) == nullptr) {
        error = std::string("cannot unlock the pseudo-terminal: ") + std::strerror(errno);
        Hangup();
        return false;
    }
    ptyPath_ = name;
    slave_ = ::open(ptyPath_.c_str(), O_RDWR | O_NOCTTY);
    // A fresh terminal is cooked and echoes: make it raw before any host byte can arrive.
    if (slave_ < 0 || !MakeRaw(slave_)) {
        error = "cannot set up " + ptyPath_ + ": " + std::strerror(errno);
        Hangup();
        return false;
    }
    const int flags = fcntl(master_, F_GETFL);
    if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) {
        error = std::string("fcntl: ") + std::strerror(errno);
        Hangup();
        return false;
    }
    return true;
}

void CPtyServer::Hangup() {
    CloseFd(slave_);
    CloseFd(master_);
    replies_.clear();
}

void CPtyServer::Trace(const char* direction, const std::uint8_t* bytes, std::size_t count,
                       const std::vector<bool>* lost) {
    if (trace_ == nullptr || count == 0) {
        return;
    }
    std::fputs(direction, trace_);
    for (std::size_t i = 0; i < count; ++i) {
        if (lost != nullptr && (*lost)[i]) {
            std::fprintf(trace_, " [%02X lost]", bytes[i]);
        } else {
            std::fprintf(trace_, " %02X", bytes[i]);
        }
    }
    std::fputc('\n', trace_);
    std::fflush(trace_);
}

void CPtyServer::Receive(const std::uint8_t* bytes, std::size_t count) {
    const IClock::Duration byteTime = ByteTime(kProgrammerBaud);
    std::vector<std::uint8_t> out;
    std::vector<bool> lost(count, false);
    bool broken = false;
    for (std::size_t i = 0; i < count && !broken; ++i) {
        out.clear();
        if (lineRate_) {
            // The byte has already crossed the host's side; it reaches the firmware one byte
            // time after the line is free, and the replies follow it.
            const IClock::Duration arrival = std::max(clock_.Now(), inFree_) + byteTime;
            inFree_ = arrival;
            const auto intake = programmer_->Receive(bytes[i], arrival, out, kPtyDelivery);
            lost[i] = intake == CVirtualProgrammer::Intake::Lost;
            broken = intake == CVirtualProgrammer::Intake::Broken;
            for (std::uint8_t b : out) {
                outFree_ = std::max(arrival, outFree_) + byteTime;
                replies_.push_back({b, outFree_});
            }
        } else {
            broken = !programmer_->Transfer(&bytes[i], 1, out);
            for (std::uint8_t b : out) {
                replies_.push_back({b, IClock::Duration{0}});
            }
        }
    }
    Trace(">", bytes, count, &lost);
    if (broken) {
        Hangup();
    }
}

bool CPtyServer::Flush() {
    std::vector<std::uint8_t> due;
    const IClock::Duration now = clock_.Now();
    for (const Pending& p : replies_) {
        if (p.ready > now) {
            break;
        }
        due.push_back(p.byte);
    }
    if (due.empty()) {
        return true;
    }
    const ssize_t n = ::write(master_, due.data(), due.size());
    if (n < 0) {
        return errno == EAGAIN || errno == EINTR;
    }
    Trace("<", due.data(), static_cast<std::size_t>(n), nullptr);
    replies_.erase(replies_.begin(), replies_.begin() + n);
    return true;
}

bool CPtyServer::Serve(int stopFd) {
    std::uint8_t buffer[256];
    for (;;) {
        pollfd fds[2] = {{stopFd, POLLIN, 0}, {master_, POLLIN, 0}};
        const nfds_t count = master_ >= 0 ? 2 : 1;
        int timeout = -1;
        if (!replies_.empty()) {
            fds[1].events |= POLLOUT;
            const IClock::Duration wait = replies_.front().ready - clock_.Now();
            if (wait.count() > 0) {
                // Paced output: wake when the next byte is due (poll counts whole ms; sleep
                // the remainder below so the pacing stays fine-grained).
                fds[1].events = POLLIN;
                timeout = static_cast<int>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(wait).count());
            }
        }
        const int ready = ::poll(fds, count, timeout);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            return true;
        }
        if (master_ < 0) {
            continue;
        }
        if (ready == 0 && !replies_.empty()) {
            clock_.SleepUntil(replies_.front().ready);
        }
        if ((fds[1].revents & POLLIN) != 0) {
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n > 0) {
                Receive(buffer, static_cast<std::size_t>(n));
                if (master_ < 0) {
                    continue;
                }
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                return false;
            }
        }
        if (!Flush()) {
            return false;
        }
    }
}

bool MakePortLink(const std::string& target, const std::string& link, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path path(link);
    if (path.has_parent_path()) {
        fs::create_directories(path.parent_path(), ec);
        if (ec) {
            error = "cannot create " + path.parent_path().string() + ": " + ec.message();
            return false;
        }
    }
    const fs::file_status status = fs::symlink_status(path, ec);
    if (fs::exists(status)) {
        if (!fs::is_symlink(status)) {
            error = link + " exists and is not a link";
            return false;
        }
        fs::remove(path, ec);
    }
    fs::create_symlink(target, path, ec);
    if (ec) {
        error = "cannot link " + link + ": " + ec.message();
        return false;
    }
    return true;
}

}  // namespace tenlo::sim
