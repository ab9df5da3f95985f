// Sector start tables of AT26 devices, which are protected sector by sector.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace torq {

struct At26Family {
    std::string_view nameTag;
    int sectors;
    int blockLength;  // bytes of the sector script block
};

// The family of a device name: the first tag in table order the name contains.
std::optional<At26Family> At26FamilyOf(std::string_view deviceName);
// Devices protected per sector are recognised by this text in their name.
bool IsPerSectorProtected(std::string_view deviceName);

struct SectorTable {
    std::vector<std::uint32_t> starts;  // 24-bit sector start addresses, at most the family count
    int entriesFound = 0;               // entries read, including any beyond the family count
    bool Matches(int familyCount) const { return entriesFound == familyCount; }
};

// Reads a sector table file. Reading stops after the line on which the entries exceed
// `familyCount`; entries beyond it are not stored. A missing file reads as no entries.
SectorTable ReadSectorTable(const std::filesystem::path& path, int familyCount);

}  // namespace torq
