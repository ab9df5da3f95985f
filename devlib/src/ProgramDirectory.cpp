#include "torq/devlib/ProgramDirectory.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <iterator>
#include <string>
#include <system_error>

#include "torq/devlib/Text.h"

namespace torq {

namespace fs = std::filesystem;

fs::path ResolveLibraryPath(const fs::path& base, std::string_view relative) {
    std::string normalised(relative);
    for (char& c : normalised) {
        if (c == '\\')
            c = '/';
    }
    const fs::path parts = fs::path(normalised).relative_path();
    fs::path written = base / parts;
    std::error_code error;
    if (fs::exists(written, error))
        return written;

    // Walk component by component, matching each one without regard to case.
    fs::path current = base;
    int depth = 0;
    for (const auto& part : parts) {
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (--depth < 0)
                return written;
            current = current / part;
            continue;
        }
        ++depth;
        const fs::path direct = current / part;
        if (fs::exists(direct, error)) {
            current = direct;
            continue;
        }
        bool found = false;
        fs::directory_iterator entries(current, error);
        for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
            if (EqualsIgnoringCase(entries->path().filename().string(), part.string())) {
                current = entries->path();
                found = true;
                break;
            }
        }
        if (!found)
            return written;
    }
    return current;
}

bool IsInsideFolder(const fs::path& folder, const fs::path& path) {
    std::error_code error;
    fs::path root = fs::weakly_canonical(folder, error);
    fs::path resolved = error ? fs::path() : fs::weakly_canonical(path, error);
    if (error) {
        // What cannot be resolved (a name too long, a loop of links, a folder that may not be
        // searched) cannot be opened either: judge it by its names alone.
        std::error_code pathError;
        root = fs::absolute(folder, error).lexically_normal();
        resolved = fs::absolute(path, pathError).lexically_normal();
        if (error || pathError)
            return false;
    }
    if (root.empty())
        return false;
    auto r = root.begin(), p = resolved.begin();
    for (; r != root.end(); ++r, ++p) {
        if (r->empty() && std::next(r) == root.end())
            break;  // the trailing separator of a folder
        if (p == resolved.end() || *p != *r)
            return false;
    }
    return true;
}

ProgramDirectory ProgramDirectory::Portable(fs::path folder) {
    return ProgramDirectory(folder, folder);
}

ProgramDirectory ProgramDirectory::Installed(fs::path libraryFolder, fs::path dataFolder) {
    return ProgramDirectory(std::move(libraryFolder), std::move(dataFolder));
}

ProgramDirectory ProgramDirectory::Locate(const std::optional<fs::path>& home,
                                          const fs::path& executableFolder) {
    // A relative folder is made absolute when the current folder can be known (it may have been
    // deleted); otherwise it is used as given, and nothing will be found in it.
    std::error_code error;
    const auto absolute = [&](const fs::path& folder) {
        fs::path made = fs::absolute(folder, error);
        return error || made.empty() ? folder : made;
    };
    if (home && !home->empty())
        return Portable(absolute(*home));
    if (const char* env = std::getenv("TORQ_SPI_HOME"); env != nullptr && *env != '\0') {
        return Portable(absolute(env));
    }
    if (fs::exists(ResolveLibraryPath(executableFolder, "Select.ini"), error)) {
        return Portable(executableFolder);
    }
    const fs::path library = executableFolder.parent_path() / "share" / "torq-spi";
    fs::path data;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg != '\0') {
        data = fs::path(xdg) / "torq-spi";
    } else if (const char* userHome = std::getenv("HOME"); userHome != nullptr && *userHome) {
        data = fs::path(userHome) / ".local" / "share" / "torq-spi";
    } else if (const passwd* user = ::getpwuid(::getuid()); user != nullptr && user->pw_dir) {
        data = fs::path(user->pw_dir) / ".local" / "share" / "torq-spi";
    } else {
        // No home folder at all: a folder of this user's own, never one shared by everyone.
        data = fs::temp_directory_path(error) / ("torq-spi-" + std::to_string(::getuid()));
    }
    return Installed(library, data);
}

fs::path ProgramDirectory::LibraryFile(std::string_view relative, bool* outside) const {
    fs::path path = ResolveLibraryPath(library_, relative);
    const bool refused = !IsInsideFolder(library_, path);
    if (outside != nullptr)
        *outside = refused;
    return refused ? fs::path() : path;
}

fs::path ProgramDirectory::SelectIni() const {
    return ResolveLibraryPath(library_, "Select.ini");
}

fs::path ProgramDirectory::DeviceFile(std::string_view name, bool* outside) const {
    return LibraryFile("Ini/" + std::string(name), outside);
}

fs::path ProgramDirectory::DriverImage(std::string_view name, bool* outside) const {
    return LibraryFile("Drv/" + std::string(name), outside);
}

bool ProgramDirectory::EnsureDataFolder() const {
    std::error_code error;
    fs::create_directories(data_, error);
    return fs::is_directory(data_, error);
}

fs::path ExecutableFolder() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error)
        return fs::current_path(error);
    return self.parent_path();
}

}  // namespace torq
