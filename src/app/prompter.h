// The one seam for every modal interaction: message boxes, file dialogs, the text-entry
// dialog and the beep. The program's prompter shows Qt dialogs; tests answer from a script.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/text_files.h"

namespace kv {

enum class MsgIcon { Information, Error, Question };
enum class MsgButtons { Ok, YesNo, YesNoCancel };

inline constexpr int IdOk = 1;
inline constexpr int IdCancel = 2;
inline constexpr int IdYes = 6;
inline constexpr int IdNo = 7;

// One file dialog and what it keeps between uses (file name, folder, filter choice).
struct FileDialog {
    enum class Kind { Open, Save };
    Kind kind = Kind::Open;
    std::string title;
    std::string filter;     // "*.epr|*.epr|*.*|*.*": description|pattern pairs
    std::string defaultExt; // ".epr"
    std::string initialDir;
    std::string fileName; // proposed, and after a confirmed run the chosen full path
    int filterIndex = 1;  // 1-based, as chosen by the user
    bool overwritePrompt = false;
    bool mustExist = false; // the chosen file (open) or its folder (save) must exist
};

class Prompter : public Beeper {
public:
    // Shows a modal, top-most box; returns IdOk, IdYes, IdNo or IdCancel.
    virtual int Message(const std::string &caption, const std::string &text, MsgIcon icon,
                        MsgButtons buttons) = 0;
    // Runs the dialog; true when the user confirmed (dlg.fileName and filterIndex set).
    virtual bool RunFileDialog(FileDialog &dlg) = 0;
    // The text-entry dialog; nullopt on Cancel.
    virtual std::optional<std::string> InputQuery(const std::string &caption,
                                                  const std::string &prompt,
                                                  const std::string &initial) = 0;
};

// The confirmation asked before ReStart and before the calibration grid is cleared.
inline constexpr const char *kAreYouSure = "Are you sure?";

// The question asked before a file of that name is replaced: "Overwrite file <file>?".
std::string OverwriteQuestion(std::string_view file);

// The four message boxes.
int ShowInfo(Prompter &p, std::string_view text);          // "Information", OK -> 1
int ShowError(Prompter &p, std::string_view text);         // "Error", OK -> 1
int AskQuestion(Prompter &p, std::string_view text);       // "Question", Yes/No -> 6/7
int AskQuestionCancel(Prompter &p, std::string_view text); // Yes/No/Cancel -> 6/7/2

// The application title, caption of the general error report.
inline constexpr const char *kAppTitle = "<Korvane>";
// The general error report: error icon, captioned with the application title, with the
// full-stop rule.
void ShowAppError(Prompter &p, std::string_view message);

} // namespace kv
