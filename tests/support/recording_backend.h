#pragma once

#include <cstdint>
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
