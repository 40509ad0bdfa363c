#include "support/recording_ui.h"

#include <utility>

namespace tenlo::testing {

namespace {

// The events that start with prefix, without it.
std::vector<std::string> Tails(const std::vector<std::string>& events, std::string_view prefix) {
    std::vector<std::string> tails;
    for (const auto& event : events) {
        if (event.rfind(prefix, 0) == 0) {
            tails.push_back(event.substr(prefix.size()));
        }
    }
    return tails;
}

}  // namespace

std::vector<std::string> RecordingProgress::Events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

std::vector<int> RecordingProgress::Positions() const {
    std::vector<int> positions;
    for (const auto& tail : Tails(Events(), "pos ")) {
        positions.push_back(std::stoi(tail));
    }
    return positions;
}

std::vector<std::string> RecordingProgress::Texts() const {
    return Tails(Events(), "text ");
}

void RecordingProgress::Clear() {
    std::lock_guard lock(mutex_);
    events_.clear();
}

void RecordingProgress::Add(std::string event) {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
}

std::vector<std::string> RecordingWindow::Events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

bool RecordingWindow::Enabled() const {
    bool enabled = true;
    for (const auto& event : Events()) {
        if (event == "enable") {
            enabled = true;
        } else if (event == "disable") {
            enabled = false;
        }
    }
    return enabled;
}

void RecordingWindow::Add(std::string event) {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
}

int RecordingErrorBox::ShowMessage(const std::string& caption, const std::string& text,
                                   unsigned type) {
    std::lock_guard lock(mutex_);
    shown_.push_back({caption, text, type});
    return kIdOk;
}

std::vector<RecordingErrorBox::Box> RecordingErrorBox::Shown() const {
    std::lock_guard lock(mutex_);
    return shown_;
}

std::vector<std::string> RecordingErrorBox::Texts() const {
    std::vector<std::string> texts;
    for (const Box& box : Shown()) {
        texts.push_back(box.text);
    }
    return texts;
}

void RecordingErrorBox::Clear() {
    std::lock_guard lock(mutex_);
    shown_.clear();
}

}  // namespace tenlo::testing
