#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/cli_setup.h"
#include "cli/exit_codes.h"
#include "cli/terminal_ui.h"
#include "device/catalogue.h"
#include "device/device.h"
#include "device/dspic30/dspic30_device.h"
#include "device/memory_image.h"
#include "device/pic18/pic18_device.h"
#include "hexfile/hex_file_reader.h"
#include "hexfile/hex_layout.h"
#include "link/programmer_link.h"

namespace tenlo::cli {

// One command against one chip.
class CCliSession {
  public:
    CCliSession(const CliOptions& options, CliEnvironment& env);
    ~CCliSession();
    CCliSession(const CCliSession&) = delete;
    CCliSession& operator=(const CCliSession&) = delete;

    int Run();

  private:
    struct LoadedFiles;

    int Dispatch();
    int Devices();
    int Ping();
    int Version();
    int Read();
    int Write();
    int Verify();
    int Erase();
    int Id();
    // Names the chips a device ID word (read at address) stands for and says whether the
    // selected one is among them.
    int NameDeviceId(std::uint16_t word, const std::string& address);
    // Where the selected chip keeps its device ID word, as the user is told it; nothing for a
    // chip without one.
    std::optional<std::string> DeviceIdAddress() const;
    // The device ID word, the line connected. False when it could not be read.
    bool ReadDeviceIdWord(std::uint16_t& word);
    // Before a command touches the chip: no chip, or another chip than the one selected, is
    // told in one line. Chips without an ID word and --force pass unchecked.
    Failure CheckChipInSocket();
    int UpdateFirmware();

    // Each returns Failure::None or has printed its one line.
    Failure PrepareDevice();
    Failure Connect();
    Failure ChooseMemories(const std::optional<MemorySet>& provided, MemorySet& chosen);
    Failure LoadFiles(LoadedFiles& files);
    // Why a HEX file did not open, or that a loaded one ended without its end record.
    Failure FileNotOpened(const CHexFileReader& reader, const std::string& path);
    Failure CheckFileEnded(const CHexFileReader& reader, const std::string& path);
    // What write and verify do before their first memory: device, files, memories, then the line.
    Failure PrepareFileJob(LoadedFiles& files, MemorySet& chosen);
    // What an operation does to the chip, for the consequences of its failing.
    enum class Doing { Reading, Writing, Erasing };
    // A device operation returned false: tell a line that failed (and how, in which phase and
    // at which address) from a chip that refused the data.
    int ReportWriteFailure(Memory memory, const CMemoryImage& wanted);
    // what: "writing program memory"; memory: where the operation's cells are, if it has any.
    int ReportFailedOperation(Doing doing, const std::string& what,
                              std::optional<Memory> memory = std::nullopt);
    int ReportInterrupted(Doing doing, const std::string& what);
    // After an erase: every program and data cell blank but a kept calibration word, or one
    // line naming the first that is not.
    int CheckErased();
    // Ctrl-C or SIGTERM came, or the link refused a command for it.
    bool Interrupted() const;

    int Fail(Failure failure, const std::string& line);
    void Say(const char* format, ...) __attribute__((format(printf, 2, 3)));
    bool PingProgrammer(int attempts);

    const CliOptions& options_;
    CliEnvironment& env_;
    CCliPort port_;
    CStderrErrorBox errorBox_;
    CTerminalProgress progress_;
    CStreamTraceSink trace_;
    std::FILE* sayTo_;

    int index_ = -1;
    const CatalogueEntry* entry_ = nullptr;
    DeviceOptions deviceOptions_;
    std::unique_ptr<CProgrammerLink> link_;
    std::unique_ptr<CDevice> device_;
    HexLayout hexLayout_;
};

}  // namespace tenlo::cli
