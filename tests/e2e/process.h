#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace tenlo::e2e {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

// A child process with its standard output on a pipe (for ready lines) or in files; killed
// and reaped when the object goes, whatever the test did.
class Process {
  public:
    Process() = default;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process() {
        Kill(SIGKILL);
        Wait(5000ms);
        if (pipe_ >= 0) {
            ::close(pipe_);
        }
    }

    // stdoutFile/stderrFile empty: standard output goes to a pipe read by ReadLine, standard
    // error is inherited.
    bool Start(const std::vector<std::string>& command, const std::vector<std::string>& env,
               const std::string& stdoutFile = {}, const std::string& stderrFile = {}) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        int fds[2] = {-1, -1};
        if (stdoutFile.empty()) {
            if (::pipe(fds) != 0) {
                posix_spawn_file_actions_destroy(&actions);
                return false;
            }
            posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
            posix_spawn_file_actions_addclose(&actions, fds[0]);
        } else {
            posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, stdoutFile.c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0644);
        }
        if (!stderrFile.empty()) {
            posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrFile.c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0644);
        }
        // No terminal on standard input: the programs must not wait for one.
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);

        std::vector<std::string> args = command;
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        // The caller's variables override the inherited ones of the same name.
        std::vector<std::string> vars = env;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string var(*e);
            const std::string name = var.substr(0, var.find('='));
            bool overridden = false;
            for (const std::string& v : env) {
                overridden = overridden || v.substr(0, v.find('=')) == name;
            }
            if (!overridden) {
                vars.push_back(var);
            }
        }
        std::vector<char*> envp;
        for (std::string& v : vars) {
            envp.push_back(v.data());
        }
        envp.push_back(nullptr);

        const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (fds[1] >= 0) {
            ::close(fds[1]);
        }
        pipe_ = fds[0];
        if (rc != 0) {
            pid_ = -1;
            return false;
        }
        return true;
    }

    // One line of the child's standard output (pipe mode), within the time.
    std::optional<std::string> ReadLine(std::chrono::milliseconds within = 5000ms) {
        std::string line;
        const auto deadline = SteadyClock::now() + within;
        while (SteadyClock::now() < deadline) {
            pollfd fd{pipe_, POLLIN, 0};
            if (::poll(&fd, 1, 50) <= 0) {
                continue;
            }
            char c = 0;
            if (::read(pipe_, &c, 1) != 1) {
                return std::nullopt;
            }
            if (c == '\n') {
                return line;
            }
            line += c;
        }
        return std::nullopt;
    }

    void Kill(int signal) {
        if (pid_ > 0) {
            ::kill(pid_, signal);
        }
    }

    // The exit code (128 + signal when killed), or nullopt when it did not end in time.
    std::optional<int> Wait(std::chrono::milliseconds within) {
        const auto deadline = SteadyClock::now() + within;
        while (pid_ > 0) {
            int status = 0;
            const pid_t done = ::waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                pid_ = -1;
                code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                break;
            }
            if (done < 0 || SteadyClock::now() >= deadline) {
                return std::nullopt;
            }
            std::this_thread::sleep_for(5ms);
        }
        return code_;
    }

    bool Running() const { return pid_ > 0; }

  private:
    pid_t pid_ = -1;
    int pipe_ = -1;
    std::optional<int> code_;
};

}  // namespace tenlo::e2e
