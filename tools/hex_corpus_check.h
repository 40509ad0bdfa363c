#pragma once

#include <cstdio>
#include <filesystem>

namespace tenlo::tools {

// What became of the files of one corpus run.
struct CorpusCounts {
    int passed = 0;
    int refused = 0;  // the CLI would not take the file (not HEX, or not for that chip)
    int failed = 0;
    int skipped = 0;  // the chip or its family cannot be programmed in this build

    int Total() const { return passed + refused + failed + skipped; }
};

// Takes every file under dir/<CHIP>/ (CHIP a catalogue name) to a fresh simulated chip of that
// name with the CLI's own commands and defaults: erase, write, verify, read back. The read-back
// is then compared with the file cell by cell, cells the file leaves out as blank. Prints one
// line per file and a closing count to out.
CorpusCounts CheckHexCorpus(const std::filesystem::path& dir, std::FILE* out);

// What a configuration survey found.
struct ConfigSurveyCounts {
    int files = 0;    // files that loaded
    int words = 0;    // configuration words they set
    int unnamed = 0;  // words with a field whose value no setting names
    int stray = 0;    // words with bits the chip does not implement set otherwise than it reads
    int traps = 0;    // traps a write of the files would meet (warnings and notices)
};

// Loads every file under dir/<CHIP>/ as the CLI does and decodes each configuration word it
// sets, one line per word, then a line per trap a write of it would meet; a closing count.
// Nothing is programmed.
ConfigSurveyCounts SurveyHexConfig(const std::filesystem::path& dir, std::FILE* out);

}  // namespace tenlo::tools
