#include "cli/progress_board.h"

#include <algorithm>

#include "cli/terminal_ui.h"

namespace tenlo::cli {

class CProgressBoard::CPortDisplay final : public IProgressDisplay {
  public:
    CPortDisplay(CProgressBoard& board, std::size_t index) : board_(board), index_(index) {}

    void SetRange(int upper) override {
        Update([&](Line& l) { l.upper = upper; }, false);
    }
    bool Open() override {
        Update(
            [](Line& l) {
                l.open = true;
                l.position = 0;
                l.text.clear();
            },
            false);
        return true;
    }
    void SetPosition(int position) override {
        Update([&](Line& l) { l.position = position; }, false);
    }
    void SetText(std::string_view text) override {
        Update([&](Line& l) { l.text = std::string(text); }, true);
    }
    void Close() override {
        Update([](Line& l) { l.open = false; }, false);
    }

  private:
    template <class F>
    void Update(F&& change, bool newText) {
        {
            std::lock_guard lock(board_.mutex_);
            change(board_.lines_[index_]);
        }
        board_.Changed(index_, newText);
    }

    CProgressBoard& board_;
    std::size_t index_;
};

CProgressBoard::CProgressBoard(std::FILE* out, bool terminal, bool enabled,
                               std::vector<std::string> ports)
    : out_(out), terminal_(terminal), enabled_(enabled), ports_(std::move(ports)) {
    lines_.resize(ports_.size());
    for (std::size_t i = 0; i < ports_.size(); ++i) {
        width_ = std::max(width_, ports_[i].size());
        displays_.push_back(std::make_unique<CPortDisplay>(*this, i));
    }
}

CProgressBoard::~CProgressBoard() = default;

IProgressDisplay* CProgressBoard::Port(std::size_t index) {
    return displays_[index].get();
}

std::string CProgressBoard::LineText(std::size_t index) const {
    const Line& l = lines_[index];
    std::string label = Printable(ports_[index]);
    label.resize(std::max(label.size(), width_), ' ');
    if (!l.ended.empty()) {
        return label + "  " + l.ended;
    }
    if (l.text.empty()) {
        return label + "  ...";
    }
    return label + "  " + CTerminalProgress::Render(l.text, l.position, l.upper, 20);
}

void CProgressBoard::Changed(std::size_t index, bool newText) {
    if (!enabled_) {
        return;
    }
    std::lock_guard lock(mutex_);
    Line& l = lines_[index];
    if (l.text.empty()) {
        return;
    }
    const int top = l.upper > 0 ? l.upper : 100;
    const int percent = std::clamp(l.position, 0, top) * 100 / top;
    if (terminal_) {
        if (newText || percent != l.percent) {
            l.percent = percent;
            DrawLocked();
        }
        return;
    }
    // A log gets the step's start and its quarters, not every percent.
    const int quarter = percent / 25 * 25;
    if (newText || quarter != l.percent) {
        l.percent = newText ? 0 : quarter;
        std::fprintf(out_, "%s: %s %d%%\n", Printable(ports_[index]).c_str(), l.text.c_str(),
                     l.percent);
        std::fflush(out_);
    }
}

void CProgressBoard::DrawLocked() {
    std::string screen;
    if (drawn_) {
        // Back to the first port's line.
        screen += "\x1b[" + std::to_string(lines_.size()) + "A";
    }
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        screen += "\r\x1b[K" + LineText(i) + "\n";
    }
    std::fputs(screen.c_str(), out_);
    std::fflush(out_);
    drawn_ = true;
}

void CProgressBoard::Ended(std::size_t index, std::string_view how) {
    if (!enabled_ || !terminal_) {
        return;
    }
    std::lock_guard lock(mutex_);
    lines_[index].ended = std::string(how);
    DrawLocked();
}

void CProgressBoard::Finish() {
    std::lock_guard lock(mutex_);
    if (!drawn_) {
        return;
    }
    std::fprintf(out_, "\x1b[%zuA\r\x1b[J", lines_.size());
    std::fflush(out_);
    drawn_ = false;
}

}  // namespace tenlo::cli
