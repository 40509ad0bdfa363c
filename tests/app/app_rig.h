#pragma once

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/main_frame.h"
#include "app/tenlo_app.h"
#include "link/clock.h"
#include "qtsupport/scripted_presenter.h"
#include "scripted_dialogs.h"
#include "sim/in_process_backend.h"
#include "sim/virtual_programmer.h"

namespace tenlo::app {

// The serial ports of the test machine, each a virtual Ravonite with a PIC16F84A: COM5 answers
// everything, COM3 nothing at all, COM7 only the ping, and COM8 breaks off in the middle of a
// program read. Every other port cannot be opened. Time is virtual, so silence costs nothing.
class PortRack final : public IPortBackend {
  public:
    static constexpr int kAnswersAll = 5;
    static constexpr int kSilent = 3;
    static constexpr int kAnswersPingOnly = 7;
    static constexpr int kBreaksDuringRead = 8;

    explicit PortRack(IClock& clock) {
        Add(kAnswersAll, {}, clock);
        sim::FaultPlan silent;
        silent.silenceFromByte = 1;
        Add(kSilent, silent, clock);
        sim::FaultPlan pingOnly;
        pingOnly.silenceFromByte = 2;
        Add(kAnswersPingOnly, pingOnly, clock);
        sim::FaultPlan breaks;
        breaks.disconnectAtByte = 40;
        Add(kBreaksDuringRead, breaks, clock);
    }

    std::unique_ptr<IPortHandle> Open(const std::string& name) override {
        opened.push_back(name);
        for (const auto& [n, port] : ports_) {
            if (name == "COM" + std::to_string(n)) {
                return port.backend->Open(name);
            }
        }
        return nullptr;
    }

    IPortBackend& Port(int n) { return *ports_.at(n).backend; }
    void SetVersion(int n, const std::array<std::uint8_t, 4>& version) {
        ports_.at(n).programmer->With(
            [&](sim::CFirmwareEngine& engine, sim::IChipModel&) { engine.SetVersion(version); });
    }

    std::vector<std::string> opened;

  private:
    struct Line {
        std::shared_ptr<sim::CVirtualProgrammer> programmer;
        std::shared_ptr<IPortBackend> backend;
    };
    void Add(int n, const sim::FaultPlan& faults, IClock& clock) {
        auto programmer =
            std::make_shared<sim::CVirtualProgrammer>(sim::CreateChip("PIC16F84A"), faults);
        ports_[n] = {programmer, sim::MakeInProcessBackend(programmer, clock)};
    }
    std::map<int, Line> ports_;
};

// Tenlo's application object on the port rack, with every dialog and message box scripted.
class AppRig : public ::testing::Test {
  public:
    CTenloApp& App() { return app_; }

  protected:
    // Starts up on the given port and returns the main window.
    CMainFrame& Start(int port) {
        dialogs_.Expect("105", testing::ScriptedDialogs::ChoosePort(port));
        EXPECT_TRUE(app_.InitInstance());
        CMainFrame* frame = app_.MainFrame();
        if (frame == nullptr) {
            throw std::runtime_error("no main window");
        }
        return *frame;
    }

    qt::testing::ScriptedPresenter presenter_;
    testing::ScriptedDialogs dialogs_;
    VirtualClock clock_;
    std::shared_ptr<PortRack> rack_ = std::make_shared<PortRack>(clock_);
    CTenloApp app_{rack_, &clock_};
};

}  // namespace tenlo::app
