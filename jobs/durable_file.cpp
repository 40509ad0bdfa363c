#include "jobs/durable_file.h"

#include <cerrno>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <utility>
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

// Windows: a file open under its name cannot be renamed over, so the lock a replaced file needs
// is held on a lock file beside it ("NAME.lock"), which is never replaced. The log, only ever
// appended to, is locked itself. LockFileEx locks against every other handle, this process's
// own threads included.

namespace {

class Handle {
  public:
    explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    ~Handle() {
        if (Valid()) {
            ::CloseHandle(h_);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    HANDLE Get() const { return h_; }
    HANDLE Release() { return std::exchange(h_, INVALID_HANDLE_VALUE); }
    bool Valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }

  private:
    HANDLE h_;
};

int ErrorNumber(DWORD error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return EACCES;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return ENOENT;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        default:
            return EIO;
    }
}

bool Failed(int& error) {
    error = ErrorNumber(::GetLastError());
    return false;
}

HANDLE OpenShared(const std::string& path, DWORD access) {
    return ::CreateFileA(path.c_str(), access,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Waits for the whole file, however long it grows.
bool LockWhole(HANDLE h, int& error) {
    OVERLAPPED from{};
    return ::LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &from) != 0 ||
           Failed(error);
}

bool WriteAll(HANDLE h, const std::string& text, int& error) {
    std::size_t done = 0;
    while (done < text.size()) {
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(text.size() - done, DWORD{1} << 30));
        DWORD n = 0;
        if (!::WriteFile(h, text.data() + done, chunk, &n, nullptr)) {
            return Failed(error);
        }
        done += n;
    }
    return true;
}

}  // namespace

CLockedFile::~CLockedFile() {
    Close();
}

void CLockedFile::Close() {
    if (lock_ != nullptr) {
        ::CloseHandle(static_cast<HANDLE>(lock_));  // which releases the lock
        lock_ = nullptr;
    }
}

bool CLockedFile::Open(const std::string& path, int& error) {
    Close();
    path_ = path;
    Handle lock(OpenShared(path + ".lock", GENERIC_READ | GENERIC_WRITE));
    if (!lock.Valid()) {
        return Failed(error);
    }
    if (!LockWhole(lock.Get(), error)) {
        return false;
    }
    const Handle file(OpenShared(path, GENERIC_READ));  // made when missing
    if (!file.Valid()) {
        return Failed(error);
    }
    lock_ = lock.Release();
    return true;
}

bool CLockedFile::ReadAll(std::string& text, int& error) {
    std::ifstream in(path_, std::ios::binary);
    if (!in) {
        error = EACCES;
        return false;
    }
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad() || (error = EIO, false);
}

bool CLockedFile::Replace(const std::string& text, int& error) {
    const std::string side = path_ + ".new";
    {
        const Handle out(::CreateFileA(side.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out.Valid()) {
            return Failed(error);
        }
        if (!WriteAll(out.Get(), text, error) ||
            (!::FlushFileBuffers(out.Get()) && !Failed(error))) {
            ::DeleteFileA(side.c_str());
            return false;
        }
    }
    if (!::MoveFileExA(side.c_str(), path_.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        Failed(error);
        ::DeleteFileA(side.c_str());
        return false;
    }
    return true;
}

bool AppendWhole(const std::string& path, const std::string& header, const std::string& text,
                 int& error) {
    // Opened for appending only: every write goes to the end, whoever wrote last.
    const Handle file(OpenShared(path, GENERIC_READ | FILE_APPEND_DATA));
    if (!file.Valid()) {
        return Failed(error);
    }
    LARGE_INTEGER size{};
    if (!LockWhole(file.Get(), error) || (!::GetFileSizeEx(file.Get(), &size) && !Failed(error))) {
        return false;
    }
    return WriteAll(file.Get(), size.QuadPart == 0 ? header + text : text, error) &&
           (::FlushFileBuffers(file.Get()) != 0 || Failed(error));
}

long ThisProcessId() {
    return static_cast<long>(::GetCurrentProcessId());
}

bool ProcessRuns(long pid) {
    if (pid <= 0) {
        return true;
    }
    const Handle process(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                       static_cast<DWORD>(pid)));
    if (!process.Valid()) {
        // No such process; any other refusal (another user's) leaves it running.
        return ::GetLastError() != ERROR_INVALID_PARAMETER;
    }
    return ::WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT;
}

#endif

}  // namespace tenlo::jobs
