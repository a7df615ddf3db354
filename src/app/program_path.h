// The program's own name and folder, from which the names of the files beside it are made.
#pragma once

#include <string>
#include <string_view>

namespace kv {

struct ProgramPaths {
    std::string name; // file name without the last extension ("a.b" for a.b.exe)
    std::string dir;  // folder with a trailing separator

    std::string File(std::string_view suffix) const { return dir + name + std::string(suffix); }
    std::string IniFileName() const { return File(".ini"); }
    std::string CurrentLogFileName() const { return File(".adc"); }
    std::string SavFileName() const { return File(".sav"); }
};

// The platform's path separator.
char PathSeparator();

// The folder part of a path, with its trailing separator ("" for a bare name).
std::string FolderOf(std::string_view path);

// Splits an absolute program path into name and folder, each cut to 255 characters.
ProgramPaths ProgramPathsFrom(std::string_view fullPath);

// The running program's paths (from the executable's own location).
ProgramPaths ProgramPathsOfProcess(const char *argv0);

} // namespace kv
