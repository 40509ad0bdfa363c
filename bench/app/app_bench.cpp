// Tenlo's GUI under load, on the offscreen platform.
//
// Grid fill: the 8192-word program grid of a PIC16F877 filled by SetData (the fill a read or a
// file load ends with), alone and with the repaint that follows, and the largest program grids
// of the other families: a PIC18F452 (16384 16-bit words) and a dsPIC30F4013 (16384 24-bit
// instructions). Aim: under 100 ms for the 8192 words, under 200 ms for the 16384.
//
// Closing: Tenlo started on the in-process virtual programmer with the real clock and
// line-rate emulation (as --simulate runs), a program read done, then the main window closed
// and the application ended, timed from the close to the end. Aim: under 0.3 s.
//
// GUI stall: a whole 16F877 program read through the in-process virtual programmer with
// line-rate emulation on the real clock, driven as the main view drives it (progress dialog and
// main window through their bridges) while a 1 ms timer on the GUI thread notes the longest gap
// between its ticks, that is the longest the GUI thread went without handling its events.
// Aim: never above 50 ms. The same read with the development dialog's trace on the link tells
// what the trace costs the read (read_s of both).
//
// Write, GUI against CLI: a whole PIC16F877A program (8192 words, none blank) written on the
// line-rate virtual programmer, once through Tenlo's Write command (from choosing it to the
// result message, the window locked, the progress dialog following) and once through tenlo-cli
// ("write FILE --memories program", the whole run from connecting on), and, as the floor both
// stand on, the device's program write alone with nothing shown. Aim: the GUI adds at most 2 %.

#include <benchmark/benchmark.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "app/bridge/trace_bridge.h"
#include "app/commands.h"
#include "app/dialogs/modal_runner.h"
#include "app/main_frame.h"
#include "app/tenlo_app.h"
#include "app/view/tenlo_view.h"
#include "app/widgets/hex_list_ctrl.h"
#include "cli/cli_session.h"
#include "device/catalogue.h"
#include "hexfile/image_hex.h"
#include "link/programmer_link.h"
#include "qtcommon/message_presenter.h"
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

// Cell values of the grid's width that spread over all of it.
std::vector<std::uint32_t> SampleCells(std::size_t cells, std::uint32_t mask) {
    std::vector<std::uint32_t> values(cells);
    for (std::size_t i = 0; i < cells; ++i) {
        values[i] = static_cast<std::uint32_t>(0x2800 + i * 0x10307) & mask;
    }
    return values;
}

void GridFill(benchmark::State& state, const char* chip, bool paint) {
    const DeviceLayout layout = *CatalogueLayout(FindCatalogueIndex(chip));
    CMemoryImage image(layout);
    const std::vector<std::uint32_t> values =
        SampleCells(layout.programSize, BlankValueForWidth(layout.programWidth));
    for (std::size_t i = 0; i < values.size(); ++i) {
        image.Set(Memory::Program, i, values[i]);
    }
    app::CHexListCtrl grid;
    grid.resize(700, 300);
    grid.SetLayout(layout.programGrid);
    grid.show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        if (!grid.SetData(image.Program(), layout.programSize)) {
            state.SkipWithError("SetData refused the buffer");
            return;
        }
        if (paint) {
            grid.viewport()->repaint();
        }
    }
    state.counters["cells"] = static_cast<double>(layout.programSize);
    state.counters["rows"] = grid.rowCount();
}

void BM_GridFill8192(benchmark::State& state) {
    GridFill(state, kChip, false);
}
BENCHMARK(BM_GridFill8192)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GridFillAndPaint8192(benchmark::State& state) {
    GridFill(state, kChip, true);
}
BENCHMARK(BM_GridFillAndPaint8192)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GridFillAndPaintPic18F452(benchmark::State& state) {
    GridFill(state, "PIC18F452", true);
}
BENCHMARK(BM_GridFillAndPaintPic18F452)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GridFillAndPaintDsPic30F4013(benchmark::State& state) {
    GridFill(state, "dsPIC30F4013", true);
}
BENCHMARK(BM_GridFillAndPaintDsPic30F4013)->Unit(benchmark::kMillisecond)->UseRealTime();

