// The prompter that shows Qt dialogs.
#pragma once

#include "app/prompter.h"

class QtPrompter : public kv::Prompter {
public:
    int Message(const std::string& caption, const std::string& text, kv::MsgIcon icon,
                kv::MsgButtons buttons) override;
    bool RunFileDialog(kv::FileDialog& dlg) override;
    std::optional<std::string> InputQuery(const std::string& caption, const std::string& prompt,
                                          const std::string& initial) override;
    void Beep() override;
};
