#include "app/file_names.h"

namespace kv {

std::string FileNamePart(std::string_view text) {
    std::string part(text);
    for (char &c : part) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
        if (!plain)
            c = '_';
    }
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
