// tenlo-cli config, write --set and the configuration's traps: the decoding, the changes and
// the rules are the core's (device/chip_config.h, jobs/config_traps.h); here they are told.

#include "cli/config_command.h"

#include "cli/cli_session.h"
#include "cli/json_writer.h"
#include "jobs/config_traps.h"

namespace tenlo::cli {

namespace {

const char* LevelName(ConfigTrapLevel level) {
    return level == ConfigTrapLevel::Warning ? "warning" : "notice";
}

const char* KindKey(ConfigTrapKind kind) {
    switch (kind) {
        case ConfigTrapKind::CodeProtection:
            return "code-protection";
        case ConfigTrapKind::DataProtection:
            return "data-protection";
        case ConfigTrapKind::LowVoltageProgramming:
            return "low-voltage-programming";
        case ConfigTrapKind::MclrOffInternalOscillator:
            return "mclr-off-internal-oscillator";
        case ConfigTrapKind::Watchdog:
            return "watchdog";
        case ConfigTrapKind::ConfigWriteProtection:
            return "config-write-protection";
    }
    return "trap";
}

int HexDigits(std::uint32_t width) {
    return static_cast<int>((width + 3) / 4);
}

bool Shown(const DecodedWord& word) {
    return !word.fields.empty() || word.strayBits != 0;
}

}  // namespace

bool CCliQuestions::WriteDespiteConfigTraps(const std::vector<ConfigTrap>& traps) {
    if (err_ != nullptr) {
        for (const ConfigTrap& trap : traps) {
            PrintFailureLine(err_, TrapLine(trap));
        }
        told_ = true;
    }
    return !strict_;
}

std::string TrapLine(const ConfigTrap& trap) {
    return std::string(LevelName(trap.level)) + ": " + trap.text;
}

std::string ConfigLines(const std::vector<DecodedWord>& words) {
    std::string text;
    for (const DecodedWord& word : words) {
        if (!Shown(word)) {
            continue;
        }
        const int digits = HexDigits(word.word->Implemented() > 0xFF ? 16 : 8);
        text += Hex(word.address) + " " + std::string(word.word->name) + " = " +
                Hex(word.value, digits) + "\n";
        for (const DecodedField& field : word.fields) {
            text += "  " + field.Text() + "\n";
        }
        if (word.strayBits != 0) {
            text += "  (bits " + Hex(word.strayBits, digits) +
                    " are not implemented: the chip will not keep them)\n";
        }
    }
    return text;
}

std::string ConfigJson(const std::string& chip, const std::string& file,
                       const std::vector<DecodedWord>& words, const std::vector<ConfigTrap>& traps,
                       const ProtectionLeftOff& leftOff) {
    CJsonWriter json;
    json.BeginObject();
    json.Key("device").String(chip);
    json.Key("source").String(file.empty() ? "chip" : "file");
    json.Key("file");
    if (file.empty()) {
        json.Null();
    } else {
        json.String(file);
    }
    json.Key("words").BeginArray();
    for (const DecodedWord& word : words) {
        if (!Shown(word)) {
            continue;
        }
        json.BeginObject();
        json.Key("name").String(word.word->name);
        json.Key("address").Number(word.address);
        json.Key("value").Number(word.value);
        json.Key("fields").BeginArray();
        for (const DecodedField& field : word.fields) {
            json.BeginObject();
            json.Key("name").String(field.field->name);
            json.Key("value").Number(field.value);
            json.Key("setting");
            if (field.setting != nullptr) {
                json.String(field.setting->name);
            } else {
                json.Null();
            }
            json.Key("description").String(field.field->description);
            json.EndObject();
        }
        json.EndArray();
        json.Key("notImplemented").Number(word.strayBits);
        json.EndObject();
    }
    json.EndArray();
    TrapsJson(json, traps, leftOff);
    json.EndObject();
    return json.Text() + "\n";
}

void TrapsJson(CJsonWriter& json, const std::vector<ConfigTrap>& traps,
               const ProtectionLeftOff& leftOff) {
    json.Key("traps").BeginArray();
    for (const ConfigTrap& trap : traps) {
        json.BeginObject();
        json.Key("level").String(LevelName(trap.level));
        json.Key("kind").String(KindKey(trap.kind));
        json.Key("fields").String(trap.fields);
        json.Key("text").String(trap.text);
        json.EndObject();
    }
    json.EndArray();
    json.Key("protectionLeftOff").BeginArray();
    for (const std::string& field : leftOff.fields) {
        json.String(field);
    }
    json.EndArray();
}

int CCliSession::Config() {
    if (const Failure f = PrepareDevice(); f != Failure::None) {
        return ToInt(ExitCodeFor(f));
    }
    const DeviceLayout& layout = device_->Layout();
    if (CountOf(layout, Memory::Config) == 0) {
        return Fail(Failure::BadArguments, layout.name + " has no configuration memory");
    }
    std::unique_ptr<CMemoryImage> read;
    std::vector<ConfigTrap> traps;
    ProtectionLeftOff leftOff;
    if (options_.readConfig) {
        read = std::make_unique<CMemoryImage>(layout);
        if (const Failure f = Connect(); f != Failure::None) {
            return ToInt(ExitCodeFor(f));
        }
        jobs::JobContext context = Context();
        const jobs::Report r = jobs::Read(context, {false, true, false}, *read);
        record_.report = r;
        record_.deviceId = r.deviceId;
        if (!r.Ok()) {
            return Report(r.outcome);
        }
    } else {
        // What a write of the file would meet, as write tells it.
        const jobs::ConfigCheck check =
            jobs::CheckConfigToWrite(Context(), *job_.prepared->image, {false, true, false});
        traps = check.traps;
        leftOff = check.leftOff;
    }
    const CMemoryImage& image = read ? *read : *job_.prepared->image;
    std::vector<DecodedWord> words = DecodeConfig(entry_->index, ConfigCells(image));
    if (!options_.readConfig) {
        // A word the file leaves blank holds the image's blank value, not bits the file sets.
        const std::vector<std::uint32_t> blank = ConfigCells(CMemoryImage(layout));
        for (DecodedWord& word : words) {
            if (word.value == blank[word.word->cell]) {
                word.strayBits = 0;
            }
        }
    }
    const std::string file = options_.readConfig ? std::string() : options_.programFile;
    if (options_.json) {
        std::fputs(ConfigJson(layout.name, file, words, traps, leftOff).c_str(), env_.out);
        return ToInt(ExitCode::Success);
    }
    std::string text = ConfigLines(words);
    for (const ConfigTrap& trap : traps) {
        text += TrapLine(trap) + "\n";
    }
    if (leftOff.Any()) {
        text += "notice: " + leftOff.text + "\n";
    }
    std::fputs(text.c_str(), env_.out);
    return ToInt(ExitCode::Success);
}

FailureLine ApplyConfigSet(const CliOptions& options, int deviceIndex, CMemoryImage& image,
                           MemorySet& provided) {
    if (options.configSet.empty()) {
        return {};
    }
    const ConfigChanges changes = ParseConfigChanges(deviceIndex, options.configSet);
    if (!changes.ok) {
        return {Failure::BadArguments, "--set: " + changes.error};
    }
    // The file's image only: the file on disk stays as it is.
    ApplyConfigChanges(changes.changes, image);
    provided.config = true;
    return {};
}

void CCliSession::TellConfigNotes(const jobs::Report& report) {
    // Several ports, or --json: the run tells them once for all its ports.
    if (options_.quiet || job_.collect) {
        return;
    }
    // Notices only where the write got to the configuration: a failure before it is the news.
    if (!questions_.TrapsTold() && report.Step(Memory::Config) != nullptr) {
        for (const ConfigTrap& trap : report.configTraps) {
            PrintFailureLine(env_.err, TrapLine(trap));
        }
    }
    if (report.protectionLeftOff.Any() && report.Done(Memory::Config)) {
        PrintFailureLine(env_.err, "notice: " + report.protectionLeftOff.text);
    }
}

void CCliSession::TellProtectionLeftOff(const CMemoryImage& image) {
    const ProtectionLeftOff left = FindProtectionLeftOff(entry_->index, ConfigCells(image));
    if (left.Any() && !options_.quiet && !job_.collect) {
        PrintFailureLine(env_.err, "notice: " + left.text);
    }
}

}  // namespace tenlo::cli
