#include "tools/hex_corpus_check.h"

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "cli/captured_run.h"
#include "device/catalogue.h"
#include "device/chip_config.h"
#include "device/memory_image.h"
#include "hexfile/image_hex.h"
#include "link/clock.h"
#include "sim/in_process_backend.h"

namespace tenlo::tools {

namespace {

namespace fs = std::filesystem;
using cli::CliEnvironment;

std::string LastLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    const std::size_t eol = text.rfind('\n');
    return eol == std::string::npos ? text : text.substr(eol + 1);
}

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

// A scratch folder for the read-back files, removed with the object.
class CScratchDir {
  public:
    // A folder of our own, only ours to read, as mkdtemp would make (which Windows lacks): a
    // name that is already taken, by anything, is passed over.
    CScratchDir() {
        std::error_code ec;
        const fs::path base = fs::temp_directory_path(ec);
        std::random_device random;
        for (int attempt = 0; !ec && attempt < 100 && path_.empty(); ++attempt) {
            const fs::path candidate = base / ("tenlo-corpus-" + std::to_string(random()));
            if (fs::create_directory(candidate, ec)) {
                fs::permissions(candidate, fs::perms::owner_all, ec);
                path_ = candidate;
            }
        }
    }
    ~CScratchDir() {
        std::error_code ec;
        if (!path_.empty()) {
            fs::remove_all(path_, ec);
        }
    }
    CScratchDir(const CScratchDir&) = delete;
    CScratchDir& operator=(const CScratchDir&) = delete;

    bool Ok() const { return !path_.empty(); }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

  private:
    fs::path path_;
};

// One fresh chip in the virtual programmer, kept across the CLI runs made on it, in virtual
// time. Without a model of the chip every run gets the CLI's own --simulate answer.
class CSimulatedBench {
  public:
    struct Outcome {
        int code = 0;
        std::string message;  // the last line the CLI printed on standard error
    };

    explicit CSimulatedBench(std::string chip) : chip_(std::move(chip)) {
        if (auto simulated = sim::SimulateChip(chip_, clock_)) {
            backend_ = simulated->backend;
        }
    }

    Outcome Run(const std::vector<std::string>& command) {
        std::vector<std::string> args = {"--device", chip_, "--simulate=" + chip_, "--quiet"};
        args.insert(args.end(), command.begin(), command.end());
        CliEnvironment env;
        env.clock = &clock_;
        env.backend = backend_;
        const cli::CapturedRun run = cli::RunCliCaptured(args, env);
        return {run.code, LastLine(run.err)};
    }

  private:
    std::string chip_;
    VirtualClock clock_;
    std::shared_ptr<IPortBackend> backend_;
};

// A chip's layout with an image of it; the image points at the layout, so both move together.
struct LayoutImage {
    explicit LayoutImage(const DeviceLayout& l) : layout(l), image(layout) {}
    DeviceLayout layout;
    CMemoryImage image;
};

// Loads a program file the way the CLI does (Microchip layout) and notes every cell it sets.
class CMarkingReader final : public CImageProgHexReader {
  public:
    CMarkingReader(CMemoryImage& image, const DeviceLayout& layout)
        : CImageProgHexReader(image, layout, true),
          map_(ToHexLayout(layout), true),
          marks_{std::vector<bool>(image.CellCount(Memory::Program)),
                 std::vector<bool>(image.CellCount(Memory::Config)),
                 std::vector<bool>(image.CellCount(Memory::Data))} {}

    bool Marked(Memory memory, std::size_t cell) const {
        const auto& m = marks_[static_cast<std::size_t>(memory)];
        return cell < m.size() && m[cell];
    }

