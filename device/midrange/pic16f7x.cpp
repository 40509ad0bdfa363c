#include "device/midrange/pic16f7x.h"

#include "device/progress_texts.h"

namespace tenlo {

namespace {
constexpr std::uint32_t kIdToConfigWord = 3;  // 0x2004 on to 0x2007
}  // namespace

CPic16F7x::CPic16F7x(CProgrammerLink& link, DeviceOptions* options, IProgressDisplay* progress,
                     const DeviceLayout& layout, const MidRangeParams& params)
    : CPic16F84A(link, options, progress, layout, params) {}

bool CPic16F7x::WritePair(std::uint16_t first, std::uint16_t second) {
    auto& link = Link();
    const auto& p = params_;
    return link.IcspLoad(p.loadDataProgram, first) && IncrementAddress(1) &&
           link.IcspLoad(p.loadDataProgram, second) &&
           link.IcspTimedProgram(p.beginProgramming, p.endProgramming, p.programWait) &&
           IncrementAddress(1);
}

void CPic16F7x::WriteProgram() {
    if (!EnterProgramMode()) {
        Finish(false);
        return;
    }
    ShowProgress(kTextWriteProgram);
    const auto source = ProgramSource();
    const Step outcome = ForEachBlock(source.size(), 2, [&](std::size_t start, std::size_t count) {
        // Every catalogued size is even; an odd tail would pair with a blank word.
        const std::uint16_t second = count > 1 ? source[start + 1] : kWordMask;
        return WritePair(source[start], second) ? Step::Next : Step::Fail;
    });
    Finish(outcome == Step::Next);
}

void CPic16F7x::WriteConfig() {
    const auto source = ConfigSource();
    if (source.size() <= kConfigWordCell || !EnterProgramMode() || !LoadConfig(0)) {
        Finish(false);
        return;
    }
    ShowProgress(kTextWriteConfig);
    const auto& p = params_;
    const auto word = static_cast<std::uint16_t>(source[kConfigWordCell] | p.protectOffMask);
    const bool ok = WritePair(source[0], source[1]) && WritePair(source[2], source[3]) &&
                    IncrementAddress(kIdToConfigWord) && Link().IcspLoad(p.loadDataProgram, word) &&
                    Link().IcspTimedProgram(p.beginProgramming, p.endProgramming, p.programWait);
    Finish(ok);
}

bool CPic16F7x::EraseAllStep() {
    return EraseProgramStep();
}

bool CPic16F7x::EraseProgramStep() {
    auto& link = Link();
    const auto& p = params_;
    if (!EnterProgramMode() || !LoadConfig(0) ||
        !link.IcspCommandWait(p.chipErase, p.longEraseWait)) {
        return false;
    }
    // One wait byte cannot cover the erase time.
    for (int i = 0; i < kEraseWaitRepeats; ++i) {
        if (!link.Wait(p.longEraseWait)) {
            return false;
        }
    }
    return ExitProgramMode();
}

}  // namespace tenlo
