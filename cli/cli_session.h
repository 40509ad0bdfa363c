#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "cli/cli_options.h"
#include "cli/cli_setup.h"
#include "cli/config_command.h"
#include "cli/exit_codes.h"
#include "cli/outcome_lines.h"
#include "cli/terminal_ui.h"
#include "device/catalogue.h"
#include "device/device.h"
#include "device/memory_image.h"
#include "jobs/device_jobs.h"
#include "link/programmer_link.h"

namespace tenlo::cli {

// One command against one chip: the options turned into a job, the job's outcome into lines on
// the terminal and an exit code. The commands' bodies are in cli_commands.cpp.
class CCliSession {
  public:
    CCliSession(const CliOptions& options, CliEnvironment& env);
    ~CCliSession();
    CCliSession(const CCliSession&) = delete;
    CCliSession& operator=(const CCliSession&) = delete;

    int Run();

  private:
    // The files of write and verify, loaded before a byte goes to the programmer.
    struct LoadedFiles {
        std::unique_ptr<CMemoryImage> image;
        MemorySet provided;
    };

    int Dispatch();
    int Devices();
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

    // Each returns Failure::None or has printed its one line.
    Failure PrepareDevice();
    Failure Connect();
    Failure ChooseMemories(const std::optional<MemorySet>& provided, MemorySet& chosen);
    Failure LoadFiles(LoadedFiles& files);
    // write and verify --set: the fields changed in the loaded image.
    Failure ApplyConfigSet(LoadedFiles& files);
    // After a write that got to the configuration: the traps not told before it, and the
    // protection it left off.
    void TellConfigNotes(const jobs::Report& report);
    // A compare that matched: the protection the file turns on that a write leaves off.
    void TellProtectionLeftOff(const CMemoryImage& image);
    // What write and verify do before their first memory: device, files, memories, then the line.
    Failure PrepareFileJob(LoadedFiles& files, MemorySet& chosen);
    // PrepareDevice and Connect, for the commands without files.
    Failure PrepareChipJob();

    // The jobs' context for this run: the socket checked unless --force, nothing asked.
    jobs::JobContext Context();
    // A job's failure told in one line; the exit code.
    int Report(const jobs::Outcome& outcome, bool erasedFirst = false);
    int Fail(const FailureLine& line);
    int Fail(Failure failure, const std::string& line);
    void Say(const char* format, ...) __attribute__((format(printf, 2, 3)));
    bool PingProgrammer(int attempts);

    const CliOptions& options_;
    CliEnvironment& env_;
    CCliPort port_;
    CStderrErrorBox errorBox_;
    CCliQuestions questions_;
    CTerminalProgress progress_;
    CStreamTraceSink trace_;
    std::FILE* sayTo_;

    const CatalogueEntry* entry_ = nullptr;
    DeviceOptions deviceOptions_;
    std::unique_ptr<CProgrammerLink> link_;
    std::unique_ptr<CDevice> device_;
};

}  // namespace tenlo::cli
