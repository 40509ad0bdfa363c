#pragma once

#include <cstdint>
#include <optional>

#include "device/midrange/pic16f84a.h"

namespace tenlo {

// PIC12F629/675 and PIC16F630/676: every cell is written and read back on its own. A bulk erase
// takes the factory calibration with it (the OSCCAL word at the top of program memory and the
// band-gap bits of the configuration word), so erase and write save and put it back when the
// user asks to keep calibration data.
class CPic12F629 : public CPic16F84A {
  public:
    CPic12F629(CProgrammerLink& link, DeviceOptions* options, IProgressDisplay* progress,
               const DeviceLayout& layout, const MidRangeParams& params);

    std::optional<CalibrationPlace> CalibrationLocation() const override;

  protected:
    void ReadCalibrationBody() override;
    void WriteCalibrationBody() override;
    void WriteProgram() override;
    void CompareProgram() override;
    void WriteConfig() override;
    void WriteData() override;
    bool WriteCellVerified(bool isProgram, std::uint16_t value) override;
    bool EraseProgramStep() override;
    bool EraseDataStep() override;

    // Each word is read, or put back, in a programming session of its own; an empty optional
    // is left alone.
    virtual bool ReadCalibration(std::optional<std::uint16_t>* calibration,
                                 std::optional<std::uint16_t>* config);
    virtual bool RestoreCalibration(std::optional<std::uint16_t> calibration,
                                    std::optional<std::uint16_t> config);

  private:
    // From a fresh entry to the configuration word.
    bool GoToConfigWord();
    // WriteCellVerified with the bits that must read back as written.
    bool WriteCellUnder(bool isProgram, std::uint16_t value, std::uint16_t mask);
    std::uint16_t ConfigWordValue(std::uint16_t image, std::uint16_t savedConfig) const;
};

}  // namespace tenlo
