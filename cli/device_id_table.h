#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tenlo::cli {

// A device ID as Microchip publishes it for a 14-bit part: the word at 0x2006 holds the ID in
// its upper bits and the silicon revision in the lowest revisionBits.
struct PublishedDeviceId {
    std::string_view name;
    std::uint16_t id = 0;
    std::uint8_t revisionBits = 5;

    std::uint16_t RevisionMask() const {
        return static_cast<std::uint16_t>((1u << revisionBits) - 1u);
    }
};

// The published IDs of the mid-range chips that have one. Several differ from the value the
// catalogue compares (CheckDeviceId keeps the catalogue's); this table is what the chips say.
std::span<const PublishedDeviceId> PublishedDeviceIds();

// The entry for a chip name (case-insensitive), or nullptr when it has no published ID.
const PublishedDeviceId* PublishedIdFor(std::string_view chipName);

// What an ID word names: every entry whose ID equals the word with that entry's revision bits
// masked off. Usually one; two chips can share an ID (PIC16F636 and PIC16F639).
struct IdMatch {
    const PublishedDeviceId* entry = nullptr;
    std::uint16_t revision = 0;
};
std::vector<IdMatch> IdentifyDeviceId(std::uint16_t word);

}  // namespace tenlo::cli
