// The settings file's text operations on arbitrary content. Lookup never fails; Update
// changes one line or adds the key (and its section), keeps every other byte of the file
// as it was, and a Lookup afterwards finds the value written.
#include <algorithm>
#include <cstdint>
#include <string>

#include "app/settings_file.h"
#include "fuzz_check.h"

namespace {

// Section and key names and values as the program writes them: plain words and numbers.
std::string Word(std::string_view raw, std::string_view allowed, std::string_view fallback) {
    std::string w;
    for (char c : raw)
        if (allowed.find(c) != std::string_view::npos)
            w += c;
    return w.empty() ? std::string(fallback) : w;
}

constexpr std::string_view kName =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_";
constexpr std::string_view kValue =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_.-/\\:";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const auto p = fuzz::Split<4>(std::string_view(reinterpret_cast<const char *>(data), size));
    const std::string_view content = p.part[3];
    const std::string section = Word(p.part[0], kName, "init");
    const std::string key = Word(p.part[1], kName, "port");
    const std::string value = Word(p.part[2], kValue, "1");

    // Arbitrary names too: only no crash.
    bool found = false;
    (void)kv::IniFile::Lookup(content, p.part[0], p.part[1], &found);
    (void)kv::IniFile::Update(content, p.part[0], p.part[1], p.part[2]);

    const std::string before = kv::IniFile::Lookup(content, section, key, &found);
    const std::string updated = kv::IniFile::Update(content, section, key, value);

    bool foundAfter = false;
    FUZZ_CHECK(kv::IniFile::Lookup(updated, section, key, &foundAfter) == value);
    FUZZ_CHECK(foundAfter);

    // Everything outside one changed stretch is kept byte for byte, and the stretch of the
    // old content that was replaced lies within one line.
    std::size_t pre = 0;
    const std::size_t shorter = std::min(content.size(), updated.size());
    while (pre < shorter && content[pre] == updated[pre])
        ++pre;
    std::size_t suf = 0;
    while (suf < shorter - pre &&
           content[content.size() - 1 - suf] == updated[updated.size() - 1 - suf])
        ++suf;
    const std::string_view removed = content.substr(pre, content.size() - pre - suf);
    const std::string_view added =
        std::string_view(updated).substr(pre, updated.size() - pre - suf);
    FUZZ_CHECK(removed.find('\n') == std::string_view::npos);
    // A replaced value adds no line; a new key replaces nothing.
    FUZZ_CHECK(removed.empty() || added.find('\n') == std::string_view::npos);
    if (!found)
        FUZZ_CHECK(removed.empty() && updated.size() > content.size());

    // Writing the same value again changes nothing.
    FUZZ_CHECK(kv::IniFile::Update(updated, section, key, value) == updated);
    return 0;
}
