#include "torq/devlib/ProgramDirectory.h"

#include <cstdlib>
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
    fs::path written = base / fs::path(normalised).relative_path();
    std::error_code error;
    if (fs::exists(written, error))
        return written;

    // Walk component by component, matching each one without regard to case.
    fs::path current = base;
    for (const auto& part : fs::path(normalised).relative_path()) {
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            current = current / part;
            continue;
        }
        const fs::path direct = current / part;
        if (fs::exists(direct, error)) {
            current = direct;
            continue;
        }
        bool found = false;
        if (fs::is_directory(current, error)) {
            for (const auto& entry : fs::directory_iterator(current, error)) {
                if (EqualsIgnoringCase(entry.path().filename().string(), part.string())) {
                    current = entry.path();
                    found = true;
                    break;
                }
            }
        }
        if (!found)
            return written;
    }
    return current;
}

ProgramDirectory ProgramDirectory::Portable(fs::path folder) {
    return ProgramDirectory(folder, folder);
}

ProgramDirectory ProgramDirectory::Installed(fs::path libraryFolder, fs::path dataFolder) {
    return ProgramDirectory(std::move(libraryFolder), std::move(dataFolder));
}

ProgramDirectory ProgramDirectory::Locate(const std::optional<fs::path>& home,
                                          const fs::path& executableFolder) {
    if (home && !home->empty())
        return Portable(fs::absolute(*home));
    if (const char* env = std::getenv("TORQ_SPI_HOME"); env != nullptr && *env != '\0') {
        return Portable(fs::absolute(env));
    }
    std::error_code error;
    if (fs::exists(ResolveLibraryPath(executableFolder, "Select.ini"), error)) {
        return Portable(executableFolder);
    }
    const fs::path library = executableFolder.parent_path() / "share" / "torq-spi";
    fs::path data;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg != '\0') {
        data = fs::path(xdg) / "torq-spi";
    } else if (const char* userHome = std::getenv("HOME"); userHome != nullptr) {
        data = fs::path(userHome) / ".local" / "share" / "torq-spi";
    } else {
        data = fs::temp_directory_path() / "torq-spi";
    }
    return Installed(library, data);
}

fs::path ProgramDirectory::LibraryFile(std::string_view relative) const {
    return ResolveLibraryPath(library_, relative);
}

fs::path ProgramDirectory::DeviceFile(std::string_view name) const {
    return LibraryFile("Ini/" + std::string(name));
}

fs::path ProgramDirectory::DriverImage(std::string_view name) const {
    return LibraryFile("Drv/" + std::string(name));
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
        return fs::current_path();
    return self.parent_path();
}

}  // namespace torq
