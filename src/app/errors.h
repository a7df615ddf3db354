// Failures that end an action and reach the user as a message box.
#pragma once

#include <stdexcept>
#include <string>

namespace kv {

// A failure with a message meant for the user, such as a conversion failure
// ("'abc' is not a valid integer value") or a file that could not be written.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The text of the application's general error report: the message, with a full stop
// added when its last character sorts after ".".
std::string AppErrorText(std::string message);

} // namespace kv
