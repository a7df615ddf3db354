#include "app/text_files.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <random>
#include <system_error>

#include "app/file_platform.h"
#include "app/program_path.h"

namespace kv {

std::string SystemErrorText(int err) {
    return std::generic_category().message(err);
}

namespace {

using files::Kind;

void BeepIf(Beeper *b) {
    if (b)
        b->Beep();
}

FileResult Failure(std::string reason) {
    return FileResult{false, std::move(reason)};
}

// The reason a file of this kind cannot be read or replaced as a text file.
std::string KindReason(Kind kind) {
    switch (kind) {
    case Kind::Missing:
    case Kind::Regular:
        return {};
    case Kind::Directory:
        return SystemErrorText(EISDIR);
    case Kind::CharDevice:
    case Kind::Other:
        break;
    }
    return kNotARegularFile;
}

// A name for the new content beside the target: the target's name (cut, so that a long one
// still leaves room), a random part and ".tmp~". Left behind only if the program dies
// between creating and renaming it.
std::string TemporaryName(const std::string &target) {
    static std::atomic<unsigned> counter{0};
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    thread_local std::mt19937_64 random{
        std::random_device{}() ^
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count())};
    const std::string folder = FolderOf(target);
    std::string name = target.substr(folder.size(), 200);
    std::uint64_t bits = random() ^ counter.fetch_add(1);
    name += '.';
    for (int i = 0; i < 8; ++i, bits /= 36)
        name += kDigits[bits % 36];
    return folder + name + ".tmp~";
}

// Creates the temporary file exclusively, under another name when one is taken.
files::OpenFile CreateTemporary(const std::string &target, std::string &tmp, std::string &error) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        tmp = TemporaryName(target);
        bool exists = false;
        files::OpenFile f = files::CreateNew(tmp, error, exists);
        if (f.IsOpen() || !exists)
            return f;
    }
    return files::OpenFile{};
}

} // namespace

std::string NotATextFile(const std::string &fileName) {
    return KindReason(files::Examine(fileName).kind);
}

FileResult AppendTextFile(std::string_view text, const std::string &fileName, Beeper *beeper,
                          std::string_view header) {
    // A FIFO, socket or directory is refused before it is opened: it could only block or
    // fail. A device takes the text (/dev/null switches a log off).
    const Kind before = files::Examine(fileName).kind;
    if (before == Kind::Directory || before == Kind::Other)
        return Failure(KindReason(before));
    std::string error;
    files::OpenFile f = files::OpenForAppending(fileName, error);
    if (!f.IsOpen())
        return Failure(error); // missing folder, denied: skipped silently
    if (f.kind() == Kind::Directory || f.kind() == Kind::Other)
        return Failure(KindReason(f.kind())); // swapped since it was examined

    const bool regular = f.kind() == Kind::Regular;
    std::string data;
    if (!header.empty() && regular && f.size() == 0)
        data = header;
    data += text;
    bool ok = f.WriteAll(data, error);
    if (!ok && regular) {
        // No half record (or half header) stays behind to spoil the next one.
        std::string ignored;
        f.Truncate(f.size(), ignored);
    }
    if (!ok)
        BeepIf(beeper);
    std::string closeError;
    if (!f.Close(closeError) && ok) {
        ok = false;
        error = closeError;
        BeepIf(beeper);
    }
    return ok ? FileResult{true, {}} : Failure(error);
}

FileResult WriteTextFile(std::string_view text, const std::string &fileName, Beeper *beeper) {
    std::string target;
    std::string error;
    if (!files::FinalTarget(fileName, target, error))
        return Failure(error);
    const files::Info info = files::Examine(target);
    if (!KindReason(info.kind).empty())
        return Failure(KindReason(info.kind));
    if (info.kind == Kind::Regular && !info.writable)
        return Failure("The file is read-only");

    std::string tmp;
    files::OpenFile f = CreateTemporary(target, tmp, error);
    if (!f.IsOpen())
        return Failure(error);
    bool ok = f.WriteAll(text, error) && f.Sync(error);
    if (ok && info.kind == Kind::Regular)
        f.CopyModeAndOwner(target);
    std::string closeError;
    if (!f.Close(closeError) && ok) {
        ok = false;
        error = closeError;
    }
    if (ok)
        ok = files::RenameOver(tmp, target, error);
    if (!ok) {
        files::Remove(tmp);
        BeepIf(beeper);
        return Failure(error);
    }
    files::SyncFolder(FolderOf(target).empty() ? "." : FolderOf(target));
    return FileResult{true, {}};
}

