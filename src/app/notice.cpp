#include "app/notice.h"

namespace kv {

void ShowNotices(const Notices &notices, Prompter &prompter,
                 const std::function<void(const Notice &)> &logLine) {
    for (const Notice &n : notices) {
        switch (n.kind) {
        case Notice::Kind::ErrorBox:
            ShowError(prompter, n.text);
            break;
        case Notice::Kind::InfoBox:
            ShowInfo(prompter, n.text);
            break;
        case Notice::Kind::AppError:
            ShowAppError(prompter, n.text);
            break;
        case Notice::Kind::Report:
        case Notice::Kind::Problem:
            if (logLine)
                logLine(n);
            break;
        }
    }
}

} // namespace kv
