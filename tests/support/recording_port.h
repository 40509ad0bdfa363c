#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/port_backend.h"

namespace tenlo::test {

// One modem-line call as the port saw it.
struct LineCall {
    enum Kind { Dtr, Rts, Break, Cts };
    Kind kind;
    bool value;  // level set, or CTS level returned
    bool operator==(const LineCall&) const = default;
};

struct RecordingLines {
    std::vector<LineCall> calls;
    // CTS level for the nth status read (0-based); off when unset.
    std::function<bool(std::size_t)> cts;
    std::size_t ctsReads = 0;
    // Calls after this many fail and are not recorded.
    std::optional<std::size_t> failAfter;
};

// A port that only records what happens on its modem lines.
class CRecordingPortBackend final : public IPortBackend {
  public:
    std::shared_ptr<RecordingLines> lines = std::make_shared<RecordingLines>();
    std::unique_ptr<IPortHandle> Open(const std::string& deviceName) override;
};

// The DTR level at each falling RTS edge in calls, in order: the bits the target latches.
std::vector<bool> LatchedBits(const std::vector<LineCall>& calls);

// The exact calls of one six-bit command, as the line driver issues them.
std::vector<LineCall> CommandCalls(unsigned code);

}  // namespace tenlo::test
