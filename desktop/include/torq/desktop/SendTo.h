// The "send to" entry of the Options tab: a desktop entry "Open with TORQ-SPI" that opens a file
// with this program, kept in a folder "TORQ-SPI" of the user's applications folder, where file
// managers list it among the programs any file can be opened with.
#pragma once

#include <filesystem>
#include <string_view>

#include "torq/desktop/Xdg.h"
#include "torq/devlib/Seams.h"

namespace torq {

inline constexpr std::string_view kSendToFolderNotFound = "找不到目的路徑";
inline constexpr std::string_view kSendToCannotCreate = "無法建立捷徑";
inline constexpr std::string_view kSendToCannotDelete = "無法刪除捷徑";
inline constexpr std::string_view kSendToEntryName = "Open with TORQ-SPI";

// The check box is not stored and does not follow the entry's presence: it starts unchecked at
// every start, and only a click acts (through Apply).
class SendToEntry {
  public:
    SendToEntry(XdgFolders folders, std::filesystem::path program, DesktopTools& tools);

    // <data home>/applications/TORQ-SPI/TORQ-SPI.desktop; empty when the data home is unknown.
    std::filesystem::path EntryPath() const;

    // A click on the check box: checked creates the entry (and its folder first) when it does not
    // exist yet; unchecked deletes it, without asking, when it exists. A failure is told to the
    // operator and returns false.
    bool Apply(bool checked, Operator& op);

  private:
    bool Create(Operator& op);
    bool Delete(Operator& op);

    XdgFolders folders_;
    std::filesystem::path program_;
    DesktopTools& tools_;
};

}  // namespace torq
