#include "torq/devlib/DeviceLibrary.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>

#include "torq/devlib/Text.h"

namespace torq {

ReadIdEntry ParseReadIdEntry(std::string_view text) {
    std::vector<std::string_view> tokens;
    const auto separator = [](char c) { return c == ',' || c == ';' || c == ' ' || c == '\t'; };
    std::size_t i = 0;
    while (i < text.size() && tokens.size() < 2) {
        while (i < text.size() && separator(text[i]))
            ++i;
        std::size_t start = i;
        while (i < text.size() && !separator(text[i]))
            ++i;
        if (i > start)
            tokens.push_back(text.substr(start, i - start));
    }
    ReadIdEntry entry;
    if (!tokens.empty())
        entry.opcode = static_cast<std::uint8_t>(ParseIniInteger(tokens[0]).value_or(0));
    if (tokens.size() > 1)
        entry.offset = static_cast<std::uint8_t>(ParseIniInteger(tokens[1]).value_or(0));
    return entry;
}

bool IsValidLibraryDate(std::string_view text) {
    int parts[3] = {0, 0, 0};
    int index = 0;
    std::size_t digits = 0;
    char separator = 0;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            parts[index] = parts[index] * 10 + (c - '0');
            if (++digits > 4)
                return false;
        } else if ((c == '/' || c == '-' || c == '.') && digits > 0 && index < 2) {
            if (separator != 0 && c != separator)
                return false;
            separator = c;
            ++index;
            digits = 0;
        } else {
            return false;
        }
    }
    if (index != 2 || digits == 0)
        return false;
    const int year = parts[0], month = parts[1], day = parts[2];
    if (year < 1 || month < 1 || month > 12 || day < 1)
        return false;
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int monthDays = kDays[month - 1] + ((month == 2 && leap) ? 1 : 0);
    return day <= monthDays;
}

DeviceLibrary::DeviceLibrary(const ProgramDirectory& dirs)
    : dirs_(dirs), index_(dirs.SelectIni()) {}

std::string DeviceLibrary::Type() const {
    return index_.ReadString("Machine", "Type", "");
}

std::int32_t DeviceLibrary::MainCode() const {
    return index_.ReadInteger("Machine", "MainCode", 0);
}

std::string DeviceLibrary::DateText() const {
    std::string date = index_.ReadString("Date", "Date", "");
    return IsValidLibraryDate(date) ? date : "None";
}

namespace {

std::string SelectIniLine(std::string_view section, std::string_view key) {
    return "Error : SelectINI->[" + std::string(section) + "]->" + std::string(key);
}

}  // namespace

NameList DeviceLibrary::NumberedList(std::string_view section, bool sorted, bool types) const {
    NameList list;
    const int count = std::clamp(index_.ReadInteger(section, "Value", 0), 0, kNumberedListLimit);
    // The numbered keys the section holds, by number: walking them, rather than every number up
    // to Value, makes a hostile Value cost no more than the keys that are there.
    std::map<int, std::string> entries;
    for (const auto& key : index_.Keys(section)) {
        const auto number = ParseHex64(key);
        if (number && *number >= 1 && *number <= static_cast<std::uint64_t>(count) &&
            EqualsIgnoringCase(key, NumberedKey(static_cast<unsigned>(*number)))) {
            entries.emplace(static_cast<int>(*number), index_.ReadString(section, key, ""));
        }
    }
    int unlisted = 0;
    const auto error = [&](std::string line) {
        if (static_cast<int>(list.errors.size()) < kNumberedListErrorLines)
            list.errors.push_back(std::move(line));
        else
            ++unlisted;
    };
    const auto empty = [&](int from, int to) {
        for (int i = from; i <= to; ++i) {
            if (static_cast<int>(list.errors.size()) == kNumberedListErrorLines) {
                unlisted += to - i + 1;
                return;
            }
            error(SelectIniLine(section, NumberedKey(static_cast<unsigned>(i))));
        }
    };
    int next = 1;
    for (auto& [number, name] : entries) {
        empty(next, number - 1);
        next = number + 1;
        if (name.empty()) {
            empty(number, number);
            continue;
        }
        if (types) {
            std::string refusal;
            DeviceFileOf(section, name, &refusal);
            if (!refusal.empty()) {
                error(std::move(refusal));
                continue;
            }
        }
        list.names.push_back(std::move(name));
    }
    empty(next, count);
    if (unlisted > 0) {
        list.errors.push_back("Error : SelectINI->[" + std::string(section) +
                              "] : " + std::to_string(unlisted) + " more keys empty or refused");
    }
    if (sorted)
        SortIgnoringCase(list.names);
    return list;
}

