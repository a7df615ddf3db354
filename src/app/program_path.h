// The program's own name and the folder where it keeps its files (settings, current log,
// calibration and table files): beside the program for a portable copy, in the user's data
// folder for an installed program.
#pragma once

#include <string>
#include <string_view>

namespace kv {

struct ProgramPaths {
    std::string name;       // file name without the last extension ("a.b" for a.b.exe)
    std::string dir;        // folder of the program's files, with a trailing separator
    bool installed = false; // dir is the user's data folder rather than the program's own

    std::string File(std::string_view suffix) const { return dir + name + std::string(suffix); }
    std::string IniFileName() const { return File(".ini"); }
    std::string CurrentLogFileName() const { return File(".adc"); }
    std::string SavFileName() const { return File(".sav"); }

    // dir, made first if it is missing (an installed program's data folder does not exist
    // before its first run). Files the program adds beside its settings belong here too.
    // A folder that cannot be made is left to the writes, which report their failures.
    const std::string &DataDir() const;
};

// The platform's path separator.
char PathSeparator();

// The folder part of a path, with its trailing separator ("" for a bare name).
std::string FolderOf(std::string_view path);

enum class PathStyle { Posix, Windows };
#ifdef _WIN32
inline constexpr PathStyle kPathStyle = PathStyle::Windows;
#else
inline constexpr PathStyle kPathStyle = PathStyle::Posix;
#endif

// Splits an absolute program path into name and folder, each cut to 255 characters.
ProgramPaths ProgramPathsFrom(std::string_view fullPath, PathStyle style = kPathStyle);

// The environment's say in where an installed program keeps its files (empty when unset).
struct UserFolders {
    std::string xdgDataHome;  // $XDG_DATA_HOME
    std::string home;         // $HOME, else the password database's home folder
    std::string localAppData; // %LOCALAPPDATA%
};
UserFolders UserFoldersOfProcess();

// Whether a program whose file lies in dir (trailing separator) is installed: dir is a
// "bin" folder with the package's data in ../share/korvane, or lies under a system prefix
// (/usr, /opt; a "Program Files" folder on Windows). Anything else is a portable copy.
bool IsInstalledProgramDir(std::string_view dir, PathStyle style = kPathStyle);

// The user's data folder for the program's files, with a trailing separator:
// $XDG_DATA_HOME/korvane/ (an absolute $XDG_DATA_HOME only, else ~/.local/share/korvane/),
// or %LOCALAPPDATA%\Korvane\ on Windows; "" when the environment names no such folder.
std::string UserDataDir(const UserFolders &folders, PathStyle style = kPathStyle);

// The program's name and the folder of its files, for the program file at fullPath:
// ProgramPathsFrom(fullPath), with the folder moved to the user's data folder when the
// program is installed (and the environment names one).
ProgramPaths ProgramPathsFor(std::string_view fullPath, const UserFolders &folders,
                             PathStyle style = kPathStyle);

// The running program's paths: from the executable's own location, and for an installed
// program from the environment.
ProgramPaths ProgramPathsOfProcess(const char *argv0);

} // namespace kv
