#include "cli/ports_command.h"

#include <algorithm>

#include "cli/exit_codes.h"
#include "cli/json_writer.h"
#include "cli/terminal_ui.h"
#include "link/port_advice.h"

namespace tenlo::cli {

namespace {

std::string ComNames(const SerialPortInfo& port, const char* separator) {
    std::string names;
    for (const unsigned long n : port.comNumbers) {
        if (!names.empty()) {
            names += separator;
        }
        names += "COM";
        names += std::to_string(n);
    }
    return names;
}

std::string AccessText(const SerialPortInfo& port) {
    if (port.mayOpen) {
        return "may open";
    }
    return "permission denied" + (port.group.empty() ? "" : " (group " + port.group + ")");
}

const char* KindKey(PortKind kind) {
    switch (kind) {
        case PortKind::UsbSerial:
            return "usb-serial";
        case PortKind::UsbModem:
            return "usb-acm";
        case PortKind::Onboard:
            return "uart";
        case PortKind::PseudoTerminal:
            return "pty";
        case PortKind::Other:
            break;
    }
    return "other";
}

void OptionalString(CJsonWriter& json, const char* key, const std::string& value) {
    json.Key(key);
    if (value.empty()) {
        json.Null();
    } else {
        json.String(value);
    }
}

}  // namespace

std::string PortsTable(const std::vector<SerialPortInfo>& ports) {
    if (ports.empty()) {
        return "no serial ports found\n";
    }
    std::vector<std::vector<std::string>> rows;
    for (const SerialPortInfo& port : ports) {
        const std::string com = ComNames(port, ",");
        const std::size_t slash = port.byId.rfind('/');
        rows.push_back({com.empty() ? "-" : com, port.device,
                        port.byId.empty() ? "-" : port.byId.substr(slash + 1),
                        PortDescription(port), AccessText(port)});
    }
    std::vector<std::size_t> widths(rows.front().size(), 0);
    for (auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            // A device names itself: nothing of that may act on the terminal.
            row[i] = Printable(row[i]);
            widths[i] = std::max(widths[i], row[i].size());
        }
    }
    std::string text;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) {
                line.append(widths[i] - row[i].size() + 2, ' ');
            }
        }
        text += line + "\n";
    }
    // What to do about a port this user may not open, once per group.
    std::vector<std::string> told;
    for (const SerialPortInfo& port : ports) {
        if (port.mayOpen || std::find(told.begin(), told.end(), port.group) != told.end()) {
            continue;
        }
        told.push_back(port.group);
        PortOpenFailure failure;
        failure.reason = PortOpenFailure::Reason::PermissionDenied;
        failure.device = port.device;
        failure.group = port.group;
        text += "note: " + Printable(PortOpenProblem(failure)) + "\n";
    }
    return text;
}

std::string PortsJson(const std::vector<SerialPortInfo>& ports) {
    CJsonWriter json;
    json.BeginObject().Key("ports").BeginArray();
    for (const SerialPortInfo& port : ports) {
        json.BeginObject();
        json.Key("com").BeginArray();
        for (const unsigned long n : port.comNumbers) {
            json.String("COM" + std::to_string(n));
        }
        json.EndArray();
        json.Key("device").String(port.device);
        OptionalString(json, "byId", port.byId);
        json.Key("kind").String(KindKey(port.kind));
        OptionalString(json, "vendorId", port.vendorId);
        OptionalString(json, "productId", port.productId);
        OptionalString(json, "manufacturer", port.manufacturer);
        OptionalString(json, "product", port.product);
        OptionalString(json, "serial", port.serial);
        json.Key("description").String(PortDescription(port));
        json.Key("mayOpen").Bool(port.mayOpen);
        OptionalString(json, "group", port.group);
        json.EndObject();
    }
    json.EndArray().EndObject();
    return json.Text() + "\n";
}

int RunPortsCommand(const CliOptions& options, CliEnvironment& env) {
    const std::vector<SerialPortInfo> ports = DiscoverSerialPorts();
    const std::string text = options.json ? PortsJson(ports) : PortsTable(ports);
    std::fputs(text.c_str(), env.out);
    return ToInt(ExitCode::Success);
}

}  // namespace tenlo::cli
