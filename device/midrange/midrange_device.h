#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "device/device.h"
#include "device/midrange/midrange_params.h"

namespace tenlo {

// The 12- and 14-bit PIC12/PIC16 parts: ICSP command codes, the building blocks every family
// composes, and the block loops the families share.
class CMidRangeDevice : public CDevice {
  public:
    static constexpr std::uint16_t kWordMask = 0x3FFF;
    static constexpr std::size_t kReadBlock = 64;
    static constexpr std::size_t kWriteBlock = 16;
    // The 14-bit parts' configuration memory from 0x2000: user IDs in cells 0-3, the device ID
    // word in cell 6, the configuration word in cell 7.
    static constexpr std::uint32_t kConfigStart = 0x2000;
    static constexpr std::size_t kUserIdCells = 4;
    static constexpr std::size_t kDeviceIdCell = 6;
    static constexpr std::size_t kConfigWordCell = 7;

    CMidRangeDevice(CProgrammerLink& link, DeviceOptions* options, IProgressDisplay* progress);

    bool Initialize() override { return true; }
    void GetLayout(DeviceLayout& out) const override { out = layout_; }
    // Every word and byte is programmed and read back by the firmware or the body.
    bool WriteReadsBack() const override { return true; }
    // Reads configuration memory and compares cell 6 with the layout's device ID, revision bits
    // aside. False when it cannot be read or the chip has no cell 6.
    bool CheckDeviceId() override;
    // Configuration cell 6 of the 14-bit parts that have an ID (not the PIC16F84).
    std::optional<DeviceIdPlace> DeviceIdLocation() const override;

    const MidRangeParams& Params() const { return params_; }

    // The 14-bit parts write only the user IDs and the configuration word (code protection
    // off; the bits the chip lacks, and on the 12F629 family the band-gap bits, are not the
    // write's), and a kept calibration word comes from the chip rather than the image.
    std::vector<WrittenCell> WrittenCells(Memory memory) const override;

    // What every mid-range device starts from: 14-bit program and configuration words, 8-bit
    // data, configuration cells 0x2000 to 0x2007, the 14-bit grids.
    static DeviceLayout DefaultLayout();

  protected:
    // Building blocks, in their fixed order.
    // count 0 or 1: one increment; more: repeats of at most 255.
    virtual bool IncrementAddress(std::uint32_t count);
    // A verified write of one cell and an increment; only the families that need it have one.
    virtual bool WriteCellVerified(bool isProgram, std::uint16_t value);
    // Words are cut to 14 bits. An empty span still reads one word (and drops it), as a count
    // of 0 does on the wire.
    virtual bool ReadProgramWords(std::span<std::uint16_t> words);
    virtual bool ReadDataBytes(std::span<std::uint8_t> bytes);
    virtual bool EnterProgramMode();
    virtual bool ExitProgramMode();
    // Moves the address to 0x2000 and loads the latch.
    virtual bool LoadConfig(std::uint16_t value);
    void Finish(bool result) override;
    // Reads configuration memory as ReadConfig does and keeps cell 6.
    void ReadDeviceId() override;

    // Shared loops over the whole memory in blocks of kReadBlock, with progress.
    Step ReadProgramBlocks(std::span<std::uint16_t> target);
    Step ReadDataBlocks(std::span<std::uint8_t> target);
    // Next: all equal (out untouched); Stop: the first difference is in out; Fail: a read
    // failed. skip is a program address left out of the comparison, or -1.
    Step CompareProgramBlocks(std::span<const std::uint16_t> source, std::uint32_t mask,
                              CompareResult& out, std::ptrdiff_t skip = -1);
    Step CompareDataBlocks(std::span<const std::uint8_t> source, CompareResult& out);

    // The buffers of the running operation, cut to the layout's sizes.
    std::span<std::uint16_t> ProgramTarget();
    std::span<std::uint16_t> ConfigTarget();
    std::span<std::uint8_t> DataTarget();
    std::span<const std::uint16_t> ProgramSource();
    std::span<const std::uint16_t> ConfigSource();
    std::span<const std::uint8_t> DataSource();

    MidRangeParams params_;
};

}  // namespace tenlo
