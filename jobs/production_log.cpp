#include "jobs/production_log.h"

#include <cstdio>
#include <ctime>
#include <fstream>

#include "jobs/durable_file.h"

namespace tenlo::jobs {

namespace {

// A row stays one line of the file, whatever a field holds: line breaks become blanks.
std::string CsvField(std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    if (text.find_first_of(",\"") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

std::string IsoTime(std::chrono::system_clock::time_point at) {
    const std::time_t t = std::chrono::system_clock::to_time_t(at);
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    char when[32];
    char zone[8];
    std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%S", &local);
    if (std::strftime(zone, sizeof zone, "%z", &local) != 5) {
        std::snprintf(zone, sizeof zone, "+0000");
    }
    // %z gives +0200; ISO 8601's extended form wants +02:00.
    char iso[48];
    std::snprintf(iso, sizeof iso, "%s%.3s:%.2s", when, zone, zone + 3);
    return iso;
}

std::string Hex4(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

const char* ResultWord(ChipResult result) {
    switch (result) {
        case ChipResult::Ok:
            return "ok";
        case ChipResult::Failed:
            return "failed";
        case ChipResult::Interrupted:
            return "interrupted";
    }
    return "failed";
}

}  // namespace

std::string LogHeader() {
    return "time,port,chip,device_id,revision,file,checksum,serial,result,cause,seconds\n";
}

std::string FormatLogRow(const LogRow& row) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f", row.seconds);
    const std::string fields[] = {
        IsoTime(row.time),
        CsvField(row.port),
        CsvField(row.chip),
        row.deviceId ? Hex4(*row.deviceId) : "",
        row.revision ? std::to_string(*row.revision) : "",
        CsvField(row.file),
        row.checksum ? Hex4(*row.checksum) : "",
        row.serial ? std::to_string(*row.serial) : "",
        ResultWord(row.result),
        CsvField(row.cause),
        seconds,
    };
    std::string line = fields[0];
    for (std::size_t i = 1; i < std::size(fields); ++i) {
        line += ',';
        line += fields[i];
    }
    line += '\n';
    return line;
}

std::optional<std::vector<std::string>> SplitCsvLine(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    bool fieldStart = true;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c != '"') {
                fields.back() += c;
            } else if (i + 1 < line.size() && line[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else {
                quoted = false;
            }
        } else if (c == ',') {
            fields.emplace_back();
            fieldStart = true;
            continue;
        } else if (c == '"' && fieldStart) {
            quoted = true;
        } else if (c == '"') {
            return std::nullopt;
        } else {
            fields.back() += c;
        }
        fieldStart = false;
    }
    if (quoted) {
        return std::nullopt;
    }
    return fields;
}

bool AppendLogRow(const std::string& path, const LogRow& row, int& error) {
    return AppendWhole(path, LogHeader(), FormatLogRow(row), error);
}

bool LogShowsSerialOk(const std::string& path, std::uint64_t serial) {
    std::ifstream in(path, std::ios::binary);
    const std::string wanted = std::to_string(serial);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const auto fields = SplitCsvLine(line);
        // serial and result are the eighth and ninth fields.
        if (fields && fields->size() == 11 && (*fields)[7] == wanted && (*fields)[8] == "ok") {
            return true;
        }
    }
    return false;
}

}  // namespace tenlo::jobs
