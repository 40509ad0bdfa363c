#pragma once

#include <gtest/gtest.h>

#include <unistd.h>
#include <QCheckBox>
#include <QFileDialog>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/main_frame.h"
#include "app/tenlo_app.h"
#include "app/view/tenlo_view.h"
#include "app/widgets/hex_list_ctrl.h"
#include "link/clock.h"
#include "qtsupport/scripted_presenter.h"
#include "scripted_dialogs.h"
#include "sim/in_process_backend.h"
#include "support/recording_backend.h"
#include "support/sim_socket.h"

namespace tenlo::app {

// Notes each change of a widget's enabled state, on the GUI thread.
class EnabledWatch : public QObject {
  public:
    explicit EnabledWatch(QWidget& widget) : widget_(widget) { widget.installEventFilter(this); }
    std::vector<bool> changes;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &widget_ && event->type() == QEvent::EnabledChange) {
            changes.push_back(widget_.isEnabled());
        }
        return false;
    }

  private:
    QWidget& widget_;
};

// Tenlo up to its main window over one virtual Ravonite (every port leads to it) in virtual
// time, the wire logged, every dialog and message box scripted. Each test starts it with the
// chip and the faults it needs.
class ViewRig : public ::testing::Test {
  protected:
    void Start(const std::string& chip = "PIC16F84A", sim::FaultPlan faults = {}) {
        socket_ = std::make_unique<tenlo::testing::SimSocket>(chip, std::move(faults));
        app_ = std::make_unique<CTenloApp>(
            tenlo::testing::MakeRecordingBackend(
                sim::MakeInProcessBackend(socket_->programmer, clock_), wire_),
            &clock_);
        dialogs_.Expect("105", testing::ScriptedDialogs::ChoosePort(5));
        ASSERT_TRUE(app_->InitInstance());
        wire_->Clear();
    }

    CTenloView& View() { return *app_->View(); }
    CMainFrame& Frame() { return *app_->MainFrame(); }
    CHexListCtrl& Grid(Memory memory) { return View().Grid(memory); }
    QString Cell(Memory memory, int row, int column) { return Grid(memory).CellText(row, column); }
    void Tick(int id, bool on) { View().Box(id)->setChecked(on); }
    void Trigger(int command) { Frame().Action(command)->trigger(); }

    // Sets cells of the current image and shows them, as a file load would.
    void Show(Memory memory, std::size_t index, std::uint32_t value) {
        View().Image()->Set(memory, index, value);
        View().RefreshGrids();
    }

    std::uint32_t Peek(sim::Space space, std::uint32_t address) {
        return socket_->Peek(space, address);
    }
    void Poke(sim::Space space, std::uint32_t address, std::uint32_t value) {
        socket_->Poke(space, address, value);
    }
    // Times the socket was powered up: once for every device operation.
    std::uint64_t PowerUps() { return socket_->Commands(0x03) + socket_->Commands(0x05); }
    std::uint64_t HostBytes() { return socket_->BytesIn(); }

    // The next file dialog (open or save) is answered with path.
    void ChooseFile(const char* kind, const std::filesystem::path& path) {
        dialogs_.Expect(kind, [path](QDialog& dialog) {
            auto& files = static_cast<QFileDialog&>(dialog);
            files.selectFile(QString::fromStdString(path.string()));
            // As a user's choice: the dialog's own checks are the platform's business.
            static_cast<QDialog&>(files).done(QDialog::Accepted);
        });
    }

    qt::testing::ScriptedPresenter presenter_;
    testing::ScriptedDialogs dialogs_;
    VirtualClock clock_;
    std::shared_ptr<tenlo::testing::WireLog> wire_ = std::make_shared<tenlo::testing::WireLog>();
    std::unique_ptr<tenlo::testing::SimSocket> socket_;
    std::unique_ptr<CTenloApp> app_;
};

// A ViewRig with a folder of its own for the files a test opens and saves, and the file
// commands answered with them.
class FilesRig : public ViewRig {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("tenlo-hex-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        Start();
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::filesystem::path Write(const std::string& name, const std::string& text) {
        const std::filesystem::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    void Open(int command, const std::filesystem::path& path) {
        ChooseFile("open", path);
        Trigger(command);
    }
    void Save(int command, const std::filesystem::path& path) {
        ChooseFile("save", path);
        Trigger(command);
    }

    std::filesystem::path dir_;
};

}  // namespace tenlo::app
