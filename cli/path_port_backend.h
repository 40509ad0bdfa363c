#pragma once

#include <memory>
#include <string>

#include "link/port_backend.h"

namespace tenlo::cli {

// Opens one device path whatever COMn name the definition string carries: the serial layer
// insists on "COMn:", a user of --port /dev/ttyUSB0 should not have to invent a link for it.
class CPathPortBackend final : public IPortBackend {
  public:
    explicit CPathPortBackend(std::string path) : path_(std::move(path)) {}
    std::unique_ptr<IPortHandle> Open(const std::string& deviceName) override;
    std::unique_ptr<IPortHandle> OpenExplained(const std::string& deviceName,
                                               PortOpenFailure& failure) override;
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

}  // namespace tenlo::cli
