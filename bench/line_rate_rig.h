#pragma once

#include <memory>
#include <string_view>

#include "link/clock.h"
#include "link/programmer_link.h"
#include "link/serial_port.h"
#include "sim/in_process_backend.h"
#include "sim/virtual_programmer.h"
#include "support/pause_counting_clock.h"
#include "support/recording_backend.h"

namespace tenlo::bench {

// A fresh simulated chip behind the in-process virtual programmer with line-rate emulation, on
// the real clock, and a link to it whose bytes, frames and pauses are counted from Reset on.
class LineRateRig {
  public:
    explicit LineRateRig(std::string_view chip)
        : programmer_(std::make_shared<sim::CVirtualProgrammer>(sim::CreateChip(chip))),
          link_(nullptr,
                testing::MakeRecordingBackend(
                    sim::MakeInProcessBackend(programmer_, SystemClock(), true), wire_),
                &clock_) {
        link_.Connect(ProgrammerPortDefinition(5));
    }

    CProgrammerLink& Link() { return link_; }
    bool Connected() const { return link_.IsConnected(); }

    void Reset() {
        framesBefore_ = Frames();
        wire_->Clear();
        clock_.pauses = 0;
        clock_.pauseNanos = 0;
    }
    std::uint64_t Bytes() { return wire_->Written().size() + wire_->Read(); }
    std::uint64_t Pauses() const { return clock_.pauses; }
    std::uint64_t PauseNanos() const { return clock_.pauseNanos; }
    // What crossed the line since Reset, at the protocol's own pace.
    testing::LineCost Cost() { return testing::CostOf(Bytes(), Frames() - framesBefore_, clock_); }

  private:
    std::uint64_t Frames() {
        return programmer_->With([](sim::CFirmwareEngine& engine, sim::IChipModel&) {
            return engine.Statistics().frames;
        });
    }

    std::shared_ptr<sim::CVirtualProgrammer> programmer_;
    testing::PauseCountingClock clock_;
    std::shared_ptr<testing::WireLog> wire_ = std::make_shared<testing::WireLog>();
    CProgrammerLink link_;
    std::uint64_t framesBefore_ = 0;
};

}  // namespace tenlo::bench
