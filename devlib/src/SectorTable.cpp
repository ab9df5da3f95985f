#include "torq/devlib/SectorTable.h"

#include <array>
#include <string>

#include "torq/devlib/Ini.h"
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
    const SmallFile file = ReadSmallFile(path);
    std::string_view rest = file.contents;
    while (!rest.empty() && table.entriesFound <= familyCount) {
        const std::size_t end = rest.find('\n');
        std::string_view raw = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (!raw.empty() && raw.back() == '\r')
            raw.remove_suffix(1);
        const std::string upper = ToUpper(raw);
        std::string_view line = upper;
        // Each line is consumed from the left at least once, and again while more than nine
        // characters (one more "0XNNNNNN," entry) remain. Entries past the family count change
        // nothing (the table no longer matches), so the line is left there.
        do {
            const std::size_t comma = line.find(',');
            const std::string_view entry = line.substr(0, comma);
            line.remove_prefix(comma == std::string_view::npos ? line.size() : comma + 1);
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
        } while (line.size() > 9 && table.entriesFound <= familyCount);
    }
    return table;
}

}  // namespace torq
