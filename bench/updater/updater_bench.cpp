// What the updater's dialog adds to a whole firmware update: the same update on the simulated
// chip in real time, once by the write flow alone and once through the dialog's button (status
// line, disabled controls, event dispatch in the line loops), each against the waits the line
// driver must make.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QPushButton>
#include <chrono>

#include "jdm_bench_support.h"
#include "qtcommon/message_presenter.h"
#include "qtcommon/qt_ui_bridges.h"
#include "updater/dialogs/tenlo_update_dlg.h"

namespace {

using namespace tenlo;
using tenlo::bench::CountingClock;
using tenlo::bench::FirmwareFile;

// Answers every box at once and keeps its text.
class AnsweringPresenter final : public qt::IMessagePresenter {
  public:
    int Show(QWidget*, const QString&, const QString& text, unsigned) override {
        last = text;
        return kIdOk;
    }
    QString last;
};

// Arg: programmed words.
void BM_WholeUpdateThroughDialog(benchmark::State& state) {
    const FirmwareFile file("updater", static_cast<unsigned>(state.range(0)));
    CountingClock clock;
    auto backend = sim::MakeJdmSimulatorBackend(clock);
    backend->Chip().RecordCommands(false);
    AnsweringPresenter presenter;
    qt::SetMessagePresenter(&presenter);
    qt::CQtMessagePump pump;
    SetMessagePump(&pump);

    updater::UpdaterOptions options;
    options.firmwarePath = file.Path();
    options.backend = backend;
    options.clock = &clock;
    updater::CTenloUpdateDlg dlg(options);
    dlg.show();
    QCoreApplication::processEvents();
    dlg.findChild<QPushButton*>("1001")->click();
    QPushButton* write = dlg.findChild<QPushButton*>("1019");

    double wall = 0;
    std::size_t calls = 0;
    for (auto _ : state) {
        backend->Chip().FactoryReset();
        clock.Reset();
        presenter.last.clear();
        const std::size_t before = backend->Chip().LineCalls();
        const auto start = std::chrono::steady_clock::now();
        write->click();
        wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                   .count();
        calls = backend->Chip().LineCalls() - before;
        if (presenter.last != QString::fromUtf8(kMsgUpdateDone)) {
            state.SkipWithError(presenter.last.toStdString().c_str());
            break;
        }
    }
    SetMessagePump(nullptr);
    qt::SetMessagePresenter(nullptr);
    bench::ReportUpdate(state, wall, clock, calls);
}

BENCHMARK(tenlo::bench::BM_WholeUpdateRealTime)
    ->Name("BM_WholeUpdateRealTime")
    ->Arg(1023)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_WholeUpdateThroughDialog)
    ->Arg(1023)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
