// The commands of korvanectl. Each returns the exit status; each calls the same library
// functions as the window that offers the operation. The table of commands with their
// options is in commands.cpp.
#pragma once

#include <chrono>

#include "ctl/args.h"

namespace kv::ctl {

int CmdStatus(Session &s);
int CmdGetData(Session &s);
int CmdSendData(Session &s);
int CmdRelay(Session &s);
int CmdCurrent(Session &s);
int CmdCrcCheck(Session &s);
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
int CmdParamsRestore(Session &s);
int CmdInc(Session &s);
int CmdCalc(Session &s);
int CmdHistory(Session &s);
int CmdRecord(Session &s);
int CmdHistorySync(Session &s);

} // namespace kv::ctl
