#pragma once

#include <string>
#include <vector>

#include "cli/cli_setup.h"
#include "link/port_discovery.h"

namespace tenlo::cli {

// tenlo-cli ports: the serial ports present, an adapter seen for the first time given its COM
// number, one line each (COMn, device, by-id name, what it is, whether this user may open it)
// or one JSON document with --json. Exit 0, also when there is no port.
int RunPortsCommand(const CliOptions& options, CliEnvironment& env);

// The two renderings, for the ports given.
std::string PortsTable(const std::vector<SerialPortInfo>& ports);
std::string PortsJson(const std::vector<SerialPortInfo>& ports);

}  // namespace tenlo::cli
