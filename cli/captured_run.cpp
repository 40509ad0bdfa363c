#include "cli/captured_run.h"

#include <cstdio>
#include <memory>
#if defined(_WIN32)
#include <filesystem>
#include <random>
#include <string>
#endif

namespace tenlo::cli {

namespace {

using FilePtr = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

std::string Slurp(std::FILE* f) {
    std::string text;
    std::fflush(f);
    std::rewind(f);
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        text.append(buffer, n);
    }
    return text;
}

// A file for the CLI's output that goes when it is closed. The C library's tmpfile() makes its
// file in the root of the drive on Windows, where a user may not write: there it is made in the
// temporary folder, with the library's own delete-on-close mode.
std::FILE* ScratchFile() {
#if defined(_WIN32)
    std::error_code ec;
    const std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
    if (ec) {
        return nullptr;
    }
    std::random_device random;
    const std::string path = (dir / ("tenlo-cli-" + std::to_string(random()) + ".txt")).string();
    return std::fopen(path.c_str(), "w+bTD");
#else
    return std::tmpfile();
#endif
}

}  // namespace

CapturedRun RunCliCaptured(const std::vector<std::string>& args, CliEnvironment env) {
    FilePtr out(ScratchFile(), &std::fclose);
    FilePtr err(ScratchFile(), &std::fclose);
    if (!out || !err) {
        return {-1, "", "no temporary file for the CLI's output"};
    }
    env.out = out.get();
    env.err = err.get();
    CapturedRun run;
    run.code = RunCli(args, env);
    run.out = Slurp(out.get());
    run.err = Slurp(err.get());
    return run;
}

}  // namespace tenlo::cli
