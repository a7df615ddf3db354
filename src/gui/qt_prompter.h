// The prompter that shows Qt dialogs: message boxes, file dialogs, the text-entry dialog.
#pragma once

#include <QString>

#include <string>
#include <vector>

#include "app/prompter.h"

class QtPrompter : public kv::Prompter {
public:
    int Message(const std::string &caption, const std::string &text, kv::MsgIcon icon,
                kv::MsgButtons buttons) override;
    bool RunFileDialog(kv::FileDialog &dlg) override;
    std::optional<std::string> InputQuery(const std::string &caption, const std::string &prompt,
                                          const std::string &initial) override;
    void Beep() override;

    // One entry of a "description|pattern|..." filter, and its Qt form "desc (masks)".
    struct FilterEntry {
        std::string description;
        std::string patterns;
    };
    static std::vector<FilterEntry> ParseFilter(const std::string &filter);
    static QString QtFilterText(const FilterEntry &e);
};
