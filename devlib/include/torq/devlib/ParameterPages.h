// The "Premium" parameter pages of a device: the page-definition file read into pages and
// components, the value types with their input filters and change checks, and saving the values
// to Menu.ini. The Qt sheets bind to this model; nothing here knows about widgets.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "torq/devlib/PageValues.h"

namespace torq {

struct DeviceRecord;
class IniFile;

inline constexpr std::string_view kPageValuesSection = "CurrentUserPageSetup";

// "Page" + p + "Com" + c + "Set"
std::string PageValueKey(int page, int component);

enum class ComponentType {
    CheckBox = 0,
    RadioGroup = 1,
    ValueField = 2,
    Explanation = 3,
    None = -1
};
ComponentType ComponentTypeOf(std::int32_t code);

// How a value field of one value type is labelled, filtered, bounded, shown and stored.
struct ValueTypeRule {
    std::string_view labelSuffix;
    enum class Input { Decimal, Hex, Any } input;
    std::uint32_t valueMaxDefault;  // 0: no bound
    std::size_t digitsKept;         // 0: not cut
    bool numeric;                   // shown from the integer value; checked while typing
};
const ValueTypeRule& ValueTypeRuleOf(std::int32_t valueType);

struct PageComponent {
    int page = 0;
    int number = 0;
    std::int32_t typeCode = -1;
    ComponentType type = ComponentType::None;
    std::int32_t valueType = -1;
    std::string caption = "NONE";
    std::int32_t top = 1, left = 1, width = 1, height = 1;
    std::int32_t radioColumns = 1;
    std::vector<std::string> radioChoices;
    std::uint32_t valueMax = 0;
    std::int32_t valueMin = 0;
    std::vector<std::string> explanationLines;

    // The state the controls show and the operator changes.
    bool checked = false;
    int selectedIndex = -1;  // radio group; -1 none
    std::string text;        // value field

    // Label of a value field: the caption and the value type's suffix; empty for a value type
    // the pages do not know.
    std::string LabelText() const;
    // A check box is 20 pixels wide per caption character.
    int CheckBoxWidth() const { return 20 * static_cast<int>(caption.size()); }
    // What "Save values" writes for this component; nothing for an unknown type.
    std::optional<std::string> StoredValue() const;
};

struct ParameterPage {
    std::string caption;
    std::vector<PageComponent> components;
};

struct ParameterPages {
    std::vector<ParameterPage> pages;
    bool empty() const { return pages.empty(); }
};

// The number of components on each page of a page file: `Total` pages, each with its
// `ComponentTotal`, within the page file limits (DeviceRecord.h). Every walk over a page file's
// components goes by these counts.
std::vector<int> PageComponentCounts(const IniFile& pageFile);

// True when a device has parameter pages to show: prot_mode not 0, the page file exists, and a
// programmer is connected.
bool ParameterPagesAvailable(const DeviceRecord& record, int programmerCount);

// Builds the pages from the page-definition file, with the values from Menu.ini when it exists,
// else from the page file's own defaults.
ParameterPages BuildParameterPages(const std::filesystem::path& pageFile,
                                   const std::filesystem::path& menuIni);
// The same with the values given.
ParameterPages BuildParameterPages(const std::filesystem::path& pageFile, const PageValues& values);

// Input filter of a value field: false discards the key; hex digits are made upper case.
bool FilterValueKey(std::int32_t valueType, char& key);
// The change check run at every change of a numeric field's text: the text the field must hold.
std::string CheckValueText(const PageComponent& field, std::string_view text);

// Sets a component's value from a text the way its control takes it: a check box 0 or 1, a
// radio group -1 (none) or a choice's index, a value field only keys its filter accepts and a value
// its change check keeps as typed. Nothing, or the reason the control would not take it.
std::optional<std::string> SetComponentValue(PageComponent& component, std::string_view value);

// What "Save values" stores: every component's value, in page and component order.
PageValues ValuesOf(const ParameterPages& pages);
// Deletes Menu.ini and writes every component's value into it. False when it could not be written.
bool SaveParameterValues(const ParameterPages& pages, const std::filesystem::path& menuIni);

}  // namespace torq
