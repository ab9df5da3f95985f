#include "torq/devlib/ParameterPages.h"

#include <algorithm>
#include <system_error>

#include "torq/devlib/DeviceRecord.h"
#include "torq/devlib/Ini.h"
#include "torq/devlib/Text.h"

namespace torq {

namespace fs = std::filesystem;

namespace {

using Input = ValueTypeRule::Input;

constexpr ValueTypeRule kValueTypes[] = {
    {" [DEC] :", Input::Decimal, 255, 3, true},      {" [DEC] :", Input::Decimal, 65535, 5, true},
    {" [DEC] :", Input::Decimal, 16777215, 8, true}, {" [HEX] :", Input::Hex, 255, 2, true},
    {" [HEX] :", Input::Hex, 65535, 4, true},        {" [HEX] :", Input::Hex, 16777215, 6, true},
    {" [CHAR] :", Input::Any, 0, 0, false},
};
constexpr ValueTypeRule kOtherValueType{"", Input::Any, 0, 0, false};

// Leading digits of a text as an unsigned number (saturating); no digits reads as 0.
std::uint64_t LeadingNumber(std::string_view text, bool hex) {
    std::uint64_t value = 0;
    for (char c : text) {
        const int digit = hex ? HexDigitValue(c) : ((c >= '0' && c <= '9') ? c - '0' : -1);
        if (digit < 0)
            break;
        const std::uint64_t base = hex ? 16 : 10;
        value = value > (UINT64_MAX - static_cast<std::uint64_t>(digit)) / base
                    ? UINT64_MAX
                    : value * base + static_cast<std::uint64_t>(digit);
    }
    return value;
}

std::string ShowNumber(std::uint64_t value, bool hex) {
    return hex ? HexText(value) : std::to_string(value);
}

}  // namespace

std::string PageValueKey(int page, int component) {
    return "Page" + std::to_string(page) + "Com" + std::to_string(component) + "Set";
}

ComponentType ComponentTypeOf(std::int32_t code) {
    switch (code) {
        case 0:
            return ComponentType::CheckBox;
        case 1:
            return ComponentType::RadioGroup;
        case 2:
            return ComponentType::ValueField;
        case 3:
            return ComponentType::Explanation;
        default:
            return ComponentType::None;
    }
}

const ValueTypeRule& ValueTypeRuleOf(std::int32_t valueType) {
    if (valueType >= 0 && valueType <= 6)
        return kValueTypes[valueType];
    return kOtherValueType;
}

std::string PageComponent::LabelText() const {
    const ValueTypeRule& rule = ValueTypeRuleOf(valueType);
    // A value type the pages do not know shows its field without a label.
    if (&rule == &kOtherValueType)
        return {};
    return caption + std::string(rule.labelSuffix);
}

std::optional<std::string> PageComponent::StoredValue() const {
    switch (type) {
        case ComponentType::CheckBox:
            return checked ? "1" : "0";
        case ComponentType::RadioGroup:
            return std::to_string(selectedIndex);
        case ComponentType::ValueField:
            if (ValueTypeRuleOf(valueType).input == Input::Hex &&
                ValueTypeRuleOf(valueType).numeric) {
                return std::to_string(LeadingNumber(text, true));
            }
            return text;
        case ComponentType::Explanation:
            return "0";
        case ComponentType::None:
            return std::nullopt;
    }
    return std::nullopt;
}

std::vector<int> PageComponentCounts(const IniFile& pageFile) {
    std::vector<int> counts;
    const int pages =
        std::clamp(pageFile.ReadInteger("CurrentUserPage", "Total", 0), 0, kPageFileCountLimit);
    int left = kPageFileComponentLimit;
    for (int p = 0; p < pages; ++p) {
        const int count = std::clamp(
            pageFile.ReadInteger("CurrentUserPage_" + std::to_string(p), "ComponentTotal", 0), 0,
            std::min(kPageFileCountLimit, left));
        left -= count;
        counts.push_back(count);
    }
    return counts;
}

bool ParameterPagesAvailable(const DeviceRecord& record, int programmerCount) {
    std::error_code error;
    return record.protMode != 0 && !record.menuFilePath.empty() &&
           fs::is_regular_file(record.menuFilePath, error) && programmerCount > 0;
}

ParameterPages BuildParameterPages(const fs::path& pageFile, const fs::path& menuIni) {
    PageValues values = PageValues::Read(menuIni);
    if (!values.Exists())
        values = PageValues::Defaults(pageFile, PageValues::MissingDefaults::Left);
    return BuildParameterPages(pageFile, values);
}

ParameterPages BuildParameterPages(const fs::path& pageFile, const PageValues& values) {
    const IniFile definition(pageFile);

    ParameterPages result;
    const std::vector<int> counts = PageComponentCounts(definition);
    // Radio choices and explanation lines left on all pages together.
    int itemsLeft = kPageFileItemLimit;
    const auto items = [&](std::int32_t wanted) {
        const int count = std::clamp(wanted, 0, std::min(kPageFileCountLimit, itemsLeft));
        itemsLeft -= count;
        return count;
    };
    for (int p = 0; p < static_cast<int>(counts.size()); ++p) {
        ParameterPage page;
        page.caption = definition.ReadString("CurrentUserPage", "PageCaption" + std::to_string(p),
                                             "Page" + std::to_string(p));
        const std::string section = "CurrentUserPage_" + std::to_string(p);
        const int count = counts[static_cast<std::size_t>(p)];
        for (int c = 0; c < count; ++c) {
            const std::string n = std::to_string(c);
            const auto integer = [&](const std::string& key, std::int32_t fallback) {
                return definition.ReadInteger(section, key, fallback);
            };
            PageComponent k;
            k.page = p;
            k.number = c;
            k.typeCode = integer("ComponentType" + n, -1);
            k.type = ComponentTypeOf(k.typeCode);
            k.valueType = integer("ValueType" + n, -1);
            k.caption = definition.ReadString(section, "ComponentCaption" + n, "NONE");
            k.top = integer("Top" + n, 1);
            k.left = integer("Left" + n, 1);
            k.width = integer("Width" + n, 1);
            k.height = integer("Height" + n, 1);
            switch (k.type) {
                case ComponentType::CheckBox:
                    k.checked = values.Integer(p, c, 0) != 0;
                    break;
                case ComponentType::RadioGroup: {
                    k.radioColumns = integer("Radio" + n + "Columns", 1);
                    const int choices = items(integer("Radio" + n + "Total", 0));
                    for (int i = 0; i < choices; ++i) {
                        k.radioChoices.push_back(definition.ReadString(
                            section, "Radio" + n + "String" + std::to_string(i), "None"));
                    }
                    const int value = values.Integer(p, c, 0);
                    k.selectedIndex =
                        value <= -1 ? -1 : std::min(value, static_cast<int>(choices) - 1);
                    break;
                }
                case ComponentType::ValueField: {
                    const ValueTypeRule& rule = ValueTypeRuleOf(k.valueType);
                    if (rule.numeric) {
                        k.valueMax = static_cast<std::uint32_t>(integer(
                            "ValueMax" + n, static_cast<std::int32_t>(rule.valueMaxDefault)));
                        k.valueMin = integer("ValueMin" + n, 0);
                        const auto value = static_cast<std::uint32_t>(values.Integer(p, c, 0));
                        k.text = ShowNumber(value, rule.input == Input::Hex);
                    } else if (k.valueType == 6) {
                        k.text = values.Text(p, c).value_or("None");
                    }
                    break;
                }
                case ComponentType::Explanation: {
                    const int lines = items(integer("Explation" + n + "Total", 0));
                    for (int i = 0; i < lines; ++i) {
                        k.explanationLines.push_back(definition.ReadString(
                            section, "Explation" + n + "Line" + std::to_string(i), "None"));
                    }
                    break;
                }
                case ComponentType::None:
                    break;
            }
            page.components.push_back(std::move(k));
        }
        result.pages.push_back(std::move(page));
    }
    return result;
}

bool FilterValueKey(std::int32_t valueType, char& key) {
    if (key == '\b')
        return true;
    switch (ValueTypeRuleOf(valueType).input) {
        case Input::Decimal:
            return key >= '0' && key <= '9';
        case Input::Hex:
            if (!IsHexDigit(key))
                return false;
            if (key >= 'a' && key <= 'f')
                key = static_cast<char>(key - 'a' + 'A');
            return true;
        case Input::Any:
            return true;
    }
    return true;
}

std::string CheckValueText(const PageComponent& field, std::string_view text) {
    const ValueTypeRule& rule = ValueTypeRuleOf(field.valueType);
    if (!rule.numeric)
        return std::string(text);
    const std::string_view taken = text.substr(0, std::min<std::size_t>(text.size(), 255));
    const bool hex = rule.input == Input::Hex;
    std::string result(text);
    if (LeadingNumber(taken, hex) > field.valueMax)
        result = ShowNumber(field.valueMax, hex);
    if (taken.size() > rule.digitsKept)
        result = std::string(taken.substr(0, rule.digitsKept));
    return result;
}

std::optional<std::string> SetComponentValue(PageComponent& c, std::string_view value) {
    const auto number = ParseIniInteger(value);
    switch (c.type) {
        case ComponentType::CheckBox:
            if (!number || (*number != 0 && *number != 1))
                return "a check box takes 0 or 1";
            c.checked = *number == 1;
            return std::nullopt;
        case ComponentType::RadioGroup:
            if (!number || *number < -1 || *number >= static_cast<int>(c.radioChoices.size())) {
                return "choose -1 (none) or 0 to " +
                       std::to_string(static_cast<int>(c.radioChoices.size()) - 1);
            }
            c.selectedIndex = *number;
            return std::nullopt;
        case ComponentType::ValueField: {
            std::string typed;
            for (char key : value) {
                if (!FilterValueKey(c.valueType, key))
                    return std::string("'") + key + "' is not accepted by " + c.LabelText();
                typed.push_back(key);
            }
            if (CheckValueText(c, typed) != typed) {
                const bool hex = ValueTypeRuleOf(c.valueType).input == Input::Hex;
                return "'" + std::string(value) + "' does not fit " + c.LabelText() + " (at most " +
                       (hex ? HexText(c.valueMax) : std::to_string(c.valueMax)) + ")";
            }
            c.text = typed;
            return std::nullopt;
        }
        default:
            return "this component holds no value";
    }
}

PageValues ValuesOf(const ParameterPages& pages) {
    PageValues values;
    for (const auto& page : pages.pages) {
        for (const auto& component : page.components) {
            if (const auto value = component.StoredValue())
                values.Set(component.page, component.number, *value);
        }
    }
    return values;
}

bool SaveParameterValues(const ParameterPages& pages, const fs::path& menuIni) {
    return ValuesOf(pages).Write(menuIni);
}

}  // namespace torq
