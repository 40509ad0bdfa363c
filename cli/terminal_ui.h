#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "device/device_ui.h"
#include "link/ui_interfaces.h"

namespace tenlo::cli {

// Text as it may go to a terminal: control characters (an escape sequence in a name the user
// typed, a tab in a file name) shown as \t, \n, \r or \xHH instead of acting on the screen.
std::string Printable(std::string_view text);

// The serial layer's error boxes as one line each: "Error: <text>", line breaks of the text
// turned into blanks. A port opened by path is named by its path, not by the COMn alias the
// definition string had to carry. The lines are kept for the tool's own failure line, which
// folds them in, so that every failure is told in one line; Flush prints any left over.
class CStderrErrorBox final : public IErrorBox {
  public:
    explicit CStderrErrorBox(std::FILE* out) : out_(out) {}

    int ShowMessage(const std::string& caption, const std::string& text, unsigned type) override;
    // The lines shown since the last call, oldest first.
    std::vector<std::string> TakeLines();
    // Prints the lines not taken, one each.
    void Flush();

    void SetPortAlias(std::string comName, std::string path) {
        aliasName_ = std::move(comName);
        aliasPath_ = std::move(path);
    }
    int Count() const { return count_; }

    // The line it prints for a text (no trailing newline).
    std::string Format(const std::string& text) const;

  private:
    std::FILE* out_;
    std::string aliasName_;
    std::string aliasPath_;
    int count_ = 0;
    std::mutex mutex_;  // the device frame may show its box from a worker
    std::vector<std::string> pending_;
};

// A progress bar on one terminal line, redrawn in place. Calls come from the operation's
// worker thread.
class CTerminalProgress final : public IProgressDisplay {
  public:
    // enabled false: every call does nothing (no terminal, --quiet, --trace).
    CTerminalProgress(std::FILE* out, bool enabled) : out_(out), enabled_(enabled) {}

    void SetRange(int upper) override;
    bool Open() override;
    void SetPosition(int position) override;
    void SetText(std::string_view text) override;
    void Close() override;

    // The line drawn for a state, without the carriage return (tests look at it).
    static std::string Render(std::string_view text, int position, int upper, int width = 30);

  private:
    void DrawLocked();

    std::FILE* out_;
    bool enabled_;
    std::mutex mutex_;
    bool open_ = false;
    int upper_ = 100;
    int position_ = 0;
    int drawnPercent_ = -1;
    std::string text_;
};

// The serial trace, written straight through.
class CStreamTraceSink final : public ITraceSink {
  public:
    explicit CStreamTraceSink(std::FILE* out) : out_(out) {}
    void Append(std::string_view text) override;
    // Ends the last trace line so what follows starts on its own.
    void Finish();

  private:
    std::FILE* out_;
    std::mutex mutex_;
    bool open_ = false;
};

}  // namespace tenlo::cli
