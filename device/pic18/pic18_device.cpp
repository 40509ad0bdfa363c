#include "device/pic18/pic18_device.h"

#include <algorithm>
#include <array>
#include <vector>

#include "device/progress_texts.h"

namespace tenlo {

CPic18Device::CPic18Device(CProgrammerLink& link, DeviceOptions* options,
                           IProgressDisplay* progress, const DeviceLayout& layout,
                           const Pic18Params& params)
    : CDevice(link, options, progress), params_(params) {
    layout_ = layout;
}

std::optional<CDevice::DeviceIdPlace> CPic18Device::DeviceIdLocation() const {
    return DeviceIdPlace{kDeviceIdAddress, 0xFFFF};
}

void CPic18Device::ReadDeviceId() {
    std::array<std::uint16_t, 1> id{};
    const bool ok = EnterProgramMode() && SetTablePointer(kDeviceIdAddress) && ReadWords(id);
    DeviceIdRead() = id[0];
    Finish(ok);
}

// ---- Operation bodies ----

bool CPic18Device::OpenBody(std::string_view text) {
    ShowProgress(text);
    if (!EnterProgramMode()) {
        Finish(false);
        return false;
    }
    return true;
}

void CPic18Device::ReadProgram() {
    if (!OpenBody(kTextReadProgram)) {
        return;
    }
    Finish(SetTablePointer(0) && ReadProgramBlocks(ProgramTarget()) == Step::Next);
}

CDevice::Step CPic18Device::ReadProgramBlocks(std::span<std::uint16_t> target) {
    return ForEachBlock(target.size(), kReadBlock, [&](std::size_t start, std::size_t count) {
        return ReadWords(target.subspan(start, count)) ? Step::Next : Step::Fail;
    });
}

void CPic18Device::CompareProgram() {
    CompareResult& out = CompareOut();
    ClearResult(out);
    if (!OpenBody(kTextCompareProgram)) {
        return;
    }
    if (!SetTablePointer(0)) {
        FinishCompare(Step::Fail, out);
        return;
    }
    const auto source = ProgramSource();
    std::array<std::uint16_t, kReadBlock> block{};
    FinishCompare(ForEachBlock(source.size(), kReadBlock,
                               [&](std::size_t start, std::size_t count) {
                                   const auto read = std::span(block).first(count);
                                   if (!ReadWords(read)) {
                                       return Step::Fail;
                                   }
                                   return ReportFirstDifference(
                                              read, source.subspan(start, count), 0xFFFF,
                                              static_cast<std::uint32_t>(start), out)
                                              ? Step::Stop
                                              : Step::Next;
                               }),
                  out);
}

void CPic18Device::WriteProgram() {
    if (!OpenBody(kTextWriteProgram)) {
        return;
    }
    const auto source = ProgramSource();
    const std::uint32_t programBytes = static_cast<std::uint32_t>(source.size()) * 2;
    // A memory smaller than a panel is one panel of its own size.
    const std::uint32_t panel =
        params_.multiPanel ? std::min(params_.panelBytes, programBytes) : programBytes;
    const std::uint32_t buffer = params_.writeBufferBytes;
    if (!PrepareProgramWrite()) {
        Finish(false);
        return;
    }
    if (panel == 0 || buffer == 0 || programBytes % panel != 0 || panel % buffer != 0) {
        Finish(programBytes == 0);
        return;
    }
    const std::uint32_t panels = programBytes / panel;
    const std::size_t wordsPerBuffer = buffer / 2;
    auto wordsAt = [&](std::uint32_t byteAddress) {
        return source.subspan(byteAddress / 2, wordsPerBuffer);
    };
    const Step written = ForEachBlock(panel, buffer, [&](std::size_t offset, std::size_t) {
        const auto o = static_cast<std::uint32_t>(offset);
        bool blank = true;
        for (std::uint32_t p = 0; p < panels && blank; ++p) {
            blank = IsBlank(wordsAt(p * panel + o));
        }
        if (blank) {
            return Step::Next;
        }
        // One programming cycle writes the buffers of all panels at this offset.
        if (!SetMultiPanel(true)) {
            return Step::Fail;
        }
        for (std::uint32_t p = 0; p < panels; ++p) {
            if (!WriteBuffer8(p * panel + o, wordsAt(p * panel + o), p + 1 == panels)) {
                return Step::Fail;
            }
        }
        return Step::Next;
    });
    Finish(written == Step::Next);
}

void CPic18Device::WriteConfig() {
    if (!OpenBody(kTextWriteConfigShort)) {
        return;
    }
    const auto source = ConfigSource();
    Finish(ForEachBlock(source.size(), 2, [&](std::size_t i, std::size_t count) {
               // An odd count leaves the last pair's high byte blank.
               const std::uint8_t high = count == 2 ? source[i + 1] : 0xFF;
               return WriteConfigPair(layout_.configStart + static_cast<std::uint32_t>(i),
                                      source[i], high)
                          ? Step::Next
                          : Step::Fail;
           }) == Step::Next);
}

CDevice::Step CPic18Device::ReadConfigBytes(std::span<std::uint8_t> target) {
    if (!SetTablePointer(layout_.configStart)) {
        return Step::Fail;
    }
    // Whole words are read; the bytes past the configuration count are dropped.
    std::array<std::uint16_t, kConfigReadBlock> block{};
    constexpr std::size_t kBytes = kConfigReadBlock * 2;
    for (std::size_t start = 0; start < target.size(); start += kBytes) {
        if (!ReadWords(block)) {
            return Step::Fail;
        }
        for (std::size_t k = 0; k < kBytes && start + k < target.size(); ++k) {
            const std::uint16_t word = block[k / 2];
            target[start + k] = static_cast<std::uint8_t>(k % 2 == 0 ? word : word >> 8);
        }
    }
    return Step::Next;
}

void CPic18Device::ReadConfig() {
    if (!OpenBody(kTextReadConfigShort)) {
        return;
    }
    Finish(ReadConfigBytes(ConfigTarget()) == Step::Next);
}

void CPic18Device::CompareConfig() {
    CompareResult& out = CompareOut();
    ClearResult(out);
    if (!OpenBody(kTextCompareConfigShort)) {
        return;
    }
    const auto source = ConfigSource();
    std::vector<std::uint8_t> read(source.size(), 0);
    Step outcome = ReadConfigBytes(read);
    if (outcome == Step::Next && ReportFirstDifference(std::span<std::uint8_t>(read), source, 0xFF,
                                                       layout_.configStart, out)) {
        outcome = Step::Stop;
    }
    FinishCompare(outcome, out);
}

void CPic18Device::WriteData() {
    if (!OpenBody(kTextWriteData)) {
        return;
    }
    const auto source = DataSource();
    Finish(ForEachBlock(source.size(), 1, [&](std::size_t i, std::size_t) {
               return WriteDataByte(static_cast<std::uint16_t>(i), source[i]) ? Step::Next
                                                                              : Step::Fail;
           }) == Step::Next);
}

void CPic18Device::ReadData() {
    if (!OpenBody(kTextReadData)) {
        return;
    }
    const auto target = DataTarget();
    Finish(ForEachBlock(target.size(), 1, [&](std::size_t i, std::size_t) {
               return ReadDataByte(static_cast<std::uint16_t>(i), target[i]) ? Step::Next
                                                                             : Step::Fail;
           }) == Step::Next);
}

void CPic18Device::CompareData() {
    CompareResult& out = CompareOut();
    ClearResult(out);
    if (!OpenBody(kTextCompareData)) {
        return;
    }
    const auto source = DataSource();
    FinishCompare(ForEachBlock(source.size(), 1,
                               [&](std::size_t i, std::size_t) {
                                   std::array<std::uint8_t, 1> read{};
                                   if (!ReadDataByte(static_cast<std::uint16_t>(i), read[0])) {
                                       return Step::Fail;
                                   }
                                   return ReportFirstDifference(std::span<std::uint8_t>(read),
                                                                source.subspan(i, 1), 0xFF,
                                                                static_cast<std::uint32_t>(i), out)
                                              ? Step::Stop
                                              : Step::Next;
                               }),
                  out);
}

void CPic18Device::Erase() {
    Finish(EnterProgramMode() && EraseChip());
}

// ---- Steps ----

bool CPic18Device::SetTablePointer(std::uint32_t address) {
    return Link().Pic18SetTablePointer(address);
}

bool CPic18Device::ReadWords(std::span<std::uint16_t> words) {
    // The count byte counts bytes: two per word.
    if (words.size() > kMaxReadWords) {
        return false;
    }
    std::array<std::uint8_t, 2 * kMaxReadWords> bytes{};
    const auto n = static_cast<int>(2 * words.size());
    if (!Link().Pic18Receive(params_.tableReadPostIncrement, bytes.data(), n)) {
        return false;
    }
    for (std::size_t i = 0; i < words.size(); ++i) {
        words[i] = static_cast<std::uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    return true;
}

bool CPic18Device::ReadDataByte(std::uint16_t address, std::uint8_t& out) {
    return Link().Pic18EeRead(address, &out);
}

bool CPic18Device::SendCore(std::initializer_list<std::uint16_t> instructions) {
    constexpr std::size_t kMax = 8;
    std::array<std::uint8_t, kMax> commands{};
    std::array<std::uint16_t, kMax> payloads{};
    if (instructions.size() > kMax) {
        return false;
    }
    std::fill(commands.begin(), commands.end(), params_.coreInstruction);
    std::copy(instructions.begin(), instructions.end(), payloads.begin());
    return Link().Pic18Send(commands.data(), payloads.data(),
                            static_cast<int>(instructions.size()));
}

bool CPic18Device::PrepareProgramWrite() {
    // Code memory, configuration access for the panel register, writes enabled.
    constexpr std::array<std::uint16_t, 3> kSetup{kSetEepgd, kSetCfgs, kSetWren};
    return Link().Pic18SendPayloads(params_.coreInstruction, kSetup.data(),
                                    static_cast<int>(kSetup.size()));
}

bool CPic18Device::SetMultiPanel(bool on) {
    // Also the switch from configuration access back to code memory, so it is sent even to a
    // chip that has no panel register (the write to it goes nowhere).
    const std::array<std::uint8_t, 3> commands{params_.tableWrite, params_.coreInstruction,
                                               params_.coreInstruction};
    const std::array<std::uint16_t, 3> payloads{static_cast<std::uint16_t>(on ? 0x0040 : 0x0000),
                                                kSetEepgd, kClearCfgs};
    return SetTablePointer(kPanelControl) &&
           Link().Pic18Send(commands.data(), payloads.data(), static_cast<int>(commands.size()));
}

bool CPic18Device::ProgramHold() {
    return Link().Pic18ProgramHold(params_.coreInstruction, kNop, params_.programmingHold);
}

bool CPic18Device::WriteBuffer8(std::uint32_t address, std::span<const std::uint16_t> words,
                                bool last) {
    constexpr std::size_t kWords = 4;
    if (words.size() != kWords) {
        return false;
    }
    std::array<std::uint8_t, kWords> commands{};
    commands.fill(params_.tableWritePostIncrement2);
    commands.back() = last ? params_.tableWriteStart : params_.tableWrite;
    return SetTablePointer(address) &&
           Link().Pic18Send(commands.data(), words.data(), static_cast<int>(kWords)) &&
           (!last || ProgramHold());
}

bool CPic18Device::WriteBuffer(std::uint32_t address, std::span<const std::uint16_t> words) {
    if (words.empty() || words.size() > 255) {
        return false;
    }
    std::vector<std::uint8_t> commands(words.size(), params_.tableWritePostIncrement2);
    commands.back() = params_.tableWriteStart;
    return SetTablePointer(address) &&
           Link().Pic18Send(commands.data(), words.data(), static_cast<int>(words.size())) &&
           ProgramHold();
}

bool CPic18Device::WriteConfigPairAfter(std::initializer_list<std::uint16_t> access,
                                        std::uint32_t address, std::uint8_t low,
                                        std::uint8_t high) {
    auto& link = Link();
    const std::vector<std::uint16_t> setup(access);
    // The even address takes the payload's low byte, the odd one its high byte.
    const std::uint8_t start = params_.tableWriteStart;
    const std::uint16_t lowPayload = low;
    const std::array<std::uint8_t, 2> commands{params_.coreInstruction, start};
    const std::array<std::uint16_t, 2> payloads{kIncTblptrl, static_cast<std::uint16_t>(high << 8)};
    return link.Pic18SendPayloads(params_.coreInstruction, setup.data(),
                                  static_cast<int>(setup.size())) &&
           SetTablePointer(address) && link.Pic18Send(&start, &lowPayload, 1) && ProgramHold() &&
           link.Pic18Send(commands.data(), payloads.data(), static_cast<int>(commands.size())) &&
           ProgramHold();
}

bool CPic18Device::WriteConfigPair(std::uint32_t address, std::uint8_t low, std::uint8_t high) {
    // The configuration sequence runs from outside user memory.
    return WriteConfigPairAfter({kSetEepgd, kSetCfgs, kGoto100000, kGotoSecond}, address, low,
                                high);
}

bool CPic18Device::WriteDataBytePolled(std::uint16_t address, std::uint8_t byte, bool startB) {
    auto& link = Link();
    if (!link.Pic18SetEeAddress16(address, byte) ||
        !(startB ? link.Pic18EeStartB() : link.Pic18EeStartA())) {
        return false;
    }
    for (int poll = 0; poll < kDataPolls; ++poll) {
        std::uint8_t status = 0;
        if (!link.Pic18EeStatus(&status)) {
            return false;
        }
        if ((status & kDataBusy) == 0) {
            return link.Pic18EeEnd();
        }
    }
    ChipSaid(ChipReport::StillBusy);
    return false;
}

bool CPic18Device::WriteDataByte(std::uint16_t address, std::uint8_t byte) {
    return WriteDataBytePolled(address, byte, true);
}

bool CPic18Device::IsBlank(std::span<const std::uint16_t> words) {
    return std::ranges::all_of(words, [](std::uint16_t w) { return w == 0xFFFF; });
}

bool CPic18Device::StartErase(std::uint16_t options) {
    // The erase runs in the two NOPs after the write, the second held while it lasts.
    const std::array<std::uint8_t, 3> commands{params_.tableWrite, params_.coreInstruction,
                                               params_.coreInstruction};
    const std::array<std::uint16_t, 3> payloads{options, kNop, kNop};
    return SetTablePointer(kEraseControl) &&
           Link().Pic18Send(commands.data(), payloads.data(), static_cast<int>(commands.size())) &&
           Link().Wait(params_.eraseWait);
}

bool CPic18Device::EraseChip() {
    return StartErase(0x0080);
}

bool CPic18Device::EnterProgramMode() {
    auto& link = Link();
    return link.PowerOffVddFirstRetried() && link.SetOption(8) && link.PowerOnVddFirst();
}

bool CPic18Device::ExitProgramMode() {
    return Link().PowerOffVddFirstRetried();
}

void CPic18Device::Finish(bool result) {
    // Power down whatever happened before.
    const bool off = NotePowerDown(ExitProgramMode(), result);
    CDevice::Finish(result && off);
}

// ---- Buffers of the running operation, cut to the layout's sizes ----

std::span<std::uint16_t> CPic18Device::ProgramTarget() {
    return CellsOf<std::uint16_t>(readProgramTarget_, layout_.programSize);
}

std::span<std::uint8_t> CPic18Device::ConfigTarget() {
    return CellsOf<std::uint8_t>(readConfigTarget_, layout_.configCount);
}

std::span<std::uint8_t> CPic18Device::DataTarget() {
    return CellsOf<std::uint8_t>(readDataTarget_, layout_.dataSize);
}

std::span<const std::uint16_t> CPic18Device::ProgramSource() {
    return CellsOf<std::uint16_t>(programSource_, layout_.programSize);
}

std::span<const std::uint8_t> CPic18Device::ConfigSource() {
    return CellsOf<std::uint8_t>(configSource_, layout_.configCount);
}

std::span<const std::uint8_t> CPic18Device::DataSource() {
    return CellsOf<std::uint8_t>(dataSource_, layout_.dataSize);
}

}  // namespace tenlo
