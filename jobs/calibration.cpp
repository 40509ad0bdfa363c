#include "jobs/calibration.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <ctime>
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

}  // namespace tenlo::jobs
