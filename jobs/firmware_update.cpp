#include "jobs/firmware_update.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <functional>
#include <span>

#include "hexfile/firmware_hex_reader.h"
#include "jobs/hex_files.h"
#include "jobs/socket_rule.h"

namespace tenlo {

namespace {

// The file name is substituted as text, never used as a format.
std::string FillName(const char* format, const std::string& name) {
    std::string text = format;
    const std::size_t at = text.find("%s");
    if (at != std::string::npos) {
        text.replace(at, 2, name);
    }
    return text;
}

// A read error deep in the stream must come out as a failed load, not as an exception.
bool LoadQuietly(CHexFileReader& reader) {
    try {
        return reader.Load();
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

std::string FirmwareFileReason(const FirmwareFileProblem& problem) {
    const HexLoadFailure& f = problem.failure;
    switch (problem.fault) {
        case FirmwareFileFault::None:
            break;
        case FirmwareFileFault::Record: {
            std::string why = jobs::RecordFaultText(f);
            if (why.empty()) {
                why = "バイトアドレス " + jobs::HexText(f.address) +
                      " は、プログラマーのマイコンのプログラムメモリーにもコンフィグレーション"
                      "メモリーにもありません。";
            }
            return f.line == 0 ? why : std::to_string(f.line) + " 行目：" + why;
        }
        case FirmwareFileFault::Empty:
            return "ファイルが空です。";
        case FirmwareFileFault::NoEndRecord:
            return "終了レコードがありません。ファイルが途中で切れている可能性があります。";
        case FirmwareFileFault::NoProgram:
            return "プログラムメモリーに書き込むデータがありません。";
    }
    return {};
}

std::string FirmwareUpdateMessage(FirmwareUpdateResult result, const std::string& fileName,
                                  const FirmwareFileProblem& why) {
    switch (result) {
        case FirmwareUpdateResult::Success:
            return kMsgUpdateDone;
        case FirmwareUpdateResult::PortNotOpen:
            return kMsgPortNotOpen;
        case FirmwareUpdateResult::EraseFailed:
            return kMsgEraseFailed;
        case FirmwareUpdateResult::FileOpenFailed:
            return FillName(kMsgFileOpenFailed, fileName);
        case FirmwareUpdateResult::FileReadFailed: {
            std::string text = FillName(kMsgFileReadFailed, fileName);
            if (why.fault != FirmwareFileFault::None) {
                text += "\n" + FirmwareFileReason(why);
            }
            return text;
        }
        case FirmwareUpdateResult::WriteFailed:
            return kMsgWriteFailed;
        case FirmwareUpdateResult::VerifyFailed:
            return kMsgVerifyFailed;
        case FirmwareUpdateResult::Busy:
            break;
    }
    return {};
}

unsigned FirmwareUpdateIcon(FirmwareUpdateResult result) {
    return result == FirmwareUpdateResult::Success ? kMbIconInformation : kMbIconError;
}

bool CFirmwareUpdateFlow::RequestClose() {
    if (running_) {
        closePending_ = true;
        return false;
    }
    closePending_ = false;
    return true;
}

FirmwareUpdateResult CFirmwareUpdateFlow::Run() {
    if (running_) {
        return FirmwareUpdateResult::Busy;
    }
    closePending_ = false;
    fileProblem_ = {};
    // Cleared on every way out, so a view that throws cannot leave the close refused forever.
    struct RunningFlag {
        explicit RunningFlag(bool& flag) : flag_(flag) { flag_ = true; }
        ~RunningFlag() { flag_ = false; }
        RunningFlag(const RunningFlag&) = delete;
        RunningFlag& operator=(const RunningFlag&) = delete;
        bool& flag_;
    } running(running_);
    return RunSteps();
}

FirmwareUpdateResult CFirmwareUpdateFlow::Report(FirmwareUpdateResult result) {
    view_.ShowMessage(FirmwareUpdateMessage(result, path_, fileProblem_),
                      FirmwareUpdateIcon(result));
    // The phase text stays up under the message and goes once it has been dismissed.
    view_.ShowStatus("");
    return result;
}

FirmwareUpdateResult CFirmwareUpdateFlow::RunSteps() {
    if (!port_.IsOpen()) {
        view_.ShowMessage(kMsgPortNotOpen, kMbIconError);
        return FirmwareUpdateResult::PortNotOpen;
    }
    CJDMProgrammer jdm(port_);
    JdmProgramImage program{};
    JdmConfigImage config{};
    CFirmwareHexReader reader(program, config);

    // The file is read whole before the chip is touched: a missing or bad file must not leave
    // the programmer erased with no firmware at all. A directory is no file to open (and
    // reading one makes the stream throw).
    std::error_code ec;
    if (std::filesystem::is_directory(path_, ec) || !reader.Open(path_)) {
        return Report(FirmwareUpdateResult::FileOpenFailed);
    }
    std::fill(program.begin(), program.end(), CJDMProgrammer::kBlankWord);
    std::fill(config.begin(), config.end(), CJDMProgrammer::kBlankWord);
    const bool loaded = LoadQuietly(reader);
    reader.Close();
    if (!loaded) {
        fileProblem_ = {FirmwareFileFault::Record, reader.LastFailure()};
        if (fileProblem_.failure.fault == HexFault::None) {
            fileProblem_.failure.fault = HexFault::ReadError;
        }
        return Report(FirmwareUpdateResult::FileReadFailed);
    }
    // A file cut short at a line end reads without a fault: only its end record tells.
    if (!reader.EndRecordSeen()) {
        fileProblem_.fault =
            reader.LinesRead() == 0 ? FirmwareFileFault::Empty : FirmwareFileFault::NoEndRecord;
        return Report(FirmwareUpdateResult::FileReadFailed);
    }
    // Only the words below the calibration word are written: a file with none of them, or only
    // blank ones, would leave the programmer erased.
    const auto written = std::span(program).first(CJDMProgrammer::kCalibrationAddress);
    if (std::all_of(written.begin(), written.end(), [](std::uint16_t word) {
            return (word & CJDMProgrammer::kBlankWord) == CJDMProgrammer::kBlankWord;
        })) {
        fileProblem_.fault = FirmwareFileFault::NoProgram;
        return Report(FirmwareUpdateResult::FileReadFailed);
    }

    // Program memory is verified before the configuration word goes in: a configuration that
    // turns code protection on makes program memory read as zeros from then on.
    struct Phase {
        const char* status;
        std::function<bool()> run;
        FirmwareUpdateResult failure;
    };
    const Phase phases[] = {
        {kStatusErasing,
         [&] {
             return jdm.EraseChip([](std::uint16_t id) {
                 return !jobs::ReadsAsEmptySocket(id, CJDMProgrammer::kBlankWord);
             });
         },
         FirmwareUpdateResult::EraseFailed},
        {kStatusWriting, [&] { return jdm.WriteProgram(program); },
         FirmwareUpdateResult::WriteFailed},
        {kStatusVerifying, [&] { return jdm.VerifyProgram(program); },
         FirmwareUpdateResult::VerifyFailed},
        {kStatusWriting, [&] { return jdm.WriteConfig(config); },
         FirmwareUpdateResult::WriteFailed},
        {kStatusVerifying, [&] { return jdm.VerifyConfig(config); },
         FirmwareUpdateResult::VerifyFailed},
    };
    for (const Phase& phase : phases) {
        view_.ShowStatus(phase.status);
        if (!phase.run()) {
            return Report(phase.failure);
        }
    }
    return Report(FirmwareUpdateResult::Success);
}

FirmwareUpdateResult RunFirmwareUpdate(CSerialPort& port, IFirmwareUpdateView& view,
                                       const std::string& firmwarePath, FirmwareFileProblem* why) {
    CFirmwareUpdateFlow flow(port, view);
    flow.SetFirmwarePath(firmwarePath);
    const FirmwareUpdateResult result = flow.Run();
    if (why != nullptr) {
        *why = flow.FileProblem();
    }
    return result;
}

std::string UpdaterPortDefinition(int portNumber) {
    return ProgrammerPortDefinition(portNumber);
}

void DriveLinesInactive(CSerialPort& port) {
    port.SetDTR(false);
    port.SetRTS(false);
    port.SetBreak(false);
}

bool OpenUpdaterPort(CSerialPort& port, int portNumber) {
    if (!port.Open(UpdaterPortDefinition(portNumber))) {
        return false;
    }
    DriveLinesInactive(port);
    return true;
}

}  // namespace tenlo
