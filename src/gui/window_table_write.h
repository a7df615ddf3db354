// The windows' Write of the correction table (the editor's, the calculation's): one write
// for the main window and the calibration window, recorded in the unit history as
// korvanectl records it.
#pragma once

#include <functional>
#include <string>

#include "app/notice.h"
#include "gui/app_context.h"

// With "Verify Table Writes" off, the plain write with the windows' timing and its "Done" or
// "Error on write!". With it on, korvanectl's checked write: the device's table read,
// checked and kept in a new backup file named by the unit (else the port), the write read
// back ("Done" only then), a block read back wrong written once more, and after a failure
// the question whether to write the old table back (never asked of a device that stopped
// answering). The notices go to show; the records (table-write, table-restore) to
// ctx.record; file names the table file, "" for the editor's table. True when the device
// holds the table as far as was checked. Only the blocks that differ from the device's are
// written. Closing the main window or the calibration window while the write runs stops the
// checked write after the block in flight (the old table is written back) and lets the plain
// one finish; the window closes after the write's messages.
bool WriteTableFromWindows(kv::AppContext &ctx, const std::string &file,
                           const std::function<void(const kv::Notices &)> &show);

// Where a checked write of the windows keeps the device's table: a new file in the backup
// folder, named by the unit when one is named, else by the port of the settings file.
std::string WindowBackupPath(const kv::AppContext &ctx);
