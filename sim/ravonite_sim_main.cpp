// ravonite-sim: a virtual Ravonite on a pseudo-terminal, linked as a COMn port.

#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "link/clock.h"
#include "link/port_names.h"
#include "sim/chip_model.h"
#include "sim/fault_plan.h"
#include "sim/pty_server.h"
#include "sim/state_file.h"
#include "sim/virtual_programmer.h"

namespace {

using namespace tenlo;
using namespace tenlo::sim;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int g_stopPipe[2] = {-1, -1};

extern "C" void OnStopSignal(int) {
    const char byte = 1;
    // Nothing else is safe here; the main loop sees the pipe turn readable.
    [[maybe_unused]] const ssize_t n = ::write(g_stopPipe[1], &byte, 1);
}

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "Usage: ravonite-sim --chip NAME [--com N | --link PATH] [--line-rate]\n"
                 "                    [--fault FAULT]... [--state FILE] [--version B0.B1.B2.B3]\n"
                 "                    [--trace FILE]\n"
                 "\n"
                 "Serves a virtual Ravonite programmer with a chip in its socket on a\n"
                 "pseudo-terminal and links it as COMn (default COM5) in the port directory\n"
                 "($TENLO_PORT_DIR, else ${XDG_CONFIG_HOME:-$HOME/.config}/tenlo/ports), or at\n"
                 "PATH. Prints \"ready <pty> <link>\" once it serves; SIGINT or SIGTERM removes\n"
                 "the link, saves the state when asked and exits 0.\n"
                 "\n"
                 "  --chip NAME      catalogue name (PIC16F84A, 16f877a, ...) or blank14\n"
                 "  --com N          link name comN in the port directory (1-255)\n"
                 "  --link PATH      link exactly there instead\n"
                 "  --line-rate      every byte takes 10 bits at 38400 baud (260.4 us), and\n"
                 "                   the firmware loses a byte that arrives less than 0.9 ms\n"
                 "                   after a framed byte, as the programmer does\n"
                 "  --state FILE     chip contents as an Intel HEX file (Microchip layout):\n"
                 "                   loaded at start when it exists, saved at exit\n"
                 "  --version V      the four GetVersion bytes (default 1.0.3.0)\n"
                 "  --trace FILE     every byte in (>) and out (<), one line per burst; a lost\n"
                 "                   byte shows as [NN lost]\n"
                 "  --fault FAULT    inject a fault; FAULT is one of:\n"
                 "%s",
                 FaultSyntaxHelp());
}

bool ParseByte(std::string_view text, std::uint8_t& value) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    unsigned v = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, v, base);
    if (text.empty() || ec != std::errc() || ptr != end || v > 0xFF) {
        return false;
    }
    value = static_cast<std::uint8_t>(v);
    return true;
}

bool ParseVersion(std::string_view text, std::array<std::uint8_t, 4>& version) {
    for (std::size_t i = 0; i < 4; ++i) {
        const auto dot = text.find('.');
        if ((i < 3) == (dot == std::string_view::npos)) {
            return false;
        }
        if (!ParseByte(text.substr(0, dot), version[i])) {
            return false;
        }
        text = i < 3 ? text.substr(dot + 1) : std::string_view{};
    }
    return true;
}

struct Options {
    std::string chip;
    int com = 5;
    std::string link;
    bool lineRate = false;
    FaultPlan faults;
    std::string state;
    std::string trace;
    std::array<std::uint8_t, 4> version{0x01, 0x00, 0x03, 0x00};
};

// The first line of a CLI11 message is the one worth showing.
std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

int Usage(const std::string& message) {
    std::fprintf(stderr, "ravonite-sim: %s\n", message.c_str());
    return kExitUsage;
}

