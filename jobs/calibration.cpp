#include "jobs/calibration.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <system_error>

namespace tenlo::jobs {

namespace {

std::string Hex4(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

// A word a shell takes as it stands, or the word in single quotes.
std::string ShellWord(const std::string& word) {
    const bool plain = !word.empty() && word.find_first_not_of(
                                            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                            "0123456789/._-+:,=") == std::string::npos;
    if (plain) {
        return word;
    }
    std::string quoted = "'";
    for (const char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// "0x" and four hex digits, as Hex4 writes a value.
std::optional<std::uint16_t> Hex4Value(std::string_view text) {
    if (text.size() != 6 || text.substr(0, 2) != "0x") {
        return std::nullopt;
    }
    unsigned value = 0;
    for (const char c : text.substr(2)) {
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                 : -1;
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return static_cast<std::uint16_t>(value);
}

}  // namespace

std::filesystem::path CalibrationJournalPath() {
    const auto named = [](const char* variable) -> std::filesystem::path {
        const char* value = std::getenv(variable);
        return value != nullptr ? std::filesystem::path(value) : std::filesystem::path();
    };
    std::filesystem::path base = named("XDG_STATE_HOME");
#ifdef _WIN32
    if (!base.is_absolute()) {
        base = named("LOCALAPPDATA");
    }
#endif
    if (!base.is_absolute()) {
        const std::filesystem::path home = named("HOME");
        base =
            home.is_absolute() ? home / ".local" / "state" : std::filesystem::temp_directory_path();
    }
    return base / "tenlo" / "calibration.log";
}

std::uint16_t BandGapNumber(std::uint16_t bits, std::uint16_t mask) {
    return mask == 0 ? 0 : static_cast<std::uint16_t>((bits & mask) >> std::countr_zero(mask));
}

std::uint16_t BandGapBits(std::uint16_t number, std::uint16_t mask) {
    return mask == 0 ? 0 : static_cast<std::uint16_t>((number << std::countr_zero(mask)) & mask);
}

std::string RestoreCommand(const CalibrationRecord& record) {
    std::string command = "tenlo-cli --port " + ShellWord(record.port) + " --device " +
                          ShellWord(record.chip) + " calibration --set " + Hex4(record.word);
    if (record.bandGap) {
        command += " --bandgap " + std::to_string(*record.bandGap);
    }
    return command;
}

std::string JournalLine(const CalibrationRecord& record) {
    char when[32] = "?";
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
#ifdef _WIN32
    const bool known = gmtime_s(&utc, &now) == 0;
#else
    const bool known = gmtime_r(&now, &utc) != nullptr;
#endif
    if (known) {
        std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &utc);
    }
    std::string line = std::string(when) + " " + record.chip + " on " + record.port;
    if (record.deviceId) {
        line += ", device ID " + Hex4(*record.deviceId);
    }
    line += ": calibration word " + Hex4(record.word);
    if (record.bandGap) {
        line += ", band-gap " + std::to_string(*record.bandGap);
    }
    return line + "; to put it back: " + RestoreCommand(record);
}

bool AppendToJournal(const std::filesystem::path& path, const std::string& line) {
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
#ifdef _WIN32
    std::FILE* file = ::_wfopen(path.c_str(), L"ab");
#else
    std::FILE* file = std::fopen(path.c_str(), "ae");
#endif
    if (file == nullptr) {
        return false;
    }
    const std::string text = line + "\n";
    bool ok =
        std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
#ifdef _WIN32
    ok = ok && ::_commit(::_fileno(file)) == 0;
#else
    ok = ok && ::fsync(::fileno(file)) == 0;
#endif
    return std::fclose(file) == 0 && ok;
}

std::optional<JournalEntry> ParseJournalLine(std::string_view line) {
    // TIME CHIP on PORT[, device ID 0xNNNN]: calibration word 0x34NN[, band-gap N]; to put...
    constexpr std::string_view kRestore = "; to put it back: ";
    constexpr std::string_view kWord = ": calibration word ";
    constexpr std::string_view kOn = " on ";
    constexpr std::string_view kId = ", device ID ";
    constexpr std::string_view kBandGap = ", band-gap ";
    constexpr auto npos = std::string_view::npos;
    const std::size_t restore = line.find(kRestore);
    const std::size_t word = line.substr(0, restore).rfind(kWord);
    if (restore == npos || word == npos) {
        return std::nullopt;
    }
    std::string_view who = line.substr(0, word);
    std::string_view values = line.substr(word + kWord.size(), restore - word - kWord.size());

    JournalEntry entry;
    const std::size_t space = who.find(' ');
    const std::size_t on = who.find(kOn, space == npos ? 0 : space + 1);
    if (space == npos || on == npos || on <= space + 1) {
        return std::nullopt;
    }
    entry.time = who.substr(0, space);
    entry.record.chip = who.substr(space + 1, on - space - 1);
    std::string_view port = who.substr(on + kOn.size());
    if (const std::size_t id = port.rfind(kId); id != npos) {
        entry.record.deviceId = Hex4Value(port.substr(id + kId.size()));
        if (!entry.record.deviceId) {
            return std::nullopt;
        }
        port = port.substr(0, id);
    }
    if (port.empty()) {
        return std::nullopt;
    }
    entry.record.port = port;
    if (const std::size_t gap = values.find(kBandGap); gap != npos) {
        const std::string_view number = values.substr(gap + kBandGap.size());
        if (number.size() != 1 || number[0] < '0' || number[0] > '3') {
            return std::nullopt;
        }
        entry.record.bandGap = static_cast<std::uint16_t>(number[0] - '0');
        values = values.substr(0, gap);
    }
    const std::optional<std::uint16_t> value = Hex4Value(values);
    if (!value || !IsRetlw(*value)) {
        return std::nullopt;
    }
    entry.record.word = *value;
    return entry;
}

std::vector<JournalEntry> JournalEntriesFor(const std::filesystem::path& path,
                                            std::string_view chip) {
    std::vector<JournalEntry> entries;
#ifdef _WIN32
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(::_wfopen(path.c_str(), L"rb"),
                                                               &std::fclose);
#else
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rbe"),
                                                               &std::fclose);
#endif
    if (!file) {
        return entries;
    }
    // Lines are short: a longer one is no entry, and is passed over without being held whole.
    constexpr std::size_t kLongest = 4096;
    std::string line;
    bool tooLong = false;
    const auto take = [&] {
        if (!tooLong) {
            if (std::optional<JournalEntry> entry = ParseJournalLine(line);
                entry && entry->record.chip == chip) {
                entries.push_back(std::move(*entry));
            }
        }
        line.clear();
        tooLong = false;
    };
    char block[65536];
    std::size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, file.get())) > 0) {
        for (std::size_t i = 0; i < got; ++i) {
            if (block[i] == '\n') {
                take();
            } else if (line.size() < kLongest) {
                line += block[i];
            } else {
                tooLong = true;
            }
        }
    }
    if (!line.empty()) {
        take();  // the last line, cut short by a crash while it was written
    }
    std::reverse(entries.begin(), entries.end());
    return entries;
}

}  // namespace tenlo::jobs
