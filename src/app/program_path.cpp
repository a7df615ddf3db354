#include "app/program_path.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <pwd.h>
#include <unistd.h>
#endif

namespace kv {

namespace {

std::string Env(const char *name) {
    const char *v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

bool IsSeparator(char c, PathStyle style) {
    return c == '/' || (style == PathStyle::Windows && c == '\\');
}

// The folder's components, without empty ones ("/usr/bin/" gives usr, bin).
std::vector<std::string> Components(std::string_view dir, PathStyle style) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : dir) {
        if (IsSeparator(c, style)) {
            if (!part.empty())
                parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty())
        parts.push_back(part);
    return parts;
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    });
    return s;
}

// base + sep + leaf + sep, with no doubled separator where base already ends with one.
std::string SubFolder(std::string base, std::string_view leaf, char sep, PathStyle style) {
    if (base.empty() || !IsSeparator(base.back(), style))
        base += sep;
    return base + std::string(leaf) + sep;
}

} // namespace

char PathSeparator() {
    return kPathStyle == PathStyle::Windows ? '\\' : '/';
}

namespace {

std::string FolderOf(std::string_view path, PathStyle style) {
    const std::size_t slash = path.find_last_of(style == PathStyle::Windows ? "\\/" : "/");
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

} // namespace

std::string FolderOf(std::string_view path) {
    return FolderOf(path, kPathStyle);
}

ProgramPaths ProgramPathsFrom(std::string_view fullPath, PathStyle style) {
    std::string dir = FolderOf(fullPath, style);
    std::string file(fullPath.substr(dir.size()));
    if (file.size() > 255)
        file.resize(255);
    std::size_t dot = file.find_last_of('.');
    if (dot != std::string::npos)
        file.resize(dot);
    if (dir.size() > 255)
        dir.resize(255);
    return ProgramPaths{file, dir};
}

const std::string &ProgramPaths::DataDir() const {
    if (!dir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
    }
    return dir;
}

bool IsInstalledProgramDir(std::string_view dir, PathStyle style) {
    const std::vector<std::string> parts = Components(dir, style);
    if (style == PathStyle::Windows) {
        // "Program Files", "Program Files (x86)", whatever the case.
        for (const auto &p : parts)
            if (Lower(p).rfind("program files", 0) == 0)
                return true;
    } else if (!parts.empty() && (parts.front() == "usr" || parts.front() == "opt") &&
               IsSeparator(dir.front(), style)) {
        return true;
    }
    // A "bin" folder beside the package's share/korvane: an installation under any prefix
    // (a package unpacked elsewhere, $HOME/.local).
    if (parts.empty() || Lower(parts.back()) != "bin")
        return false;
    std::error_code ec;
    const std::filesystem::path share =
        std::filesystem::path(std::string(dir)) / ".." / "share" / "korvane";
    return std::filesystem::is_directory(share, ec);
}

std::string UserDataDir(const UserFolders &folders, PathStyle style) {
    if (style == PathStyle::Windows)
        return folders.localAppData.empty()
                   ? std::string()
                   : SubFolder(folders.localAppData, "Korvane", '\\', style);
    // A relative $XDG_DATA_HOME is to be ignored.
    if (!folders.xdgDataHome.empty() && folders.xdgDataHome.front() == '/')
        return SubFolder(folders.xdgDataHome, "korvane", '/', style);
    if (!folders.home.empty())
        return SubFolder(folders.home, ".local/share/korvane", '/', style);
    return std::string();
}

ProgramPaths ProgramPathsFor(std::string_view fullPath, const UserFolders &folders,
                             PathStyle style) {
    ProgramPaths p = ProgramPathsFrom(fullPath, style);
    if (!IsInstalledProgramDir(p.dir, style))
        return p;
    // With no user folder known the files stay beside the program, as for a portable copy.
    std::string data = UserDataDir(folders, style);
    if (data.empty())
        return p;
    p.dir = std::move(data);
    p.installed = true;
    return p;
}

UserFolders UserFoldersOfProcess() {
    UserFolders f;
#ifdef _WIN32
    f.localAppData = Env("LOCALAPPDATA");
#else
    f.xdgDataHome = Env("XDG_DATA_HOME");
    f.home = Env("HOME");
    if (f.home.empty()) {
        if (const passwd *pw = getpwuid(getuid()); pw && pw->pw_dir)
            f.home = pw->pw_dir;
    }
#endif
    return f;
}

ProgramPaths ProgramPathsOfProcess(const char *argv0) {
    std::string path;
#ifdef _WIN32
    char buf[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
    path.assign(buf, n);
    (void)argv0;
#else
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec)
        path = exe.string();
    else if (argv0)
        path = std::filesystem::absolute(argv0, ec).string();
#endif
    // A portable copy reads nothing from the environment.
    if (!IsInstalledProgramDir(ProgramPathsFrom(path).dir))
        return ProgramPathsFrom(path);
    return ProgramPathsFor(path, UserFoldersOfProcess());
}

} // namespace kv
