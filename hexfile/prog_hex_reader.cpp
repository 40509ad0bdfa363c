#include "hexfile/prog_hex_reader.h"

#include <algorithm>

#include "hexfile/cell_bytes.h"

namespace tenlo {

CProgHexReader::CProgHexReader(const HexLayout& layout, HexBuffers target, bool microchipLayout)
    : map_(layout, microchipLayout), target_(target) {}

bool CProgHexReader::BeginLoad() {
    const HexLayout& l = map_.Layout();
    const std::size_t programBytes = std::size_t{l.programSize} * CellBytes(l.programWidth);
    const std::size_t configBytes = std::size_t{l.configCount} * CellBytes(l.configWidth);
    if (target_.program.size() != programBytes || target_.config.size() != configBytes) {
        return false;
    }
    if (map_.DataInProgramFile() && target_.data.size() != l.dataSize) {
        return false;
    }
    program_.assign(programBytes, std::byte{0});
    config_.assign(configBytes, std::byte{0});
    hexcells::FillBlank(program_, l.programWidth);
    hexcells::FillBlank(config_, l.configWidth);
    if (map_.DataInProgramFile()) {
        data_.assign(l.dataSize, std::byte{0xFF});
    }
    dataSeen_ = false;
    return true;
}

bool CProgHexReader::StoreByte(uint8_t byte, uint32_t address) {
    const auto place = map_.Locate(address);
    if (!place) {
        return false;
    }
    if (place->filler) {
        // Anything but the filler's value would be data this image cannot hold.
        return byte == place->fillerValue;
    }
    switch (place->region) {
        case HexRegion::Program:
            program_[hexcells::Offset(map_.ProgramCellBytes(), place->cell, place->byteInCell)] =
                std::byte{byte};
            return true;
        case HexRegion::Config:
            config_[hexcells::Offset(CellBytes(map_.Layout().configWidth), place->cell,
                                     place->byteInCell)] = std::byte{byte};
            return true;
        case HexRegion::Data:
            data_[place->cell] = std::byte{byte};
            dataSeen_ = true;
            return true;
    }
    return false;
}

void CProgHexReader::CommitLoad() {
    std::copy(program_.begin(), program_.end(), target_.program.begin());
    std::copy(config_.begin(), config_.end(), target_.config.begin());
    if (map_.DataInProgramFile()) {
        std::copy(data_.begin(), data_.end(), target_.data.begin());
    }
    program_ = {};
    config_ = {};
    data_ = {};
}

bool CDataHexReader::BeginLoad() {
    scratch_.assign(target_.size(), std::byte{0xFF});
    return true;
}

bool CDataHexReader::StoreByte(uint8_t byte, uint32_t address) {
    if (address >= scratch_.size()) {
        return false;
    }
    scratch_[address] = std::byte{byte};
    return true;
}

void CDataHexReader::CommitLoad() {
    std::copy(scratch_.begin(), scratch_.end(), target_.begin());
    scratch_ = {};
}

}  // namespace tenlo
