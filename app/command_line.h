#pragma once

#include <QStringList>
#include <memory>
#include <string>

#include "link/port_backend.h"

namespace tenlo::app {

// What Tenlo takes on its command line (after Qt has taken its own options).
struct TenloArguments {
    // --simulate[=CHIP]: every port is the in-process virtual programmer with CHIP in its socket.
    bool simulate = false;
    std::string chip = "PIC16F84A";
    // --develop: the development dialog opens with the main window.
    bool develop = false;
};

inline constexpr const char* kUsage =
    "Usage: Tenlo [--simulate[=CHIP]] [--develop]\n"
    "\n"
    "  --simulate[=CHIP]  serve every port from the built-in virtual programmer with CHIP in\n"
    "                     its socket (default PIC16F84A); no Ravonite needed\n"
    "  --develop          open the development dialog (single programmer commands and\n"
    "                     the byte trace of the line) with the main window\n"
    "  --help             this text\n"
    "\n"
    "Without --simulate, COMn is the first of $TENLO_PORT_DIR/comN,\n"
    "${XDG_CONFIG_HOME:-$HOME/.config}/tenlo/ports/comN and /dev/ttyS<N-1> that exists\n"
    "(ravonite-sim links its pseudo-terminal there).\n";

// args without the program name. False with a one-line message for anything else.
bool ParseArguments(const QStringList& args, TenloArguments& out, QString& error);

// The in-process virtual programmer with chip in its socket, serving every COMn; nullptr with a
// message for a chip the simulator has no model of.
std::shared_ptr<IPortBackend> SimulatedBackend(const std::string& chip, std::string& error);

}  // namespace tenlo::app
