#pragma once

#include <memory>
#include <string>

#include "link/port_backend.h"

namespace tenlo {

// Win32 communications ports: CreateFile without sharing, the DCB for the settings, one
// ReadFile or WriteFile per transfer bounded by the COMMTIMEOUTS, EscapeCommFunction and
// GetCommModemStatus for the lines. The system timer runs at 1 ms while a port is open so the
// protocol's 1 ms pauses are not stretched to a scheduler tick.
class Win32PortBackend final : public IPortBackend {
  public:
    std::unique_ptr<IPortHandle> Open(const std::string& deviceName) override;
};

}  // namespace tenlo
