#include "device/midrange/pic16f54.h"

#include <algorithm>
#include <array>
#include <span>

#include "device/midrange/verified_cell.h"
#include "device/progress_texts.h"

namespace tenlo {

CPic16F54::CPic16F54(CProgrammerLink& link, DeviceOptions* options, IProgressDisplay* progress,
                     const DeviceLayout& layout, const MidRangeParams& params)
    : CPic16F84A(link, options, progress, layout, params) {}

std::uint16_t CPic16F54::WordMask() const {
    return static_cast<std::uint16_t>(kWordMask & BlankValueForWidth(layout_.programWidth));
}

bool CPic16F54::WriteWordVerified(std::uint16_t value, std::uint16_t mask) {
    auto& link = Link();
    const auto& p = params_;
    const auto cycle = [&] {
        return link.IcspTimedProgram(p.beginProgramming, p.endProgramming, p.programWait);
    };
    return ProgramCellVerified(link, p.loadDataProgram, p.readDataProgram, mask, value, p.retries,
                               cycle) &&
           IncrementAddress(1);
}

void CPic16F54::WriteConfig() {
    ShowProgress(kTextWriteConfig);
    const auto source = ConfigSource();
    // The configuration word goes in unchanged: no protect-off mask on these parts.
    const bool ok = !source.empty() && EnterProgramMode() &&
                    WriteWordVerified(source[0], kWordMask & params_.configWordBits) &&
                    ExitProgramMode();
    Finish(ok);
}

void CPic16F54::CompareConfig() {
    CompareResult& out = CompareOut();
    ClearResult(out);
    std::array<std::uint16_t, 1> read{};
    const auto source = ConfigSource();
    const std::size_t count = std::min<std::size_t>(layout_.configCount, read.size());
    if (source.empty() || !EnterProgramMode() || !ReadProgramWords(std::span(read).first(count))) {
        Finish(false);
        return;
    }
    Finish(true);
    const std::uint32_t mask =
        BlankValueForWidth(layout_.configWidth) & ConfigWordCompareBits(params_, source[0]);
    if (!ReportFirstDifference(std::span(read).first(count), source.first(count), mask,
                               layout_.configStart, out)) {
        ReportMatch(out);
    }
}

bool CPic16F54::EraseAllStep() {
    return EraseProgramStep();
}

bool CPic16F54::EraseProgramStep() {
    // Past the last program word the address reaches the first user ID; a bulk erase from
    // there clears the IDs as well.
    const auto& p = params_;
    return EnterProgramMode() && IncrementAddress(1) && IncrementAddress(layout_.programSize) &&
           Link().IcspCommandWait(p.bulkEraseProgram, p.eraseWait) && ExitProgramMode();
}

bool CPic16F54::PrepareProgramWrite() {
    const auto& p = params_;
    return IncrementAddress(1) &&
           Link().SetWriteSequence(p.loadDataProgram, p.beginProgramming, p.endProgramming,
                                   p.readDataProgram, p.retries, p.programWait, true);
}

bool CPic16F54::PrepareProgramRead() {
    return IncrementAddress(1);
}

bool CPic16F54::PrepareConfigWrite() {
    return true;
}

bool CPic16F54::PrepareConfigRead() {
    return true;
}

}  // namespace tenlo