FileResult CreateNewTextFile(std::string_view text, const std::string &fileName,
                             std::string &created, Beeper *beeper) {
    created.clear();
    const std::string folder = FolderOf(fileName);
    if (!folder.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(folder, ec); // a failure shows in the creation
    }
    const std::string name = fileName.substr(folder.size());
    const auto dot = name.rfind('.');
    const std::string stem =
        folder + (dot == std::string::npos || dot == 0 ? name : name.substr(0, dot));
    const std::string ext = dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
    std::string error;
    files::OpenFile f;
    std::string path = fileName;
    // A name taken (a file, a link, a folder) costs one more try; a folder full of one
    // second's backups ends the search rather than looping.
    for (int i = 2; i < 1000; ++i) {
        bool exists = false;
        f = files::CreateNew(path, error, exists);
        if (f.IsOpen() || !exists)
            break;
        path = stem + "-" + std::to_string(i) + ext;
    }
    if (!f.IsOpen())
        return Failure(error);
    bool ok = f.WriteAll(text, error) && f.Sync(error);
    std::string closeError;
    if (!f.Close(closeError) && ok) {
        ok = false;
        error = closeError;
    }
    if (!ok) {
        files::Remove(path);
        BeepIf(beeper);
        return Failure(error);
    }
    files::SyncFolder(folder.empty() ? "." : folder);
    created = path;
    return FileResult{true, {}};
}

FileResult ReadTextFile(const std::string &fileName, std::size_t limit, std::string &content,
                        bool *whole) {
    content.clear();
    if (whole)
        *whole = true;
    // Refused before it is opened: opening a device may already do something (a serial
    // port raises its lines).
    const Kind before = files::Examine(fileName).kind;
    if (before != Kind::Missing && before != Kind::Regular)
        return Failure(KindReason(before));
    std::string error;
    files::OpenFile f = files::OpenForReading(fileName, error);
    if (!f.IsOpen())
        return Failure(error);
    if (f.kind() != Kind::Regular)
        return Failure(KindReason(f.kind()));

    // One byte beyond the limit tells whether the file holds more. The buffer grows with
    // what is read, up to that byte: the limit is what a file may hold, not what every
    // read costs (a settings file is read at each opening, standard output's spool has a
    // limit of 1 GiB).
    const std::size_t most = limit + 1;
    content.resize(std::min<std::size_t>(most, 16 * 1024));
    std::size_t got = 0;
    for (;;) {
        if (got == content.size()) {
            if (content.size() == most)
                break;
            content.resize(content.size() > most / 2 ? most : content.size() * 2);
        }
        const long long n = f.Read(content.data() + got, content.size() - got, error);
        if (n < 0) {
            content.clear();
            return Failure(error);
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    const bool more = got > limit;
    content.resize(more ? limit : got);
    if (more) {
        if (!whole) {
            content.clear();
            return Failure(SystemErrorText(EFBIG) + " (more than " + std::to_string(limit) +
                           " bytes)");
        }
        *whole = false;
    }
    return FileResult{true, {}};
}

bool FileExists(const std::string &fileName) {
    return files::Examine(fileName).kind == Kind::Regular;
}

std::string ByteToBinary(std::uint8_t value) {
    std::string s(8, '0');
    for (int bit = 7; bit >= 0; --bit)
        if (value & (1u << bit))
            s[static_cast<std::size_t>(7 - bit)] = '1';
    return s;
}

} // namespace kv
