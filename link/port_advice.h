#pragma once

#include <string>

#include "link/port_backend.h"

namespace tenlo {

// What a user is told when a port does not open, once in English for the command line and
// once in Japanese for the two windowed programs; both say the same.

// One line for the reasons a user can act on (permission, another program holding the port);
// empty for the others, where the caller's own text stands.
std::string PortOpenProblem(const PortOpenFailure& failure);

// The note that follows "Cannot open COMn." in the windowed programs' box; empty when there
// is nothing to add.
std::string PortOpenProblemJapanese(const PortOpenFailure& failure);

}  // namespace tenlo