NameList DeviceLibrary::Vendors() const {
    return NumberedList("Vendor", true, false);
}

NameList DeviceLibrary::TypesOf(std::string_view vendor) const {
    return NumberedList(vendor, true, true);
}

std::vector<std::string> DeviceLibrary::VendorsInFileOrder() const {
    return NumberedList("Vendor", false, false).names;
}

std::vector<std::string> DeviceLibrary::TypesInFileOrder(std::string_view vendor) const {
    return NumberedList(vendor, false, true).names;
}

namespace {

std::optional<std::string> ItemNamed(const std::vector<std::string>& items, std::string_view text) {
    for (const auto& item : items) {
        if (EqualsIgnoringCase(item, text))
            return item;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> DeviceLibrary::VendorNamed(std::string_view vendor) const {
    return ItemNamed(Vendors().names, vendor);
}

std::optional<std::string> DeviceLibrary::TypeNamed(std::string_view vendor,
                                                    std::string_view type) const {
    return ItemNamed(TypesOf(vendor).names, type);
}

std::optional<DeviceName> DeviceLibrary::DeviceNamed(std::string_view vendor,
                                                     std::string_view type) const {
    const auto vendorItem = VendorNamed(vendor);
    if (!vendorItem)
        return std::nullopt;
    auto typeItem = TypeNamed(*vendorItem, type);
    if (!typeItem)
        return std::nullopt;
    return DeviceName{*vendorItem, std::move(*typeItem)};
}

std::filesystem::path DeviceLibrary::DeviceFileOf(std::string_view vendor, std::string_view type,
                                                  std::string* refusal) const {
    const std::string name = index_.ReadString(vendor, type, "");
    bool outside = false;
    std::filesystem::path file = dirs_.DeviceFile(name, &outside);
    if (outside && refusal != nullptr) {
        *refusal = SelectIniLine(vendor, type) + " : " + name + " is outside the device library";
    }
    return file;
}

std::uint32_t DeviceLibrary::DetectManCode(std::string_view vendor, std::string_view type) const {
    return static_cast<std::uint32_t>(index_.ReadInteger(
        vendor, std::string(type) + "_ManCode", static_cast<std::int32_t>(kDetectManCodeDefault)));
}

std::uint32_t DeviceLibrary::DetectDevCode(std::string_view vendor, std::string_view type) const {
    return static_cast<std::uint32_t>(index_.ReadInteger(
        vendor, std::string(type) + "_DevCode", static_cast<std::int32_t>(kDetectDevCodeDefault)));
}

std::vector<ReadIdEntry> DeviceLibrary::ReadIdEntries() const {
    std::vector<ReadIdEntry> entries;
    const int count = std::min(index_.ReadInteger("Read_ID", "Value", 0), kNumberedListLimit);
    for (int k = 1; k <= count; ++k) {
        entries.push_back(ParseReadIdEntry(
            index_.ReadString("Read_ID", NumberedKey(static_cast<unsigned>(k)), "")));
    }
    return entries;
}

bool DeviceLibrary::LevelEnabled(DetectionLevel level) const {
    switch (level) {
        case DetectionLevel::V18:
            return index_.ReadBool("VCC", "V18", true);
        case DetectionLevel::V25:
            return index_.ReadBool("VCC", "V25", true);
        case DetectionLevel::V33:
            return index_.ReadBool("VCC", "V33", true);
    }
    return false;
}

DeviceLibrary::CheckResult DeviceLibrary::Check(Operator& op) const {
    CheckResult result;
    result.dateText = DateText();
    result.identityOk = IdentityOk();
    if (!result.identityOk)
        op.Tell(Severity::Error, kLibraryIncorrectMessage);
    NameList vendors = Vendors();
    result.vendorList = std::move(vendors.names);
    result.errors = std::move(vendors.errors);
    if (!result.errors.empty())
        op.Tell(Severity::Plain, JoinLines(result.errors));
    return result;
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        if (!text.empty())
            text += '\n';
        text += line;
    }
    return text;
}

}  // namespace torq