  protected:
    bool StoreByte(uint8_t byte, uint32_t address) override {
        if (!CImageProgHexReader::StoreByte(byte, address)) {
            return false;
        }
        if (const std::optional<HexPlace> place = map_.Locate(address); place && !place->filler) {
            const Memory memory = place->region == HexRegion::Program  ? Memory::Program
                                  : place->region == HexRegion::Config ? Memory::Config
                                                                       : Memory::Data;
            auto& m = marks_[static_cast<std::size_t>(memory)];
            if (place->cell < m.size()) {
                m[place->cell] = true;
            }
        }
        return true;
    }

  private:
    HexAddressMap map_;
    std::vector<bool> marks_[3];
};

bool LoadPlain(const std::string& path, CMemoryImage& image) {
    return LoadProgramHex(path, image, true) == HexLoadResult::Ok;
}

// The bits of a cell that the file answers for: of a configuration word only those the chip
// implements and keeps as the file has them (not a 12F629's band-gap calibration, nor the
// protection a write leaves off).
std::uint32_t CellMask(int index, const DeviceLayout& layout, Memory memory, std::size_t cell,
                       std::uint32_t fileValue) {
    const std::uint32_t mask = BlankValueForWidth(WidthOf(layout, memory));
    if (memory != Memory::Config) {
        return mask;
    }
    return mask & ConfigCompareMask(index, cell, fileValue).value_or(mask);
}

const char* CellName(Memory memory) {
    switch (memory) {
        case Memory::Program:
            return "program word";
        case Memory::Config:
            return "configuration word";
        case Memory::Data:
            return "data byte";
    }
    return "cell";
}

// Every cell of the read-back against the file's; a cell the file leaves out must read as the
// erased chip does (blank, or the chip's own device ID and calibration). Empty when all agree.
std::string CompareReadBack(int index, const CMemoryImage& readBack, const CMemoryImage& file,
                            const CMarkingReader& marks, const CMemoryImage& erased) {
    const DeviceLayout& layout = readBack.Layout();
    std::string first;
    std::size_t count = 0;
    for (Memory memory : {Memory::Program, Memory::Config, Memory::Data}) {
        for (std::size_t i = 0; i < readBack.CellCount(memory); ++i) {
            const CMemoryImage& want = marks.Marked(memory, i) ? file : erased;
            const std::uint32_t mask = CellMask(index, layout, memory, i, want.Get(memory, i));
            const std::uint32_t chip = readBack.Get(memory, i) & mask;
            const std::uint32_t expected = want.Get(memory, i) & mask;
            if (chip == expected) {
                continue;
            }
            if (count++ == 0) {
                const auto address = static_cast<std::uint32_t>(
                    memory == Memory::Config ? layout.configStart + i : i);
                first = std::string(CellName(memory)) + " " + Hex(address) + ": chip " + Hex(chip) +
                        ", file " + Hex(expected);
            }
        }
    }
    if (count > 1) {
        first += " (" + std::to_string(count) + " cells differ)";
    }
    return first;
}

enum class Verdict { Pass, Refused, Fail, Skip };

struct FileOutcome {
    Verdict verdict = Verdict::Pass;
    std::string detail;
};

class CCorpusRun {
  public:
    CCorpusRun(const CScratchDir& scratch) : scratch_(scratch) {}

