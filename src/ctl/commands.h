// The commands of korvanectl. Each returns the exit status; each calls the same library
// functions as the window that offers the operation. The table of commands with their
// options is in commands.cpp.
#pragma once

#include "ctl/args.h"

namespace kv::ctl {

int CmdStatus(Session &s);
int CmdGetData(Session &s);
int CmdSendData(Session &s);
int CmdRelay(Session &s);
int CmdCurrent(Session &s);
int CmdCrcCheck(Session &s);
int CmdTableRead(Session &s);
int CmdTableWrite(Session &s);
int CmdTableCrc(Session &s);
int CmdTableVerify(Session &s);
int CmdTableDiff(Session &s);
int CmdParamsRestore(Session &s);
int CmdInc(Session &s);
int CmdCalc(Session &s);

} // namespace kv::ctl
