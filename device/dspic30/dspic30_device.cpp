#include "device/dspic30/dspic30_device.h"

#include <algorithm>
#include <type_traits>
#include <vector>

#include "device/progress_texts.h"

namespace tenlo {

namespace {

// Every sequence starts by leaving the reset vector: two NOPs, GOTO 0x100, NOP.
constexpr std::array<std::uint32_t, 4> kResetPrefix{0x000000, 0x000000, 0x040100, 0x000000};

// The instructions the sequences are made of.
constexpr std::uint32_t kMovW0ToTblpag = 0x880190;  // MOV W0, TBLPAG
constexpr std::uint32_t kClrW6 = 0xEB0300;
constexpr std::uint32_t kClrW7 = 0xEB0380;
constexpr std::uint32_t kMovZeroToW7 = 0x200007;        // MOV #0, W7: the first register
constexpr std::uint32_t kMovConfigPageToW0 = 0x200F80;  // MOV #0xF8, W0
constexpr std::uint32_t kMovDataPageToW0 = 0x2007F0;    // MOV #0x7F, W0
constexpr std::uint32_t kMovIdPageToW0 = 0x200FF0;      // MOV #0xFF, W0
constexpr std::uint32_t kMovBulkEraseToW10 = 0x2407FA;  // MOV #0x407F, W10
constexpr std::uint32_t kMovW10ToNvmcon = 0x883B0A;     // MOV W10, NVMCON

// MOV #lit16, Wd.
constexpr std::uint32_t MovToW(std::uint32_t literal, std::uint32_t reg) {
    return 0x200000 | (literal & 0xFFFF) << 4 | reg;
}
// MOV #(address bits 23:16), W0.
constexpr std::uint32_t MovPageToW0(std::uint32_t address) {
    return 0x200000 | ((address >> 12) & 0xFF0);
}
constexpr std::uint32_t kW6 = 6;

// 28-pin packages take another option byte than the 18- and 40-pin ones.
constexpr std::uint8_t kOption28Pin = 15;
constexpr std::uint8_t kOptionOther = 7;
constexpr std::int32_t kPins28 = 28;

constexpr int kEraseSteps = 6;

constexpr CDsPic30Device::ConfigTable kKeep3012{0xC71F, 0x803F, 0x87B3, 0x310F,
                                                0x330F, 0x0007, 0xC003};
constexpr CDsPic30Device::ConfigTable kKeep4012{0xC30F, 0x803F, 0x87B3, 0x310F,
                                                0x330F, 0x0007, 0xC003};
constexpr CDsPic30Device::ConfigTable kForced3012{0x0000, 0x0000, 0x0700, 0x310F,
                                                  0x330F, 0x0004, 0x0000};
constexpr CDsPic30Device::ConfigTable kForced3010{0x0000, 0x0000, 0x0000, 0x310F,
                                                  0x330F, 0x0004, 0x0000};
constexpr CDsPic30Device::ConfigTable kEraseDefaults{0xC100, 0x803F, 0x87B3, 0x310F,
                                                     0x330F, 0x0007, 0xC003};

// The blocks of an opened row, then the commit that writes it.
template <typename Cell>
bool SendRow(CProgrammerLink& link, std::span<const Cell> cells, std::size_t block,
             bool (CProgrammerLink::*send)(const Cell*)) {
    for (std::size_t i = 0; i < cells.size(); i += block) {
        if (!(link.*send)(&cells[i])) {
            return false;
        }
    }
    return link.DsCommitWrite();
}

template <typename T>
std::span<T> Cut(CellSpan cells, std::size_t count) {
    const auto typed = cells.As<std::remove_const_t<T>>();
    return typed.first(std::min(count, typed.size()));
}

}  // namespace

CDsPic30Device::CDsPic30Device(CProgrammerLink& link, DeviceOptions* options,
                               IProgressDisplay* progress, const DeviceLayout& layout,
                               DeviceFamily group, const ChipConfig* config)
    : CDevice(link, options, progress),
      tables_(TablesFor(group).value_or(*TablesFor(DeviceFamily::DsPic30Group3012))),
      implemented_(tables_.keepMask) {
    layout_ = layout;
    if (config != nullptr) {
        for (std::size_t reg = 0; reg < kConfigRegisters; ++reg) {
            const ConfigWord* word = config->WordAt(reg);
            implemented_[reg] =
                static_cast<std::uint16_t>(word != nullptr ? word->Implemented() : 0);
        }
    }
}

DeviceLayout CDsPic30Device::DefaultLayout() {
    DeviceLayout layout;
    layout.programWidth = 24;
    layout.configWidth = 16;
    layout.dataWidth = 8;
    layout.configStart = kConfigStart;
    layout.configCount = kConfigRegisters;
    DeriveLayout(layout);
    return layout;
}

void CDsPic30Device::DeriveLayout(DeviceLayout& layout) {
    layout.dataStart = kDataEnd - layout.dataSize;
    layout.programGrid = {6, 24, layout.programStart, 6, 1, 0, 50, 60, 0, 8};
    layout.configGrid = {4, 16, kConfigStart, 6, 1, 0, 50, 60, 100, 8};
    layout.dataGrid = {2, 8, layout.dataStart, 6, 1, 1, 50, 30, 100, 8};
}

std::optional<CDsPic30Device::ConfigTables> CDsPic30Device::TablesFor(DeviceFamily group) {
    switch (group) {
        case DeviceFamily::DsPic30Group3012:
            return ConfigTables{kKeep3012, kForced3012, kEraseDefaults};
        case DeviceFamily::DsPic30Group3010:
            return ConfigTables{kKeep3012, kForced3010, kEraseDefaults};
        case DeviceFamily::DsPic30Group4012:
            return ConfigTables{kKeep4012, kForced3010, kEraseDefaults};
        default:
            return std::nullopt;
    }
}

bool CDsPic30Device::Initialize() {
    DeriveLayout(layout_);
    // The socket may still be powered from whatever ran before; a dsPIC30F starts from off.
    // False when no answer to the power-off came: the socket may still be powered.
    return NotePowerDown(Link().PowerOffVppFirstRetried(), false);
}

std::uint16_t CDsPic30Device::ConfigValue(std::size_t reg, std::uint32_t cell) const {
    if (reg >= kConfigRegisters) {
        return 0;
    }
    return static_cast<std::uint16_t>((tables_.forcedBits[reg] | cell) & tables_.keepMask[reg]);
}

std::vector<WrittenCell> CDsPic30Device::WrittenCells(Memory memory) const {
    std::vector<WrittenCell> cells = CDevice::WrittenCells(memory);
    for (WrittenCell& cell : cells) {
        cell.replaced = memory != Memory::Program;
        if (memory == Memory::Config && cell.index < kConfigRegisters) {
            cell.setBits = tables_.forcedBits[cell.index];
            cell.mask &= tables_.keepMask[cell.index] & implemented_[cell.index];
        }
    }
    return cells;
}

std::optional<CDevice::DeviceIdPlace> CDsPic30Device::DeviceIdLocation() const {
    return DeviceIdPlace{kDeviceIdAddress, 0xFFFF};
}

void CDsPic30Device::ReadDeviceId() {
    std::uint16_t id = 0;
    const bool ok = EnterProgramMode() && Execute({kMovIdPageToW0, kMovW0ToTblpag, kClrW6}) &&
                    Link().DsReadWord(&id);
    DeviceIdRead() = id;
    Finish(ok);
}

// ---- Operation bodies ----

bool CDsPic30Device::OpenBody(std::string_view text, const std::function<bool()>& prepare) {
    ShowProgress(text);
    if (!EnterProgramMode() || !prepare()) {
        Finish(false);
        return false;
    }
    return true;
}

void CDsPic30Device::FinishCompare(Step outcome, CompareResult& out) {
    if (outcome == Step::Next) {
        ReportMatch(out);
    } else if (outcome == Step::Fail) {
        ClearResult(out);
    }
    Finish(outcome != Step::Fail);
}

void CDsPic30Device::ReadProgram() {
    const std::uint32_t start = 2 * layout_.programStart;
    if (!OpenBody(kTextReadProgram, [&] { return SetProgramReadAddress(start); })) {
        return;
    }
    const auto target = ProgramTarget();
    Finish(ForEachBlock(target.size(), kProgramBlock, [&](std::size_t first, std::size_t n) {
               std::array<std::uint32_t, kProgramBlock> words{};
               if (!ReadProgram4(words)) {
                   return Step::Fail;
               }
               std::copy_n(words.begin(), n, target.begin() + static_cast<std::ptrdiff_t>(first));
               return Step::Next;
           }) == Step::Next);
}

void CDsPic30Device::WriteProgram() {
    if (!OpenBody(kTextWriteProgram, [this] { return PrepareProgramWrite(); })) {
        return;
    }
    const auto source = ProgramSource();
    Finish(ForEachBlock(source.size(), kProgramRow, [&](std::size_t first, std::size_t n) {
               // A short last row is filled up with erased instructions, which change nothing.
               std::array<std::uint32_t, kProgramRow> row{};
               row.fill(kInstructionMask);
               std::copy_n(source.begin() + static_cast<std::ptrdiff_t>(first), n, row.begin());
               const auto address = static_cast<std::uint32_t>(2 * (layout_.programStart + first));
               return WriteProgramRow(address, row) ? Step::Next : Step::Fail;
           }) == Step::Next);
}

void CDsPic30Device::CompareProgram() {
    CompareResult& out = CompareOut();
    ClearResult(out);
    const std::uint32_t start = 2 * layout_.programStart;
    if (!OpenBody(kTextCompareProgram, [&] { return SetProgramReadAddress(start); })) {
        return;
    }
    const auto source = ProgramSource();
    FinishCompare(ForEachBlock(source.size(), kProgramBlock,
                               [&](std::size_t first, std::size_t n) {
                                   std::array<std::uint32_t, kProgramBlock> words{};
                                   if (!ReadProgram4(words)) {
                                       return Step::Fail;
                                   }
                                   // The image may hold bits above the 24 a cell keeps (a HEX
                                   // file's phantom byte); the chip cannot store them, so they are
                                   // no difference.
                                   return ReportFirstDifference(
                                              std::span(words).first(n), source.subspan(first, n),
                                              kInstructionMask, static_cast<std::uint32_t>(first),
                                              out)
                                              ? Step::Stop
                                              : Step::Next;
                               }),
                  out);
}

void CDsPic30Device::WriteConfig() {
    if (!OpenBody(kTextWriteConfigShort, [this] { return PrepareConfigWrite(); })) {
        return;
    }
    const auto source = ConfigSource();
    for (std::size_t i = 0; i < source.size(); ++i) {
        if (!WriteConfigWord(ConfigValue(i, source[i]))) {
            Finish(false);
            return;
        }
        SetProgress(Percent(i, source.size()));
    }
    Finish(true);
}

void CDsPic30Device::ReadConfig() {
    if (!OpenBody(kTextReadConfigShort, [this] { return PrepareConfigRead(); })) {
        return;
    }
    const auto target = ConfigTarget();
    for (std::size_t i = 0; i < target.size(); ++i) {
        if (!ReadConfigWord(target[i])) {
            Finish(false);
            return;
        }
        SetProgress(Percent(i, target.size()));
    }
    Finish(true);
}

void CDsPic30Device::CompareConfig() {
    CompareResult& out = CompareOut();
    ClearResult(out);
    if (!OpenBody(kTextCompareConfigShort, [this] { return PrepareConfigRead(); })) {
        return;
    }
    const auto source = ConfigSource();
    for (std::size_t i = 0; i < source.size(); ++i) {
        std::uint16_t read = 0;
        if (!ReadConfigWord(read)) {
            ClearResult(out);
            Finish(false);
            return;
        }
        const std::uint16_t bits = i < kConfigRegisters ? implemented_[i] : 0;
        const std::uint16_t expected = ConfigValue(i, source[i]) & bits;
        if ((read & bits) != expected) {
            out.done = 1;
            out.match = 0;
            out.address = layout_.configStart + static_cast<std::uint32_t>(i);
            out.expected = expected;
            out.read = read & bits;
            Finish(true);
            return;
        }
    }
    ReportMatch(out);
    Finish(true);
}

void CDsPic30Device::WriteData() {
    if (!OpenBody(kTextWriteData, [this] { return PrepareDataWrite(); })) {
        return;
    }
    const auto source = DataSource();
    Finish(ForEachBlock(source.size(), kDataRow, [&](std::size_t first, std::size_t n) {
               std::array<std::uint8_t, kDataRow> row{};
               row.fill(0xFF);
               std::copy_n(source.begin() + static_cast<std::ptrdiff_t>(first), n, row.begin());
               const auto address = layout_.dataStart + static_cast<std::uint32_t>(first);
               return WriteDataRow(address, row) ? Step::Next : Step::Fail;
           }) == Step::Next);
}

void CDsPic30Device::ReadData() {
    if (!OpenBody(kTextReadData, [this] { return SetDataReadAddress(layout_.dataStart); })) {
        return;
    }
    const auto target = DataTarget();
    Finish(ForEachBlock(target.size(), kDataBlock, [&](std::size_t first, std::size_t n) {
               std::array<std::uint8_t, kDataBlock> bytes{};
               if (!ReadData8(bytes)) {
                   return Step::Fail;
               }
               std::copy_n(bytes.begin(), n, target.begin() + static_cast<std::ptrdiff_t>(first));
               return Step::Next;
           }) == Step::Next);
}

void CDsPic30Device::CompareData() {
    CompareResult& out = CompareOut();
    ClearResult(out);
    if (!OpenBody(kTextCompareData, [this] { return SetDataReadAddress(layout_.dataStart); })) {
        return;
    }
    const auto source = DataSource();
    FinishCompare(
        ForEachBlock(source.size(), kDataBlock,
                     [&](std::size_t first, std::size_t n) {
                         std::array<std::uint8_t, kDataBlock> bytes{};
                         if (!ReadData8(bytes)) {
                             return Step::Fail;
                         }
                         const auto base = layout_.dataStart + static_cast<std::uint32_t>(first);
                         return ReportFirstDifference(std::span(bytes).first(n),
                                                      source.subspan(first, n), 0xFF, base, out)
                                    ? Step::Stop
                                    : Step::Next;
                     }),
        out);
}

void CDsPic30Device::Erase() {
    ShowProgress(kTextErase);
    // The chip is erased whole, then powered up afresh to take the default configuration.
    using StepFn = bool (CDsPic30Device::*)();
    constexpr std::array<StepFn, kEraseSteps> kSteps{
        &CDsPic30Device::EnterProgramMode,   &CDsPic30Device::BulkErase,
        &CDsPic30Device::ExitProgramMode,    &CDsPic30Device::EnterProgramMode,
        &CDsPic30Device::WriteEraseDefaults, &CDsPic30Device::ExitProgramMode};
    for (int step = 0; step < kEraseSteps; ++step) {
        if (!(this->*kSteps[static_cast<std::size_t>(step)])()) {
            Finish(false);
            return;
        }
        SetProgress(100 * (step + 1) / kEraseSteps);
    }
    Finish(true);
}

// ---- Steps ----

bool CDsPic30Device::Execute(std::initializer_list<std::uint32_t> instructions) {
    std::vector<std::uint32_t> all(kResetPrefix.begin(), kResetPrefix.end());
    all.insert(all.end(), instructions.begin(), instructions.end());
    return Link().DsSix(all.data(), static_cast<int>(all.size()));
}

bool CDsPic30Device::EnterProgramMode() {
    auto& link = Link();
    const std::uint8_t option = layout_.pinCount == kPins28 ? kOption28Pin : kOptionOther;
    return link.PowerOffVddFirstRetried() && link.SetOption(option) && link.PowerOnVddFirst();
}

bool CDsPic30Device::ExitProgramMode() {
    return Link().PowerOffVddFirstRetried();
}

void CDsPic30Device::Finish(bool result) {
    // Power down whatever happened before.
    const bool off = NotePowerDown(ExitProgramMode(), result);
    CDevice::Finish(result && off);
}

bool CDsPic30Device::BulkErase() {
    return Execute({kMovBulkEraseToW10, kMovW10ToNvmcon}) && Link().DsCommitWrite();
}

bool CDsPic30Device::PrepareProgramWrite() {
    return Execute({});
}

bool CDsPic30Device::WriteProgramRow(std::uint32_t address, std::span<const std::uint32_t> words) {
    return words.size() == kProgramRow && Link().DsBeginProgramRow(address) &&
           SendRow(Link(), words, kProgramBlock, &CProgrammerLink::DsWriteProgram4);
}

bool CDsPic30Device::SetProgramReadAddress(std::uint32_t address) {
    return Execute({MovPageToW0(address), kMovW0ToTblpag, MovToW(address, kW6)});
}

bool CDsPic30Device::ReadProgram4(std::span<std::uint32_t, kProgramBlock> words) {
    return Link().DsReadProgram4(words.data());
}

bool CDsPic30Device::PrepareConfigWrite() {
    return Execute({kMovZeroToW7});
}

bool CDsPic30Device::WriteConfigWord(std::uint16_t value) {
    return Link().DsWriteConfig(value) && Link().DsCommitWrite();
}

bool CDsPic30Device::WriteEraseDefaults() {
    return std::ranges::all_of(tables_.eraseDefaults,
                               [this](std::uint16_t value) { return WriteConfigWord(value); });
}

bool CDsPic30Device::PrepareConfigRead() {
    return Execute({kMovConfigPageToW0, kMovW0ToTblpag, kClrW6, kClrW7});
}

bool CDsPic30Device::ReadConfigWord(std::uint16_t& value) {
    return Link().DsReadWord(&value);
}

bool CDsPic30Device::PrepareDataWrite() {
    return Execute({});
}

bool CDsPic30Device::WriteDataRow(std::uint32_t address, std::span<const std::uint8_t> bytes) {
    return bytes.size() == kDataRow && Link().DsBeginDataRow(address) &&
           SendRow(Link(), bytes, kDataBlock, &CProgrammerLink::DsWriteData8);
}

bool CDsPic30Device::SetDataReadAddress(std::uint32_t address) {
    return Execute({kMovDataPageToW0, kMovW0ToTblpag, MovToW(address, kW6)});
}

bool CDsPic30Device::ReadData8(std::span<std::uint8_t, kDataBlock> bytes) {
    return Link().DsReadData8(bytes.data());
}

std::span<std::uint32_t> CDsPic30Device::ProgramTarget() const {
    return Cut<std::uint32_t>(readProgramTarget_, layout_.programSize);
}

std::span<std::uint16_t> CDsPic30Device::ConfigTarget() const {
    return Cut<std::uint16_t>(readConfigTarget_, layout_.configCount);
}

std::span<std::uint8_t> CDsPic30Device::DataTarget() const {
    return Cut<std::uint8_t>(readDataTarget_, layout_.dataSize);
}

std::span<const std::uint32_t> CDsPic30Device::ProgramSource() const {
    return Cut<const std::uint32_t>(programSource_, layout_.programSize);
}

std::span<const std::uint16_t> CDsPic30Device::ConfigSource() const {
    return Cut<const std::uint16_t>(configSource_, layout_.configCount);
}

std::span<const std::uint8_t> CDsPic30Device::DataSource() const {
    return Cut<const std::uint8_t>(dataSource_, layout_.dataSize);
}

}  // namespace tenlo
