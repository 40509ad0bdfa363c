#pragma once

#include <string>
#include <vector>

#include "cli/cli_setup.h"

namespace tenlo::cli {

// What a tenlo-cli run inside the calling process printed, and how it ended.
struct CapturedRun {
    int code = 0;
    std::string out;
    std::string err;
};

// Runs tenlo-cli in this process as RunCli does, with standard output and standard error
// caught in scratch files instead of env's streams: the tests and the developer tools drive
// the very code the program runs. code is -1 (and err says why) when no scratch file could be
// had.
CapturedRun RunCliCaptured(const std::vector<std::string>& args, CliEnvironment env);

}  // namespace tenlo::cli
