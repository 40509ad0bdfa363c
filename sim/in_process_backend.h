#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "link/clock.h"
#include "link/port_backend.h"
#include "sim/virtual_programmer.h"

namespace tenlo::sim {

// A port backend whose every "COMn" (any n, any case) is a serial line to the given virtual
// programmer, for --simulate and for tests:
//
//   auto programmer = std::make_shared<sim::CVirtualProgrammer>(sim::CreateChip("PIC16F84A"));
//   VirtualClock clock;
//   CProgrammerLink link(nullptr, sim::MakeInProcessBackend(programmer, clock), &clock);
//   link.Connect("COM5: baud=38400 parity=N data=8 stop=1");
//
// Like a real port, only one handle may be open at a time (a second Open gives nullptr until
// the first handle is destroyed). Written bytes reach the firmware at once; its replies wait in
// the handle. A read waits on the clock until its bytes are there or the read time-out (1000 ms
// until SetTimeouts says otherwise) has passed, then returns what it has, 0 for nothing: with a
// VirtualClock that wait costs no real time. A disconnect fault turns every call into an I/O
// error (-1 / false). There are no modem lines: the line calls return false.
//
// lineRate: every byte takes 10 bits at 38400 baud in each direction (260.4 us), so a reply is
// available only when it would have crossed a real line; and the firmware takes its time over
// each framed byte, so a host byte that arrives less than 0.9 ms after a framed one is lost
// (CFirmwareEngine::kByteHandling), as on the real programmer.
//
// The clock must outlive the backend and its handles; the programmer is shared.
std::shared_ptr<IPortBackend> MakeInProcessBackend(std::shared_ptr<CVirtualProgrammer> programmer,
                                                   IClock& clock, bool lineRate = false);

// What --simulate sets up, in every program and tool: a virtual programmer with a chip in its
// socket (null: an empty socket) and the backend that serves every COMn from it.
struct SimulatedProgrammer {
    std::shared_ptr<CVirtualProgrammer> programmer;
    std::shared_ptr<IPortBackend> backend;
};
SimulatedProgrammer SimulateProgrammer(std::unique_ptr<IChipModel> chip, IClock& clock,
                                       FaultPlan faults = {});
// The same with the chip of that name (CreateChip's names); nothing when the simulator has no
// model of it.
std::optional<SimulatedProgrammer> SimulateChip(std::string_view chip, IClock& clock,
                                                FaultPlan faults = {});
// "--simulate: the virtual programmer has no model of "NAME"".
std::string NoModelText(std::string_view chip);

}  // namespace tenlo::sim
