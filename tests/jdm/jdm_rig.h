#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "jdm/jdm_programmer.h"
#include "link/clock.h"
#include "link/serial_port.h"
#include "sim/jdm/jdm_chip.h"
#include "sim/jdm/jdm_port_backend.h"

namespace tenlo::test {

// A port opened on the simulated JDM chip, everything in virtual time.
struct ChipRig {
    VirtualClock clock;
    std::shared_ptr<sim::CJdmPortBackend> backend = sim::MakeJdmSimulatorBackend(clock);
    sim::CJdmChip& chip = backend->Chip();
    CSerialPort port{nullptr, backend, &clock};
    CJDMProgrammer jdm{port};

    ChipRig() { opened = port.Open(ProgrammerPortDefinition(5)); }
    bool opened = false;

    std::size_t CountCommands(std::uint8_t code) const {
        std::size_t n = 0;
        for (const auto& c : chip.Commands()) {
            n += c.code == code ? 1 : 0;
        }
        return n;
    }
};

}  // namespace tenlo::test
