#include "scripted_prompter.h"

namespace kvtest {

void ScriptedPrompter::AnswerMessage(int id) {
    std::lock_guard lock(mu_);
    messageAnswers_.push_back(id);
}

void ScriptedPrompter::AnswerFile(std::optional<std::string> path, int filterIndex) {
    std::lock_guard lock(mu_);
    fileAnswers_.emplace_back(std::move(path), filterIndex);
}

void ScriptedPrompter::AnswerInput(std::optional<std::string> text) {
    std::lock_guard lock(mu_);
    inputAnswers_.push_back(std::move(text));
}

int ScriptedPrompter::Message(const std::string &caption, const std::string &text, kv::MsgIcon icon,
                              kv::MsgButtons buttons) {
    std::lock_guard lock(mu_);
    Prompt p;
    p.kind = Prompt::Kind::Message;
    p.caption = caption;
    p.text = text;
    p.icon = icon;
    p.buttons = buttons;
    int answer;
    if (!messageAnswers_.empty()) {
        answer = messageAnswers_.front();
        messageAnswers_.pop_front();
    } else {
        p.scripted = buttons == kv::MsgButtons::Ok; // an OK box needs no script
        answer = buttons == kv::MsgButtons::Ok      ? kv::IdOk
                 : buttons == kv::MsgButtons::YesNo ? kv::IdNo
                                                    : kv::IdCancel;
    }
    prompts_.push_back(std::move(p));
    return answer;
}

bool ScriptedPrompter::RunFileDialog(kv::FileDialog &dlg) {
    std::lock_guard lock(mu_);
    Prompt p;
    p.kind = Prompt::Kind::File;
    p.caption = dlg.title;
    p.text = dlg.title;
    p.dialog = dlg;
    std::optional<std::string> answer;
    int filter = 0;
    if (!fileAnswers_.empty()) {
        answer = fileAnswers_.front().first;
        filter = fileAnswers_.front().second;
        fileAnswers_.pop_front();
    } else {
        p.scripted = false;
    }
    prompts_.push_back(std::move(p));
    if (!answer)
        return false;
    dlg.fileName = *answer;
    if (filter > 0)
        dlg.filterIndex = filter;
    return true;
}

std::optional<std::string> ScriptedPrompter::InputQuery(const std::string &caption,
                                                        const std::string &prompt,
                                                        const std::string &initial) {
    std::lock_guard lock(mu_);
    Prompt p;
    p.kind = Prompt::Kind::Input;
    p.caption = caption;
    p.text = prompt;
    p.initial = initial;
    std::optional<std::string> answer;
    if (!inputAnswers_.empty()) {
        answer = inputAnswers_.front();
        inputAnswers_.pop_front();
    } else {
        p.scripted = false;
    }
    prompts_.push_back(std::move(p));
    return answer;
}

void ScriptedPrompter::Beep() {
    std::lock_guard lock(mu_);
    ++beeps_;
}

std::vector<Prompt> ScriptedPrompter::prompts() const {
    std::lock_guard lock(mu_);
    return prompts_;
}

std::vector<std::string> ScriptedPrompter::messageTexts() const {
    std::lock_guard lock(mu_);
    std::vector<std::string> r;
    for (const auto &p : prompts_)
        if (p.kind == Prompt::Kind::Message)
            r.push_back(p.text);
    return r;
}

int ScriptedPrompter::beeps() const {
    std::lock_guard lock(mu_);
    return beeps_;
}

int ScriptedPrompter::unscripted() const {
    std::lock_guard lock(mu_);
    int n = 0;
    for (const auto &p : prompts_)
        n += p.scripted ? 0 : 1;
    return n;
}

void ScriptedPrompter::clear() {
    std::lock_guard lock(mu_);
    prompts_.clear();
    messageAnswers_.clear();
    fileAnswers_.clear();
    inputAnswers_.clear();
    beeps_ = 0;
}

} // namespace kvtest
