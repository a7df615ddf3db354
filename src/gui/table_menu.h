// The main window's correction table commands: the Data menu's transfer and include file,
// and the Service menu's table safety items (compare the device's table with the editor's,
// save the device's table to a file, and the switch that makes every table write of the
// windows keep a backup and read the table back).
#pragma once

#include <QObject>

#include "app/settings_file.h"
#include "gui/app_context.h"
#include "gui/window_output.h"

class QAction;
class TForm4;

namespace kv::history {
class Recorder;
}

namespace kv {

struct TableWidgets {
    QAction *write, *read, *includeFile;               // Data menu
    QAction *verifyTable, *backUpTable, *verifyWrites; // Service menu
};

class TableMenu : public QObject {
public:
    // "Verify Table Writes" starts checked as the settings file says.
    TableMenu(const TableWidgets &w, link::Link &link, Prompter &prompter, AppContext &ctx,
              const IniFile &ini, WindowOutput &out, const history::Recorder &history);

    // The correction table editor the transfer shows its table in; none until it is made.
    void UseEditor(TForm4 *editor) { editor_ = editor; }

private:
    void WriteTable(); // the editor, then its table written
    void ReadTable();  // the device's table read into the editor, then WriteTable
    void GenerateIncludeFile();
    void VerifyTable();
    void BackUpTable();
    void VerifyWrites(); // the item has toggled its own check mark when this runs

    TableWidgets w_;
    link::Link &link_;
    Prompter &prompter_;
    AppContext &ctx_;
    const IniFile &ini_;
    WindowOutput &out_;
    const history::Recorder &history_;
    TForm4 *editor_ = nullptr;
};

} // namespace kv
