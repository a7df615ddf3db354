#include "app/file_names.h"

namespace kv {

namespace {

bool Plain(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-';
}

// The plain letters of U+00C0..U+00FF; "_" for the two signs among them.
constexpr const char *kLatin1[64] = {
    "A", "A", "A", "A", "A", "A", "AE", "C", "E", "E", "E", "E", "I", "I", "I",  "I",
    "D", "N", "O", "O", "O", "O", "O",  "_", "O", "U", "U", "U", "U", "Y", "Th", "ss",
    "a", "a", "a", "a", "a", "a", "ae", "c", "e", "e", "e", "e", "i", "i", "i",  "i",
    "d", "n", "o", "o", "o", "o", "o",  "_", "o", "u", "u", "u", "u", "y", "th", "y"};
// The plain letters of U+0100..U+017F (Latin Extended-A).
constexpr std::string_view kLatinA =
    "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIiIiJjKkkLlLlLl"
    "LlLlNnNnNnnNnOoOoOoOoRrRrRrSsSsSsSsTtTtTtUuUuUuUuUuUuWwYyYZzZzZzs";
static_assert(kLatinA.size() == 128);

// The code point of the UTF-8 sequence at text[i] and its length; 0 length when invalid.
char32_t Decode(std::string_view text, std::size_t i, std::size_t &length) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char c = b(0);
    length = c >= 0xF0 && c < 0xF5 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    if (c >= 0xF5 || length == 0 || i + length > text.size()) {
        length = 0;
        return 0;
    }
    char32_t cp = c & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        if ((b(k) & 0xC0) != 0x80) {
            length = 0;
            return 0;
        }
        cp = (cp << 6) | (b(k) & 0x3F);
    }
    return cp;
}

std::string PlainName(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += Plain(c) ? static_cast<char>(c) : '_';
            ++i;
            continue;
        }
        std::size_t length = 0;
        const char32_t cp = Decode(text, i, length);
        if (length == 0) { // not UTF-8: one '_' for the byte
            out += '_';
            ++i;
            continue;
        }
        if (cp >= 0xC0 && cp <= 0xFF)
            out += kLatin1[cp - 0xC0];
        else if (cp >= 0x100 && cp <= 0x17F)
            out += kLatinA[cp - 0x100];
        else
            out += '_';
        i += length;
    }
    return out;
}

} // namespace

std::string FileNamePart(std::string_view text) {
    std::string part = PlainName(text);
    // Each dot of a run of two or more.
    const std::string plain = part;
    for (std::size_t i = 0; i < part.size(); ++i) {
        const bool dotBefore = i > 0 && plain[i - 1] == '.';
        const bool dotAfter = i + 1 < plain.size() && plain[i + 1] == '.';
        if (plain[i] == '.' && (dotBefore || dotAfter))
            part[i] = '_';
    }
    return part;
}

} // namespace kv
