// Where the program finds its device library and keeps its writable files.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace torq {

// Resolves a path written in a library file (relative to base, "\" or "/" separators) to a file
// on disk. Each component that does not exist as written is looked up without regard to letter
// case, since libraries come from Windows. Returns the path as written when nothing matches, or
// when ".." climbs above base (no folder outside base is searched).
std::filesystem::path ResolveLibraryPath(const std::filesystem::path& base,
                                         std::string_view relative);

// True when path lies inside folder once both are resolved (symbolic links followed, "." and
// ".." taken away). A path that cannot be resolved (and so cannot be opened) is judged by its
// names alone.
bool IsInsideFolder(const std::filesystem::path& folder, const std::filesystem::path& path);

// Portable layout: one folder holds the library and the writable files (a bench install, the
// build tree, or the folder given by --home / TORQ_SPI_HOME). Installed layout: the library is
// read from <prefix>/share/torq-spi and the writable files live in $XDG_DATA_HOME/torq-spi.
class ProgramDirectory {
  public:
    static ProgramDirectory Portable(std::filesystem::path folder);
    static ProgramDirectory Installed(std::filesystem::path libraryFolder,
                                      std::filesystem::path dataFolder);
    // --home (when given), else TORQ_SPI_HOME, else the executable's folder when it holds
    // Select.ini, else the installed layout.
    static ProgramDirectory Locate(const std::optional<std::filesystem::path>& home,
                                   const std::filesystem::path& executableFolder);

    const std::filesystem::path& LibraryFolder() const { return library_; }
    const std::filesystem::path& DataFolder() const { return data_; }

    // A path relative to the program folder as a library file writes it. A path that leads out
    // of the library folder (by "..", or through a symbolic link) is refused: the result is
    // empty, and `outside` (when given) is set.
    std::filesystem::path LibraryFile(std::string_view relative, bool* outside = nullptr) const;

    // The library index itself; it may be a link to a file elsewhere.
    std::filesystem::path SelectIni() const;
    // A device file named by Select.ini (in "Ini"), a driver image named by a device file (in
    // "Drv"); refused as LibraryFile refuses.
    std::filesystem::path DeviceFile(std::string_view name, bool* outside = nullptr) const;
    std::filesystem::path DriverImage(std::string_view name, bool* outside = nullptr) const;

    std::filesystem::path HistoryIni() const { return data_ / "History.ini"; }
    std::filesystem::path MenuIni() const { return data_ / "Menu.ini"; }
    std::filesystem::path BufferFile() const { return data_ / "output.tmp"; }
    std::filesystem::path ScratchFile() const { return data_ / "output.tmp.temp"; }

    // Creates the writable folder when it does not exist yet.
    bool EnsureDataFolder() const;

  private:
    ProgramDirectory(std::filesystem::path library, std::filesystem::path data)
        : library_(std::move(library)), data_(std::move(data)) {}
    std::filesystem::path library_;
    std::filesystem::path data_;
};

// The folder of the running executable.
std::filesystem::path ExecutableFolder();

}  // namespace torq
