#include "device/midrange/pic16f87xa.h"

#include <algorithm>
#include <array>

#include "device/progress_texts.h"

namespace tenlo {

namespace {
constexpr std::uint32_t kIdEndToConfigWord = 3;  // 0x2004 on to 0x2007
}  // namespace

CPic16F87xA::CPic16F87xA(CProgrammerLink& link, DeviceOptions* options, IProgressDisplay* progress,
                         const DeviceLayout& layout, const MidRangeParams& params)
    : CPic16F87xA(link, options, progress, layout, params, false) {}

CPic16F87xA::CPic16F87xA(CProgrammerLink& link, DeviceOptions* options, IProgressDisplay* progress,
                         const DeviceLayout& layout, const MidRangeParams& params, bool timedCycle)
    : CPic16F84A(link, options, progress, layout, params), timedCycle_(timedCycle) {}

bool CPic16F87xA::ProgramCycle() {
    const auto& p = params_;
    if (timedCycle_) {
        return Link().IcspTimedProgram(p.beginProgrammingOnly, p.endProgramming, p.programWait);
    }
    return Link().IcspCommandWait(p.beginProgramming, p.programWait);
}

bool CPic16F87xA::PrepareProgramWrite() {
    const auto& p = params_;
    if (timedCycle_) {
        return Link().SetWriteSequence(p.loadDataProgram, p.beginProgrammingOnly, p.endProgramming,
                                       p.readDataProgram, p.retries, p.programWait, true);
    }
    return Link().SetWriteSequence(p.loadDataProgram, p.beginProgramming, -1, p.readDataProgram,
                                   p.retries, p.programWait, true);
}

bool CPic16F87xA::PrepareDataWrite() {
    const auto& p = params_;
    return Link().SetWriteSequence(p.loadDataData, p.beginProgramming, -1, p.readDataData,
                                   p.retries, p.dataWait, false);
}

bool CPic16F87xA::WriteProgramBlock(std::span<const std::uint16_t> words) {
    return Link().LoadWords(words.data(), static_cast<int>(words.size())) && ProgramCycle() &&
           IncrementAddress(1);
}

void CPic16F87xA::WriteProgram() {
    ShowProgress(kTextWriteProgram);
    const std::size_t row = params_.rowSize;
    if (row == 0 || !EnterProgramMode() || !PrepareProgramWrite()) {
        Finish(false);
        return;
    }
    const auto source = ProgramSource();
    const Step written = ForEachBlock(source.size(), row, [&](std::size_t start, std::size_t n) {
        const auto words = source.subspan(start, n);
        // A word that programs as blank is blank, whatever bits above 14 the image holds.
        const bool blank = std::ranges::all_of(
            words, [](std::uint16_t w) { return (w & kWordMask) == kWordMask; });
        const bool ok =
            blank ? IncrementAddress(static_cast<std::uint32_t>(n)) : WriteProgramBlock(words);
        return ok ? Step::Next : Step::Fail;
    });
    if (written != Step::Next || !ExitProgramMode() || !EnterProgramMode()) {
        Finish(false);
        return;
    }
    StartVerifyPass(kTextVerifyProgram);
    SetProgress(0);
    CompareResult verdict;
    Finish(CompareProgramBlocks(source, kWordMask, verdict) == Step::Next);
}

void CPic16F87xA::WriteConfig() {
    const auto source = ConfigSource();
    if (source.size() <= kConfigWordCell || !EnterProgramMode() || !LoadConfig(0)) {
        Finish(false);
        return;
    }
    ShowProgress(kTextWriteConfig);
    const auto word = static_cast<std::uint16_t>(source[kConfigWordCell] | params_.protectOffMask);
    const auto ids = source.first(kUserIdCount);
    // Where the configuration word shares its latch row with the user IDs (rows of 8), its cycle
    // may program or rewrite the whole row: the read-back left 0 in the first latch, so the IDs
    // go back into their latches first and come out of that cycle as written.
    const bool idsInTheRow = params_.rowSize > kConfigWordCell;
    Finish(WriteIdRow(ids) &&
           (idsInTheRow ? LoadIdLatches(ids) : IncrementAddress(kIdEndToConfigWord)) &&
           WriteConfigWordVerified(word));
}

bool CPic16F87xA::LoadIdLatches(std::span<const std::uint16_t> ids) {
    const std::uint8_t load = params_.loadDataProgram;
    if (ids.size() != kUserIdCount || !LoadConfig(ids[0])) {
        return false;
    }
    for (std::size_t i = 1; i < ids.size(); ++i) {
        if (!IncrementAddress(1) || !Link().IcspLoad(load, ids[i])) {
            return false;
        }
    }
    return IncrementAddress(kIdEndToConfigWord + 1);  // 0x2003 on to 0x2007
}

bool CPic16F87xA::WriteIdRow(std::span<const std::uint16_t> ids) {
    auto& link = Link();
    const auto& p = params_;
    if (ids.size() != kUserIdCount) {
        return false;
    }
    for (std::size_t i = 0; i + 1 < ids.size(); ++i) {
        if (!link.IcspLoad(p.loadDataProgram, ids[i]) || !IncrementAddress(1)) {
            return false;
        }
    }
    std::array<std::uint16_t, kUserIdCount> read{};
    if (!link.IcspLoad(p.loadDataProgram, ids.back()) || !ProgramCycle() || !LoadConfig(0) ||
        !ReadProgramWords(read)) {
        return false;
    }
    return std::ranges::equal(read, ids, [](std::uint16_t r, std::uint16_t e) {
        return (r & kWordMask) == (e & kWordMask);
    });
}

bool CPic16F87xA::WriteConfigWordVerified(std::uint16_t value) {
    std::array<std::uint16_t, 1> read{};
    const std::uint16_t mask = kWordMask & params_.configWordBits;
    return Link().IcspLoad(params_.loadDataProgram, value) && ProgramCycle() &&
           ReadProgramWords(read) && (read[0] & mask) == (value & mask);
}

bool CPic16F87xA::EraseAllStep() {
    const auto& p = params_;
    return EnterProgramMode() && Link().IcspCommandWait(p.chipErase, p.eraseWait) &&
           ExitProgramMode();
}

bool CPic16F87xA::EraseProgramStep() {
    auto& link = Link();
    const auto& p = params_;
    return EnterProgramMode() && LoadConfig(0) && IncrementAddress(7) &&
           link.IcspCommand(p.bulkEraseProgram) &&
           link.IcspCommandWait(p.beginProgramming, p.eraseWait) && ExitProgramMode();
}

bool CPic16F87xA::EraseDataStep() {
    auto& link = Link();
    const auto& p = params_;
    return EnterProgramMode() && link.IcspCommand(p.bulkEraseData) &&
           link.IcspCommandWait(p.beginProgramming, p.eraseWait) && ExitProgramMode();
}

}  // namespace tenlo
