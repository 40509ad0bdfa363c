#pragma once

#include <string>

namespace tenlo::jobs {

// Files a production run keeps (the serial numbers, the log) must come through a crash of the
// program at any moment whole, and may be shared by several runs at once. Each call returns
// false with the system's error number on failure.

// A file held under an exclusive lock while the object lives: another holder, in this process
// or another, waits. The file is made (empty) when it does not exist. The lock follows the
// name: when another holder replaced the file while this one waited, the new file is locked.
class CLockedFile {
  public:
    CLockedFile() = default;
    ~CLockedFile();
    CLockedFile(const CLockedFile&) = delete;
    CLockedFile& operator=(const CLockedFile&) = delete;

    bool Open(const std::string& path, int& error);
    bool ReadAll(std::string& text, int& error);
    // The new content is written to a side file, flushed to the disk and renamed over the file,
    // so that a crash leaves the old content or the new, never a mix or nothing. The object
    // then holds the lock on the new file.
    bool Replace(const std::string& text, int& error);

  private:
    void Close();

    std::string path_;
#if defined(_WIN32)
    void* lock_ = nullptr;  // the handle of the lock file beside the file
#else
    int fd_ = -1;
#endif
};

// Appends text with one write at the end of the file (made when missing), header first when
// the file is empty; the file is locked meanwhile, so that the header is written once whoever
// comes first, and flushed to the disk before the call returns.
bool AppendWhole(const std::string& path, const std::string& header, const std::string& text,
                 int& error);

// This process's id, and whether a process of that id runs on this machine (unsure: true).
long ThisProcessId();
bool ProcessRuns(long pid);

}  // namespace tenlo::jobs
