#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tenlo {

// Port names stay "COMn" everywhere; on POSIX a name is looked up in these places, in order:
// $TENLO_PORT_DIR/comN (when the variable is set), ${XDG_CONFIG_HOME:-$HOME/.config}/tenlo/
// ports/comN (a link the user makes, to /dev/ttyUSB0 say), then /dev/ttyS<N-1>.

// The folders that hold comN links, in lookup order; the first is where a program serving a
// port links it. Empty when no variable names one.
std::vector<std::string> PortLinkDirectories();

// Which rules find a port: every build can ask for either, so the Windows ones are tested on
// Linux too.
enum class PortSystem { Posix, Windows };
#if defined(_WIN32)
inline constexpr PortSystem kThisPortSystem = PortSystem::Windows;
#else
inline constexpr PortSystem kThisPortSystem = PortSystem::Posix;
#endif

// Every place COMn may live, in lookup order (number from 1). On Windows that is the one
// device the system itself names COMn, through its device namespace (\\.\COMn), which also
// reaches ports above COM9.
std::vector<std::string> ComPortCandidates(unsigned long number,
                                           PortSystem system = kThisPortSystem);

// n for "COMn" in any case (n from 1, no leading zero); nothing for any other name.
std::optional<unsigned long> ComPortNumber(std::string_view name);

}  // namespace tenlo