    FileOutcome Check(const std::string& chip, const fs::path& file) {
        const int index = FindCatalogueIndex(chip);
        if (index < 0) {
            return {Verdict::Skip, "no chip of that name in the catalogue"};
        }
        CSimulatedBench bench(chip);
        const std::string path = file.string();
        auto step = [&](const char* what, const std::vector<std::string>& command,
                        FileOutcome& outcome) {
            const CSimulatedBench::Outcome o = bench.Run(command);
            if (o.code == 0) {
                return true;
            }
            // An erase takes no file: a usage error there (exit 2) is the CLI saying that this
            // build cannot program the chip. Later, usage and file errors mean it will not take
            // the file.
            const bool erasing = command.front() == "erase";
            const Verdict verdict = o.code == 2 && erasing       ? Verdict::Skip
                                    : o.code == 2 || o.code == 4 ? Verdict::Refused
                                                                 : Verdict::Fail;
            outcome = {verdict, std::string(what) + ": " + o.message};
            return false;
        };
        FileOutcome outcome;
        const std::string readBackPath = scratch_.File("read-back.hex");
        if (!step("erase", {"erase"}, outcome) || !step("write", {"write", path}, outcome) ||
            !step("verify", {"verify", path}, outcome) ||
            !step("read", {"read", "-o", readBackPath}, outcome)) {
            return outcome;
        }

        const LayoutImage* erased = ErasedChip(chip, index);
        LayoutImage wanted(*CatalogueLayout(index));
        LayoutImage readBack(wanted.layout);
        CMarkingReader marks(wanted.image, wanted.layout);
        if (erased == nullptr) {
            return {Verdict::Fail, "an erased " + chip + " could not be read for reference"};
        }
        if (!marks.Open(path) || !marks.Load() || !LoadPlain(readBackPath, readBack.image)) {
            return {Verdict::Fail, "the file or its read-back would not load for comparison"};
        }
        const std::string difference =
            CompareReadBack(index, readBack.image, wanted.image, marks, erased->image);
        if (!difference.empty()) {
            return {Verdict::Fail, "read-back differs at " + difference};
        }
        return {};
    }

  private:
    // What a fresh chip reads after an erase, once per chip: the cells a file leaves out must
    // read the same after it was written.
    const LayoutImage* ErasedChip(const std::string& chip, int index) {
        auto found = erased_.find(chip);
        if (found != erased_.end()) {
            return found->second.get();
        }
        auto image = std::make_unique<LayoutImage>(*CatalogueLayout(index));
        const std::string path = scratch_.File("erased.hex");
        CSimulatedBench bench(chip);
        if (bench.Run({"erase"}).code != 0 || bench.Run({"read", "-o", path}).code != 0 ||
            !LoadPlain(path, image->image)) {
            image.reset();
        }
        return (erased_[chip] = std::move(image)).get();
    }

    const CScratchDir& scratch_;
    std::map<std::string, std::unique_ptr<LayoutImage>> erased_;
};

const char* VerdictLabel(Verdict verdict) {
    switch (verdict) {
        case Verdict::Pass:
            return "PASS";
        case Verdict::Refused:
            return "REFUSED";
        case Verdict::Fail:
            return "FAIL";
        case Verdict::Skip:
            return "SKIP";
    }
    return "?";
}

std::vector<fs::path> Sorted(std::vector<fs::path> paths) {
    std::sort(paths.begin(), paths.end());
    return paths;
}

// Every file under dir/<CHIP>/, chip by chip, each in name order.
void ForEachCorpusFile(const fs::path& dir,
                       const std::function<void(const std::string&, const fs::path&)>& each) {
    std::error_code ec;
    std::vector<fs::path> chips;
    for (const fs::directory_entry& e : fs::directory_iterator(dir, ec)) {
        if (e.is_directory(ec)) {
            chips.push_back(e.path());
        }
    }
    for (const fs::path& chipDir : Sorted(chips)) {
        std::vector<fs::path> files;
        for (const fs::directory_entry& e : fs::recursive_directory_iterator(chipDir, ec)) {
            if (e.is_regular_file(ec)) {
                files.push_back(e.path());
            }
        }
        for (const fs::path& file : Sorted(files)) {
            each(chipDir.filename().string(), file);
        }
    }
}

// One line per configuration word a file sets: its fields, and what the chip will not keep.
void SurveyFile(const std::string& chip, const fs::path& file, const fs::path& dir,
                ConfigSurveyCounts& counts, std::FILE* out) {
    std::error_code ec;
    const std::string name = fs::relative(file, dir, ec).generic_string();
    const int index = FindCatalogueIndex(chip);
    if (index < 0) {
        std::fprintf(out, "%s: no chip of that name in the catalogue\n", name.c_str());
        return;
    }
    LayoutImage loaded(*CatalogueLayout(index));
    CMarkingReader marks(loaded.image, loaded.layout);
    if (!marks.Open(file.string()) || !marks.Load()) {
        std::fprintf(out, "%s: does not load\n", name.c_str());
        return;
    }
    ++counts.files;
    const std::vector<std::uint32_t> cells = ConfigCells(loaded.image);
    bool any = false;
    for (const DecodedWord& word : DecodeConfig(index, cells)) {
        if (!marks.Marked(Memory::Config, word.word->cell)) {
            continue;
        }
        any = true;
        ++counts.words;
        std::string fields;
        bool unnamed = false;
        for (const DecodedField& field : word.fields) {
            fields += (fields.empty() ? "" : ", ") + field.Text();
            unnamed = unnamed || (field.setting == nullptr && !field.field->settings.empty());
        }
        std::string flags;
        if (unnamed) {
            ++counts.unnamed;
            flags += "  [a value no setting names]";
        }
        if (word.strayBits != 0) {
            ++counts.stray;
            flags += "  [bits the chip does not implement: " + Hex(word.strayBits) + "]";
        }
        std::fprintf(out, "%s: %s %s = %s: %s%s\n", name.c_str(),
                     std::string(word.word->name).c_str(), Hex(word.address).c_str(),
                     Hex(word.value).c_str(), fields.empty() ? "(no fields)" : fields.c_str(),
                     flags.c_str());
    }
    if (!any) {
        std::fprintf(out, "%s: sets no configuration word\n", name.c_str());
        return;
    }
    // What a write of the file would meet before it starts, and say after it.
    for (const ConfigTrap& trap : FindConfigTraps(index, cells)) {
        ++counts.traps;
        std::fprintf(out, "%s: %s: %s\n", name.c_str(),
                     trap.level == ConfigTrapLevel::Warning ? "warning" : "notice",
                     trap.text.c_str());
    }
    if (const ProtectionLeftOff left = FindProtectionLeftOff(index, cells); left.Any()) {
        std::fprintf(out, "%s: notice: %s\n", name.c_str(), left.text.c_str());
    }
}

}  // namespace

