#pragma once

#include <string_view>

namespace tenlo {

// The progress display a device operation drives. Calls arrive on the operation's worker
// thread; a toolkit implementation queues them to its own thread.
class IProgressDisplay {
  public:
    virtual ~IProgressDisplay() = default;
    // Upper end of the bar; used when the display is next opened.
    virtual void SetRange(int upper) = 0;
    virtual bool Open() = 0;
    virtual void SetPosition(int position) = 0;
    virtual void SetText(std::string_view text) = 0;
    virtual void Close() = 0;
};

// The application's main window as a device operation sees it: locked while it runs.
class IMainWindow {
  public:
    virtual ~IMainWindow() = default;
    virtual void Enable() = 0;
    virtual void Disable() = 0;
    virtual void BringToFront() = 0;
};

}  // namespace tenlo
