// The text-file helpers on their Win32 calls, run under Wine (scripts/wine-test, group
// Files): replacing writes, the kinds of target refused, bounded reads, appends with a
// header, racing writers.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "app/text_files.h"

namespace {

class Folder {
public:
    Folder() {
        char base[MAX_PATH];
        ::GetTempPathA(MAX_PATH, base);
        path_ = std::string(base) + "kvfiles" + std::to_string(::GetTickCount64()) + "\\";
        ::CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~Folder() {
        WIN32_FIND_DATAA d;
        const HANDLE h = ::FindFirstFileA((path_ + "*").c_str(), &d);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                const std::string f = path_ + d.cFileName;
                ::SetFileAttributesA(f.c_str(), FILE_ATTRIBUTE_NORMAL);
                if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    ::RemoveDirectoryA(f.c_str());
                else
                    ::DeleteFileA(f.c_str());
            } while (::FindNextFileA(h, &d));
            ::FindClose(h);
        }
        ::RemoveDirectoryA(path_.c_str());
    }
    std::string File(const std::string &name) const { return path_ + name; }
    int Leftovers() const {
        WIN32_FIND_DATAA d;
        int n = 0;
        const HANDLE h = ::FindFirstFileA((path_ + "*.tmp~").c_str(), &d);
        if (h != INVALID_HANDLE_VALUE) {
            do
                ++n;
            while (::FindNextFileA(h, &d));
            ::FindClose(h);
        }
        return n;
    }

private:
    std::string path_;
};

std::string Read(const std::string &file) {
    std::string s;
    if (std::FILE *f = std::fopen(file.c_str(), "rb")) {
        char b[4096];
        std::size_t n;
        while ((n = std::fread(b, 1, sizeof b, f)) > 0)
            s.append(b, n);
        std::fclose(f);
    }
    return s;
}

TEST(Files, WriteReplacesWholeAndRefusesWhatIsNoFile) {
    Folder d;
    const std::string file = d.File("t.epr");
    ASSERT_TRUE(kv::WriteTextFile("first", file).ok);
    ASSERT_TRUE(kv::WriteTextFile("second, longer", file).ok);
    EXPECT_EQ(Read(file), "second, longer");
    ASSERT_TRUE(kv::WriteTextFile("3", file).ok);
    EXPECT_EQ(Read(file), "3");

    ::SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(kv::WriteTextFile("x", file).error, "The file is read-only");
    EXPECT_EQ(Read(file), "3");
    ::SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);

    ::CreateDirectoryA(d.File("dir.epr").c_str(), nullptr);
    const kv::FileResult dir = kv::WriteTextFile("x", d.File("dir.epr"));
    EXPECT_FALSE(dir.ok);
    EXPECT_EQ(dir.error, kv::SystemErrorText(EISDIR));
    EXPECT_FALSE(kv::WriteTextFile("x", d.File("no\\such\\t.epr")).ok);
    EXPECT_EQ(d.Leftovers(), 0);
}

TEST(Files, BoundedReadAndAppendWithHeader) {
    Folder d;
    const std::string big = d.File("big.ini");
    ASSERT_TRUE(kv::WriteTextFile(std::string(5000, ';'), big).ok);
    std::string content;
    bool whole = true;
    EXPECT_TRUE(kv::ReadTextFile(big, 100, content, &whole).ok);
    EXPECT_EQ(content.size(), 100u);
    EXPECT_FALSE(whole);
    EXPECT_FALSE(kv::ReadTextFile(big, 100, content).ok);
    EXPECT_TRUE(kv::ReadTextFile(big, 5000, content).ok);
    EXPECT_EQ(content.size(), 5000u);
    ::CreateDirectoryA(d.File("dir").c_str(), nullptr);
    EXPECT_FALSE(kv::ReadTextFile(d.File("dir"), 100, content).ok);
    EXPECT_FALSE(kv::ReadTextFile(d.File("missing"), 100, content).ok);

    const std::string log = d.File("k.adc");
    EXPECT_TRUE(kv::AppendTextFile("r1\r\n", log, nullptr, "H\r\n").ok);
    EXPECT_TRUE(kv::AppendTextFile("r2\r\n", log, nullptr, "H\r\n").ok);
    EXPECT_EQ(Read(log), "H\r\nr1\r\nr2\r\n");
    EXPECT_FALSE(kv::AppendTextFile("x", d.File("dir"), nullptr).ok);
}

TEST(Files, RacingWritersLeaveOneWholeVersion) {
    Folder d;
    const std::string file = d.File("race.epr");
    const std::string a(3000, 'a');
    const std::string b(2000, 'b');
    ASSERT_TRUE(kv::WriteTextFile(a, file).ok);
    std::atomic<int> failed{0};
    std::string reason;
    auto writer = [&](const std::string &text) {
        for (int i = 0; i < 50; ++i) {
            const kv::FileResult r = kv::WriteTextFile(text, file);
            if (!r.ok && failed++ == 0)
                reason = r.error;
        }
    };
    std::thread w1(writer, a);
    std::thread w2(writer, b);
    w1.join();
    w2.join();
    // Windows refuses a rename over a file another writer is renaming at that moment; the
    // writer tries again, so both succeed and the file holds one whole version.
    EXPECT_EQ(failed, 0) << reason;
    const std::string last = Read(file);
    EXPECT_TRUE(last == a || last == b);
    EXPECT_EQ(d.Leftovers(), 0);
}

} // namespace
