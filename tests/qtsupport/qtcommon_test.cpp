#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <thread>

#include "link/serial_port.h"
#include "qtcommon/gui_thread.h"
#include "qtcommon/message_presenter.h"
#include "qtcommon/qt_ui_bridges.h"
#include "qtsupport/scripted_presenter.h"

namespace tenlo::qt {
namespace {

using testing::ScriptedPresenter;

TEST(QtErrorBox, ASerialPortWithoutAnOwnerWindowStillReportsThroughItsBox) {
    ScriptedPresenter presenter;
    presenter.Expect("Device definition string must start with \"COMn:\".\nbaud=9600",
                     kMbIconError);
    CQtErrorBox box;
    CSerialPort port(&box);
    EXPECT_FALSE(port.Open("baud=9600"));
}

TEST(MessagePresenter, TheRealBoxShowsItsTextAsItIsNeverAsMarkup) {
    // A file or program name may look like markup; the box must show it, not render it.
    Qt::TextFormat format = Qt::AutoText;
    QString shown;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        format = box->textFormat();
        shown = box->text();
        box->accept();
    });
    const QString text = QStringLiteral("<b>minicom</b> (pid 7) が使用中です。");
    EXPECT_EQ(MessagePresenter().Show(nullptr, QStringLiteral("Tenlo"), text, kMbOk), kIdOk);
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_EQ(shown, text);
}

TEST(ScriptedPresenter, AnUnexpectedOrDifferentBoxFailsTheTest) {
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedPresenter presenter;
            presenter.Show(nullptr, "T", "surprise", kMbIconError);
        },
        "unexpected message box");
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedPresenter presenter;
            presenter.Expect("イレース完了", kMbIconInformation);
            presenter.Show(nullptr, "T", "イレース完了", kMbIconExclamation);
        },
        "icon");
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedPresenter presenter;
            presenter.Expect("x", 0);
        },
        "never shown");
}

}  // namespace
}  // namespace tenlo::qt
