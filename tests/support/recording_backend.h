#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "link/port_backend.h"

namespace tenlo::testing {

// The bytes that crossed the line, in each direction.
struct WireLog {
    std::mutex mutex;
    std::vector<std::uint8_t> written;
    std::uint64_t readCount = 0;
    // Called on the writing thread after each write with the count written so far; set before
    // the line is used (a test holds a command there to act in the middle of it).
    std::function<void(std::size_t)> afterWrite;

    std::vector<std::uint8_t> Written() {
        std::lock_guard lock(mutex);
        return written;
    }
    std::uint64_t Read() {
        std::lock_guard lock(mutex);
        return readCount;
    }
    void Clear() {
        std::lock_guard lock(mutex);
        written.clear();
        readCount = 0;
    }
};

// A port backend that passes everything to another one and logs the bytes both ways.
std::shared_ptr<IPortBackend> MakeRecordingBackend(std::shared_ptr<IPortBackend> inner,
                                                   std::shared_ptr<WireLog> log);

}  // namespace tenlo::testing