void GuiStallDuringRead(benchmark::State& state, bool traced) {
    qt::CQtMessagePump pump;
    SetMessagePump(&pump);
    auto programmer = std::make_shared<sim::CVirtualProgrammer>(sim::CreateChip(kChip));
    qt::CQtErrorBox errors;
    CProgrammerLink link(&errors, sim::MakeInProcessBackend(programmer, SystemClock(), true));
    link.Connect(ProgrammerPortDefinition(5));

    app::CMainFrame frame;
    auto* view = new app::CTenloView(frame, link, errors, "COM5");  // owned by the frame
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
    QPlainTextEdit traceField;
    app::CTraceBridge trace(traceField);
    if (traced) {
        link.SetTraceWindow(&trace);
    }

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
    if (traced) {
        trace.Flush();
        state.counters["trace_chars"] = static_cast<double>(traceField.toPlainText().size());
        link.SetTraceWindow(nullptr);
    }
    SetMessagePump(nullptr);
}

void BM_GuiStallDuringRead16F877(benchmark::State& state) {
    GuiStallDuringRead(state, false);
}
BENCHMARK(BM_GuiStallDuringRead16F877)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

void BM_GuiStallDuringTracedRead16F877(benchmark::State& state) {
    GuiStallDuringRead(state, true);
}
BENCHMARK(BM_GuiStallDuringTracedRead16F877)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();

constexpr const char* kWriteChip = "PIC16F877A";

// Notes when the result message comes, and what it says.
class ResultWatch final : public qt::IMessagePresenter {
  public:
    int Show(QWidget*, const QString&, const QString& text, unsigned) override {
        shownAt = std::chrono::steady_clock::now();
        shown = text;
        return kIdOk;
    }
    std::chrono::steady_clock::time_point shownAt;
    QString shown;
};

// Tenlo on the line-rate virtual programmer: from choosing Write to the result message.
double GuiWriteSeconds(const std::vector<std::uint16_t>& program, std::string& error) {
    auto programmer = std::make_shared<sim::CVirtualProgrammer>(sim::CreateChip(kWriteChip));
    ResultWatch watch;
    qt::SetMessagePresenter(&watch);
    app::SetModalRunner([](QDialog& dialog) {
        dialog.findChild<QComboBox*>(QStringLiteral("1059"))->setCurrentIndex(4);  // COM5
        dialog.accept();
        return dialog.result();
    });
    double seconds = -1;
    {
        app::CTenloApp tenlo(sim::MakeInProcessBackend(programmer, SystemClock(), true));
        if (tenlo.InitInstance() && tenlo.View()->SelectDevice(FindCatalogueIndex(kWriteChip))) {
            app::CTenloView& view = *tenlo.View();
            for (std::size_t i = 0; i < program.size(); ++i) {
                view.Image()->Set(Memory::Program, i, program[i]);
            }
            view.RefreshGrids();
            view.Box(app::CTenloView::kWriteBoxes[1])->setChecked(false);
            view.Box(app::CTenloView::kWriteBoxes[2])->setChecked(false);
            QCoreApplication::processEvents();
            const auto start = std::chrono::steady_clock::now();
            tenlo.MainFrame()->Action(app::kCmdWrite)->trigger();
            seconds = std::chrono::duration<double>(watch.shownAt - start).count();
            if (watch.shown != QStringLiteral("書き込み結果\nプログラムメモリー : 完了")) {
                error = "the GUI write said: " + watch.shown.toStdString();
            }
        } else {
            error = "Tenlo did not start";
        }
        tenlo.ExitInstance();
    }
    app::SetModalRunner({});
    qt::SetMessagePresenter(nullptr);
    return seconds;
}

// tenlo-cli on the same kind of line: the whole run.
double CliWriteSeconds(const std::string& file, std::string& error) {
    auto programmer = std::make_shared<sim::CVirtualProgrammer>(sim::CreateChip(kWriteChip));
    cli::CliEnvironment env;
    env.backend = sim::MakeInProcessBackend(programmer, SystemClock(), true);
    std::FILE* quiet = std::fopen("/dev/null", "w");
    env.out = quiet;
    env.err = quiet;
    const auto start = std::chrono::steady_clock::now();
    const int code = cli::RunCli(
        {"--device", kWriteChip, "--quiet", "write", file, "--memories", "program"}, env);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fclose(quiet);
    if (code != 0) {
        error = "tenlo-cli write ended with " + std::to_string(code);
    }
    return seconds;
}

// The device's program write alone: no window, no progress display, no file.
double CoreWriteSeconds(const std::vector<std::uint16_t>& program, std::string& error) {
    auto programmer = std::make_shared<sim::CVirtualProgrammer>(sim::CreateChip(kWriteChip));
    CProgrammerLink link(nullptr, sim::MakeInProcessBackend(programmer, SystemClock(), true));
    link.Connect(ProgrammerPortDefinition(5));
    DeviceOptions options;
    std::unique_ptr<CDevice> device =
        CreateDevice(FindCatalogueIndex(kWriteChip), link, &options, nullptr);
    if (!link.IsConnected() || !device) {
        error = "no virtual programmer";
        return 0;
    }
    device->Initialize();
    CMemoryImage image(device->Layout());
    for (std::size_t i = 0; i < program.size(); ++i) {
        image.Set(Memory::Program, i, program[i]);
    }
    const auto start = std::chrono::steady_clock::now();
    if (!device->RunWriteProgram(image.Program())) {
        error = "the device's write failed";
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_WriteWhole16F877AGuiAgainstCli(benchmark::State& state) {
    const DeviceLayout layout = *CatalogueLayout(FindCatalogueIndex(kWriteChip));
    const std::vector<std::uint16_t> program = SampleProgram(layout.programSize);
    CMemoryImage image(layout);
    for (std::size_t i = 0; i < program.size(); ++i) {
        image.Set(Memory::Program, i, program[i]);
    }
    const std::string file =
        (std::filesystem::temp_directory_path() / "tenlo-bench-16f877a.hex").string();
    if (!SaveProgramHex(file, image)) {
        state.SkipWithError("cannot write the program file");
        return;
    }
    double gui = 0;
    double cli = 0;
    double core = 0;
    for (auto _ : state) {
        std::string error;
        core += CoreWriteSeconds(program, error);
        cli += CliWriteSeconds(file, error);
        gui += GuiWriteSeconds(program, error);
        if (!error.empty()) {
            state.SkipWithError(error.c_str());
            break;
        }
    }
    std::filesystem::remove(file);
    const auto n = static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
    state.counters["gui_s"] = gui / n;
    state.counters["cli_s"] = cli / n;
    state.counters["core_s"] = core / n;
    state.counters["gui_over_cli_pct"] = cli > 0 ? 100.0 * (gui - cli) / cli : 0;
    state.counters["gui_over_core_pct"] = core > 0 ? 100.0 * (gui - core) / core : 0;
}
BENCHMARK(BM_WriteWhole16F877AGuiAgainstCli)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();

void BM_CloseMainWindow(benchmark::State& state) {
    ResultWatch boxes;
    qt::SetMessagePresenter(&boxes);
    app::SetModalRunner([](QDialog& dialog) {
        dialog.findChild<QComboBox*>(QStringLiteral("1059"))->setCurrentIndex(4);  // COM5
        dialog.accept();
        return dialog.result();
    });
    double worst = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto programmer = std::make_shared<sim::CVirtualProgrammer>(sim::CreateChip("PIC16F84A"));
        auto tenlo = std::make_unique<app::CTenloApp>(
            sim::MakeInProcessBackend(programmer, SystemClock(), true));
        if (!tenlo->InitInstance()) {
            state.SkipWithError("Tenlo did not start");
            break;
        }
        tenlo->MainFrame()->Action(app::kCmdRead)->trigger();
        QCoreApplication::processEvents();
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        if (!tenlo->MainFrame()->close()) {
            state.SkipWithError("the main window did not close");
            break;
        }
        QCoreApplication::processEvents();
        tenlo->ExitInstance();
        tenlo.reset();
        worst = std::max(
            worst, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    app::SetModalRunner({});
    qt::SetMessagePresenter(nullptr);
    state.counters["worst_s"] = worst;
}
BENCHMARK(BM_CloseMainWindow)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace
