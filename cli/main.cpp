#include <unistd.h>

#include <string>
#include <vector>

#include "cli/cli_session.h"

int main(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.emplace_back(argv[i]);
    }
    tenlo::cli::CliEnvironment env;
    env.errIsTerminal = isatty(STDERR_FILENO) == 1;
    return tenlo::cli::RunCli(args, env);
}
