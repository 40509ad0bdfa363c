#include "link/port_names.h"

#include <cstdlib>

namespace tenlo {

namespace {

std::string EnvOrEmpty(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

}  // namespace

std::vector<std::string> PortLinkDirectories() {
    std::vector<std::string> dirs;
    if (std::string dir = EnvOrEmpty("TENLO_PORT_DIR"); !dir.empty()) {
        dirs.push_back(std::move(dir));
    }
    std::string config = EnvOrEmpty("XDG_CONFIG_HOME");
    if (config.empty()) {
        if (const std::string home = EnvOrEmpty("HOME"); !home.empty()) {
            config = home + "/.config";
        }
    }
    if (!config.empty()) {
        dirs.push_back(config + "/tenlo/ports");
    }
    return dirs;
}

std::vector<std::string> ComPortCandidates(unsigned long number, PortSystem system) {
    if (system == PortSystem::Windows) {
        return {"\\\\.\\COM" + std::to_string(number)};
    }
    const std::string file = "/com" + std::to_string(number);
    std::vector<std::string> candidates;
    for (const std::string& dir : PortLinkDirectories()) {
        candidates.push_back(dir + file);
    }
    candidates.push_back("/dev/ttyS" + std::to_string(number - 1));
    return candidates;
}

std::optional<unsigned long> ComPortNumber(std::string_view name) {
    if (name.size() < 4 || name.size() > 10) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < 3; ++i) {
        if ((name[i] | 0x20) != "com"[i]) {
            return std::nullopt;
        }
    }
    if (name[3] == '0') {
        return std::nullopt;
    }
    unsigned long value = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<unsigned long>(name[i] - '0');
    }
    return value;
}

}  // namespace tenlo
