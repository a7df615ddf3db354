// Small text-file helpers that never raise an error: they report the outcome in their
// result, and a write or close failure sounds the beep.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kv {

class Beeper {
public:
    virtual ~Beeper() = default;
    virtual void Beep() = 0;
};

struct [[nodiscard]] FileResult {
    bool ok = false;
    std::string error; // the system's reason when !ok
    explicit operator bool() const { return ok; }
};

// The reason given for a device, FIFO or socket where a text file was expected.
inline constexpr const char *kNotARegularFile = "not a regular file";

// Appends text unchanged (no line end added), creating the file when it is missing. When
// header is given, it goes first into a file that is empty or was just created. Never waits:
// a FIFO or socket is refused ("not a regular file"), as is a directory; a device such as
// /dev/null takes the text. A file that cannot be opened (missing folder, access denied) is
// skipped without a beep; a failed write beeps and is cut back off the file, so that no
// half record stays behind.
FileResult AppendTextFile(std::string_view text, const std::string &fileName,
                          Beeper *beeper = nullptr, std::string_view header = {});

// Replaces the file's whole content with text. The text goes to a new file of a unique name
// in the target's folder (created exclusively, never through a planted link), flushed to
// the disk, which is then renamed over the target: the target always holds one whole
// version, and of racing writers each reports what happened to its own. Through a symbolic
// link the link's final target is replaced and the link stays; the replaced file keeps its
// permission bits (and its owner where the process may set it). A read-only file, a
// directory, a device or FIFO is not replaced. A failed write beeps.
FileResult WriteTextFile(std::string_view text, const std::string &fileName,
                         Beeper *beeper = nullptr);

// Writes text to a new file under a name that nothing holds yet: fileName, else the same name
// with "-2", "-3", ... before its extension. The name is taken by the exclusive creation
// itself (O_CREAT | O_EXCL, CREATE_NEW), so that two writers at the same moment never share
// a file, and a symbolic link under the name is never followed (it holds the name, the next
// one is taken). The file is flushed to the disk; created gets the path written. A folder
// missing on the way is made. A failed write removes its own new file.
FileResult CreateNewTextFile(std::string_view text, const std::string &fileName,
                             std::string &created, Beeper *beeper = nullptr);

// Reads an outside file people may edit or replace by anything: only a regular file is
// read (never waits on a FIFO, never reads a device), and never more than limit bytes. When
// the file holds more, the read fails ("File too large") unless `whole` is given: it is then
// set to false and content holds the first limit bytes.
FileResult ReadTextFile(const std::string &fileName, std::size_t limit, std::string &content,
                        bool *whole = nullptr);

// Why a path cannot be read or replaced as a text file ("Is a directory", "not a regular
// file"); empty for a regular file and for a missing one.
std::string NotATextFile(const std::string &fileName);

// True for an existing regular file.
bool FileExists(const std::string &fileName);

// Eight "0"/"1" characters, most significant bit first.
std::string ByteToBinary(std::uint8_t value);

// The system's message text for an errno value.
std::string SystemErrorText(int err);

} // namespace kv
