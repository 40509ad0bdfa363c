#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/catalogue.h"
#include "device/chip_config.h"
#include "device/device.h"
#include "device/memory_image.h"
#include "jobs/outcome.h"
#include "link/programmer_link.h"

namespace tenlo::jobs {

// Which of a chip's three memories a job touches.
struct MemorySet {
    bool program = false;
    bool config = false;
    bool data = false;

    bool Empty() const { return !program && !config && !data; }
    bool Has(Memory memory) const;
    MemorySet operator&(const MemorySet& o) const {
        return {program && o.program, config && o.config, data && o.data};
    }
    MemorySet operator|(const MemorySet& o) const {
        return {program || o.program, config || o.config, data || o.data};
    }
    bool operator==(const MemorySet&) const = default;
};

inline constexpr MemorySet kAllMemories{true, true, true};
// The memories the layout has (size not 0).
MemorySet MemoriesOf(const DeviceLayout& layout);

// What only the user can answer. A job asks when it has to and goes by the answer; a front
// answers from its options (tenlo-cli) or by asking (Tenlo's message boxes). Questions come on
// the thread that runs the job, never from a worker.
class IJobQuestions {
  public:
    virtual ~IJobQuestions() = default;
    // The device ID word (revision bits included) names other chips than the selected one
    // (named empty: no chip this program knows). True: go on with the chip as the selected one.
    virtual bool GoOnWithOtherChip(const std::string& selected,
                                   const std::vector<std::string>& named, std::uint16_t id) = 0;
    // A HEX file ended without an end record (empty: there was no record at all, an empty
    // file). True: take what it holds.
    virtual bool LoadWithoutEndRecord(const std::string& path, bool empty) = 0;
    // A write's configuration holds traps (FindConfigTraps), at least one a warning; asked once,
    // before anything goes to the chip. The notices come along to be named with them. True:
    // write it all the same.
    virtual bool WriteDespiteConfigTraps(const std::vector<ConfigTrap>& traps) = 0;
};

// Hooks into a job as it runs, on the thread that runs it. Each has a default that does nothing.
class IJobObserver {
  public:
    virtual ~IJobObserver() = default;
    // A phase begins; memory is the one it works on, if any.
    virtual void PhaseBegins(Phase /*phase*/, std::optional<Memory> /*memory*/) {}
    // The whole chip is about to be erased (the erase job, or a write asked to erase first),
    // the line connected and the device ID checked: the place to read and keep what the erase
    // takes. False: do not erase; the job ends with Cause::Declined.
    virtual bool BeforeErase(CDevice& /*device*/) { return true; }
    // A write is about to send a memory from the image: the last moment to change its cells
    // (a serial number). False: the memory is not written; the job ends with Cause::Declined.
    virtual bool BeforeWrite(Memory /*memory*/, CMemoryImage& /*image*/) { return true; }
};

// What every device job works with. The device (of the chip's catalogue entry) and the link are
// the front's, connected (the programmer answered a ping); the device reads the front's
// options record.
struct JobContext {
    JobContext(CDevice& d, const CatalogueEntry& c, CProgrammerLink& l, std::string portName)
        : device(d), chip(c), link(l), port(std::move(portName)) {}

    CDevice& device;
    const CatalogueEntry& chip;
    CProgrammerLink& link;
    // How the user calls the port ("COM5", or a path): line failures name it.
    std::string port;
    // False: the device ID is not read before the job (tenlo-cli --force).
    bool checkSocket = true;
    // None: every question is answered no.
    IJobQuestions* questions = nullptr;
    IJobObserver* observer = nullptr;
    // Raised from any thread (a signal handler, a cancel button): the job ends at the next
    // command, the chip powered down, with Cause::Interrupted. The link's own stop flag, if it
    // has one, stops the job as well.
    const std::atomic<bool>* stop = nullptr;

    bool Stopped() const;
};

}  // namespace tenlo::jobs
