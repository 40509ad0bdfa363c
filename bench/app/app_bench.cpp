// Tenlo's GUI under load, on the offscreen platform.
//
// Grid fill: the 8192-word program grid of a PIC16F877 filled by SetData (the fill a read or a
// file load ends with), alone and with the repaint that follows. Aim: under 100 ms.
//
// GUI stall: a whole 16F877 program read through the in-process virtual programmer with
// line-rate emulation on the real clock, driven as the main view drives it (progress dialog and
// main window through their bridges) while a 1 ms timer on the GUI thread notes the longest gap
// between its ticks, that is the longest the GUI thread went without handling its events.
// Aim: never above 50 ms.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <vector>

#include "app/main_frame.h"
#include "app/view/tenlo_view.h"
#include "app/widgets/hex_list_ctrl.h"
#include "device/catalogue.h"
#include "link/programmer_link.h"
#include "qtcommon/qt_ui_bridges.h"
#include "sim/in_process_backend.h"
#include "sim/virtual_programmer.h"

namespace {

using namespace tenlo;

constexpr const char* kChip = "PIC16F877";

std::vector<std::uint16_t> SampleProgram(std::size_t words) {
    std::vector<std::uint16_t> program(words);
    for (std::size_t i = 0; i < words; ++i) {
        program[i] = static_cast<std::uint16_t>((0x2800 + i * 7) & 0x3FFF);
    }
    return program;
}

void GridFill(benchmark::State& state, bool paint) {
    const DeviceLayout layout = *CatalogueLayout(FindCatalogueIndex(kChip));
    std::vector<std::uint16_t> program = SampleProgram(layout.programSize);
    app::CHexListCtrl grid;
    grid.resize(500, 300);
    grid.SetLayout(layout.programGrid);
    grid.show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        if (!grid.SetData(std::span(program), program.size())) {
            state.SkipWithError("SetData refused the buffer");
            return;
        }
        if (paint) {
            grid.viewport()->repaint();
        }
    }
    state.counters["cells"] = static_cast<double>(program.size());
    state.counters["rows"] = grid.rowCount();
}

void BM_GridFill8192(benchmark::State& state) {
    GridFill(state, false);
}
BENCHMARK(BM_GridFill8192)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GridFillAndPaint8192(benchmark::State& state) {
    GridFill(state, true);
}
BENCHMARK(BM_GridFillAndPaint8192)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GuiStallDuringRead16F877(benchmark::State& state) {
    qt::CQtMessagePump pump;
    SetMessagePump(&pump);
    auto programmer = std::make_shared<sim::CVirtualProgrammer>(sim::CreateChip(kChip));
    qt::CQtErrorBox errors;
    CProgrammerLink link(&errors, sim::MakeInProcessBackend(programmer, SystemClock(), true));
    link.Connect("COM5: baud=38400 parity=N data=8 stop=1");

    app::CMainFrame frame;
    auto* view = new app::CTenloView(frame, link, errors);  // owned by the frame
    frame.setCentralWidget(view);
    view->OnInitialUpdate();
    frame.show();
    QCoreApplication::processEvents();

    DeviceOptions options;
    std::unique_ptr<CDevice> device =
        CreateDevice(FindCatalogueIndex(kChip), link, &options, view->Progress());
    if (!link.IsConnected() || !device) {
        state.SkipWithError("no virtual programmer");
        SetMessagePump(nullptr);
        return;
    }
    device->SetMainWindow(view->MainWindow());
    CMemoryImage image(device->Layout());

    double worstMs = 0;
    double seconds = 0;
    std::size_t ticks = 0;
    for (auto _ : state) {
        QElapsedTimer since;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        tick.setInterval(1);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            worstMs = std::max(worstMs, static_cast<double>(since.nsecsElapsed()) / 1e6);
            since.restart();
            ++ticks;
        });
        QElapsedTimer whole;
        whole.start();
        since.start();
        tick.start();
        const bool ok = device->RunReadProgram(image.Program());
        tick.stop();
        seconds += static_cast<double>(whole.nsecsElapsed()) / 1e9;
        if (!ok) {
            state.SkipWithError("read failed");
            break;
        }
    }
    const auto n = static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
    state.counters["longest_stall_ms"] = worstMs;
    state.counters["read_s"] = seconds / n;
    state.counters["gui_ticks"] = static_cast<double>(ticks) / n;
    SetMessagePump(nullptr);
}
BENCHMARK(BM_GuiStallDuringRead16F877)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace
