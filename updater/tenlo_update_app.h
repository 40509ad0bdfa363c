#pragma once

#include <QStringList>
#include <memory>
#include <optional>
#include <string>

#include "updater/dialogs/tenlo_update_dlg.h"

namespace tenlo::updater {

// What the command line asks for.
struct UpdaterArguments {
    // With --simulate, options.backend serves every port with the simulated programmer
    // microcontroller (a factory-fresh chip with its calibration word, in real time).
    UpdaterOptions options;
    bool help = false;
};

// Reads the program's arguments (the first is the program itself). On a usage error: nothing,
// with the reason in error.
std::optional<UpdaterArguments> ParseUpdaterArguments(const QStringList& arguments,
                                                      std::string* error);

std::string UpdaterUsage();

// The updater program: reads its arguments and runs the main dialog modally until it ends.
class CTenloUpdateApp {
  public:
    // A QApplication must exist. Returns the program's exit code.
    int Run(const QStringList& arguments);
};

}  // namespace tenlo::updater
