// The "File associations" group of the Options tab on a freedesktop.org desktop: an extension is
// registered as a MIME type of its own (a package file under <data home>/mime/packages, holding
// the type's description), opened by this program as the type's default application
// (mimeapps.list). Other programs' files and entries are never touched.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "torq/desktop/Xdg.h"
#include "torq/devlib/Seams.h"

namespace torq {

inline constexpr std::string_view kAssociationAddCaption = "加入";
inline constexpr std::string_view kAssociationReplaceCaption = "取代";
inline constexpr std::string_view kAssociationRemoveCaption = "移除";
inline constexpr std::string_view kAssociationReplaceQuestion =
    "系統已有註冊此檔案關聯，要改寫註冊嗎 ?";
inline constexpr std::string_view kAssociationReplaceConfirmation = "請確定要這麼做?";
inline constexpr std::string_view kAssociationRemoveQuestion = "確定要移除此檔案關聯的註冊嗎 ?";

// The longest extension the field holds.
inline constexpr std::size_t kExtensionLimit = 32;

// The longest description, in characters: a file type's name as file managers show it, and far
// below what a package file of ours may hold to be read back.
inline constexpr std::size_t kDescriptionLimit = 256;

// The extension field's text for what was typed: lower case, without the leading "."; characters
// a file name extension cannot safely hold (blanks, "/", "*", quotes, non-ASCII ...) are left
// out, and the text stops at kExtensionLimit characters.
std::string ExtensionFieldText(std::string_view typed);
// True when the field's text names an extension that can be registered: not empty, and no "."
// at its end or twice in a row.
bool IsRegistrableExtension(std::string_view extension);

struct FileAssociation {
    std::string extension;    // without the "."
    std::string description;  // the file type's description; may be empty
    std::string mimeType;
    bool ours = false;  // registered by this program; otherwise by another one
};

// What the group shows for the extension field's text.
struct AssociationControls {
    bool addEnabled = false;
    std::string_view addCaption = kAssociationAddCaption;  // "取代" when already registered
    bool removeEnabled = false;                            // the extension is in the list
    std::string description;  // the description field's new text: the registered one, or empty
};

class FileAssociations {
  public:
    FileAssociations(XdgFolders folders, std::filesystem::path program, DesktopTools& tools);

    // The associations this program has registered, by extension: our packages that the user's
    // MIME database holds, not a list kept somewhere else. A package written since
    // update-mime-database last ran counts (it could not be run, or has not yet): it is what the
    // database will hold once the tool runs.
    std::vector<FileAssociation> List() const;
    // The desktop's registration of the extension: ours when there is one, else the file type
    // another program gave it; nothing when it has none.
    std::optional<FileAssociation> Registration(std::string_view extension) const;
    AssociationControls Controls(std::string_view extensionField) const;

    // "加入" / "取代": registers the extension with the description, after the two questions
    // when the extension already has a registration (No to either changes nothing). False when
    // nothing was registered; a failure is told to the operator and leaves the files as they were.
    // What a package cannot hold is refused before anything is asked: an extension outside the
    // field's rule, a description that is not XML text or longer than kDescriptionLimit, and a
    // program path no desktop entry can name. A default the type had in mimeapps.list stays
    // behind ours, so Remove gives it back.
    bool Add(std::string_view extensionField, std::string_view description, Operator& op);
    // "移除": removes our registration of the extension after the question.
    bool Remove(std::string_view extensionField, Operator& op);

    // Where the pieces live (for the window's hints and for tests).
    static std::string MimeTypeFor(std::string_view extension);
    std::filesystem::path PackageFile(std::string_view extension) const;
    std::filesystem::path HandlerEntry() const;

  private:
    // The type's keys in the two sections of mimeapps.list we write; nothing where a key is
    // missing.
    struct ListEntries {
        std::optional<std::string> defaults;
        std::optional<std::string> added;
        bool operator==(const ListEntries&) const = default;
    };

    std::optional<FileAssociation> Ours(std::string_view extension) const;
    bool InUserDatabase(std::string_view extension, const std::filesystem::path& package) const;
    std::optional<FileAssociation> Others(std::string_view extension) const;
    bool WriteHandlerEntry(std::string& problem) const;
    bool SetDefaultApplication(const std::string& mimeType, std::string& problem) const;
    bool ClearDefaultApplication(const std::string& mimeType, std::string& problem) const;
    ListEntries ReadListEntries(const std::string& mimeType) const;
    bool WriteListEntries(const std::string& mimeType, const ListEntries& entries,
                          std::string& problem) const;
    std::filesystem::path MimeAppsList() const;

    XdgFolders folders_;
    std::filesystem::path program_;
    DesktopTools& tools_;
};

}  // namespace torq
