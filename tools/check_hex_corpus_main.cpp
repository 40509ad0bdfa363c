#include <cstdio>
#include <filesystem>
#include <string>

#include "tools/hex_corpus_check.h"

namespace {

constexpr const char* kUsage =
    "usage: check-hex-corpus [--config] DIR\n"
    "Programs every file under DIR/<CHIP>/ into a simulated CHIP with tenlo-cli's own commands\n"
    "(erase, write, verify, read back) and compares the read-back with the file cell by cell.\n"
    "One line per file: PASS, FAIL, REFUSED (tenlo-cli will not take the file) or SKIP (the chip\n"
    "cannot be programmed in this build). Exit 0 when nothing failed, 1 when something did,\n"
    "2 for a bad argument or no files.\n"
    "--config: decode the configuration words of every file instead, one line per word, and\n"
    "flag values no setting names and bits the chip does not implement, then name the traps a\n"
    "write would meet (protection, LVP, MCLR, watchdog); nothing is programmed.\n";

}  // namespace

int main(int argc, char** argv) {
    const bool survey = argc == 3 && std::string(argv[1]) == "--config";
    if ((argc != 2 && !survey) || std::string(argv[1]) == "--help" ||
        std::string(argv[1]) == "-h") {
        const bool asked = argc == 2;
        std::fputs(kUsage, asked ? stdout : stderr);
        return asked ? 0 : 2;
    }
    const std::filesystem::path dir = argv[argc - 1];
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) {
        std::fprintf(stderr, "check-hex-corpus: %s is not a folder\n", argv[argc - 1]);
        return 2;
    }
    if (survey) {
        const tenlo::tools::ConfigSurveyCounts counts = tenlo::tools::SurveyHexConfig(dir, stdout);
        return counts.files == 0 ? 2 : 0;
    }
    const tenlo::tools::CorpusCounts counts = tenlo::tools::CheckHexCorpus(dir, stdout);
    if (counts.Total() == 0) {
        std::fprintf(stderr, "check-hex-corpus: no files in %s/<CHIP>/ folders\n", argv[1]);
        return 2;
    }
    return counts.failed == 0 ? 0 : 1;
}
