#include "jobs/durable_file.h"

#include <cerrno>

#if defined(_WIN32)
#include <process.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tenlo::jobs {

#if !defined(_WIN32)

namespace {

// Writes all of text at the descriptor's position, through interrupted and partial writes.
bool WriteAll(int fd, const std::string& text, int& error) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = errno;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool LockExclusive(int fd, int& error) {
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            error = errno;
            return false;
        }
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

CLockedFile::~CLockedFile() {
    Close();
}

void CLockedFile::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool CLockedFile::Open(const std::string& path, int& error) {
    Close();
    path_ = path;
    for (;;) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) {
            error = errno;
            return false;
        }
        if (!LockExclusive(fd, error)) {
            ::close(fd);
            return false;
        }
        // Another holder may have renamed a new file over the one locked here meanwhile.
        struct stat held {};
        struct stat named {};
        if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
            fd_ = fd;
            return true;
        }
        ::close(fd);
    }
}

bool CLockedFile::ReadAll(std::string& text, int& error) {
    text.clear();
    char buffer[4096];
    off_t at = 0;
    for (;;) {
        const ssize_t n = ::pread(fd_, buffer, sizeof buffer, at);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = errno;
            return false;
        }
        if (n == 0) {
            return true;
        }
        text.append(buffer, static_cast<std::size_t>(n));
        at += n;
    }
}

bool CLockedFile::Replace(const std::string& text, int& error) {
    const std::string side = path_ + ".new";
    const int fd = ::open(side.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = errno;
        return false;
    }
    // The side file is locked before it takes the name, so that no one slips in between.
    const bool written = LockExclusive(fd, error) && WriteAll(fd, text, error) &&
                         (::fsync(fd) == 0 || (error = errno, false));
    if (!written || ::rename(side.c_str(), path_.c_str()) != 0) {
        if (written) {
            error = errno;
        }
        ::close(fd);
        ::unlink(side.c_str());
        return false;
    }
    // The rename itself reaches the disk with the folder.
    const int folder = ::open(FolderOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    Close();
    fd_ = fd;
    return true;
}

bool AppendWhole(const std::string& path, const std::string& header, const std::string& text,
                 int& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = errno;
        return false;
    }
    struct stat st {};
    bool ok = LockExclusive(fd, error) && (::fstat(fd, &st) == 0 || (error = errno, false));
    // One write: a crash leaves the row whole or not at all, and rows of other runs never
    // interleave with it.
    ok = ok && WriteAll(fd, st.st_size == 0 ? header + text : text, error) &&
         (::fsync(fd) == 0 || (error = errno, false));
    ::close(fd);
    return ok;
}

long ThisProcessId() {
    return static_cast<long>(::getpid());
}

bool ProcessRuns(long pid) {
    if (pid <= 0) {
        return true;
    }
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

#else

// Windows: plain standard library. The files are neither locked against another run nor
// flushed to the disk; a run of its own per serial-number file is assumed.

CLockedFile::~CLockedFile() = default;

void CLockedFile::Close() {}

bool CLockedFile::Open(const std::string& path, int& error) {
    path_ = path;
    std::ofstream touch(path, std::ios::binary | std::ios::app);
    if (!touch) {
        error = EACCES;
        return false;
    }
    return true;
}

bool CLockedFile::ReadAll(std::string& text, int& error) {
    std::ifstream in(path_, std::ios::binary);
    if (!in) {
        error = EACCES;
        return false;
    }
    std::ostringstream s;
    s << in.rdbuf();
    text = s.str();
    return true;
}

bool CLockedFile::Replace(const std::string& text, int& error) {
    const std::string side = path_ + ".new";
    {
        std::ofstream out(side, std::ios::binary | std::ios::trunc);
        if (!(out << text) || !out.flush()) {
            error = EIO;
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(side, path_, ec);
    if (ec) {
        error = ec.value();
        return false;
    }
    return true;
}

bool AppendWhole(const std::string& path, const std::string& header, const std::string& text,
                 int& error) {
    std::error_code ec;
    const bool empty =
        !std::filesystem::exists(path, ec) || std::filesystem::file_size(path, ec) == 0;
    std::ofstream out(path, std::ios::binary | std::ios::app);
    if (!(out << (empty ? header + text : text)) || !out.flush()) {
        error = EIO;
        return false;
    }
    return true;
}

long ThisProcessId() {
    return static_cast<long>(::_getpid());
}

bool ProcessRuns(long /*pid*/) {
    return true;
}

#endif

}  // namespace tenlo::jobs
