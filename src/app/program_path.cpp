#include "app/program_path.h"

#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

namespace kv {

char PathSeparator() {
#ifdef _WIN32
    return '\\';
#else
    return '/';
#endif
}

std::string FolderOf(std::string_view path) {
    const std::size_t slash = path.find_last_of(PathSeparator() == '\\' ? "\\/" : "/");
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

ProgramPaths ProgramPathsFrom(std::string_view fullPath) {
    std::string dir = FolderOf(fullPath);
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
    return ProgramPathsFrom(path);
}

} // namespace kv
