#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/exit_codes.h"
#include "device/catalogue.h"
#include "link/clock.h"
#include "link/port_backend.h"

namespace tenlo::sim {
class CVirtualProgrammer;
}

namespace tenlo::cli {

inline constexpr const char* kProgramName = "tenlo-cli";

// Where a run talks: its streams, its clock and, for --simulate or tests, the backend that
// serves every port instead of the operating system's.
struct CliEnvironment {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    bool errIsTerminal = false;
    IClock* clock = nullptr;                             // none: the real clock
    std::shared_ptr<IPortBackend> backend;               // none: the OS ports, or the --port path
    std::shared_ptr<sim::CVirtualProgrammer> simulated;  // set by SetUpSimulation: the first
    // port's; with several ports each has a programmer of its own, all in simulatedPorts.
    std::vector<std::shared_ptr<sim::CVirtualProgrammer>> simulatedPorts;
    // The ports --port all tries, in order; none: the serial ports present on the machine.
    std::function<std::vector<std::string>()> listPorts;
};

// Serves each port name ("COM5", any case) from a backend of its own; a name it does not hold
// does not open.
std::shared_ptr<IPortBackend> MakePortMap(
    const std::vector<std::pair<std::string, std::shared_ptr<IPortBackend>>>& ports);

// The whole program: parse, check the names, set up the simulation, run one command. Returns
// the exit code.
int RunCli(const std::vector<std::string>& args, CliEnvironment& env);

// The command of parsed options on every port they name (cli_run.cpp): the exit code, the worst
// of the ports'.
int RunCommand(const CliOptions& options, CliEnvironment& env);

// A run refused before any port opened: its line on err, with --json its document on out too.
// options: none when the command line did not parse. Returns the exit code.
int RefuseRun(const CliOptions* options, bool json, CliEnvironment& env, Failure failure,
              const std::string& text);

// Installs the in-process virtual programmer that --simulate asks for (the JDM chip for
// update-firmware). False with a one-line message for a chip it has no model of.
bool SetUpSimulation(const CliOptions& options, CliEnvironment& env, std::string& error);

// One failure, one line on err, after the program's name: names the user typed are echoed, so
// control characters in it are shown escaped rather than let act on the terminal.
void PrintFailureLine(std::FILE* err, const std::string& text);

// Flushes out: true when what was printed there was lost (a full disk, a closed pipe).
bool OutputLost(std::FILE* out);
// The one line of a command whose product on standard output was lost.
std::string OutputLostText();

// The one-line complaint about a --device name.
std::string UnknownDeviceText(const std::string& typed);

// The port a run talks on: a COMn of the operating system, a device path, or whatever the
// environment serves in their place.
class CCliPort {
  public:
    CCliPort() = default;
    CCliPort(const PortChoice& choice, const CliEnvironment& env);

    bool IsPath() const { return choice_.IsPath(); }
    const std::string& Path() const { return choice_.path; }
    // "COM5", or the path.
    std::string Name() const;
    // The n of the COMn the definition string names; a path rides on COM1, which its backend
    // ignores.
    int Number() const { return IsPath() ? 1 : choice_.number; }
    // The backend that opens it; nullptr: the operating system's.
    std::shared_ptr<IPortBackend> Backend() const;
    // " (looked for A, B, C)" for an operating-system COMn, for the message when it does not
    // open; empty otherwise.
    std::string Searched() const;

  private:
    PortChoice choice_;
    std::shared_ptr<IPortBackend> served_;
};

}  // namespace tenlo::cli
