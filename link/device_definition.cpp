// The device-definition syntax of the Windows mode command, as BuildCommDCB reads it:
//   [COMn:] baud=b parity=p data=d stop=s to=on|off xon=on|off odsr=on|off octs=on|off
//           dtr=on|off|hs rts=on|off|hs|tg idsr=on|off
// or the older positional form "baud,parity,data,stop[,x|p]".

#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>

#include "link/serial_port.h"

namespace tenlo {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

char Lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) {
            return false;
        }
    }
    return true;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

bool ParseNumber(std::string_view s, std::uint32_t& out) {
    if (s.empty() || s.size() > 9) {
        return false;
    }
    std::uint32_t value = 0;
    for (char c : s) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    out = value;
    return true;
}

// The mode command's two-digit abbreviations stand for the classic rates.
bool ParseBaud(std::string_view s, std::uint32_t& out) {
    std::uint32_t value = 0;
    if (!ParseNumber(s, value) || value == 0) {
        return false;
    }
    switch (value) {
        case 11:
            value = 110;
            break;
        case 15:
            value = 150;
            break;
        case 30:
            value = 300;
            break;
        case 60:
            value = 600;
            break;
        case 12:
            value = 1200;
            break;
        case 24:
            value = 2400;
            break;
        case 48:
            value = 4800;
            break;
        case 96:
            value = 9600;
            break;
        case 19:
            value = 19200;
            break;
        default:
            break;
    }
    out = value;
    return true;
}

bool ParseParity(std::string_view s, char& out) {
    if (s.size() != 1) {
        return false;
    }
    const char p = static_cast<char>(std::toupper(static_cast<unsigned char>(s[0])));
    if (p != 'N' && p != 'E' && p != 'O' && p != 'M' && p != 'S') {
        return false;
    }
    out = p;
    return true;
}

bool ParseDataBits(std::string_view s, std::uint8_t& out) {
    std::uint32_t value = 0;
    if (!ParseNumber(s, value) || value < 5 || value > 8) {
        return false;
    }
    out = static_cast<std::uint8_t>(value);
    return true;
}

bool ParseStopBits(std::string_view s, StopBits& out) {
    if (s == "1") {
        out = StopBits::One;
    } else if (s == "1.5") {
        out = StopBits::OneHalf;
    } else if (s == "2") {
        out = StopBits::Two;
    } else {
        return false;
    }
    return true;
}

bool ParseOnOff(std::string_view s, bool& out) {
    if (EqualsNoCase(s, "on")) {
        out = true;
    } else if (EqualsNoCase(s, "off")) {
        out = false;
    } else {
        return false;
    }
    return true;
}

bool ParseKeywordForm(std::string_view text, CommSettings& s) {
    bool stopGiven = false;
    bool baudGiven = false;
    while (true) {
        while (!text.empty() && IsBlank(text.front())) {
            text.remove_prefix(1);
        }
        if (text.empty()) {
            break;
        }
        std::size_t keyEnd = 0;
        while (keyEnd < text.size() && std::isalpha(static_cast<unsigned char>(text[keyEnd]))) {
            ++keyEnd;
        }
        const std::string_view key = text.substr(0, keyEnd);
        text.remove_prefix(keyEnd);
        while (!text.empty() && IsBlank(text.front())) {
            text.remove_prefix(1);
        }
        if (key.empty() || text.empty() || text.front() != '=') {
            return false;
        }
        text.remove_prefix(1);
        while (!text.empty() && IsBlank(text.front())) {
            text.remove_prefix(1);
        }
        std::size_t valueEnd = 0;
        while (valueEnd < text.size() && !IsBlank(text[valueEnd])) {
            ++valueEnd;
        }
        const std::string_view value = text.substr(0, valueEnd);
        text.remove_prefix(valueEnd);

        bool flag = false;
        if (EqualsNoCase(key, "baud")) {
            if (!ParseBaud(value, s.baud)) {
                return false;
            }
            baudGiven = true;
        } else if (EqualsNoCase(key, "parity")) {
            if (!ParseParity(value, s.parity)) {
                return false;
            }
        } else if (EqualsNoCase(key, "data")) {
            if (!ParseDataBits(value, s.dataBits)) {
                return false;
            }
        } else if (EqualsNoCase(key, "stop")) {
            if (!ParseStopBits(value, s.stopBits)) {
                return false;
            }
            stopGiven = true;
        } else if (EqualsNoCase(key, "to")) {
            if (!ParseOnOff(value, s.timeoutOn)) {
                return false;
            }
        } else if (EqualsNoCase(key, "xon")) {
            if (!ParseOnOff(value, flag)) {
                return false;
            }
            s.inX = flag;
            s.outX = flag;
        } else if (EqualsNoCase(key, "odsr")) {
            if (!ParseOnOff(value, s.outxDsrFlow)) {
                return false;
            }
        } else if (EqualsNoCase(key, "octs")) {
            if (!ParseOnOff(value, s.outxCtsFlow)) {
                return false;
            }
        } else if (EqualsNoCase(key, "idsr")) {
            if (!ParseOnOff(value, s.dsrSensitivity)) {
                return false;
            }
        } else if (EqualsNoCase(key, "dtr")) {
            if (EqualsNoCase(value, "hs")) {
                s.dtr = DtrControl::Handshake;
            } else if (ParseOnOff(value, flag)) {
                s.dtr = flag ? DtrControl::Enable : DtrControl::Disable;
            } else {
                return false;
            }
        } else if (EqualsNoCase(key, "rts")) {
            if (EqualsNoCase(value, "hs")) {
                s.rts = RtsControl::Handshake;
            } else if (EqualsNoCase(value, "tg")) {
                s.rts = RtsControl::Toggle;
            } else if (ParseOnOff(value, flag)) {
                s.rts = flag ? RtsControl::Enable : RtsControl::Disable;
            } else {
                return false;
            }
        } else {
            return false;
        }
    }
    // The mode command always settles the stop bits: two at 110 baud, else one.
    if (!stopGiven) {
        s.stopBits = (baudGiven && s.baud == 110) ? StopBits::Two : StopBits::One;
    }
    return true;
}

