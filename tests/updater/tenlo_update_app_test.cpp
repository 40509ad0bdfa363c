#include "updater/tenlo_update_app.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include "qtsupport/scripted_presenter.h"
#include "sim/jdm/jdm_port_backend.h"

namespace tenlo::updater {
namespace {

std::optional<UpdaterArguments> Parse(QStringList args, std::string* error = nullptr) {
    std::string ignored;
    args.prepend("TenloUpdate");
    return ParseUpdaterArguments(args, error != nullptr ? error : &ignored);
}

TEST(UpdaterArgumentsTest, FirmwareFileDefaultsToTheBareName) {
    std::optional<UpdaterArguments> a = Parse({});
    ASSERT_TRUE(a);
    EXPECT_EQ(a->options.firmwarePath, "Mossvane.HEX");
    EXPECT_EQ(a->options.backend, nullptr) << "real ports";
    EXPECT_FALSE(a->options.develop);

    a = Parse({"--file", "/opt/ravonite/fw 2.hex"});
    ASSERT_TRUE(a);
    EXPECT_EQ(a->options.firmwarePath, "/opt/ravonite/fw 2.hex");
    a = Parse({"--file=fw.hex", "--develop"});
    ASSERT_TRUE(a);
    EXPECT_EQ(a->options.firmwarePath, "fw.hex");
    EXPECT_TRUE(a->options.develop);
}

TEST(UpdaterArgumentsTest, UsageErrorsAreReported) {
    std::string error;
    EXPECT_FALSE(Parse({"--file"}, &error));
    EXPECT_EQ(error, "--file needs a path");
    EXPECT_FALSE(Parse({"--file="}, &error));
    EXPECT_FALSE(Parse({"--simulate=PIC16F84A"}, &error));
    EXPECT_EQ(error, "unknown argument \"--simulate=PIC16F84A\"");
}

TEST(UpdaterArgumentsTest, SimulateServesEveryPortWithAFactoryChip) {
    std::optional<UpdaterArguments> a = Parse({"--simulate"});
    ASSERT_TRUE(a);
    auto backend = std::dynamic_pointer_cast<sim::CJdmPortBackend>(a->options.backend);
    ASSERT_NE(backend, nullptr);
    EXPECT_NE(backend->Open("COM42"), nullptr);
    EXPECT_EQ(backend->Chip().OscCal(), sim::CJdmChip::kFactoryOscCal);
}

TEST(UpdaterAppTest, RunShowsTheDialogUntilItIsClosed) {
    qt::testing::ScriptedPresenter presenter;
    bool seen = false;
    QTimer::singleShot(0, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->isVisible() && w->windowTitle() == "TenloUpdate") {
                // Connecting with --simulate needs no hardware.
                w->findChild<QPushButton*>("1001")->click();
                seen = w->findChild<QPushButton*>("1019")->isEnabled();
                w->close();
            }
        }
    });
    CTenloUpdateApp app;
    EXPECT_EQ(app.Run({"TenloUpdate", "--simulate"}), 0);
    EXPECT_TRUE(seen);

    presenter.Expect(QString::fromStdString("unknown argument \"--bogus\"\n\n" + UpdaterUsage()),
                     kMbIconError);
    EXPECT_EQ(app.Run({"TenloUpdate", "--bogus"}), 2);
}

}  // namespace
}  // namespace tenlo::updater
