// The device library index (Select.ini): identity, vendors, types, device files and the
// automatic-detection settings.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "torq/devlib/Ini.h"
#include "torq/devlib/ProgramDirectory.h"
#include "torq/devlib/Seams.h"

namespace torq {

inline constexpr std::string_view kLibraryIdentity = "TORQ-SPI";
inline constexpr std::string_view kLibraryIncorrectMessage = "Device Library is incorrect .";
inline constexpr std::uint32_t kDetectManCodeDefault = 0x55AAAA55;
inline constexpr std::uint32_t kDetectDevCodeDefault = 0xFFFFFFFF;
// Numbered-list lengths beyond this are treated as garbage (a hostile Value= cannot hang a load).
inline constexpr int kNumberedListLimit = 65535;
// A list names at most this many of its empty or refused keys one by one; one more line counts
// the rest.
inline constexpr int kNumberedListErrorLines = 100;

// A sorted list and the error lines of its empty numbered keys.
struct NameList {
    std::vector<std::string> names;
    std::vector<std::string> errors;
};

struct ReadIdEntry {
    std::uint8_t opcode = 0;
    std::uint8_t offset = 0;
};

// "Read_ID" entry text: opcode and offset separated by any run of ',', ';' or blanks.
ReadIdEntry ParseReadIdEntry(std::string_view text);

// True when the text is a date written year/month/day (separators '/', '-' or '.'), the short
// date format of this program.
bool IsValidLibraryDate(std::string_view text);

enum class DetectionLevel { V18, V25, V33 };

// A vendor and a type as the library spells them.
struct DeviceName {
    std::string vendor;
    std::string type;
};

class DeviceLibrary {
  public:
    explicit DeviceLibrary(const ProgramDirectory& dirs);

    const ProgramDirectory& Directories() const { return dirs_; }
    bool IndexExists() const { return index_.FileExists(); }

    std::string Type() const;
    std::int32_t MainCode() const;
    // The date as written when it is a valid date, else "None".
    std::string DateText() const;
    bool IdentityOk() const { return Type() == kLibraryIdentity; }

    // The vendor names, sorted without regard to case, and the error lines of empty keys.
    NameList Vendors() const;
    // The types of a vendor, sorted likewise. Left out, each with an error line: empty keys, and
    // types whose device file name leads out of the library folder.
    NameList TypesOf(std::string_view vendor) const;
    // In file (key) order, with the same types left out: the order automatic detection searches.
    std::vector<std::string> VendorsInFileOrder() const;
    std::vector<std::string> TypesInFileOrder(std::string_view vendor) const;

    // Names typed in any letter case, as the library spells them: the first listed vendor, the
    // first listed type of a vendor, and both at once; nothing when the library has no such name.
    std::optional<std::string> VendorNamed(std::string_view vendor) const;
    std::optional<std::string> TypeNamed(std::string_view vendor, std::string_view type) const;
    std::optional<DeviceName> DeviceNamed(std::string_view vendor, std::string_view type) const;

    // The device file of a type: the type's key in the vendor's section, in sub-folder "Ini".
    // Empty when the name leads out of the library folder; `refusal` (when given) then gets the
    // error line that says so.
    std::filesystem::path DeviceFileOf(std::string_view vendor, std::string_view type,
                                       std::string* refusal = nullptr) const;

    std::uint32_t DetectManCode(std::string_view vendor, std::string_view type) const;
    std::uint32_t DetectDevCode(std::string_view vendor, std::string_view type) const;
    std::vector<ReadIdEntry> ReadIdEntries() const;
    bool LevelEnabled(DetectionLevel level) const;

    // The start-up check: identity (refused with the error message), date, vendor list and the
    // error lines of empty vendor keys (told in one message). False when the identity is wrong:
    // the caller ends the program.
    struct CheckResult {
        bool identityOk = false;
        std::string dateText;
        std::vector<std::string> vendorList;
        std::vector<std::string> errors;
    };
    CheckResult Check(Operator& op) const;

    const IniFile& Index() const { return index_; }

  private:
    NameList NumberedList(std::string_view section, bool sorted, bool types) const;
    ProgramDirectory dirs_;
    IniFile index_;
};

// Joins error lines for one message box.
std::string JoinLines(const std::vector<std::string>& lines);

}  // namespace torq
