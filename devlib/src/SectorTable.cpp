#include "torq/devlib/SectorTable.h"

#include <array>
#include <fstream>
#include <string>

#include "torq/devlib/Text.h"

namespace torq {

namespace {

constexpr std::array<At26Family, 4> kAt26Families{{
    {"AT26DF041", 6, 64},
    {"AT26DF081", 19, 128},
    {"AT26DF161", 16, 128},
    {"AT26DF321", 64, 384},
}};

std::string_view TrimSpaces(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

}  // namespace

std::optional<At26Family> At26FamilyOf(std::string_view deviceName) {
    for (const auto& family : kAt26Families) {
        if (Contains(deviceName, family.nameTag))
            return family;
    }
    return std::nullopt;
}

bool IsPerSectorProtected(std::string_view deviceName) {
    return Contains(deviceName, "AT26");
}

SectorTable ReadSectorTable(const std::filesystem::path& path, int familyCount) {
    SectorTable table;
    std::ifstream in(path, std::ios::binary);
    std::string raw;
    while (in && table.entriesFound <= familyCount && std::getline(in, raw)) {
        if (!raw.empty() && raw.back() == '\r')
            raw.pop_back();
        std::string line = ToUpper(raw);
        // Each line is consumed from the left at least once, and again while more than nine
        // characters (one more "0XNNNNNN," entry) remain.
        do {
            const std::size_t comma = line.find(',');
            std::string entry = comma == std::string::npos ? line : line.substr(0, comma);
            line.erase(0, comma == std::string::npos ? line.size() : comma + 1);
            const std::string_view value = TrimSpaces(entry);
            if (value.empty() || Contains(line, value))
                break;
            std::string_view digits = value;
            if (const auto prefix = digits.find("0X"); prefix != std::string_view::npos) {
                digits.remove_prefix(prefix + 2);
            }
            const auto number = ParseHex64(digits);
            if (!number)
                break;
            ++table.entriesFound;
            if (static_cast<int>(table.starts.size()) < familyCount) {
                table.starts.push_back(static_cast<std::uint32_t>(*number & 0xFFFFFF));
            }
        } while (line.size() > 9);
    }
    return table;
}

}  // namespace torq
