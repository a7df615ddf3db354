#include "ctl/files.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "app/text_files.h"
#include "corrtable/backup_files.h"

namespace kv::ctl {

bool MayReplace(Session &s, const std::string &file) {
    return !FileExists(file) || AskQuestion(s.prompter, OverwriteQuestion(file)) == IdYes;
}

std::string NewBackupPath(Session &s, std::string_view ext) {
    namespace ct = kv::corrtable;
    // The wanted name: the file is created exclusively when it is written, and a name taken
    // by then gets "-2", "-3", ... (see CreateBackupFile).
    return ct::BackupPath(s.args.Has("--backup-dir") ? s.args.Value("--backup-dir")
                                                     : ct::DefaultBackupDir(s.paths.DataDir()),
                          // Named by the unit when one is named, else by the port.
                          ct::BackupFileName(s.recorder().unit(), s.PortSettings().name,
                                             std::chrono::system_clock::now(), ext));
}

namespace {

std::string NewTempDir() {
    namespace fs = std::filesystem;
    static std::atomic<unsigned> counter{0};
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec);
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path dir = (ec ? fs::path(".") : base) / ("korvanectl-" + std::to_string(stamp) +
                                                            "-" + std::to_string(counter++));
        if (fs::create_directory(dir, ec) && !ec)
            return dir.string();
    }
    throw std::runtime_error("cannot make a temporary folder for standard input or output");
}

} // namespace

StdioFile::StdioFile(Session &s, std::string name, Use use, std::string_view ext)
    : s_(s), path_(std::move(name)) {
    if (path_ != "-")
        return;
    dir_ = NewTempDir();
    const std::string file = (use == Use::Read ? "stdin" : "stdout") + std::string(ext);
    path_ = (std::filesystem::path(dir_) / file).string();
    s.err.Alias(path_, use == Use::Read ? "standard input" : "standard output");
    if (use == Use::Write) {
        s.ResultsToErrors();
        return;
    }
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    const std::string data((std::istreambuf_iterator<char>(std::cin)),
                           std::istreambuf_iterator<char>());
    if (FileResult r = WriteTextFile(data, path_, nullptr); !r)
        throw std::runtime_error("cannot keep standard input in " + path_ + ": " + r.error);
}

StdioFile::~StdioFile() {
    if (!dir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
}

bool StdioFile::Finish() {
    if (dir_.empty() || !FileExists(path_))
        return true;
    std::string data;
    if (FileResult r = ReadTextFile(path_, std::size_t{1} << 30, data); !r) {
        s_.Fail("cannot read " + path_ + ": " + r.error);
        return false;
    }
    s_.WriteData(data);
    return true;
}

std::string FilesHelpText(const ProgramPaths &paths) {
    return "\nFiles (" + paths.name + ".ini, " + paths.name + ".adc): " + paths.dir +
           (paths.installed ? "\n  (the user's data folder, since the program is installed)\n"
                            : "\n  (the program's own folder: a portable copy)\n");
}

} // namespace kv::ctl