ConfigSurveyCounts SurveyHexConfig(const fs::path& dir, std::FILE* out) {
    ConfigSurveyCounts counts;
    ForEachCorpusFile(dir, [&](const std::string& chip, const fs::path& file) {
        SurveyFile(chip, file, dir, counts, out);
    });
    std::fprintf(out,
                 "%d files, %d configuration words: %d with a value no setting names, %d with "
                 "bits the chip does not implement\n",
                 counts.files, counts.words, counts.unnamed, counts.stray);
    return counts;
}

CorpusCounts CheckHexCorpus(const fs::path& dir, std::FILE* out) {
    CorpusCounts counts;
    CScratchDir scratch;
    if (!scratch.Ok()) {
        std::fprintf(out, "no scratch folder for the read-back files\n");
        ++counts.failed;
        return counts;
    }
    CCorpusRun run(scratch);
    ForEachCorpusFile(dir, [&](const std::string& chip, const fs::path& file) {
        const FileOutcome outcome = run.Check(chip, file);
        switch (outcome.verdict) {
            case Verdict::Pass:
                ++counts.passed;
                break;
            case Verdict::Refused:
                ++counts.refused;
                break;
            case Verdict::Fail:
                ++counts.failed;
                break;
            case Verdict::Skip:
                ++counts.skipped;
                break;
        }
        // One report on every system: '/' between folders.
        std::error_code ec;
        std::fprintf(out, "%-8s %s%s%s\n", VerdictLabel(outcome.verdict),
                     fs::relative(file, dir, ec).generic_string().c_str(),
                     outcome.detail.empty() ? "" : "  ", outcome.detail.c_str());
        std::fflush(out);
    });
    std::fprintf(out, "%d files: %d passed, %d refused, %d failed, %d skipped\n", counts.Total(),
                 counts.passed, counts.refused, counts.failed, counts.skipped);
    return counts;
}

}  // namespace tenlo::tools
