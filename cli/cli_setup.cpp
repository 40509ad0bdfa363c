#include "cli/cli_setup.h"

#include <cctype>
#include <map>

#include "cli/exit_codes.h"
#include "cli/interrupt_guard.h"
#include "cli/name_suggest.h"
#include "cli/path_port_backend.h"
#include "cli/run_json.h"
#include "cli/terminal_ui.h"
#include "link/port_names.h"
#include "sim/in_process_backend.h"
#include "sim/jdm/jdm_port_backend.h"

namespace tenlo::cli {

namespace {

std::vector<std::string_view> CatalogueNames() {
    std::vector<std::string_view> names;
    for (const CatalogueEntry& e : CatalogueEntries()) {
        names.push_back(e.name);
    }
    return names;
}

std::string SuggestionText(const std::string& typed, const std::vector<std::string_view>& names) {
    const std::vector<std::string> close = SuggestNames(typed, names);
    if (close.empty()) {
        return "";
    }
    std::string text = "; did you mean ";
    for (std::size_t i = 0; i < close.size(); ++i) {
        if (i > 0) {
            text += i + 1 == close.size() ? " or " : ", ";
        }
        text += close[i];
    }
    return text + "?";
}

// The catalogue chips the simulator has a model of.
std::vector<std::string_view> SimulatedNames() {
    std::vector<std::string_view> names;
    for (const CatalogueEntry& e : CatalogueEntries()) {
        if (sim::CreateChip(e.name)) {
            names.push_back(e.name);
        }
    }
    return names;
}

class CPortMapBackend final : public IPortBackend {
  public:
    explicit CPortMapBackend(
        const std::vector<std::pair<std::string, std::shared_ptr<IPortBackend>>>& ports) {
        for (const auto& [name, backend] : ports) {
            ports_[Upper(name)] = backend;
        }
    }
    std::unique_ptr<IPortHandle> Open(const std::string& deviceName) override {
        const auto it = ports_.find(Upper(deviceName));
        return it == ports_.end() ? nullptr : it->second->Open(deviceName);
    }

  private:
    static std::string Upper(std::string name) {
        for (char& c : name) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        return name;
    }
    std::map<std::string, std::shared_ptr<IPortBackend>> ports_;
};

}  // namespace

std::shared_ptr<IPortBackend> MakePortMap(
    const std::vector<std::pair<std::string, std::shared_ptr<IPortBackend>>>& ports) {
    return std::make_shared<CPortMapBackend>(ports);
}

void PrintFailureLine(std::FILE* err, const std::string& text) {
    std::fprintf(err, "%s: %s\n", kProgramName, Printable(text).c_str());
    std::fflush(err);
}

bool OutputLost(std::FILE* out) {
    return std::fflush(out) != 0 || std::ferror(out) != 0;
}

std::string OutputLostText() {
    return "cannot write to standard output (a full disk or a closed pipe?): what the command "
           "printed is lost";
}

std::string UnknownDeviceText(const std::string& typed) {
    return "unknown device \"" + typed + "\"" + SuggestionText(typed, CatalogueNames()) +
           " (tenlo-cli devices lists every chip)";
}

bool SetUpSimulation(const CliOptions& options, CliEnvironment& env, std::string& error) {
    IClock& clock = env.clock != nullptr ? *env.clock : SystemClock();
    if (options.command == Command::UpdateFirmware) {
        env.backend = sim::MakeJdmSimulatorBackend(clock);
        return true;
    }
    const std::string chipName =
        options.simulateChip.empty() ? options.device : options.simulateChip;
    std::optional<sim::SimulatedProgrammer> simulated = sim::SimulateChip(chipName, clock);
    // Ping and version never reach the chip: a --device the simulator has no model of still
    // gets a programmer, with an empty socket.
    const bool chipless = options.command == Command::Ping || options.command == Command::Version;
    if (!simulated && chipless && options.simulateChip.empty()) {
        simulated = sim::SimulateProgrammer(nullptr, clock);
    }
    if (!simulated) {
        error = sim::NoModelText(chipName) + SuggestionText(chipName, SimulatedNames());
        return false;
    }
    env.simulated = simulated->programmer;
    env.backend = simulated->backend;
    env.simulatedPorts = {simulated->programmer};
    if (options.ports.size() < 2) {
        return true;
    }
    // Several ports: a programmer with its chip behind each, as on a bench.
    std::vector<std::pair<std::string, std::shared_ptr<IPortBackend>>> ports;
    for (std::size_t i = 0; i < options.ports.size(); ++i) {
        if (i > 0) {
            simulated = chipless && options.simulateChip.empty() && !sim::CreateChip(chipName)
                            ? sim::SimulateProgrammer(nullptr, clock)
                            : sim::SimulateChip(chipName, clock);
            env.simulatedPorts.push_back(simulated->programmer);
        }
        const std::optional<PortChoice> port = ParsePortArgument(options.ports[i]);
        const std::string name = "COM" + std::to_string(port && !port->IsPath() ? port->number : 1);
        ports.emplace_back(name, simulated->backend);
    }
    env.backend = MakePortMap(ports);
    return true;
}

int RunCli(const std::vector<std::string>& args, CliEnvironment& env) {
    CliOptions options;
    std::string message;
    std::string help;
    switch (ParseCommandLine(args, options, message, help)) {
        case ParseOutcome::Help:
            std::fputs(help.c_str(), env.out);
            return ToInt(ExitCode::Success);
        case ParseOutcome::Error:
            return RefuseRun(nullptr, AsksForJson(args), env, Failure::BadArguments,
                             message + " (see " + kProgramName + " --help)");
        case ParseOutcome::Run:
            break;
    }
    // Names are checked before any port is touched, whatever the command.
    const bool usesDevice =
        options.command != Command::Devices && options.command != Command::UpdateFirmware;
    if (usesDevice && FindCatalogueIndex(options.device) < 0) {
        return RefuseRun(&options, options.json, env, Failure::UnknownDevice,
                         UnknownDeviceText(options.device));
    }
    if (options.simulate && !env.backend && options.command != Command::Devices) {
        if (!SetUpSimulation(options, env, message)) {
            return RefuseRun(&options, options.json, env, Failure::BadArguments, message);
        }
    }
    // Ctrl-C and SIGTERM stop the run at the next command instead of ending the program at
    // once, which could leave the chip powered with the programming voltage on.
    CInterruptGuard interrupts;
    return RunCommand(options, env);
}

CCliPort::CCliPort(const PortChoice& choice, const CliEnvironment& env)
    : choice_(choice), served_(env.backend) {}

std::string CCliPort::Name() const {
    return IsPath() ? choice_.path : "COM" + std::to_string(choice_.number);
}

std::shared_ptr<IPortBackend> CCliPort::Backend() const {
    if (served_) {
        return served_;
    }
    if (IsPath()) {
        return std::make_shared<CPathPortBackend>(choice_.path);
    }
    return nullptr;
}

std::string CCliPort::Searched() const {
    if (IsPath() || served_) {
        return "";
    }
    std::string list;
    for (const std::string& place : ComPortCandidates(static_cast<unsigned long>(Number()))) {
        list += (list.empty() ? "" : ", ") + place;
    }
    return " (looked for " + list + ")";
}

}  // namespace tenlo::cli
