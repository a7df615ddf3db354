#include "app/comm_state.h"

#include <string>

#include "app/numbers.h" // UpperCase

namespace kv {

StartupSettings ReadStartupSettings(const IniFile &ini) {
    // One read of the file for all keys, in the order the main window reads them.
    StartupSettings s;
    std::string content;
    // A file that cannot be read gives every default, as a missing one does, and says why.
    if (FileResult r = ini.ReadContent(content); !r) {
        content.clear();
        s.problem = "Cannot read the settings file " + ini.FileName() + ": " + r.error;
    }
    auto integer = [&](const char *key, int def) {
        return IniFile::LookupInteger(content, kIniSection, key).value_or(def);
    };
    auto boolean = [&](const char *key, bool def) { return integer(key, def ? 1 : 0) != 0; };
    auto real = [&](const char *key, double def) {
        return IniFile::LookupFloat(content, kIniSection, key).value_or(def);
    };

    s.RefVoltage = real("RefVoltage", s.RefVoltage);
    s.Voltage = real("Voltage", s.Voltage);
    s.AutoSaveData = boolean("AutoSaveData", s.AutoSaveData);
    s.AllDataChange = boolean("AllDataChange", s.AllDataChange);
    s.AutoOpen = boolean("AutoOpen", s.AutoOpen);
    s.LogLines = integer("LogLines", s.LogLines);
    s.GridLines = integer("GridLines", s.GridLines);
    s.TimerInterval = integer("Timer", s.TimerInterval);
    if (s.TimerInterval < 1)
        s.TimerInterval = 1;
    s.FuseCurrent = integer("FuseCurrent", s.FuseCurrent);
    s.ZeroOffset = integer("ZeroOffset", s.ZeroOffset);
    s.OverloadTimer = integer("OverloadTimer", s.OverloadTimer);
    s.ADCcurrentMultiply = integer("ADCcurrentMultiply", s.ADCcurrentMultiply);
    s.UseAverage = boolean("UseAverage", s.UseAverage);
    s.UseVref = boolean("UseVref", s.UseVref);
    s.MeasureCount = integer("MeasureCount", s.MeasureCount);
    bool found = false;
    s.HistoryDb = IniFile::Lookup(content, kIniSection, "HistoryDb", &found);
    s.ReferenceInstrument = IniFile::Lookup(content, kIniSection, "ReferenceInstrument", &found);
    s.SharedHistory = IniFile::Lookup(content, kIniSection, "SharedHistory", &found);
    return s;
}

std::string DefaultPortName() {
#ifdef _WIN32
    return "\\\\.\\COM1";
#else
    return "/dev/ttyS0";
#endif
}

PortSetting ReadPortSetting(const IniFile &ini) {
    PortSetting p;
    p.port = ini.ReadString(kIniSection, "port", DefaultPortName());
#ifdef _WIN32
    p.port = UpperCase(p.port); // Windows device names; a POSIX path is case sensitive
#endif
    p.baud = ini.ReadInteger(kIniSection, "baud", 19200);
    return p;
}

FileResult WritePortSetting(const IniFile &ini, const PortSetting &p) {
    FileResult r = ini.WriteString(kIniSection, "port", p.port);
    if (r)
        r = ini.WriteInteger(kIniSection, "baud", p.baud);
    return r;
}

} // namespace kv
