#include "app/version.h"

#include "korvane_version_text.h" // generated at build time (cmake/KorvaneVersion.cmake)

namespace kv {

std::string_view ProgramVersion() {
    return KORVANE_VERSION_TEXT;
}

} // namespace kv
