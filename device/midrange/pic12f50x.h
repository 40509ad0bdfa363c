#pragma once

#include <cstdint>

#include "device/midrange/pic16f54.h"

namespace tenlo {

// PIC12F508/509: 12-bit parts whose last program word holds the oscillator calibration, with a
// factory backup of it in the configuration area that a program-memory erase leaves alone.
class CPic12F50x : public CPic16F54 {
  public:
    // Increments per chunk on the way to the calibration word.
    static constexpr std::uint32_t kStepChunk = 64;

    CPic12F50x(CProgrammerLink& link, DeviceOptions* options, IProgressDisplay* progress,
               const DeviceLayout& layout, const MidRangeParams& params);

  protected:
    void WriteProgram() override;
    void CompareProgram() override;
    bool EraseAllStep() override;
    bool EraseProgramStep() override;

    // The backup calibration word, read in a programming session of its own.
    virtual bool ReadBackupCalibration(std::uint16_t& word);
};

}  // namespace tenlo
