#pragma once

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "cli/cli_options.h"
#include "cli/cli_setup.h"
#include "cli/config_command.h"
#include "cli/exit_codes.h"
#include "cli/outcome_lines.h"
#include "cli/port_record.h"
#include "cli/terminal_ui.h"
#include "device/catalogue.h"
#include "device/device.h"
#include "device/memory_image.h"
#include "jobs/device_jobs.h"
#include "jobs/production_run.h"
#include "link/programmer_link.h"

namespace tenlo::cli {

// The port a session runs on and what it shares with the sessions of the other ports.
struct PortJob {
    std::string port;  // as the user named it
    const Prepared* prepared = nullptr;
    // Keep the outcome in the record and print nothing: the end of the run tells it.
    bool collect = false;
    IProgressDisplay* progress = nullptr;  // none: a bar of the session's own
    jobs::CProductionRun* production = nullptr;
};

// One command against the chip on one port: the options turned into a job, the job's outcome
// into lines on the terminal (or a record) and an exit code. The commands' bodies are in
// cli_commands.cpp.
class CCliSession {
  public:
    CCliSession(const CliOptions& options, CliEnvironment& env, PortJob job);
    ~CCliSession();
    CCliSession(const CCliSession&) = delete;
    CCliSession& operator=(const CCliSession&) = delete;

    // Runs the command; the record's code is the exit code.
    PortRecord Run();

  private:
    int Dispatch();
    int Ping();
    int Version();
    int Read();
    int Write();
    int Verify();
    int Erase();
    int Id();
    int UpdateFirmware();
    int Config();
    int Calibration();

    // Each returns Failure::None or has told its one line.
    Failure PrepareDevice();
    Failure Connect();
    // After a write that got to the configuration: the traps not told before it, and the
    // protection it left off.
    void TellConfigNotes(const jobs::Report& report);
    // A compare that matched: the protection the file turns on that a write leaves off.
    void TellProtectionLeftOff(const CMemoryImage& image);
    // PrepareDevice and Connect, for every command on the chip.
    Failure PrepareChipJob();

    // The jobs' context for this run: the socket checked unless --force, the questions
    // answered from the options.
    jobs::JobContext Context();
    // A job's failure told in one line; the exit code.
    int Report(const jobs::Outcome& outcome, bool erasedFirst = false);
    int Fail(const FailureLine& line);
    int Fail(Failure failure, const std::string& line);
    void Say(const char* format, ...) __attribute__((format(printf, 2, 3)));
    bool PingProgrammer(int attempts);
    // read's file for this port: the name given, with the port's before the extension when
    // several ports read.
    std::string PortFileName(const std::string& file) const;
    // The code, or a failure when the command's product on standard output was lost.
    int Delivered(int code);
    // The log row and the serial number's fate, once the command has ended.
    void Record(int& code);

    const CliOptions& options_;
    CliEnvironment& env_;
    PortJob job_;
    CCliPort port_;
    CStderrErrorBox errorBox_;
    CCliQuestions questions_;
    CTerminalProgress progress_;
    CStreamTraceSink trace_;
    std::FILE* sayTo_;
    PortRecord record_;
    std::chrono::steady_clock::time_point began_;
    std::optional<jobs::CProductionRun::CChipNumber> number_;

    const CatalogueEntry* entry_ = nullptr;
    DeviceOptions deviceOptions_;
    std::unique_ptr<CProgrammerLink> link_;
    std::unique_ptr<CDevice> device_;
};

}  // namespace tenlo::cli
