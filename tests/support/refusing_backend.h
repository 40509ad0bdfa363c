#pragma once

#include <memory>
#include <string>

#include "link/port_backend.h"

namespace tenlo::testing {

// Every port exists but will not open, for the reason given: what a front says about it.
class RefusingBackend final : public IPortBackend {
  public:
    explicit RefusingBackend(PortOpenFailure failure) : failure_(std::move(failure)) {}
    std::unique_ptr<IPortHandle> Open(const std::string&) override { return nullptr; }
    std::unique_ptr<IPortHandle> OpenExplained(const std::string&,
                                               PortOpenFailure& failure) override {
        failure = failure_;
        return nullptr;
    }

  private:
    PortOpenFailure failure_;
};

}  // namespace tenlo::testing
