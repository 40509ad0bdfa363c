#include "qtsupport/scripted_presenter.h"

#include <gtest/gtest.h>

#include "link/ui_interfaces.h"

namespace tenlo::qt::testing {

ScriptedPresenter::ScriptedPresenter() {
    SetMessagePresenter(this);
}

ScriptedPresenter::~ScriptedPresenter() {
    SetMessagePresenter(nullptr);
    for (const Expectation& e : expected_) {
        ADD_FAILURE() << "expected message box never shown: " << e.text.toStdString();
    }
}

void ScriptedPresenter::Expect(const QString& text, unsigned icon, int answer,
                               std::function<void()> onShow) {
    expected_.push_back({text, icon, answer, std::move(onShow)});
}

void ScriptedPresenter::ExpectLead(const QString& lead, unsigned icon, int answer,
                                   std::function<void()> onShow) {
    expected_.push_back({lead, icon, answer, std::move(onShow), true});
}

int ScriptedPresenter::Show(QWidget* /*owner*/, const QString& caption, const QString& text,
                            unsigned type) {
    shown_.push_back({caption, text, type});
    if (expected_.empty()) {
        ADD_FAILURE() << "unexpected message box: \"" << text.toStdString() << "\" (caption \""
                      << caption.toStdString() << "\")";
        return kIdOk;
    }
    Expectation e = std::move(expected_.front());
    expected_.pop_front();
    if (e.lead) {
        EXPECT_TRUE(text.startsWith(e.text)) << "message box text \"" << text.toStdString()
                                             << "\" begins with \"" << e.text.toStdString() << "\"";
    } else {
        EXPECT_EQ(e.text.toStdString(), text.toStdString()) << "message box text";
    }
    EXPECT_EQ(e.icon, type & kMbIconMask)
        << "message box icon for \"" << text.toStdString() << "\"";
    if (e.onShow) {
        e.onShow();
    }
    return e.answer;
}

}  // namespace tenlo::qt::testing
