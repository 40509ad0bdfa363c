#pragma once

#include <QString>
#include <deque>
#include <functional>
#include <vector>

#include "qtcommon/message_presenter.h"

class QWidget;

namespace tenlo::qt::testing {

// A message presenter that answers from a script. Every box shown is recorded; a box that was
// not expected, or that differs from the next expectation, fails the running test. Installed
// for its lifetime; expectations left over at destruction fail the test too.
class ScriptedPresenter final : public IMessagePresenter {
  public:
    struct Box {
        QString caption;
        QString text;
        unsigned type = 0;
    };

    ScriptedPresenter();
    ~ScriptedPresenter() override;
    ScriptedPresenter(const ScriptedPresenter&) = delete;
    ScriptedPresenter& operator=(const ScriptedPresenter&) = delete;

    // The next box must show text with the icon bits of type (kMbIcon*); it is answered with
    // answer. onShow, when given, runs while the box is "up" (to look at the screen then).
    void Expect(const QString& text, unsigned icon, int answer = 1,
                std::function<void()> onShow = {});

    // As Expect, for a box whose text begins with lead (a message and the first of its causes).
    void ExpectLead(const QString& lead, unsigned icon, int answer = 1,
                    std::function<void()> onShow = {});

    int Show(QWidget* owner, const QString& caption, const QString& text, unsigned type) override;

    const std::vector<Box>& Shown() const { return shown_; }
    bool Exhausted() const { return expected_.empty(); }

  private:
    struct Expectation {
        QString text;
        unsigned icon;
        int answer;
        std::function<void()> onShow;
        bool lead = false;
    };
    std::deque<Expectation> expected_;
    std::vector<Box> shown_;
};

}  // namespace tenlo::qt::testing
