#pragma once

// A pseudo-terminal whose slave is linked as comN in a private port directory, so the real
// termios backend can open "COMn" without hardware.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace tenlo::test {

class Pty {
  public:
    Pty() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
            throw std::runtime_error("no pseudo-terminal");
        }
        char name[128];
        if (ptsname_r(master_, name, sizeof name) != 0) {
            throw std::runtime_error("no slave name");
        }
        slave_ = name;
        termios t{};
        tcgetattr(master_, &t);
        cfmakeraw(&t);
        tcsetattr(master_, TCSANOW, &t);
    }
    ~Pty() { CloseMaster(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& SlavePath() const { return slave_; }
    void CloseMaster() {
        if (master_ >= 0) {
            close(master_);
            master_ = -1;
        }
    }

    void Send(const std::vector<std::uint8_t>& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
            if (n <= 0) {
                throw std::runtime_error("pty write failed");
            }
            done += static_cast<std::size_t>(n);
        }
    }

    // Up to count bytes, waiting at most timeout for them all.
    std::vector<std::uint8_t> Receive(std::size_t count,
                                      std::chrono::milliseconds timeout = std::chrono::seconds(2)) {
        std::vector<std::uint8_t> out;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (out.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd p{master_, POLLIN, 0};
            if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) {
                break;
            }
            std::uint8_t buffer[256];
            const ssize_t n = read(master_, buffer, std::min(sizeof buffer, count - out.size()));
            if (n <= 0) {
                break;
            }
            out.insert(out.end(), buffer, buffer + n);
        }
        return out;
    }

    // Whatever arrives first, waiting at most timeout for it.
    std::vector<std::uint8_t> ReceiveAny(std::chrono::milliseconds timeout) {
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(timeout.count())) <= 0) {
            return {};
        }
        std::uint8_t buffer[256];
        const ssize_t n = read(master_, buffer, sizeof buffer);
        return n > 0 ? std::vector<std::uint8_t>(buffer, buffer + n) : std::vector<std::uint8_t>{};
    }

  private:
    int master_ = -1;
    std::string slave_;
};

// A temporary $TENLO_PORT_DIR holding comN links; restores the variable when done.
class PortDir {
  public:
    PortDir() {
        char pattern[] = "/tmp/tenlo-link-XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            throw std::runtime_error("no temp dir");
        }
        dir_ = pattern;
        if (const char* old = std::getenv("TENLO_PORT_DIR")) {
            saved_ = old;
            hadSaved_ = true;
        }
        setenv("TENLO_PORT_DIR", dir_.c_str(), 1);
    }
    ~PortDir() {
        for (const auto& link : links_) {
            unlink(link.c_str());
        }
        rmdir(dir_.c_str());
        if (hadSaved_) {
            setenv("TENLO_PORT_DIR", saved_.c_str(), 1);
        } else {
            unsetenv("TENLO_PORT_DIR");
        }
    }
    PortDir(const PortDir&) = delete;
    PortDir& operator=(const PortDir&) = delete;

    void Link(const std::string& name, const std::string& target) {
        const std::string path = dir_ + "/" + name;
        if (symlink(target.c_str(), path.c_str()) != 0) {
            throw std::runtime_error("symlink failed");
        }
        links_.push_back(path);
    }
    const std::string& Path() const { return dir_; }

  private:
    std::string dir_;
    std::string saved_;
    bool hadSaved_ = false;
    std::vector<std::string> links_;
};

}  // namespace tenlo::test
