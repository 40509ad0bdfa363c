#include "hexfile/hex_layout.h"

#include <algorithm>

namespace tenlo {

HexFamily FamilyOf(const HexLayout& layout) {
    switch (layout.programWidth) {
        case 12:
            return HexFamily::Baseline12;
        case 14:
            return HexFamily::MidRange14;
        case 16:
            return HexFamily::Pic18;
        case 24:
            return HexFamily::DsPic30;
        default:
            return HexFamily::Other;
    }
}

HexAddressMap::HexAddressMap(const HexLayout& layout, bool microchipLayout)
    : layout_(layout),
      microchip_(microchipLayout),
      family_(FamilyOf(layout)),
      programBytes_(CellBytes(layout.programWidth)),
      // Never more file bytes than the cell holds, whatever width a layout claims. A width of 0
      // gives no bytes at all: such a memory has no place in a file.
      configBytes_(std::min((layout.configWidth + 7) / 8, CellBytes(layout.configWidth))),
      configSlot_(configBytes_),
      configBase_(uint64_t{layout.configStart} * configBytes_) {
    if (family_ == HexFamily::DsPic30) {
        // The pic30 tools double every program-space address and give each 24-bit slot 4
        // bytes; a configuration register fills the low 16 bits of one slot. Packing them 2
        // bytes apart instead would put every register of a real file in another's place.
        configBase_ = 2 * uint64_t{layout.configStart};
        configSlot_ = 4;
    }
    if (!microchip_) {
        return;
    }
    switch (family_) {
        case HexFamily::MidRange14:
            // EEPROM byte i is the low byte of word 0x2100 + i.
            dataInFile_ = true;
            dataBase_ = 0x4200;
            dataSlot_ = 2;
            break;
        case HexFamily::Pic18:
            dataInFile_ = true;
            dataBase_ = 0xF00000;
            break;
        case HexFamily::DsPic30:
            // EEPROM words (at program-space address 0x800000 minus its size) fill the low 16
            // bits of a slot each, like the configuration registers.
            dataInFile_ = layout.dataSize <= 0x800000;
            dataBase_ = 2 * (uint64_t{0x800000} - (dataInFile_ ? layout.dataSize : 0));
            dataSlot_ = 4;
            dataPerSlot_ = 2;
            break;
        case HexFamily::Baseline12:
        case HexFamily::Other:
            break;
    }
}

std::optional<HexPlace> HexAddressMap::Locate(uint32_t address) const {
    const uint64_t a = address;
    if (a < uint64_t{layout_.programSize} * programBytes_) {
        return HexPlace{HexRegion::Program, address / programBytes_, address % programBytes_,
                        false};
    }
    if (a >= configBase_ && a < configBase_ + uint64_t{layout_.configCount} * configSlot_) {
        const uint64_t off = a - configBase_;
        const auto inSlot = static_cast<uint32_t>(off % configSlot_);
        return HexPlace{HexRegion::Config, static_cast<uint32_t>(off / configSlot_), inSlot,
                        inSlot >= configBytes_};
    }
    if (family_ == HexFamily::Pic18 && a >= kPic18IdStart && a < kPic18IdStart + kPic18IdBytes) {
        return HexPlace{HexRegion::Config, 0, 0, true, 0xFF};
    }
    if (family_ == HexFamily::Baseline12 && layout_.configCount > 0 &&
        a >= kBaselineConfigByteAddress && a < kBaselineConfigByteAddress + configBytes_) {
        return HexPlace{HexRegion::Config, 0, address - kBaselineConfigByteAddress, false};
    }
    if (dataInFile_ && a >= dataBase_) {
        const uint64_t off = a - dataBase_;
        const uint64_t slot = off / dataSlot_;
        const auto inSlot = static_cast<uint32_t>(off % dataSlot_);
        const uint64_t slots = (uint64_t{layout_.dataSize} + dataPerSlot_ - 1) / dataPerSlot_;
        if (slot < slots) {
            if (inSlot >= dataPerSlot_) {
                return HexPlace{HexRegion::Data, 0, 0, true};
            }
            const uint64_t index = slot * dataPerSlot_ + inSlot;
            if (index < layout_.dataSize) {
                return HexPlace{HexRegion::Data, static_cast<uint32_t>(index), 0, false};
            }
        }
    }
    return std::nullopt;
}

std::optional<HexPlace> HexAddressMap::PlaceBeyond(uint32_t address) const {
    const uint64_t a = address;
    if (family_ == HexFamily::Baseline12) {
        // Files put the configuration word at 0x1FFE whatever the chip: below is program space.
        if (a >= kBaselineConfigByteAddress) {
            return std::nullopt;
        }
        return HexPlace{HexRegion::Program, address / programBytes_, address % programBytes_,
                        false};
    }
    if (dataInFile_ && a >= dataBase_) {
        const uint64_t off = a - dataBase_;
        const auto inSlot = static_cast<uint32_t>(off % dataSlot_);
        return HexPlace{HexRegion::Data,
                        static_cast<uint32_t>(off / dataSlot_ * dataPerSlot_ +
                                              std::min(inSlot, dataPerSlot_ - 1)),
                        0, inSlot >= dataPerSlot_};
    }
    if (configBytes_ > 0 && a >= configBase_) {
        const uint64_t off = a - configBase_;
        const auto inSlot = static_cast<uint32_t>(off % configSlot_);
        return HexPlace{HexRegion::Config, static_cast<uint32_t>(off / configSlot_), inSlot,
                        inSlot >= configBytes_};
    }
    return HexPlace{HexRegion::Program, address / programBytes_, address % programBytes_, false};
}

uint64_t HexAddressMap::ProgramAddress(uint32_t cell, uint32_t byteInCell) const {
    return uint64_t{cell} * programBytes_ + byteInCell;
}

uint64_t HexAddressMap::ConfigAddress(uint32_t cell, uint32_t byteInCell) const {
    if (microchip_ && family_ == HexFamily::Baseline12 && cell == 0) {
        return kBaselineConfigByteAddress + byteInCell;
    }
    return configBase_ + uint64_t{cell} * configSlot_ + byteInCell;
}

uint64_t HexAddressMap::DataAddress(uint32_t index) const {
    return dataBase_ + uint64_t{index / dataPerSlot_} * dataSlot_ + index % dataPerSlot_;
}

}  // namespace tenlo
