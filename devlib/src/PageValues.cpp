#include "torq/devlib/PageValues.h"

#include "torq/devlib/Ini.h"
#include "torq/devlib/ParameterPages.h"
#include "torq/devlib/Text.h"

namespace torq {

namespace fs = std::filesystem;

PageValues PageValues::Read(const fs::path& menuIni) {
    PageValues values;
    const IniFile file(menuIni);
    if (!file.FileExists())
        return values;
    values.exists_ = true;
    for (const auto& key : file.Keys(kPageValuesSection))
        values.entries_.emplace_back(key, file.ReadString(kPageValuesSection, key));
    return values;
}

PageValues PageValues::Defaults(const fs::path& pageFile, MissingDefaults missing) {
    PageValues values;
    if (pageFile.empty())
        return values;
    const IniFile pages(pageFile);
    if (!pages.FileExists())
        return values;
    values.exists_ = true;
    const std::vector<int> counts = PageComponentCounts(pages);
    for (int p = 0; p < static_cast<int>(counts.size()); ++p) {
        for (int c = 0; c < counts[static_cast<std::size_t>(p)]; ++c) {
            const std::string key = PageValueKey(p, c);
            if (missing == MissingDefaults::Left && !pages.HasKey(kPageValuesSection, key))
                continue;
            values.Set(p, c, pages.ReadString(kPageValuesSection, key, ""));
        }
    }
    return values;
}

bool PageValues::Write(const fs::path& menuIni) const {
    StagedFile staged;
    return Stage(menuIni, staged) && staged.Commit();
}

bool PageValues::Stage(const fs::path& menuIni, StagedFile& staged, std::string* problem) const {
    if (entries_.empty()) {
        staged.StageRemoval(menuIni);
        return true;
    }
    IniFile file = IniFile::Fresh(menuIni);
    for (const auto& [key, text] : entries_)
        file.WriteString(kPageValuesSection, key, text);
    if (file.Stage(staged))
        return true;
    if (problem != nullptr)
        *problem = file.SaveError();
    return false;
}

std::optional<std::string> PageValues::Text(int page, int component) const {
    const std::string key = PageValueKey(page, component);
    for (const auto& [name, text] : entries_) {
        if (EqualsIgnoringCase(name, key))
            return text;
    }
    return std::nullopt;
}

std::int32_t PageValues::Integer(int page, int component, std::int32_t fallback) const {
    const auto text = Text(page, component);
    if (!text)
        return fallback;
    return ParseIniInteger(*text).value_or(fallback);
}

void PageValues::Set(int page, int component, std::string text) {
    exists_ = true;
    const std::string key = PageValueKey(page, component);
    for (auto& [name, value] : entries_) {
        if (EqualsIgnoringCase(name, key)) {
            value = std::move(text);
            return;
        }
    }
    entries_.emplace_back(key, std::move(text));
}

}  // namespace torq
