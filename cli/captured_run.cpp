#include "cli/captured_run.h"

#include <cstdio>
#include <memory>

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

}  // namespace

CapturedRun RunCliCaptured(const std::vector<std::string>& args, CliEnvironment env) {
    FilePtr out(std::tmpfile(), &std::fclose);
    FilePtr err(std::tmpfile(), &std::fclose);
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
