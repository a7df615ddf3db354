#include "app/text_files.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace kv {

namespace fs = std::filesystem;

std::string SystemErrorText(int err) {
    return std::generic_category().message(err);
}

namespace {

void BeepIf(Beeper *b) {
    if (b)
        b->Beep();
}

FileResult Failure(int err) {
    return FileResult{false, SystemErrorText(err)};
}

// Writes all of text to an open stream and closes it; beeps on a write or close failure.
FileResult WriteAndClose(std::FILE *f, std::string_view text, Beeper *beeper, bool sync) {
    FileResult r{true, {}};
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), f) != text.size()) {
        r = Failure(errno ? errno : EIO);
    }
    if (std::fflush(f) != 0 && r.ok)
        r = Failure(errno ? errno : EIO);
#ifndef _WIN32
    if (sync && r.ok && ::fsync(fileno(f)) != 0 && errno != EINVAL && errno != EROFS)
        r = Failure(errno);
#else
    (void)sync;
#endif
    if (!r.ok)
        BeepIf(beeper);
    if (std::fclose(f) != 0 && r.ok) {
        r = Failure(errno ? errno : EIO);
        BeepIf(beeper);
    }
    return r;
}

} // namespace

FileResult AppendTextFile(std::string_view text, const std::string &fileName, Beeper *beeper) {
    errno = 0;
    std::FILE *f = std::fopen(fileName.c_str(), "ab");
    if (!f)
        return Failure(errno ? errno : ENOENT); // missing folder, denied: skipped silently
    return WriteAndClose(f, text, beeper, false);
}

FileResult WriteTextFile(std::string_view text, const std::string &fileName, Beeper *beeper) {
    std::error_code ec;
    const fs::path target(fileName);
    const auto st = fs::status(target, ec);
    const bool exists = !ec && fs::exists(st);
    if (exists) {
        if (!fs::is_regular_file(st))
            return FileResult{false, SystemErrorText(EISDIR)};
        if ((st.permissions() & fs::perms::owner_write) == fs::perms::none)
            return FileResult{false, "The file is read-only"};
    }

    // Written beside the target and renamed over it: the old file stays whole until the
    // new content is complete.
    fs::path tmp = target;
    tmp += ".tmp~";
    errno = 0;
    std::FILE *f = std::fopen(tmp.string().c_str(), "wb");
    if (!f)
        return Failure(errno ? errno : EACCES);
    FileResult r = WriteAndClose(f, text, beeper, true);
    if (!r.ok) {
        fs::remove(tmp, ec);
        return r;
    }
    if (exists)
        fs::permissions(tmp, st.permissions(), ec);
    fs::rename(tmp, target, ec);
    if (ec) {
        fs::remove(tmp, ec);
        BeepIf(beeper);
        return FileResult{false, ec.message()};
    }
    return FileResult{true, {}};
}

FileResult ReadWholeFile(const std::string &fileName, std::string &content) {
    content.clear();
    errno = 0;
    std::FILE *f = std::fopen(fileName.c_str(), "rb");
    if (!f)
        return Failure(errno ? errno : ENOENT);
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        content.append(buf, n);
    const bool bad = std::ferror(f) != 0;
    const int err = errno;
    std::fclose(f);
    if (bad)
        return Failure(err ? err : EIO);
    return FileResult{true, {}};
}

bool FileExists(const std::string &fileName) {
    std::error_code ec;
    return fs::is_regular_file(fs::path(fileName), ec);
}

std::string ByteToBinary(std::uint8_t value) {
    std::string s(8, '0');
    for (int bit = 7; bit >= 0; --bit)
        if (value & (1u << bit))
            s[static_cast<std::size_t>(7 - bit)] = '1';
    return s;
}

} // namespace kv
