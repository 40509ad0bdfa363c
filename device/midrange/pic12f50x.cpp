#include "device/midrange/pic12f50x.h"

#include <array>

#include "device/progress_texts.h"

namespace tenlo {

CPic12F50x::CPic12F50x(CProgrammerLink& link, DeviceOptions* options, IProgressDisplay* progress,
                       const DeviceLayout& layout, const MidRangeParams& params)
    : CPic16F54(link, options, progress, layout, params) {}

bool CPic12F50x::ReadBackupCalibration(std::uint16_t& word) {
    std::array<std::uint16_t, 1> read{};
    // One step from the configuration word to address 0, then on past program memory.
    if (!EnterProgramMode() || !IncrementAddress(1) ||
        !IncrementAddress(params_.backupCalibrationOffset) || !ReadProgramWords(read) ||
        !ExitProgramMode()) {
        return false;
    }
    word = read[0];
    return true;
}

void CPic12F50x::WriteProgram() {
    ShowProgress(kTextWriteProgram);
    std::uint16_t backup = 0;
    if (!ReadBackupCalibration(backup) || !EnterProgramMode() || !IncrementAddress(1)) {
        Finish(false);
        return;
    }
    const bool keep = Options().keepCalibration != 0;
    const auto source = ProgramSource();
    const Step outcome = ForEachBlock(source.size(), 1, [&](std::size_t i, std::size_t) {
        const std::uint16_t value = keep && i == params_.calibrationAddress ? backup : source[i];
        return WriteWordVerified(value) ? Step::Next : Step::Fail;
    });
    Finish(outcome == Step::Next);
}

void CPic12F50x::CompareProgram() {
    CompareProgramBody(WordMask(), Options().skipCalibrationCompare != 0
                                       ? static_cast<std::ptrdiff_t>(params_.calibrationAddress)
                                       : -1);
}

bool CPic12F50x::EraseAllStep() {
    return CPic16F84A::EraseAllStep();
}

bool CPic12F50x::EraseProgramStep() {
    const auto& p = params_;
    std::uint16_t backup = 0;
    // From the configuration word the bulk erase takes program memory, the calibration word and
    // the configuration word, but neither the user IDs nor the backup.
    if (!ReadBackupCalibration(backup) || !EnterProgramMode() ||
        !Link().IcspCommandWait(p.bulkEraseProgram, p.eraseWait) || !ExitProgramMode()) {
        return false;
    }
    if (Options().keepCalibration == 0) {
        return true;
    }
    if (!EnterProgramMode() || !IncrementAddress(1)) {
        return false;
    }
    std::uint32_t steps = p.calibrationAddress;
    for (; steps >= kStepChunk; steps -= kStepChunk) {
        if (!IncrementAddress(kStepChunk)) {
            return false;
        }
    }
    for (; steps > 0; --steps) {
        if (!IncrementAddress(1)) {
            return false;
        }
    }
    return WriteWordVerified(backup) && ExitProgramMode();
}

}  // namespace tenlo
