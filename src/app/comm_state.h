// The link and log state that the main window keeps, and the settings read at its creation.
#pragma once

#include <string>

#include "app/scope.h"
#include "app/settings_file.h"

namespace kv {

inline constexpr const char *kIniSection = "init";

// CommState fields held by the main window. The link keeps its own privately (the port, the
// receive thread, PortOpen, and CmdBusy, LogEnabled and RxDisplayMode, which each
// transaction's options set). Main thread only.
struct CommState {
    bool AutoOpen = true;
    int LogLines = 100;
    int TimerInterval = 5;
    // Seconds counted towards the next timed measurement; at TimerInterval it is made.
    int TimerTicks = 0;
    bool AutoSaveData = true;
    bool AllDataChange = true;
    bool FirstActivate = true;
    BusyFlag TimerBusy; // a timed measurement is running
};

// Everything the main window's creation reads from the settings file, in its order.
struct StartupSettings {
    double RefVoltage = 1.8;
    double Voltage = 5.0;
    bool AutoSaveData = true;
    bool AllDataChange = true;
    bool AutoOpen = true;
    int LogLines = 100;
    int GridLines = 15;
    int TimerInterval = 5; // at least 1
    int FuseCurrent = 99;
    int ZeroOffset = 0;
    int OverloadTimer = 0;
    int ADCcurrentMultiply = 10;
    bool UseAverage = false;
    bool UseVref = false;
    int MeasureCount = 20;
    // The unit history's file ("" for korvane.db in the data folder) and the reference
    // instrument named on calibration records.
    std::string HistoryDb;
    std::string ReferenceInstrument;
    // The shared history's connection string ("" for none): libpq's URI or key=value
    // form. It may hold a password, which is never shown (history/shared_target.h).
    std::string SharedHistory;
    // Set when the file is there but cannot be read (a directory, a device or FIFO, one
    // beyond the size limit): the message saying so, shown once; the defaults are used.
    std::string problem;
};

StartupSettings ReadStartupSettings(const IniFile &ini);

// The "port" and "baud" settings, read at each opening of the port.
struct PortSetting {
    std::string port;
    int baud = 19200;
};
std::string DefaultPortName(); // "\\.\COM1" on Windows, /dev/ttyS0 elsewhere
PortSetting ReadPortSetting(const IniFile &ini);
// Writes "port" and "baud" in place, as every other key is written; other lines are kept.
FileResult WritePortSetting(const IniFile &ini, const PortSetting &p);

} // namespace kv
