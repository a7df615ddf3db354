// What an operation has to tell the user once it is done, as the windows tell it: message
// boxes and log lines, in order. Operations return typed outcomes; each layer says in one
// place which notices an outcome gives (its NoticesOf), and each front end shows them in one
// place: the windows as boxes and log-pane lines, korvanectl on its error stream.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/prompter.h"

namespace kv {

struct Notice {
    enum class Kind {
        ErrorBox, // an error box: "GetStatus error!"
        InfoBox,  // an information box: "Done"
        AppError, // the application's general error report: a conversion failure
        Report,   // a log line that is the operation's result: a report line, "CRC OK [0x9D]"
        Problem,  // a log line that tells of a failure: "GetCurrent error!"
    };
    Kind kind;
    std::string text;

    bool operator==(const Notice &) const = default;
};
using Notices = std::vector<Notice>;

// Shows the notices in order: the boxes through the prompter, the log lines (Report and
// Problem) through logLine.
void ShowNotices(const Notices &notices, Prompter &prompter,
                 const std::function<void(const Notice &)> &logLine);

} // namespace kv
