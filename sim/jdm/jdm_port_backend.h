#pragma once

#include <memory>
#include <string>

#include "link/clock.h"
#include "link/port_backend.h"
#include "sim/jdm/jdm_chip.h"

namespace tenlo::sim {

// Serves every "COMn" name with the simulated JDM chip: the modem lines drive the chip, byte
// traffic fails (the updater never sends any). One port at a time, as a real port opened
// without sharing; closing it drops DTR, RTS and the break, so the chip loses power.
class CJdmPortBackend final : public IPortBackend {
  public:
    explicit CJdmPortBackend(std::shared_ptr<CJdmChip> chip);

    std::unique_ptr<IPortHandle> Open(const std::string& deviceName) override;

    CJdmChip& Chip() { return *chip_; }
    std::shared_ptr<CJdmChip> SharedChip() const { return chip_; }
    bool InUse() const { return *inUse_; }

  private:
    std::shared_ptr<CJdmChip> chip_;
    std::shared_ptr<bool> inUse_;
};

// The in-process backend for --simulate: a factory-fresh chip whose timing runs on clock,
// which must outlive the backend.
std::shared_ptr<CJdmPortBackend> MakeJdmSimulatorBackend(IClock& clock);

// True for "COM" (any case) followed by a port number from 1.
bool IsComPortName(const std::string& name);

}  // namespace tenlo::sim