// 0 to go on, -1 after the help was printed, else the exit code.
int ParseArguments(int argc, char** argv, Options& options) {
    CLI::App app{"", "ravonite-sim"};
    // The help is ours, not CLI11's layout.
    app.set_help_flag("-h,--help");
    std::string com;
    std::vector<std::string> faults;
    std::string version;
    app.add_option("--chip", options.chip);
    app.add_option("--com", com);
    app.add_option("--link", options.link);
    app.add_flag("--line-rate", options.lineRate);
    // One fault a --fault, as often as wanted.
    app.add_option("--fault", faults)
        ->expected(1)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_option("--state", options.state);
    app.add_option("--trace", options.trace);
    app.add_option("--version", version);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        PrintUsage(stdout);
        return -1;
    } catch (const CLI::ExtrasError&) {
        return Usage("unknown argument " + app.remaining().front() + " (try --help)");
    } catch (const CLI::ArgumentMismatch& e) {
        // CLI11 starts the message with the option's name.
        const std::string what = FirstLine(e.what());
        return Usage(what.substr(0, what.find(':')) + " needs a value");
    } catch (const CLI::ParseError& e) {
        return Usage(FirstLine(e.what()) + " (try --help)");
    }

    if (app.count("--com") > 0) {
        std::uint8_t n = 0;
        if (!ParseByte(com, n) || n == 0) {
            return Usage("--com takes a port number from 1 to 255");
        }
        options.com = n;
    }
    for (const char* name : {"--link", "--state", "--trace"}) {
        if (app.count(name) > 0 && app[name]->as<std::string>().empty()) {
            return Usage(std::string(name) + " needs a value");
        }
    }
    for (const std::string& fault : faults) {
        std::string error;
        if (!ParseFault(fault, options.faults, error)) {
            return Usage(error);
        }
    }
    if (app.count("--version") > 0 && !ParseVersion(version, options.version)) {
        return Usage("--version takes four bytes, b0.b1.b2.b3");
    }
    if (options.chip.empty()) {
        return Usage("--chip is required (try --help)");
    }
    return 0;
}

int Run(const Options& options) {
    auto chip = CreateChip(options.chip);
    if (!chip) {
        std::fprintf(stderr, "ravonite-sim: no model for chip %s\n", options.chip.c_str());
        return kExitUsage;
    }
    std::string error;
    if (!options.state.empty() && std::filesystem::exists(options.state) &&
        !LoadChipState(*chip, options.state, error)) {
        std::fprintf(stderr, "ravonite-sim: %s\n", error.c_str());
        return kExitFailure;
    }

    auto programmer = std::make_shared<CVirtualProgrammer>(std::move(chip), options.faults);
    programmer->Engine().SetVersion(options.version);

    std::FILE* trace = nullptr;
    if (!options.trace.empty()) {
        trace = std::fopen(options.trace.c_str(), "a");
        if (trace == nullptr) {
            std::fprintf(stderr, "ravonite-sim: cannot open %s\n", options.trace.c_str());
            return kExitFailure;
        }
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> traceFile(
        trace, [](std::FILE* f) { return f != nullptr ? std::fclose(f) : 0; });

    CPtyServer server(programmer, SystemClock(), options.lineRate);
    server.SetTrace(trace);
    if (!server.Open(error)) {
        std::fprintf(stderr, "ravonite-sim: %s\n", error.c_str());
        return kExitFailure;
    }

    std::string link = options.link;
    if (link.empty()) {
        const std::vector<std::string> dirs = PortLinkDirectories();
        if (dirs.empty()) {
            std::fprintf(stderr, "ravonite-sim: no port directory (set TENLO_PORT_DIR)\n");
            return kExitFailure;
        }
        link = dirs.front() + "/com" + std::to_string(options.com);
    }
    if (!MakePortLink(server.PtyPath(), link, error)) {
        std::fprintf(stderr, "ravonite-sim: %s\n", error.c_str());
        return kExitFailure;
    }

    std::printf("ready %s %s\n", server.PtyPath().c_str(), link.c_str());
    std::fflush(stdout);

    const bool served = server.Serve(g_stopPipe[0]);

    int code = 0;
    const std::uint64_t lost = programmer->With(
        [](CFirmwareEngine& engine, IChipModel&) { return engine.Statistics().lostBytes; });
    if (lost > 0) {
        std::fprintf(stderr,
                     "ravonite-sim: lost %llu byte(s) from the host that arrived less than "
                     "0.9 ms after a framed byte (the host must pause 1 ms after each)\n",
                     static_cast<unsigned long long>(lost));
    }
    std::error_code ec;
    // Only our own link goes: someone may have replaced it meanwhile.
    if (std::filesystem::is_symlink(link, ec) &&
        std::filesystem::read_symlink(link, ec) == server.PtyPath()) {
        std::filesystem::remove(link, ec);
    }
    if (!options.state.empty()) {
        std::lock_guard<std::mutex> lock(programmer->Mutex());
        if (!SaveChipState(programmer->Chip(), options.state, error)) {
            std::fprintf(stderr, "ravonite-sim: %s\n", error.c_str());
            code = kExitFailure;
        }
    }
    if (!served) {
        std::fprintf(stderr, "ravonite-sim: the terminal failed\n");
        code = kExitFailure;
    }
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    const int parsed = ParseArguments(argc, argv, options);
    if (parsed != 0) {
        return parsed < 0 ? 0 : parsed;
    }
    if (::pipe(g_stopPipe) != 0) {
        std::perror("ravonite-sim: pipe");
        return kExitFailure;
    }
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    return Run(options);
}
