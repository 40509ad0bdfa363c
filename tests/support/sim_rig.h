#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "device/catalogue.h"
#include "device/device.h"
#include "link/clock.h"
#include "link/programmer_link.h"
#include "support/recording_backend.h"
#include "support/recording_ui.h"
#include "support/sim_socket.h"

namespace tenlo::testing {

// A simulated chip in the virtual programmer, a link to it in virtual time with the wire
// logged, and the catalogue's device for the chip with recording displays.
struct SimRig : SimSocket {
    explicit SimRig(std::string_view chip, sim::FaultPlan faults = {});

    VirtualClock clock;
    std::shared_ptr<WireLog> wire = std::make_shared<WireLog>();
    CProgrammerLink link;
    DeviceOptions options;
    RecordingProgress progress;
    RecordingWindow window;
    std::unique_ptr<CDevice> device;
};

// Command codes of the programmer, as the tests count them.
namespace cmd {
inline constexpr std::uint8_t kWait = 0x01;
inline constexpr std::uint8_t kExitEicsp = 0x08;
inline constexpr std::uint8_t kIcspCommand = 0x10;
inline constexpr std::uint8_t kIcspRepeat = 0x11;
inline constexpr std::uint8_t kIcspLoad = 0x12;
inline constexpr std::uint8_t kIcspRead = 0x13;
inline constexpr std::uint8_t kIcspReadMulti = 0x14;
inline constexpr std::uint8_t kIcspWait = 0x15;
inline constexpr std::uint8_t kTimedProgram = 0x16;
inline constexpr std::uint8_t kProgramWords = 0x18;
inline constexpr std::uint8_t kLoadWords = 0x19;
}  // namespace cmd

}  // namespace tenlo::testing
