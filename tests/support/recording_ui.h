#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "device/device_ui.h"
#include "link/ui_interfaces.h"

namespace tenlo::testing {

// Records every progress call as a line: "range 100", "open", "pos 40", "text ...", "close".
// Calls may come from an operation's worker thread.
class RecordingProgress : public IProgressDisplay {
  public:
    void SetRange(int upper) override { Add("range " + std::to_string(upper)); }
    bool Open() override {
        Add("open");
        return true;
    }
    void SetPosition(int position) override { Add("pos " + std::to_string(position)); }
    void SetText(std::string_view text) override { Add("text " + std::string(text)); }
    void Close() override { Add("close"); }

    std::vector<std::string> Events() const;
    std::vector<int> Positions() const;
    std::vector<std::string> Texts() const;
    void Clear();

  private:
    void Add(std::string event);

    mutable std::mutex mutex_;
    std::vector<std::string> events_;
};

class RecordingWindow : public IMainWindow {
  public:
    void Enable() override { Add("enable"); }
    void Disable() override { Add("disable"); }
    void BringToFront() override { Add("front"); }

    std::vector<std::string> Events() const;
    // Whether the window ends up enabled (it starts enabled).
    bool Enabled() const;

  private:
    void Add(std::string event);

    mutable std::mutex mutex_;
    std::vector<std::string> events_;
};

// Every box shown, answered OK.
class RecordingErrorBox : public IErrorBox {
  public:
    struct Box {
        std::string caption;
        std::string text;
        unsigned type = 0;
    };

    int ShowMessage(const std::string& caption, const std::string& text, unsigned type) override;

    std::vector<Box> Shown() const;
    std::vector<std::string> Texts() const;
    void Clear();

  private:
    mutable std::mutex mutex_;
    std::vector<Box> shown_;
};

}  // namespace tenlo::testing
