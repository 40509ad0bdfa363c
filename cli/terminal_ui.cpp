#include "cli/terminal_ui.h"

#include <algorithm>
#include <utility>

namespace tenlo::cli {

std::string Printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            out += c;  // UTF-8 lead and continuation bytes pass as they are
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else {
            static constexpr char kDigits[] = "0123456789ABCDEF";
            out += "\\x";
            out += kDigits[byte >> 4];
            out += kDigits[byte & 0x0F];
        }
    }
    return out;
}

std::string CStderrErrorBox::Format(const std::string& text) const {
    std::string line = text;
    std::replace(line.begin(), line.end(), '\n', ' ');
    while (!line.empty() && line.back() == ' ') {
        line.pop_back();
    }
    if (!aliasName_.empty()) {
        // Only whole names: COM1 must not turn COM12 into a path plus a digit.
        for (std::size_t at = line.find(aliasName_); at != std::string::npos;
             at = line.find(aliasName_, at)) {
            const std::size_t end = at + aliasName_.size();
            if (end < line.size() && line[end] >= '0' && line[end] <= '9') {
                at = end;
                continue;
            }
            line.replace(at, aliasName_.size(), aliasPath_);
            at += aliasPath_.size();
        }
    }
    return "Error: " + line;
}

int CStderrErrorBox::ShowMessage(const std::string& /*caption*/, const std::string& text,
                                 unsigned /*type*/) {
    std::lock_guard lock(mutex_);
    ++count_;
    pending_.push_back(Format(text));
    return kIdOk;
}

std::vector<std::string> CStderrErrorBox::TakeLines() {
    std::lock_guard lock(mutex_);
    return std::exchange(pending_, {});
}

void CStderrErrorBox::Flush() {
    for (const std::string& line : TakeLines()) {
        std::fprintf(out_, "%s\n", Printable(line).c_str());
    }
    std::fflush(out_);
}

std::string CTerminalProgress::Render(std::string_view text, int position, int upper, int width) {
    const int top = upper > 0 ? upper : 100;
    const int pos = std::clamp(position, 0, top);
    const int percent = pos * 100 / top;
    const int filled = pos * width / top;
    std::string line(text);
    line += " [";
    line.append(static_cast<std::size_t>(filled), '#');
    line.append(static_cast<std::size_t>(width - filled), '.');
    line += "] ";
    line += std::to_string(percent);
    line += '%';
    return line;
}

void CTerminalProgress::SetRange(int upper) {
    std::lock_guard lock(mutex_);
    upper_ = upper;
}

bool CTerminalProgress::Open() {
    std::lock_guard lock(mutex_);
    if (!enabled_) {
        return true;
    }
    open_ = true;
    position_ = 0;
    text_.clear();
    drawnPercent_ = -1;
    return true;
}

void CTerminalProgress::SetPosition(int position) {
    std::lock_guard lock(mutex_);
    position_ = position;
    DrawLocked();
}

void CTerminalProgress::SetText(std::string_view text) {
    std::lock_guard lock(mutex_);
    text_ = std::string(text);
    drawnPercent_ = -1;
    DrawLocked();
}

void CTerminalProgress::Close() {
    std::lock_guard lock(mutex_);
    if (!open_) {
        return;
    }
    open_ = false;
    // Clear the bar's line so the next message starts clean.
    std::fputs("\r\x1b[K", out_);
    std::fflush(out_);
}

void CTerminalProgress::DrawLocked() {
    // The bar waits for its text: an operation opens it, sets 0 and only then names itself.
    if (!enabled_ || !open_ || text_.empty()) {
        return;
    }
    const int top = upper_ > 0 ? upper_ : 100;
    const int percent = std::clamp(position_, 0, top) * 100 / top;
    if (percent == drawnPercent_) {
        return;
    }
    drawnPercent_ = percent;
    std::fprintf(out_, "\r\x1b[K%s", Render(text_, position_, upper_).c_str());
    std::fflush(out_);
}

void CStreamTraceSink::Append(std::string_view text) {
    std::lock_guard lock(mutex_);
    std::fwrite(text.data(), 1, text.size(), out_);
    open_ = true;
}

void CStreamTraceSink::Finish() {
    std::lock_guard lock(mutex_);
    if (open_) {
        std::fputc('\n', out_);
        open_ = false;
    }
    std::fflush(out_);
}

}  // namespace tenlo::cli
