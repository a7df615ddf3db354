#include "corrtable/backup_files.h"

#include <ctime>

#include "app/file_names.h"
#include "app/program_path.h"

namespace kv::corrtable {

std::string DefaultBackupDir(const std::string &dataDir) {
    return dataDir + "backups" + PathSeparator();
}

std::string BackupFileName(std::string_view unit, std::string_view port,
                           std::chrono::system_clock::time_point when, std::string_view ext) {
    std::string_view base = unit;
    if (base.empty()) {
        // "/dev/ttyUSB0" -> "ttyUSB0", "\\.\COM12" -> "COM12".
        const auto cut = port.find_last_of("/\\");
        base = cut == std::string_view::npos ? port : port.substr(cut + 1);
    }
    std::string name = FileNamePart(base);
    if (name.empty())
        name = "table";
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &t);
#else
    gmtime_r(&t, &utc);
#endif
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%SZ", &utc);
    return name + "-" + stamp + std::string(ext);
}

std::string BackupPath(const std::string &dir, const std::string &name) {
    std::string folder = dir;
    if (!folder.empty() && folder.back() != '/' && folder.back() != PathSeparator())
        folder += PathSeparator();
    return folder + name;
}

FileResult CreateBackupFile(const std::string &wanted, std::string_view text,
                            std::string &created) {
    return CreateNewTextFile(text, wanted, created);
}

} // namespace kv::corrtable
