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

struct FileResult {
    bool ok = false;
    std::string error; // the system's reason when !ok
    explicit operator bool() const { return ok; }
};

// Appends text unchanged (no line end added), creating the file when it is missing.
// A file that cannot be opened (missing folder, access denied) is skipped without a beep;
// a failed write or close beeps.
FileResult AppendTextFile(std::string_view text, const std::string &fileName,
                          Beeper *beeper = nullptr);

// Replaces the file's whole content with text. Written to a temporary file beside it and
// renamed over it, so a failure leaves the old file whole. A read-only file is not
// replaced. A failed write beeps.
FileResult WriteTextFile(std::string_view text, const std::string &fileName,
                         Beeper *beeper = nullptr);

// Reads a whole file; ok false with the system's reason when it cannot be read.
FileResult ReadWholeFile(const std::string &fileName, std::string &content);

bool FileExists(const std::string &fileName);

// Eight "0"/"1" characters, most significant bit first.
std::string ByteToBinary(std::uint8_t value);

// The system's message text for an errno value.
std::string SystemErrorText(int err);

} // namespace kv
