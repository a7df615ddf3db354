// A piece of outside text (a unit's serial number, a port's name) made fit to stand in a
// file name on every system the program runs on.
#pragma once

#include <string>
#include <string_view>

namespace kv {

// Letters with accents (Latin-1 and Latin Extended-A, in UTF-8) become their plain letters
// ("ü" -> "u", "ß" -> "ss"), which every file system takes; every other byte other than a
// letter, a digit, '.', '_' and '-' becomes '_': path separators, control characters, the
// characters Windows refuses in a name (<>:"/\|?*), each other character beyond ASCII
// and each byte that is not UTF-8. Dots in a row ("..") become '_' too, so that the piece never
// names a parent folder. "SN-1234" stays as it is; "rack/1" and "rack_1" both give
// "rack_1", which is why a caller that names several files this way compares the results.
std::string FileNamePart(std::string_view text);

} // namespace kv
