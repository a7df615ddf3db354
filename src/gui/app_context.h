// What the windows share: the prompter, the program's paths, the settings variables,
// the correction table and the link. Made by start-up and passed to every window.
#pragma once

#include <functional>
#include <string>

#include "app/program_path.h"
#include "app/prompter.h"
#include "corrtable/table.h"

namespace kv::link {
class Link;
}
namespace kv::history {
struct Entry;
}

class QWidget;

namespace kv {

struct AppContext {
    AppContext(Prompter &p, ProgramPaths pp) : prompter(p), paths(std::move(pp)) {}

    Prompter &prompter;
    ProgramPaths paths;

    // Settings variables, read by the main window's creation.
    double RefVoltage = 1.8;
    double Voltage = 5.0;
    int GridLines = 15;
    // "Verify Table Writes" (menu Service, settings key "VerifyWrites").
    bool VerifyWrites = false;

    // The global correction table, shared by the editor, the transfer and the calculation.
    corrtable::CorrTableData CorrTable{};

    // Owned by the main window; set when it is created.
    link::Link *link = nullptr;
    // Records an operation in the unit history, reporting a failure in the main window's
    // log; set by the main window.
    std::function<void(const history::Entry &)> record;
    // The unit named for the history ("" for none); set by the main window. Names the
    // backups of "Verify Table Writes".
    std::function<std::string()> unit;

    // The main window, owner of the dialogs made without a parent; set by it.
    QWidget *mainWindow = nullptr;
};

} // namespace kv
