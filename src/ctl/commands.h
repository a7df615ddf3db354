// The commands of korvanectl. Each returns the exit status; each calls the same library
// functions as the window that offers the operation. The table of commands with their
// options is in commands.cpp.
#pragma once

#include <chrono>

#include "ctl/args.h"

namespace kv::ctl {

// The device commands' rows, in the order the help lists them, each with its handler beside
// it (cmd_device.cpp): adding a device command touches that file alone here.
std::vector<CommandDef> DeviceCommands();

// Options that rows of several files share (commands.cpp): the seven fuse parameters, each
// standing for the text typed into its field of the main window, one of them by name, and the
// backup's.
std::vector<OptionDef> ParameterOptions();
const OptionDef &ParameterOption(std::string_view name);
inline constexpr OptionDef kNoBackup{.name = "--no-backup",
                                     .help = "keep no backup file of what the device holds"};
inline constexpr OptionDef kBackupDir{
    .name = "--backup-dir",
    .valueName = "DIR",
    .help = "folder of the backup files (default: \"backups\" in the folder --help names)"};

int CmdPorts(Session &s);

// The slot of a timed series after the one at last: the next on the grid of period that is
// not yet past at now.
std::chrono::steady_clock::time_point NextSlot(std::chrono::steady_clock::time_point last,
                                               std::chrono::steady_clock::duration period,
                                               std::chrono::steady_clock::time_point now);
int CmdTableRead(Session &s);
int CmdTableWrite(Session &s);
int CmdTableCrc(Session &s);
int CmdTableVerify(Session &s);
int CmdTableDiff(Session &s);
int CmdInc(Session &s);
int CmdCalc(Session &s);
int CmdHistory(Session &s);
int CmdRecord(Session &s);
int CmdHistorySync(Session &s);

} // namespace kv::ctl