// "9600,n,8,1[,x|p]": empty or missing fields keep their value; the flow field (or its
// absence) always sets the handshake lines.
bool ParsePositionalForm(std::string_view text, CommSettings& s) {
    std::string_view fields[5];
    std::size_t count = 0;
    while (true) {
        const std::size_t comma = text.find(',');
        if (count == 5) {
            return false;
        }
        fields[count++] = Trim(text.substr(0, comma));
        if (comma == std::string_view::npos) {
            break;
        }
        text.remove_prefix(comma + 1);
    }
    if (fields[0].empty() || !ParseBaud(fields[0], s.baud)) {
        return false;
    }
    if (count > 1 && !fields[1].empty() && !ParseParity(fields[1], s.parity)) {
        return false;
    }
    if (count > 2 && !fields[2].empty() && !ParseDataBits(fields[2], s.dataBits)) {
        return false;
    }
    if (count > 3 && !fields[3].empty()) {
        if (!ParseStopBits(fields[3], s.stopBits)) {
            return false;
        }
    } else {
        s.stopBits = s.baud == 110 ? StopBits::Two : StopBits::One;
    }
    const std::string_view flow = count > 4 ? fields[4] : std::string_view{};
    if (EqualsNoCase(flow, "x")) {
        s.inX = s.outX = true;
        s.outxCtsFlow = s.outxDsrFlow = false;
        s.dtr = DtrControl::Enable;
        s.rts = RtsControl::Enable;
    } else if (EqualsNoCase(flow, "p")) {
        s.inX = s.outX = false;
        s.outxCtsFlow = s.outxDsrFlow = true;
        s.dtr = DtrControl::Handshake;
        s.rts = RtsControl::Handshake;
    } else if (flow.empty()) {
        s.inX = s.outX = false;
        s.outxCtsFlow = s.outxDsrFlow = false;
        s.dtr = DtrControl::Enable;
        s.rts = RtsControl::Enable;
    } else {
        return false;
    }
    return true;
}

}  // namespace

bool ParseDeviceDefinition(const std::string& definition, CommSettings& settings) {
    std::string_view text = Trim(definition);
    // An optional "COMn:" names the port; it carries no settings.
    if (text.size() >= 3 && EqualsNoCase(text.substr(0, 3), "COM")) {
        std::size_t i = 3;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
            ++i;
        }
        if (i == 3 || i >= text.size() || text[i] != ':') {
            return false;
        }
        text = Trim(text.substr(i + 1));
    }
    if (text.empty()) {
        return true;
    }
    CommSettings parsed = settings;
    const bool ok = text.find('=') != std::string_view::npos ? ParseKeywordForm(text, parsed)
                                                             : ParsePositionalForm(text, parsed);
    if (ok) {
        settings = parsed;
    }
    return ok;
}

}  // namespace tenlo
