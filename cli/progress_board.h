#pragma once

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "device/device_ui.h"

namespace tenlo::cli {

// The progress of several ports at once on standard error. On a terminal each port has a line
// with its bar, redrawn in place; elsewhere (a log file, a pipe) a port says a plain line when
// it begins a step and at every quarter of it. Calls come from the ports' worker threads.
class CProgressBoard {
  public:
    // enabled false: nothing is shown (--quiet).
    CProgressBoard(std::FILE* out, bool terminal, bool enabled, std::vector<std::string> ports);
    ~CProgressBoard();
    CProgressBoard(const CProgressBoard&) = delete;
    CProgressBoard& operator=(const CProgressBoard&) = delete;

    // The display a port's device drives.
    IProgressDisplay* Port(std::size_t index);
    // The port has ended: its line says how ("written and verified", "failed").
    void Ended(std::size_t index, std::string_view how);
    // Clears the bars off the terminal, so that the report follows on a clean screen.
    void Finish();

  private:
    class CPortDisplay;
    struct Line {
        std::string text;
        int upper = 100;
        int position = 0;
        int percent = -1;  // as last shown
        bool open = false;
        std::string ended;
    };

    void Changed(std::size_t index, bool newText);
    void DrawLocked();
    std::string LineText(std::size_t index) const;

    std::FILE* out_;
    bool terminal_;
    bool enabled_;
    std::vector<std::string> ports_;
    std::size_t width_ = 0;  // of the longest port name
    std::vector<Line> lines_;
    std::vector<std::unique_ptr<CPortDisplay>> displays_;
    std::mutex mutex_;
    bool drawn_ = false;
};

}  // namespace tenlo::cli
