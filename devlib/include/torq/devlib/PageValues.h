// The working values of a device's parameter pages, as Menu.ini keeps them: one text per
// component, key "Page" + p + "Com" + c + "Set" of section CurrentUserPageSetup. Menu.ini is read
// and written only through this type: a device load fills it with the page file's defaults, the
// Premium pages and a device read store new values, protect uses them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace torq {

class StagedFile;

class PageValues {
  public:
    // The values of a Menu.ini; none (and Exists() false) when there is no such file.
    static PageValues Read(const std::filesystem::path& menuIni);
    // The defaults the page file gives its components (within the page file limits). A device
    // load writes every component, a missing default as an empty text; the pages built from the
    // page file itself take only the defaults it has (the others show their own default).
    enum class MissingDefaults { Empty, Left };
    static PageValues Defaults(const std::filesystem::path& pageFile,
                               MissingDefaults missing = MissingDefaults::Empty);

    // Deletes Menu.ini and, when there are values, writes them into a new one. False when it
    // could not be written.
    bool Write(const std::filesystem::path& menuIni) const;
    // Write in two halves: the new Menu.ini (or its removal) made ready beside the old one, to be
    // committed later. False, with the reason, when it could not be written.
    bool Stage(const std::filesystem::path& menuIni, StagedFile& staged,
               std::string* problem = nullptr) const;

    // Whether there is a values file at all (protect uses the values only then).
    bool Exists() const { return exists_; }
    bool Empty() const { return entries_.empty(); }
    std::optional<std::string> Text(int page, int component) const;
    // The value read as an INI integer; the fallback when missing or not a number.
    std::int32_t Integer(int page, int component, std::int32_t fallback) const;
    // Sets (or adds, in order) one value; the values then exist.
    void Set(int page, int component, std::string text);
    const std::vector<std::pair<std::string, std::string>>& Entries() const { return entries_; }

  private:
    bool exists_ = false;
    std::vector<std::pair<std::string, std::string>> entries_;  // key, text; in write order
};

}  // namespace torq
