// A worker's calls reach the GUI thread through Qt's queued calls (a box waits for its answer
// through a blocking one): the hand-over happens inside Qt, out of ThreadSanitizer's sight, so
// these tests have a program of their own (labelled qt-queued, see tests/CMakeLists.txt).

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <atomic>
#include <thread>
#include <vector>

#include "link/ui_interfaces.h"
#include "qtcommon/gui_thread.h"
#include "qtcommon/qt_ui_bridges.h"
#include "qtsupport/scripted_presenter.h"

namespace tenlo::qt {
namespace {

using testing::ScriptedPresenter;

// Pumps the GUI thread until done is set, as a device operation's wait loop does.
void PumpUntil(const std::atomic<bool>& done) {
    while (!done.load()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

TEST(GuiThread, CallsPostedFromAWorkerRunOnTheGuiThreadInOrder) {
    std::vector<int> order;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i) {
            PostToGui([&order, i] { order.push_back(i); });
        }
        PostToGui([&] { done = true; });
    });
    PumpUntil(done);
    worker.join();
    ASSERT_EQ(50u, order.size());
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(i, order[static_cast<std::size_t>(i)]);
    }
}

TEST(QtErrorBox, ABoxRaisedOnAWorkerIsShownOnTheGuiThreadAndItsAnswerReturned) {
    ScriptedPresenter presenter;
    bool shownOnGui = false;
    presenter.Expect("Cannot open COM12.", kMbIconError, kIdOk,
                     [&] { shownOnGui = OnGuiThread(); });
    CQtErrorBox box;  // no owner: a box is shown all the same
    std::atomic<bool> done{false};
    int answer = 0;
    std::thread worker([&] {
        answer = box.ShowMessage("Error", "Cannot open COM12.", kMbOk | kMbIconError);
        done = true;
    });
    PumpUntil(done);
    worker.join();
    EXPECT_TRUE(shownOnGui);
    EXPECT_EQ(kIdOk, answer);
    ASSERT_EQ(1u, presenter.Shown().size());
    EXPECT_EQ("Error", presenter.Shown()[0].caption.toStdString());
}

}  // namespace
}  // namespace tenlo::qt
