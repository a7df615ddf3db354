// A fresh folder for one test, removed with everything in it afterwards.
#pragma once

#include <string>

namespace kvtest {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    // The folder with a trailing separator.
    const std::string &path() const { return path_; }
    std::string File(const std::string &name) const { return path_ + name; }

    // Whole-file helpers for tests.
    static std::string Read(const std::string &file);
    static void Write(const std::string &file, const std::string &content);

private:
    std::string path_;
};

} // namespace kvtest
