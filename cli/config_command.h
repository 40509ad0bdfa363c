#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/json_writer.h"
#include "cli/outcome_lines.h"
#include "device/chip_config.h"
#include "device/memory_image.h"
#include "jobs/job_context.h"

namespace tenlo::cli {

// tenlo-cli answers from its options: a script cannot be asked, so another chip (--force skips
// the check before it could be found) and a file cut short are refused, and a configuration
// with traps is told a line each on err (none: the run tells them once for all its ports) and
// written unless --strict.
class CCliQuestions final : public jobs::IJobQuestions {
  public:
    CCliQuestions(std::FILE* err, bool strict) : err_(err), strict_(strict) {}

    bool GoOnWithOtherChip(const std::string&, const std::vector<std::string>&,
                           std::uint16_t) override {
        return false;
    }
    bool LoadWithoutEndRecord(const std::string&, bool) override { return false; }
    bool WriteDespiteConfigTraps(const std::vector<ConfigTrap>& traps) override;

    // The traps have had their lines.
    bool TrapsTold() const { return told_; }

  private:
    std::FILE* err_;
    bool strict_;
    bool told_ = false;
};

// write, verify --set: the fields changed in the loaded image, which then provides the
// configuration.
FailureLine ApplyConfigSet(const CliOptions& options, int deviceIndex, CMemoryImage& image,
                           MemorySet& provided);

// "warning: TEXT" or "notice: TEXT", without the program's name.
std::string TrapLine(const ConfigTrap& trap);

// The configuration words decoded, a line per word ("0x2007 CONFIG = 0x3F72") and under it a
// line per field ("  FOSC = HS"), then a line for bits the chip does not keep. Words with
// neither fields nor such bits are left out.
std::string ConfigLines(const std::vector<DecodedWord>& words);

// The same as one JSON document, with the traps and the protection a write would leave off
// (file empty: the chip's configuration as read).
std::string ConfigJson(const std::string& chip, const std::string& file,
                       const std::vector<DecodedWord>& words, const std::vector<ConfigTrap>& traps,
                       const ProtectionLeftOff& leftOff);

// The "traps" and "protectionLeftOff" members of a JSON object, as ConfigJson gives them.
void TrapsJson(CJsonWriter& json, const std::vector<ConfigTrap>& traps,
               const ProtectionLeftOff& leftOff);

}  // namespace tenlo::cli
