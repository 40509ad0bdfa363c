#include "sim/fault_plan.h"

#include <cctype>
#include <charconv>
#include <limits>

namespace tenlo::sim {

namespace {

bool ParseNumber(std::string_view text, std::uint64_t& value) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) {
        return false;
    }
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    return ec == std::errc() && ptr == end;
}

bool ParseCount(std::string_view text, std::uint64_t& value) {
    return ParseNumber(text, value) && value >= 1;
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

}  // namespace

bool FaultPlan::Empty() const {
    return noAckFrames.empty() && badAcks.empty() && silenceFromByte == 0 &&
           disconnectAtByte == 0 && !noChip && !eeBusy && stuckCells.empty();
}

bool ParseFault(std::string_view text, FaultPlan& plan, std::string& error) {
    const std::string lowered = Lower(text);
    const std::string_view s(lowered);
    auto fail = [&](const std::string& why) {
        error = "bad fault \"" + std::string(text) + "\": " + why;
        return false;
    };

    if (s == "nochip") {
        plan.noChip = true;
        return true;
    }
    if (s == "eebusy") {
        plan.eeBusy = true;
        return true;
    }
    if (s.substr(0, 6) == "stuck:") {
        const std::string_view rest = s.substr(6);
        const auto colon = rest.find(':');
        if (colon == std::string_view::npos) {
            return fail("expected stuck:SPACE:ADDR");
        }
        const std::string_view name = rest.substr(0, colon);
        Space space;
        if (name == "program") {
            space = Space::Program;
        } else if (name == "config") {
            space = Space::Config;
        } else if (name == "data") {
            space = Space::Data;
        } else {
            return fail("space must be program, config or data");
        }
        std::uint64_t address = 0;
        if (!ParseNumber(rest.substr(colon + 1), address) ||
            address > std::numeric_limits<std::uint32_t>::max()) {
            return fail("bad address");
        }
        plan.stuckCells.emplace_back(space, static_cast<std::uint32_t>(address));
        return true;
    }

    const auto at = s.find('@');
    if (at == std::string_view::npos) {
        return fail("unknown fault");
    }
    const std::string_view kind = s.substr(0, at);
    std::string_view arg = s.substr(at + 1);
    if (kind == "badack") {
        std::uint64_t byte = 0;
        const auto eq = arg.find('=');
        if (eq != std::string_view::npos) {
            if (!ParseNumber(arg.substr(eq + 1), byte) || byte > 0xFF) {
                return fail("the replacement must be a byte");
            }
            arg = arg.substr(0, eq);
        }
        std::uint64_t frame = 0;
        if (!ParseCount(arg, frame)) {
            return fail("N must be a number from 1");
        }
        plan.badAcks[frame] = static_cast<std::uint8_t>(byte);
        return true;
    }
    std::uint64_t n = 0;
    if (!ParseCount(arg, n)) {
        return fail("N must be a number from 1");
    }
    if (kind == "noack") {
        plan.noAckFrames.insert(n);
    } else if (kind == "silence") {
        plan.silenceFromByte = n;
    } else if (kind == "disconnect") {
        plan.disconnectAtByte = n;
    } else {
        return fail("unknown fault");
    }
    return true;
}

const char* FaultSyntaxHelp() {
    return "  noack@N          the Nth frame (counted from 1 over every answer) gets no answer\n"
           "  badack@N[=B]     the Nth frame is answered with byte B (default 0x00)\n"
           "  silence@N        from the Nth byte received on, the firmware hangs (no answers)\n"
           "  disconnect@N     the Nth byte received breaks the line: the port is closed\n"
           "  nochip           no chip in the socket: every read is 0\n"
           "  eebusy           the PIC18 data-EEPROM status never leaves busy\n"
           "  stuck:SPACE:ADDR a cell that will not program (SPACE: program, config, data)\n"
           "  Numbers are decimal or 0x hexadecimal. --fault may be given several times.\n";
}

}  // namespace tenlo::sim
