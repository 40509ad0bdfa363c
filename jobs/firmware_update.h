#pragma once

#include <cstdint>
#include <string>

#include "hexfile/hex_file_reader.h"
#include "jdm/jdm_programmer.h"
#include "link/serial_port.h"
#include "link/ui_interfaces.h"

namespace tenlo {

// The updater's texts, shown exactly as they stand.
inline constexpr const char* kFirmwareFileName = "Mossvane.HEX";
inline constexpr const char* kUpdaterErrorCaption = "Reader/Writer";
inline constexpr const char* kStatusErasing = "イレース中...";
inline constexpr const char* kStatusWriting = "書き込み中...";
inline constexpr const char* kStatusVerifying = "ベリファイ中...";
inline constexpr const char* kMsgPortNotOpen = "シリアルポートが接続されていません。";
inline constexpr const char* kMsgEraseFailed = "イレースに失敗しました。";
inline constexpr const char* kMsgFileOpenFailed = "ファームウエアファイル %s を開けません。";
inline constexpr const char* kMsgFileReadFailed =
    "ファームウエアファイル %s の読み込みに失敗しました。";
inline constexpr const char* kMsgWriteFailed = "書き込みに失敗しました。";
inline constexpr const char* kMsgVerifyFailed = "ベリファイに失敗しました。";
inline constexpr const char* kMsgUpdateDone = "ファームウエア書き込み完了";

enum class FirmwareUpdateResult : std::uint8_t {
    Success,
    PortNotOpen,
    EraseFailed,
    FileOpenFailed,
    FileReadFailed,
    WriteFailed,
    VerifyFailed,
    Busy,  // a flow was already running on this object; nothing was done or shown
};

// Why the firmware file was refused (FileReadFailed), before the chip was touched: the file
// must be whole firmware, or the erase would leave the programmer with none.
enum class FirmwareFileFault : std::uint8_t {
    None,
    Record,       // a record the reader refused: failure says which, where and why
    Empty,        // nothing at all in it
    NoEndRecord,  // it ends without its end record: cut short
    NoProgram,    // not a single program word to write (blank ones and the calibration
                  // word, which is never written, do not count)
};

struct FirmwareFileProblem {
    FirmwareFileFault fault = FirmwareFileFault::None;
    HexLoadFailure failure;
};

// The reason a firmware file was refused, in plain Japanese, for the updater's message.
std::string FirmwareFileReason(const FirmwareFileProblem& problem);

// The message a result is reported with (%s filled with the firmware file's name), and its
// icon: kMbIconInformation for success, kMbIconError otherwise. Empty for Busy. Given why a
// file was refused, the reason follows on a line of its own.
std::string FirmwareUpdateMessage(FirmwareUpdateResult result, const std::string& fileName,
                                  const FirmwareFileProblem& why = {});
unsigned FirmwareUpdateIcon(FirmwareUpdateResult result);

// What the flow needs from whoever shows it: the dialog's status line and its message boxes,
// or a terminal.
class IFirmwareUpdateView {
  public:
    virtual ~IFirmwareUpdateView() = default;
    // The status line; "" clears it.
    virtual void ShowStatus(const std::string& text) = 0;
    // The one result of a run, modal: returns once the user has seen it.
    virtual void ShowMessage(const std::string& text, unsigned type) = 0;
};

// Loads the firmware file, refusing any that is not whole firmware before the chip is touched,
// erases the programmer's microcontroller (keeping its calibration),
// writes and verifies program memory, then writes and verifies the configuration word,
// reporting each phase on the status line and ending with exactly one message.
//
// The port must stay open while Run() is on the stack, yet the line loops dispatch pending
// window messages, so a close request can arrive in the middle. Such a request is deferred:
// RequestClose() returns false while a run is in progress, the run goes on to its end and shows
// its result, and the caller honours the close once Run() has returned (ClosePending()).
// Cutting the run short would leave the programmer half-written with no firmware at all.
class CFirmwareUpdateFlow {
  public:
    CFirmwareUpdateFlow(CSerialPort& port, IFirmwareUpdateView& view)
        : port_(port), view_(view), path_(kFirmwareFileName) {}

    CFirmwareUpdateFlow(const CFirmwareUpdateFlow&) = delete;
    CFirmwareUpdateFlow& operator=(const CFirmwareUpdateFlow&) = delete;

    // The file to read; by default the bare name, looked up in the current directory.
    void SetFirmwarePath(std::string path) { path_ = std::move(path); }
    const std::string& FirmwarePath() const { return path_; }

    FirmwareUpdateResult Run();

    bool IsRunning() const { return running_; }
    // Why the last run refused its file (FileReadFailed); fault None otherwise.
    const FirmwareFileProblem& FileProblem() const { return fileProblem_; }
    // True when the caller may close (and release the port) now. While a run is in progress it
    // returns false and remembers the request instead.
    bool RequestClose();
    // A close was requested during the last run and is still to be honoured.
    bool ClosePending() const { return closePending_; }

  private:
    FirmwareUpdateResult RunSteps();
    FirmwareUpdateResult Report(FirmwareUpdateResult result);

    CSerialPort& port_;
    IFirmwareUpdateView& view_;
    std::string path_;
    FirmwareFileProblem fileProblem_;
    bool running_ = false;
    bool closePending_ = false;
};

// For a command line: one whole update on an already open port, on the given file, reported
// through view. Prints nothing itself. why, when given, receives the flow's FileProblem().
FirmwareUpdateResult RunFirmwareUpdate(CSerialPort& port, IFirmwareUpdateView& view,
                                       const std::string& firmwarePath = kFirmwareFileName,
                                       FirmwareFileProblem* why = nullptr);

// "COM%d: baud=38400 parity=N data=8 stop=1" for a port number.
std::string UpdaterPortDefinition(int portNumber);

// DTR, RTS and the break inactive: data low, clock low, target unpowered. Results ignored.
void DriveLinesInactive(CSerialPort& port);

// Opens the port as the updater's connect does (no time-outs: no bytes ever pass) and drives
// DTR, RTS and the break inactive. The port shows its own errors; false when it did not open.
bool OpenUpdaterPort(CSerialPort& port, int portNumber);

}  // namespace tenlo
