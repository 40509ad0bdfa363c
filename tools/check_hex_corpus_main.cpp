#include <cstdio>
#include <filesystem>
#include <string>

#include "tools/hex_corpus_check.h"

namespace {

constexpr const char* kUsage =
    "usage: check-hex-corpus DIR\n"
    "Programs every file under DIR/<CHIP>/ into a simulated CHIP with tenlo-cli's own commands\n"
    "(erase, write, verify, read back) and compares the read-back with the file cell by cell.\n"
    "One line per file: PASS, FAIL, REFUSED (tenlo-cli will not take the file) or SKIP (the chip\n"
    "cannot be programmed in this build). Exit 0 when nothing failed, 1 when something did,\n"
    "2 for a bad argument or no files.\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h") {
        std::fputs(kUsage, argc == 2 ? stdout : stderr);
        return argc == 2 ? 0 : 2;
    }
    const std::filesystem::path dir = argv[1];
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) {
        std::fprintf(stderr, "check-hex-corpus: %s is not a folder\n", argv[1]);
        return 2;
    }
    const tenlo::tools::CorpusCounts counts = tenlo::tools::CheckHexCorpus(dir, stdout);
    if (counts.Total() == 0) {
        std::fprintf(stderr, "check-hex-corpus: no files in %s/<CHIP>/ folders\n", argv[1]);
        return 2;
    }
    return counts.failed == 0 ? 0 : 1;
}
