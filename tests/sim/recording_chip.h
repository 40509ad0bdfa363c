#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "sim/chip_model.h"
#include "sim/firmware_engine.h"

namespace tenlo::sim::testing {

// A chip that writes down every call the firmware makes and answers reads with fixed,
// recognisable values.
class RecordingChip final : public IChipModel {
  public:
    std::vector<std::string> calls;
    bool powered = false;
    std::uint16_t readValue = 0x1234;
    std::uint8_t eeStatus = 0;

    std::string Name() const override { return "REC"; }
    void PowerOn(bool vppFirst) override {
        powered = true;
        Log(vppFirst ? "PowerOn vpp" : "PowerOn vdd");
    }
    void PowerOff() override {
        powered = false;
        Log("PowerOff");
    }
    bool IsPowered() const override { return powered; }
    void IcspCommand(std::uint8_t command) override { Log(std::string("Cmd ") + H(command, 2)); }
    void IcspLoad(std::uint8_t command, std::uint16_t data) override {
        Log(std::string("Load ") + H(command, 2) + " " + H(data, 4));
    }
    std::uint16_t IcspRead(std::uint8_t command) override {
        Log(std::string("Read ") + H(command, 2));
        return readValue;
    }
    bool Peek(Space, std::uint32_t, std::uint32_t&) const override { return false; }
    bool Poke(Space, std::uint32_t, std::uint32_t) override { return false; }
    void SetStuckCell(Space, std::uint32_t address) override {
        Log(std::string("Stuck ") + H(address, 1));
    }

    void Pic18Command(std::uint8_t command, std::uint16_t payload) override {
        Log(std::string("P18 ") + H(command, 1) + " " + H(payload, 4));
    }
    std::uint8_t Pic18Receive(std::uint8_t command) override {
        Log(std::string("P18Rx ") + H(command, 1));
        return static_cast<std::uint8_t>(0x10 + rx_++);
    }
    void Pic18SetTablePointer(std::uint32_t address) override {
        Log(std::string("TBLPTR ") + H(address, 6));
    }
    void Pic18ProgramHold(std::uint8_t command, std::uint16_t payload, std::uint8_t hold) override {
        Log(std::string("P18Prog ") + H(command, 1) + " " + H(payload, 4) + " " +
            std::to_string(static_cast<unsigned>(hold)));
    }
    void Pic18EraseHold(std::uint8_t command, std::uint16_t payload, std::uint8_t hold) override {
        Log(std::string("P18Erase ") + H(command, 1) + " " + H(payload, 4) + " " +
            std::to_string(static_cast<unsigned>(hold)));
    }
    void Pic18EeSetAddress(std::uint16_t address, std::uint8_t data) override {
        Log(std::string("EeAddr ") + H(address, 4) + " " + H(data, 2));
    }
    void Pic18EeStart(bool startB) override { Log(startB ? "EeStart B" : "EeStart A"); }
    std::uint8_t Pic18EeStatus() override {
        Log("EeStatus");
        return eeStatus;
    }
    std::uint8_t Pic18EeRead(std::uint16_t address) override {
        Log(std::string("EeRead ") + H(address, 4));
        return static_cast<std::uint8_t>(address ^ 0x5A);
    }
    void Pic18EeEnd() override { Log("EeEnd"); }

    void DsSix(std::uint32_t instruction) override { Log(std::string("SIX ") + H(instruction, 6)); }
    std::uint16_t DsRegOut() override {
        Log("REGOUT");
        return 0xBEEF;
    }
    std::array<std::uint32_t, 4> DsReadProgram4() override {
        Log("DsRead4");
        return {0x123456, 0xABCDEF, 0x010203, 0xFEDCBA};
    }
    std::uint16_t DsReadWord() override {
        Log("DsWord");
        return 0x5AA5;
    }
    std::array<std::uint16_t, 4> DsReadData4() override {
        Log("DsData4");
        return {0x1122, 0x3344, 0x5566, 0x7788};
    }
    void DsBeginProgramRow(std::uint32_t address) override {
        Log(std::string("DsProgRow ") + H(address, 6));
    }
    void DsBeginDataRow(std::uint32_t address) override {
        Log(std::string("DsDataRow ") + H(address, 6));
    }
    void DsWriteProgram4(const std::array<std::uint32_t, 4>& w) override {
        Log(std::string("DsWrite4 ") + H(w[0], 6) + " " + H(w[1], 6) + " " + H(w[2], 6) + " " +
            H(w[3], 6));
    }
    void DsWriteData4(const std::array<std::uint16_t, 4>& w) override {
        Log(std::string("DsData4 ") + H(w[0], 4) + " " + H(w[1], 4) + " " + H(w[2], 4) + " " +
            H(w[3], 4));
    }
    void DsWriteConfig(std::uint16_t value) override {
        Log(std::string("DsConfig ") + H(value, 4));
    }
    void DsCommitWrite() override { Log("DsCommit"); }

  private:
    static std::string H(std::uint32_t value, int digits) {
        char text[16];
        std::snprintf(text, sizeof text, "%0*X", digits, static_cast<unsigned>(value));
        return text;
    }
    void Log(std::string text) { calls.push_back(std::move(text)); }

    unsigned rx_ = 0;
};

using Bytes = std::vector<std::uint8_t>;

// Feeds bytes one at a time and returns everything the firmware sent back.
inline Bytes Send(CFirmwareEngine& engine, const Bytes& in) {
    Bytes out;
    for (std::uint8_t b : in) {
        engine.Feed(b, out);
    }
    return out;
}

}  // namespace tenlo::sim::testing
