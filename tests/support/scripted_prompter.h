// A prompter for tests: answers from a script and records what was asked.
#pragma once

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/prompter.h"

namespace kvtest {

struct Prompt {
    enum class Kind { Message, File, Input };
    Kind kind = Kind::Message;
    std::string caption;
    std::string text; // message text, dialog title, or input prompt
    kv::MsgIcon icon = kv::MsgIcon::Information;
    kv::MsgButtons buttons = kv::MsgButtons::Ok;
    kv::FileDialog dialog; // the file dialog as it was shown
    std::string initial;   // the input dialog's start text
    bool scripted = true;  // false when no answer was queued for it
};

class ScriptedPrompter : public kv::Prompter {
public:
    // Queued answers, used in order by the next prompt of their kind.
    void AnswerMessage(int id);
    void AnswerFile(std::optional<std::string> path, int filterIndex = 0); // nullopt: Cancel
    void AnswerInput(std::optional<std::string> text);                     // nullopt: Cancel

    int Message(const std::string &caption, const std::string &text, kv::MsgIcon icon,
                kv::MsgButtons buttons) override;
    bool RunFileDialog(kv::FileDialog &dlg) override;
    std::optional<std::string> InputQuery(const std::string &caption, const std::string &prompt,
                                          const std::string &initial) override;
    void Beep() override;

    // What was asked, in order.
    std::vector<Prompt> prompts() const;
    // The texts of the message boxes, in order.
    std::vector<std::string> messageTexts() const;
    int beeps() const;
    // Prompts that found no queued answer (answered with No / Cancel / OK).
    int unscripted() const;
    void clear();

private:
    mutable std::mutex mu_;
    std::deque<int> messageAnswers_;
    std::deque<std::pair<std::optional<std::string>, int>> fileAnswers_;
    std::deque<std::optional<std::string>> inputAnswers_;
    std::vector<Prompt> prompts_;
    int beeps_ = 0;
};

} // namespace kvtest
