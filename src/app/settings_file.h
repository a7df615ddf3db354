// The settings file: a profile-format file ("[init]", "key=value") read and updated in
// place. Sections and keys are matched without regard to case; every other line of the
// file is kept as it was.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/text_files.h"

namespace kv {

// A settings file is a few hundred bytes; anything beyond this is no settings file, and
// is neither read nor rewritten.
inline constexpr std::size_t kSettingsFileLimit = 1024 * 1024;

class IniFile {
public:
    explicit IniFile(std::string fileName) : fileName_(std::move(fileName)) {}

    const std::string &FileName() const { return fileName_; }

    // Each read opens and reads the file; a missing file or key gives the default, and so
    // does a file that cannot be read (a directory, a device, one beyond the size limit).
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view def) const;
    // Integer syntax of the program ("0x" hex too); an unreadable value gives def.
    int ReadInteger(std::string_view section, std::string_view key, int def) const;
    // An integer, 0 false, anything else true.
    bool ReadBool(std::string_view section, std::string_view key, bool def) const;
    // "." as decimal separator; an unreadable value gives def.
    double ReadFloat(std::string_view section, std::string_view key, double def) const;

    // Updates the key in place (a new key is added at the end of its section, a new section
    // at the end of the file). The file is replaced whole or not at all; one that cannot be
    // read whole is not replaced.
    FileResult WriteString(std::string_view section, std::string_view key,
                           std::string_view value) const;
    FileResult WriteInteger(std::string_view section, std::string_view key, int value) const;
    FileResult WriteBool(std::string_view section, std::string_view key, bool value) const;

    // The text-level operations, for tests and for one read of many keys.
    static std::string Lookup(std::string_view content, std::string_view section,
                              std::string_view key, bool *found);
    // A key's value in already-read content, converted; nullopt when missing or unreadable.
    static std::optional<int> LookupInteger(std::string_view content, std::string_view section,
                                            std::string_view key);
    static std::optional<double> LookupFloat(std::string_view content, std::string_view section,
                                             std::string_view key);
    static std::string Update(std::string_view content, std::string_view section,
                              std::string_view key, std::string_view value);

    // The whole file (bounded); ok with no content for a missing file.
    FileResult ReadContent(std::string &content) const;

private:
    std::string fileName_;
};

} // namespace kv
