// The commands of korvanectl and their options: one row a command. Its parser, usage lines,
// help and dispatch are made from this table (ctl/args.cpp, ctl/session.cpp).
#include "ctl/commands.h"

#include <iterator>
#include <stdexcept>
#include <type_traits>

#include "device/parameters.h"

namespace kv::ctl {

namespace {

std::vector<CommandDef> Joined(std::vector<CommandDef> first, std::vector<CommandDef> rest) {
    first.insert(first.end(), std::make_move_iterator(rest.begin()),
                 std::make_move_iterator(rest.end()));
    return first;
}

} // namespace

std::vector<OptionDef> ParameterOptions() {
    std::vector<OptionDef> out;
    device::ParameterEntries names;
    device::ForEachParameter(names, [&](const device::ParameterName &p, const auto &field) {
        const bool flag = std::is_same_v<std::decay_t<decltype(field)>, bool>;
        out.push_back({.name = p.option, .valueName = flag ? "0|1" : "N", .help = p.help});
    });
    return out;
}

const OptionDef &ParameterOption(std::string_view name) {
    static const std::vector<OptionDef> parameters = ParameterOptions();
    for (const auto &o : parameters)
        if (o.name == name)
            return o;
    throw std::logic_error("no parameter option " + std::string(name));
}

namespace {

const OptionDef kForce{.name = "--force",
                       .help = "go on with a damaged table (check byte, count of values)"};

const OptionDef kOutput{.name = "--output",
                        .shortName = "-o",
                        .valueName = "FILE",
                        .help = "output file (- for standard output)"};

} // namespace

const std::vector<OptionDef> &CommonOptions() {
    static const std::vector<OptionDef> options = {
        {.name = "--port",
         .valueName = "NAME",
         .help = "serial device of the fuse (default: \"port\" in the settings file)",
         .repeatable = true},
        {.name = "--ports",
         .valueName = "FILE",
         .help = "run on the ports FILE lists, all at once (a line: PORT [UNIT])"},
        {.name = "--baud",
         .valueName = "N",
         .help = "line speed (default: \"baud\" in the settings file, else 19200)"},
        {.name = "--ini",
         .valueName = "FILE",
         .help = "settings file (default: the program's .ini, in the folder --help names)"},
        {.name = "--verbose",
         .shortName = "-v",
         .help = "show the serial traffic and status lines on standard error (-vv: with "
                 "timestamps)",
         .repeatable = true},
        {.name = "--quiet", .shortName = "-q", .help = "show only errors on standard error"},
        {.name = "--timeout",
         .valueName = "MS",
         .help = "reply time-out in milliseconds (100..60000, default 2000)"},
        {.name = "--timestamps",
         .help = "start each line on standard error with the time of day to the millisecond "
                 "(as -vv does)"},
        {.name = "--yes", .shortName = "-y", .help = "answer Yes to the confirmation questions"},
        {.name = "--json", .help = "one JSON object per result on standard output"},
        {.name = "--window-timing",
         .help = "wait for replies as the windows do (100 ms polling), for comparison"},
        {.name = "--unit",
         .valueName = "SERIAL",
         .help = "the unit's serial number for the history; a record lost fails the run"},
        {.name = "--db",
         .valueName = "FILE",
         .help = "history file (default: \"HistoryDb\", else korvane.db in the folder --help "
                 "names)"},
        {.name = "--operator",
         .valueName = "NAME",
         .help = "operator named in the history (default: the login name)"},
        {.name = "--version", .shortName = "-V", .help = "print the program's version and exit"},
        {.name = "--reference",
         .valueName = "TEXT",
         .help = "reference instrument for a calibration record (default: "
                 "\"ReferenceInstrument\")"},
        {.name = "--shared",
         .valueName = "[URI]",
         .help = "shared history, a PostgreSQL connection string (default: "
                 "\"SharedHistory\"); history and record read it",
         .optionalValue = true},
    };
    return options;
}

namespace {

// The other commands' rows, in the order the help lists them after the device commands.
std::vector<CommandDef> OtherCommands() {
    return {
        {.name = "ports",
         .options = {{.name = "--root",
                      .valueName = "DIR",
                      .help = "read the system tree under DIR (DIR/sys, DIR/dev) instead of /"}},
         .json = true,
         .summary = "list the serial ports and the adapters behind them",
         .details = "Prints every serial port with its driver and, for a USB adapter, its "
                    "vendor and product\nid, manufacturer, product, serial number and the "
                    "stable names under /dev/serial.\nWith --json, one object per port.",
         .run = CmdPorts},
        {.name = "table read",
         .args = "FILE.epr",
         .minArgs = 1,
         .maxArgs = 1,
         .options = {kForce},
         .device = true,
         .summary = "read the correction table into a file",
         .details = "Reads the 28 table blocks from the device and saves the table as a table "
                    "file. A read\nthat stops early is reported and nothing is saved. A table "
                    "whose check byte does not\nmatch ends with exit status 1 and replaces an "
                    "existing file only with --force.",
         .run = CmdTableRead},
        {.name = "table write",
         .args = "FILE.epr",
         .minArgs = 1,
         .maxArgs = 1,
         .options = {kForce,
                     {.name = "--no-verify",
                      .help = "the plain write, as the windows do: no backup, no read-back"},
                     kNoBackup,
                     kBackupDir,
                     {.name = "--dry-run",
                      .help = "read the device and show the differences; write nothing"}},
         .device = true,
         .summary = "write a table file to the device, checked and undone on failure",
         .details =
             "Loads the table file; a file that does not hold exactly 224 values, or whose "
             "check\nbyte does not match, is refused unless --force. Reads the device's table "
             "and saves it\nas a backup file, writes nothing when the device holds the table "
             "already, writes the 28\nblocks (\"Done\" or \"Error on write!\"), reads "
             "all of them back and writes blocks that\ndiffer once more. When a block stays "
             "wrong or a write fails, the old table is written\nback and checked, and the "
             "message names the entry, the device's state and the backup\n(exit status 1). "
             "--no-verify gives the plain write.",
         .run = CmdTableWrite},
        {.name = "table crc",
         .args = "FILE.epr",
         .minArgs = 1,
         .maxArgs = 1,
         .summary = "the check byte of a table file",
         .details = "Prints the check byte computed over entries 0..222 of the table file, and "
                    "the check\nbyte the file holds in entry 223; exit status 1 when they differ.",
         .run = CmdTableCrc},
        {.name = "table verify",
         .args = "FILE.epr",
         .minArgs = 1,
         .maxArgs = 1,
         .device = true,
         .summary = "compare the device's table with a table file",
         .details = "Reads the device's table; exit status 0 when it equals the file's, else 1 "
                    "with the\ndiffering entries (\"index: device -> file\", at most 20) "
                    "and their count.",
         .run = CmdTableVerify},
        {.name = "table diff",
         .args = "FILE.epr",
         .minArgs = 1,
         .maxArgs = 1,
         .device = true,
         .summary = "every entry where the device's table and a table file differ",
         .details = "Reads the device's table and prints each differing entry as \"index: "
                    "device -> file\"\nand their count; exit status 0 when there is none, "
                    "else 1.",
         .run = CmdTableDiff},
        {.name = "inc",
         .args = "FILE.epr",
         .minArgs = 1,
         .maxArgs = 1,
         .options = {kOutput},
         .summary = "generate the firmware include file",
         .details = "Writes the include file (default: corrtable.inc beside FILE.epr) from the "
                    "table file,\nas \"Generate CORRTABLE.INC File\" does. An existing output is "
                    "replaced only with --yes.",
         .run = CmdInc},
        {.name = "calc",
         .args = "FILE.sav",
         .minArgs = 1,
         .maxArgs = 1,
         .options = {ParameterOption("--multiply"),
                     {.name = "--offset", .valueName = "Z", .help = "zero offset ADC (default 0)"},
                     {.name = "--rows",
                      .valueName = "N",
                      .help = "rows of the calibration grid (default: \"GridLines\", else 15)"},
                     kOutput},
         .summary = "calculate the correction table from a calibration file",
         .details =
             "Computes the correction table from grid column 3 of the calibration file "
             "(multiplier\n--multiply, default 85; zero offset --offset, default 0) and "
             "writes it as a table file\n(default: corrtbl.epr beside FILE.sav). An existing "
             "output is replaced only with --yes.",
         .run = CmdCalc},
        {.name = "history",
         .options = {{.name = "--since",
                      .valueName = "DATE",
                      .help = "records at or after DATE (UTC: YYYY-MM-DD[THH:MM[:SS]])"},
                     {.name = "--operation",
                      .valueName = "NAME",
                      .help = "records of one operation (params-send, table-write, ...)"},
                     {.name = "--csv", .help = "CSV with a header row instead of text lines"},
                     kOutput},
         .json = true,
         .summary = "list the unit service history",
         .details = "One line per record, oldest first: time, unit, operation, ok or the "
                    "failure, port,\nstation, operator and what was done. --unit lists one "
                    "unit's records, --since and\n--operation narrow the list; --json gives "
                    "one JSON object per record, --csv a table.\nWith --shared, the records "
                    "of every station from the shared history.",
         .run = CmdHistory},
        {.name = "history sync",
         .options = {{.name = "--status",
                      .help = "show what waits to be sent and the last error; send nothing"}},
         .json = true,
         .summary = "send the records waiting to the shared history",
         .details = "Sends the station's records not yet in the shared history (--shared URI, "
                    "else\n\"SharedHistory\"), oldest first, in batches, with the progress on "
                    "standard error and\nthe count sent on standard output; exit status 1 when "
                    "records are left waiting.\nWith --status: the records waiting, the oldest "
                    "of them and the last error.",
         .run = CmdHistorySync},
        {.name = "record",
         .options = {kOutput},
         .summary = "make a unit's calibration record (HTML)",
         .details = "Writes the printable calibration record of the unit named with --unit "
                    "(from the shared\nhistory, every station's steps, with --shared): "
                    "points and graph,\nthe table written, the parameters and table as found "
                    "and as left, the drift since\nthe previous calibration (default output: "
                    "calibration-SERIAL.html). Refused when the\nunit has no table written "
                    "since its last calibration.",
         .run = CmdRecord},
    };
}

} // namespace

const std::vector<CommandDef> &Commands() {
    // The device commands come first; their rows are beside their handlers (cmd_device.cpp).
    static const std::vector<CommandDef> commands = Joined(DeviceCommands(), OtherCommands());
    return commands;
}

} // namespace kv::ctl
