#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <deque>
#include <functional>

#include "app/dialogs/modal_runner.h"

namespace tenlo::app::testing {

// Answers Tenlo's modal dialogs from a script instead of a user. Each expected dialog (by its
// resource id, the objectName) is shown, handed to its answer, and must be closed by it; a
// dialog nobody expected fails the test and is cancelled. Installed for its lifetime;
// expectations left over fail the test too.
class ScriptedDialogs {
  public:
    using Answer = std::function<void(QDialog&)>;

    ScriptedDialogs() {
        SetModalRunner([this](QDialog& dialog) { return Run(dialog); });
    }
    ~ScriptedDialogs() {
        SetModalRunner({});
        for (const auto& e : expected_) {
            ADD_FAILURE() << "expected dialog " << e.id.toStdString() << " never shown";
        }
    }
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

    void Expect(const QString& id, Answer answer) { expected_.push_back({id, std::move(answer)}); }
    int Shown() const { return shown_; }

    // Presses a button of the dialog the way a user would.
    static void Press(QDialog& dialog, const char* button) {
        auto* b = dialog.findChild<QPushButton*>(QString::fromLatin1(button));
        ASSERT_NE(b, nullptr) << button;
        b->click();
    }
    // Picks COMn in the port dialog and presses OK.
    static Answer ChoosePort(int port) {
        return [port](QDialog& dialog) {
            auto* ports = dialog.findChild<QComboBox*>(QStringLiteral("1059"));
            ASSERT_NE(ports, nullptr);
            ports->setCurrentIndex(ports->findText(QStringLiteral("COM%1").arg(port)));
            Press(dialog, "IDOK");
        };
    }
    static Answer Cancel() {
        return [](QDialog& dialog) { Press(dialog, "IDCANCEL"); };
    }

  private:
    int Run(QDialog& dialog) {
        ++shown_;
        dialog.setResult(QDialog::Rejected);
        if (expected_.empty()) {
            ADD_FAILURE() << "unexpected dialog " << dialog.objectName().toStdString();
            return QDialog::Rejected;
        }
        Expectation e = std::move(expected_.front());
        expected_.pop_front();
        EXPECT_EQ(e.id.toStdString(), dialog.objectName().toStdString()) << "dialog shown";
        dialog.show();
        e.answer(dialog);
        EXPECT_FALSE(dialog.isVisible())
            << "the answer left dialog " << e.id.toStdString() << " open";
        dialog.hide();
        return dialog.result();
    }

    struct Expectation {
        QString id;
        Answer answer;
    };
    std::deque<Expectation> expected_;
    int shown_ = 0;
};

}  // namespace tenlo::app::testing
