#include "device/midrange/pic16f84a.h"

#include <algorithm>
#include <vector>

#include "device/progress_texts.h"

namespace tenlo {

namespace {
// Undocumented ICSP commands that, around a begin-programming cycle at 0x2007, clear code
// protection together with everything it protects.
constexpr std::uint8_t kProtectClear1 = 1;
constexpr std::uint8_t kProtectClear2 = 7;
}  // namespace

CPic16F84A::CPic16F84A(CProgrammerLink& link, DeviceOptions* options, IProgressDisplay* progress)
    : CMidRangeDevice(link, options, progress) {
    layout_ = DefaultLayout();
    params_ = DefaultParams();
}

CPic16F84A::CPic16F84A(CProgrammerLink& link, DeviceOptions* options, IProgressDisplay* progress,
                       const DeviceLayout& layout, const MidRangeParams& params)
    : CPic16F84A(link, options, progress) {
    layout_ = layout;
    params_ = params;
}

DeviceLayout CPic16F84A::DefaultLayout() {
    DeviceLayout layout = CMidRangeDevice::DefaultLayout();
    layout.name = "PIC16F84A";
    layout.deviceId = 0x0540;
    layout.programSize = 1024;
    layout.dataSize = 64;
    return layout;
}

MidRangeParams CPic16F84A::DefaultParams() {
    MidRangeParams params;
    params.programWait = 100;
    params.retries = 10;
    params.protectOffMask = 0x3FF0;
    params.eraseWait = 100;
    return params;
}

// ---- Operation bodies ----

void CPic16F84A::ReadProgram() {
    if (!OpenBody(kTextReadProgram, &CPic16F84A::PrepareProgramRead)) {
        return;
    }
    Finish(ReadProgramBlocks(ProgramTarget()) == Step::Next);
}

bool CPic16F84A::OpenBody(std::string_view text, bool (CPic16F84A::*prepare)()) {
    ShowProgress(text);
    if (!EnterProgramMode() || !(this->*prepare)()) {
        Finish(false);
        return false;
    }
    return true;
}

template <class Cell, class WriteBlock>
bool CPic16F84A::WriteInBlocks(std::span<const Cell> source, WriteBlock writeBlock) {
    return ForEachBlock(source.size(), kWriteBlock, [&](std::size_t start, std::size_t count) {
               return writeBlock(source.subspan(start, count)) ? Step::Next : Step::Fail;
           }) == Step::Next;
}

void CPic16F84A::WriteProgram() {
    if (!OpenBody(kTextWriteProgram, &CPic16F84A::PrepareProgramWrite)) {
        return;
    }
    Finish(WriteInBlocks(ProgramSource(), [this](std::span<const std::uint16_t> words) {
        return WriteProgramBlock(words);
    }));
}

void CPic16F84A::CompareProgram() {
    CompareProgramBody(kWordMask, -1);
}

void CPic16F84A::CompareProgramBody(std::uint32_t mask, std::ptrdiff_t skipAddress) {
    CompareResult& out = CompareOut();
    ClearResult(out);
    if (!OpenBody(kTextCompareProgram, &CPic16F84A::PrepareProgramRead)) {
        return;
    }
    FinishCompare(CompareProgramBlocks(ProgramSource(), mask, out, skipAddress), out);
}

void CPic16F84A::WriteConfig() {
    if (!EnterProgramMode() || !PrepareConfigWrite()) {
        Finish(false);
        return;
    }
    ShowProgress(kTextWriteConfig);
    const auto source = ConfigSource();
    for (std::size_t i = 0; i < source.size(); ++i) {
        AtCell(i);
        bool ok = false;
        if (i < kUserIdCells) {
            ok = WriteConfigWord(source[i]);
        } else if (i == kConfigWordCell) {
            // The firmware reads the word back under 14 bits; bits the chip lacks read 1 on
            // these parts, so they go as 1 whatever the file holds.
            const auto absent = static_cast<std::uint16_t>(kWordMask & ~params_.configWordBits);
            ok = WriteConfigWord(
                static_cast<std::uint16_t>(source[i] | params_.protectOffMask | absent));
        } else {
            ok = IncrementAddress(1);  // reserved, device ID, calibration: never written
        }
        if (!ok) {
            Finish(false);
            return;
        }
        SetProgress(Percent(i, source.size()));
    }
    Finish(true);
}

void CPic16F84A::ReadConfig() {
    if (!EnterProgramMode() || !PrepareConfigRead()) {
        Finish(false);
        return;
    }
    ShowProgress(kTextReadConfig);
    Finish(ReadProgramWords(ConfigTarget()));
}

void CPic16F84A::CompareConfig() {
    CompareResult& out = CompareOut();
    ClearResult(out);
    std::vector<std::uint16_t> read(layout_.configCount, 0);
    const CellSpan target = readConfigTarget_;
    readConfigTarget_ = std::span(read);
    ReadConfig();  // finishes the operation itself
    readConfigTarget_ = target;
    if (!LastResult()) {
        return;
    }
    // Only the user IDs and the configuration word are compared. The image may hold bits above
    // the word width (HEX files are loaded unmasked); the chip cannot store them, so they are
    // not a difference, and neither is protection the write left off.
    const std::uint32_t widthMask = BlankValueForWidth(layout_.configWidth);
    const std::span<const std::uint16_t> source = ConfigSource();
    const std::span<const std::uint16_t> got(read);
    const std::size_t cells = std::min(got.size(), source.size());
    const std::size_t ids = std::min(cells, kUserIdCells);
    if (ReportFirstDifference(got.first(ids), source.first(ids), widthMask, layout_.configStart,
                              out)) {
        return;
    }
    if (cells > kConfigWordCell &&
        ReportFirstDifference(got.subspan(kConfigWordCell, 1), source.subspan(kConfigWordCell, 1),
                              widthMask & ConfigWordCompareBits(params_, source[kConfigWordCell]),
                              layout_.configStart + static_cast<std::uint32_t>(kConfigWordCell),
                              out)) {
        return;
    }
    ReportMatch(out);
}

void CPic16F84A::WriteData() {
    if (!OpenBody(kTextWriteData, &CPic16F84A::PrepareDataWrite)) {
        return;
    }
    Finish(WriteInBlocks(DataSource(), [this](std::span<const std::uint8_t> bytes) {
        return WriteDataBlock(bytes);
    }));
}

void CPic16F84A::ReadData() {
    if (!OpenBody(kTextReadData, &CPic16F84A::PrepareDataRead)) {
        return;
    }
    Finish(ReadDataBlocks(DataTarget()) == Step::Next);
}

void CPic16F84A::CompareData() {
    CompareResult& out = CompareOut();
    ClearResult(out);
    if (!OpenBody(kTextCompareData, &CPic16F84A::PrepareDataRead)) {
        return;
    }
    FinishCompare(CompareDataBlocks(DataSource(), out), out);
}

void CPic16F84A::Erase() {
    Finish(EraseAllStep());
}

bool CPic16F84A::EraseProgram() {
    Finish(EraseProgramStep());
    return LastResult();
}

bool CPic16F84A::EraseData() {
    Finish(EraseDataStep());
    return LastResult();
}

// ---- Steps ----

bool CPic16F84A::EraseAllStep() {
    return EraseProgramStep() && EraseDataStep();
}

bool CPic16F84A::EraseProgramStep() {
    auto& link = Link();
    const auto& p = params_;
    // Code protection first (at 0x2007, with the configuration word), then a power cycle back
    // to address 0 and the plain program-memory erase.
    return EnterProgramMode() && LoadConfig(0x3FFF) && IncrementAddress(7) &&
           link.IcspCommand(kProtectClear1) && link.IcspCommand(kProtectClear2) &&
           link.IcspCommandWait(p.beginProgramming, p.eraseWait) &&
           link.IcspCommand(kProtectClear1) && link.IcspCommand(kProtectClear2) &&
           link.PowerOffVddFirstRetried() && link.PowerOnVddFirst() &&
           link.IcspLoad(p.loadDataProgram, 0xFFFF) && link.IcspCommand(p.bulkEraseProgram) &&
           link.IcspCommandWait(p.beginProgramming, p.eraseWait) && ExitProgramMode();
}

bool CPic16F84A::EraseDataStep() {
    auto& link = Link();
    const auto& p = params_;
    return EnterProgramMode() && link.IcspLoad(p.loadDataData, 0xFFFF) &&
           link.IcspCommand(p.bulkEraseData) &&
           link.IcspCommandWait(p.beginProgramming, p.eraseWait) && ExitProgramMode();
}

bool CPic16F84A::PrepareProgramWrite() {
    const auto& p = params_;
    return Link().SetWriteSequence(p.loadDataProgram, p.beginProgrammingOnly, -1, p.readDataProgram,
                                   p.retries, p.programWait, true);
}

bool CPic16F84A::PrepareProgramRead() {
    return true;
}

bool CPic16F84A::WriteProgramBlock(std::span<const std::uint16_t> words) {
    return Link().ProgramWords(words.data(), static_cast<int>(words.size()));
}

bool CPic16F84A::PrepareConfigWrite() {
    return LoadConfig(0) && PrepareProgramWrite();
}

bool CPic16F84A::PrepareConfigRead() {
    return LoadConfig(0);
}

bool CPic16F84A::WriteConfigWord(std::uint16_t word) {
    return Link().ProgramWords(&word, 1);
}

bool CPic16F84A::PrepareDataWrite() {
    const auto& p = params_;
    return Link().SetWriteSequence(p.loadDataData, p.beginProgrammingOnly, -1, p.readDataData,
                                   p.retries, p.programWait, false);
}

bool CPic16F84A::PrepareDataRead() {
    return true;
}

bool CPic16F84A::WriteDataBlock(std::span<const std::uint8_t> bytes) {
    return Link().ProgramBytes(bytes.data(), static_cast<int>(bytes.size()));
}

}  // namespace tenlo
