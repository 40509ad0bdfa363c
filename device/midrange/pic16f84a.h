#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "device/midrange/midrange_device.h"

namespace tenlo {

// PIC16F84A and the 16F87x parts, and the base of every other mid-range family: the default
// operation bodies and the steps they are built from. Families override steps, or whole bodies
// where their algorithm differs.
class CPic16F84A : public CMidRangeDevice {
  public:
    // The PIC16F84A itself.
    CPic16F84A(CProgrammerLink& link, DeviceOptions* options, IProgressDisplay* progress);
    // A catalogued chip: its layout and constants replace the 16F84A's.
    CPic16F84A(CProgrammerLink& link, DeviceOptions* options, IProgressDisplay* progress,
               const DeviceLayout& layout, const MidRangeParams& params);

    static DeviceLayout DefaultLayout();
    static MidRangeParams DefaultParams();

    bool EraseProgram() override;
    bool EraseData() override;

  protected:
    void ReadProgram() override;
    void WriteProgram() override;
    void CompareProgram() override;
    void WriteConfig() override;
    void ReadConfig() override;
    void CompareConfig() override;
    void WriteData() override;
    void ReadData() override;
    void CompareData() override;
    void Erase() override;

    // Steps, in their fixed order.
    virtual bool EraseAllStep();
    virtual bool EraseProgramStep();
    virtual bool EraseDataStep();
    virtual bool PrepareProgramWrite();
    virtual bool PrepareProgramRead();
    virtual bool WriteProgramBlock(std::span<const std::uint16_t> words);
    virtual bool PrepareConfigWrite();
    virtual bool PrepareConfigRead();
    virtual bool WriteConfigWord(std::uint16_t word);
    virtual bool PrepareDataWrite();
    virtual bool PrepareDataRead();
    virtual bool WriteDataBlock(std::span<const std::uint8_t> bytes);

    // Opens an operation body: progress shown, programming mode entered, the memory prepared.
    // False, with the operation already finished, when any of it failed.
    bool OpenBody(std::string_view text, bool (CPic16F84A::*prepare)());
    // Writes source in blocks of kWriteBlock with progress; false at the first failed block.
    template <class Cell, class WriteBlock>
    bool WriteInBlocks(std::span<const Cell> source, WriteBlock writeBlock);

    // The program compare body: words compared under mask, skipAddress (when not -1) passed
    // over, as the calibration word is when the user asks not to compare it.
    void CompareProgramBody(std::uint32_t mask, std::ptrdiff_t skipAddress);
};

}  // namespace tenlo
