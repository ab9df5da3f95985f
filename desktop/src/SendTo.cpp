#include "torq/desktop/SendTo.h"

#include <system_error>

#include "torq/devlib/Ini.h"

namespace torq {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kFolderName = "TORQ-SPI";
constexpr std::string_view kFileName = "TORQ-SPI.desktop";
// Our entry is a few hundred bytes; a larger file at its place is read no further.
constexpr std::uint64_t kEntryFileLimit = 64 * 1024;

bool PathExists(const fs::path& path) {
    std::error_code error;
    return fs::symlink_status(path, error).type() != fs::file_type::not_found && !error;
}

}  // namespace

SendToEntry::SendToEntry(XdgFolders folders, fs::path program, DesktopTools& tools)
    : folders_(std::move(folders)), program_(std::move(program)), tools_(tools) {}

fs::path SendToEntry::EntryPath() const {
    const fs::path applications = folders_.Applications();
    return applications.empty() ? fs::path() : applications / kFolderName / kFileName;
}

bool SendToEntry::Apply(bool checked, Operator& op) {
    return checked ? Create(op) : Delete(op);
}

bool SendToEntry::Create(Operator& op) {
    const fs::path applications = folders_.Applications();
    std::error_code error;
    // The applications folder is the desktop's: a fresh account may not have it yet.
    if (applications.empty() || (fs::create_directories(applications, error), error) ||
        !fs::is_directory(applications, error)) {
        op.Tell(Severity::Error, kSendToFolderNotFound);
        return false;
    }
    if (!IsDesktopEntryPath(program_)) {
        // The message the box always gives, then why.
        op.Tell(Severity::Error,
                std::string(kSendToCannotCreate) + ": " + UnnameableProgramText(program_));
        return false;
    }
    const fs::path entry = EntryPath();
    const std::string exec = ExecLineForFile(program_);
    // An entry that starts this program is left as it is; one that starts it where it was
    // before it moved (or that cannot be read) is written anew.
    if (PathExists(entry)) {
        const SmallFile existing = ReadSmallFile(entry, kEntryFileLimit);
        if (existing.problem.empty() && DesktopEntryKey(existing.contents, "Exec") == exec)
            return true;
    }
    ApplicationEntry text;
    text.name = std::string(kSendToEntryName);
    text.comment = "Load the file into the TORQ-SPI buffer";
    text.program = program_;
    // No MimeType: an entry claiming a type in the user's folder becomes that type's default
    // wherever the user chose none, and text files would open in the programmer. File managers
    // offer every visible entry under "Open With Other Application" for any file.
    fs::create_directory(entry.parent_path(), error);
    if (error || !WriteFileAtomically(entry, text.Text())) {
        op.Tell(Severity::Error, kSendToCannotCreate);
        return false;
    }
    RefreshApplicationIndex(folders_, tools_);
    return true;
}

bool SendToEntry::Delete(Operator& op) {
    if (folders_.dataHome.empty()) {
        op.Tell(Severity::Error, kSendToFolderNotFound);
        return false;
    }
    const fs::path entry = EntryPath();
    if (!PathExists(entry))
        return true;
    std::error_code error;
    if (fs::is_directory(fs::symlink_status(entry, error)) || !fs::remove(entry, error) || error) {
        op.Tell(Severity::Error, kSendToCannotDelete);
        return false;
    }
    // Our folder goes with the entry when nothing else is in it.
    fs::remove(entry.parent_path(), error);
    RefreshApplicationIndex(folders_, tools_);
    return true;
}

}  // namespace torq
