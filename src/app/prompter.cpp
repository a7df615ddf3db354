#include "app/prompter.h"

#include <string>

#include "app/errors.h"

namespace kv {

std::string OverwriteQuestion(std::string_view file) {
    return "Overwrite file " + std::string(file) + "?";
}

int ShowInfo(Prompter &p, std::string_view text) {
    return p.Message("Information", std::string(text), MsgIcon::Information, MsgButtons::Ok);
}

int ShowError(Prompter &p, std::string_view text) {
    return p.Message("Error", std::string(text), MsgIcon::Error, MsgButtons::Ok);
}

int AskQuestion(Prompter &p, std::string_view text) {
    return p.Message("Question", std::string(text), MsgIcon::Question, MsgButtons::YesNo);
}

int AskQuestionCancel(Prompter &p, std::string_view text) {
    return p.Message("Question", std::string(text), MsgIcon::Question, MsgButtons::YesNoCancel);
}

void ShowAppError(Prompter &p, std::string_view message) {
    p.Message(kAppTitle, AppErrorText(std::string(message)), MsgIcon::Error, MsgButtons::Ok);
}

} // namespace kv
