#include "app/errors.h"

namespace kv {

std::string AppErrorText(std::string message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
        message += '.';
    return message;
}

} // namespace kv
