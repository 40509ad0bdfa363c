#include "device/midrange/pic12f629.h"

#include "device/midrange/verified_cell.h"
#include "device/progress_texts.h"

namespace tenlo {

CPic12F629::CPic12F629(CProgrammerLink& link, DeviceOptions* options, IProgressDisplay* progress,
                       const DeviceLayout& layout, const MidRangeParams& params)
    : CPic16F84A(link, options, progress, layout, params) {}

bool CPic12F629::WriteCellVerified(bool isProgram, std::uint16_t value) {
    return WriteCellUnder(isProgram, value, isProgram ? kWordMask : 0xFF);
}

bool CPic12F629::WriteCellUnder(bool isProgram, std::uint16_t value, std::uint16_t mask) {
    auto& link = Link();
    const auto& p = params_;
    const auto cycle = [&] {
        return link.IcspTimedProgram(p.beginProgrammingOnly, p.endProgramming, p.programWait);
    };
    return ProgramCellVerified(link, isProgram ? p.loadDataProgram : p.loadDataData,
                               isProgram ? p.readDataProgram : p.readDataData, mask, value,
                               p.retries, cycle) &&
           IncrementAddress(1);
}

bool CPic12F629::GoToConfigWord() {
    const auto& p = params_;
    return EnterProgramMode() && LoadConfig(0) &&
           Link().IcspCommandRepeat(p.incrementAddress,
                                    static_cast<std::uint8_t>(p.configWordIndex));
}

bool CPic12F629::ReadCalibration(std::optional<std::uint16_t>* calibration,
                                 std::optional<std::uint16_t>* config) {
    auto& link = Link();
    const auto& p = params_;
    if (calibration != nullptr) {
        std::uint16_t word = 0;
        if (!EnterProgramMode() || !IncrementAddress(p.calibrationWordAddress) ||
            !link.IcspRead(p.readDataProgram, &word) || !ExitProgramMode()) {
            return false;
        }
        *calibration = static_cast<std::uint16_t>(word & kWordMask);
    }
    if (config != nullptr) {
        std::uint16_t word = 0;
        if (!GoToConfigWord() || !link.IcspRead(p.readDataProgram, &word) || !ExitProgramMode()) {
            return false;
        }
        *config = static_cast<std::uint16_t>(word & kWordMask);
    }
    return true;
}

bool CPic12F629::RestoreCalibration(std::optional<std::uint16_t> calibration,
                                    std::optional<std::uint16_t> config) {
    const auto& p = params_;
    if (calibration) {
        if (!EnterProgramMode() || !IncrementAddress(p.calibrationWordAddress) ||
            !WriteCellVerified(true, *calibration) || !ExitProgramMode()) {
            return false;
        }
    }
    if (config) {
        std::uint16_t current = 0;
        if (!GoToConfigWord() || !Link().IcspRead(p.readDataProgram, &current)) {
            return false;
        }
        const auto word =
            static_cast<std::uint16_t>((current & ~p.bandGapMask) | (*config & p.bandGapMask));
        if (!WriteCellVerified(true, word) || !ExitProgramMode()) {
            return false;
        }
    }
    return true;
}

std::uint16_t CPic12F629::ConfigWordValue(std::uint16_t image, std::uint16_t savedConfig) const {
    const auto& p = params_;
    auto value = static_cast<std::uint16_t>(image | p.calibrationProtectOffMask);
    if (Options().keepCalibration != 0) {
        value = static_cast<std::uint16_t>(
            ((value & ~p.bandGapMask) | (savedConfig & p.bandGapMask)) & p.configKeepMask);
    }
    return value;
}

void CPic12F629::WriteProgram() {
    ShowProgress(kTextWriteProgram);
    std::optional<std::uint16_t> calibration;
    if (!ReadCalibration(&calibration, nullptr) || !EnterProgramMode()) {
        Finish(false);
        return;
    }
    const bool keep = Options().keepCalibration != 0;
    const auto source = ProgramSource();
    const Step outcome = ForEachBlock(source.size(), 1, [&](std::size_t i, std::size_t) {
        const std::uint16_t value =
            keep && i == params_.calibrationWordAddress ? *calibration : source[i];
        return WriteCellVerified(true, value) ? Step::Next : Step::Fail;
    });
    Finish(outcome == Step::Next);
}

void CPic12F629::CompareProgram() {
    CompareProgramBody(kWordMask, Options().skipCalibrationCompare != 0
                                      ? static_cast<std::ptrdiff_t>(params_.calibrationWordAddress)
                                      : -1);
}

void CPic12F629::WriteConfig() {
    ShowProgress(kTextWriteConfig);
    std::optional<std::uint16_t> saved;
    if (!ReadCalibration(nullptr, &saved) || !EnterProgramMode() || !LoadConfig(0)) {
        Finish(false);
        return;
    }
    const auto source = ConfigSource();
    const Step outcome = ForEachBlock(source.size(), 1, [&](std::size_t i, std::size_t) {
        bool ok = false;
        if (i < kUserIdCells) {
            ok = WriteCellVerified(true, source[i]);
        } else if (i == params_.configWordIndex) {
            // Bits 11:9 are not there and read 0, whatever the file asked for.
            ok = WriteCellUnder(true, ConfigWordValue(source[i], *saved),
                                kWordMask & params_.configWordBits);
        } else {
            ok = IncrementAddress(1);  // reserved and device ID: never written
        }
        return ok ? Step::Next : Step::Fail;
    });
    Finish(outcome == Step::Next);
}

void CPic12F629::WriteData() {
    ShowProgress(kTextWriteData);
    if (!EnterProgramMode()) {
        Finish(false);
        return;
    }
    const auto source = DataSource();
    const Step outcome = ForEachBlock(source.size(), 1, [&](std::size_t i, std::size_t) {
        return WriteCellVerified(false, source[i]) ? Step::Next : Step::Fail;
    });
    Finish(outcome == Step::Next);
}

bool CPic12F629::EraseProgramStep() {
    auto& link = Link();
    const auto& p = params_;
    if (Options().keepCalibration != 0) {
        std::optional<std::uint16_t> calibration;
        std::optional<std::uint16_t> config;
        if (!ReadCalibration(&calibration, &config) || !EnterProgramMode() || !LoadConfig(0)) {
            return false;
        }
        // A stop between the erase and the put-back would lose the calibration for good.
        const StopHeldBack held(link);
        if (!link.IcspCommandWait(p.bulkEraseProgram, p.eraseWait) ||
            !link.PowerOffVddFirstRetried() || !RestoreCalibration(calibration, config)) {
            return false;
        }
    } else if (!EnterProgramMode() || !LoadConfig(0) ||
               !link.IcspCommandWait(p.bulkEraseProgram, p.eraseWait)) {
        return false;
    }
    return ExitProgramMode();
}

std::optional<CDevice::CalibrationPlace> CPic12F629::CalibrationLocation() const {
    return CalibrationPlace{params_.calibrationWordAddress, params_.bandGapMask,
                            params_.configWordIndex};
}

void CPic12F629::ReadCalibrationBody() {
    std::optional<std::uint16_t> word;
    std::optional<std::uint16_t> config;
    const bool ok = ReadCalibration(&word, params_.bandGapMask != 0 ? &config : nullptr);
    if (ok && word) {
        CalibrationIo().word = *word;
        if (config) {
            CalibrationIo().bandGap = static_cast<std::uint16_t>(*config & params_.bandGapMask);
        }
    }
    Finish(ok);
}

void CPic12F629::WriteCalibrationBody() {
    const CalibrationValues values = CalibrationIo();
    bool ok = false;
    {
        const StopHeldBack held(Link());
        ok = RestoreCalibration(values.word, values.bandGap);
    }
    Finish(ok);
}

bool CPic12F629::EraseDataStep() {
    const auto& p = params_;
    return EnterProgramMode() && Link().IcspCommandWait(p.bulkEraseData, p.eraseWait) &&
           ExitProgramMode();
}

}  // namespace tenlo
