#include "support/sim_rig.h"

#include <utility>

#include "link/serial_port.h"
#include "sim/in_process_backend.h"

namespace tenlo::testing {

SimRig::SimRig(std::string_view chip, sim::FaultPlan faults)
    : SimSocket(chip, std::move(faults)),
      link(nullptr, MakeRecordingBackend(sim::MakeInProcessBackend(programmer, clock), wire),
           &clock) {
    link.Connect(ProgrammerPortDefinition(5));
    device = CreateDevice(FindCatalogueIndex(chip), link, &options, &progress);
    if (device) {
        device->SetMainWindow(&window);
    }
}

}  // namespace tenlo::testing
