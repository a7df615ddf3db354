// Failures that end an action and reach the user as a message box.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace kv {

// A failure with a message meant for the user, such as a conversion failure
// ("'abc' is not a valid integer value") or a file that could not be written.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What a check or a load found wrong: nothing, or the message that says what. Returned where
// an optional would otherwise carry the error (an optional holds a value, never an error):
// `if (const Problem p = Check()) Show(*p);`.
class Problem {
public:
    Problem() = default; // nothing wrong
    Problem(std::string message) : message_(std::move(message)), found_(true) {}
    Problem(const char *message) : Problem(std::string(message)) {}
    explicit operator bool() const { return found_; }
    const std::string &operator*() const { return message_; }
    const std::string *operator->() const { return &message_; }

private:
    std::string message_;
    bool found_ = false;
};

// The text of the application's general error report: the message, with a full stop
// added when its last character sorts after ".".
std::string AppErrorText(std::string message);

} // namespace kv
