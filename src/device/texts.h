// The device operations' own texts: message boxes, log lines and report formats.
#pragma once

#include <array>
#include <string_view>

namespace kv::device {

// Indexed by a 0/1 value.
inline constexpr std::array<const char *, 2> YesNoText{"No", "Yes"};
// Indexed by the relay bit.
inline constexpr std::array<const char *, 2> OffOnText{"Off", "On"};
// The names of the status flag bits, index = bit number.
inline constexpr std::array<const char *, 8> FlagNames{"CurOver", "SwNotOk", "SwStart", "UseAvgc",
                                                       "AvgTime", "ADCcerr", "CurShow", "CRCError"};

namespace text {

// Failed exchanges.
inline constexpr std::string_view GetStatusError = "GetStatus error!";
inline constexpr std::string_view SetStatusError = "SetStatus error!";
inline constexpr std::string_view WriteDataError = "WriteData error!";
inline constexpr std::string_view DataSetError = "Data set error!";
inline constexpr std::string_view GetCurrentError = "GetCurrent error!";

// Status report.
inline constexpr std::string_view CaptionLastValues = "Last Values";
inline constexpr std::string_view CaptionLastStoredValues = "Last Stored Values";
inline constexpr std::string_view ReportSeparator = ">";
inline constexpr std::string_view ReportPorts = "> Device port A:%s B:%s C:%s";
inline constexpr std::string_view ReportFlags = "> Flags: %s [%s]";
inline constexpr std::string_view ReportAvgAdc = "> Average/Peak ADC:%d [Hi:%d, Lo:%d, count %d]";
inline constexpr std::string_view ReportLastAdc = "> Last ADC:%d [Hi:%d, Lo:%d]";
inline constexpr std::string_view ReportRelayOffTime = "> Last relay offtime:%dms [%dm%ds%dms]";
inline constexpr std::string_view ReportCurrents = "> Used current:%d, Measured current:%d";
inline constexpr std::string_view ReportVrefAverage = "> Use Vref=%d, Use average current=%d";
inline constexpr std::string_view ReportOverloadMultiply =
    "> Overload time=%d, Current multiply=%d";
inline constexpr std::string_view ReportFuseOffset = "> Fuse current=%d, Zero offset=%d";
inline constexpr std::string_view ReportCaption = "  %s [Relay is currently %s]";

// Send Data validation.
inline constexpr std::string_view FuseCurrentTooHigh = "Current must be < %d!";
inline constexpr std::string_view OffsetTooHigh = "Offset must be < 256!";
inline constexpr std::string_view TimerTooHigh = "Timer must be < 256!";
inline constexpr std::string_view CountOutOfRange = "Count must be > 0 and <= 20!";
inline constexpr std::string_view MultiplyTooHigh = "I to ADC multiply must be <= %d!";
inline constexpr std::string_view MultiplyZero = "I to ADC multiply must be > 0!";
inline constexpr std::string_view SendConfirmation =
    "Fuse current: %d\r\nZero offset: %d\r\nOverload timer: %d\r\nI to ADC multiply: "
    "%d\r\nCurrent measure count: %d\r\nUse average current: %s\r\nUse voltage reference: %s";
inline constexpr std::string_view SettingsNotSaved = "Cannot write the settings file %s: %s";
inline constexpr std::string_view SendCrcOk = "CRC OK [0x%x]";
inline constexpr std::string_view SendCrcNotOk =
    "CRC NOT OK!\r\n\r\nCalculated 0x%x\r\nReturned 0x%x";

// ReStart.
inline constexpr std::string_view RestartError = "Restart error!";

// Relay.
inline constexpr std::string_view ManualSwitchOff = "Manual switch is OFF!";
inline constexpr std::string_view RelayOnQuestion = "Relay ON?";

// Current measurement.
inline constexpr std::string_view CurrentOffsetMultiply =
    "> Zero offset:%d, I to ADC current multiply:%d";
inline constexpr std::string_view CurrentAdc = "> ADC %d [ADCHi %d, ADCLo %d]";
inline constexpr std::string_view CurrentValues = "> Current:%0.2fA, Voltage: %0.5fV";
inline constexpr std::string_view CurrentCaption = "  Actual ADC measure [Relay is %s]";
inline constexpr std::string_view CurrentLogHeader =
    "Date       Time      ADC  Hi  Lo  Zo Mul   Volt   Curr Relay\r\n";
inline constexpr std::string_view CurrentLogRecord = "%s %4d %3d %3d %3d %3d %6.2f %6.2f %s\r\n";
// A timed record that did not reach the current log file (folder read-only, disk full).
inline constexpr std::string_view CurrentLogNotSaved = "Cannot write the current log %s: %s";
// A timed series whose port has gone (the adapter pulled), and the same port opened again.
inline constexpr std::string_view SeriesPortGone =
    "Port %s unplugged (%s): the series waits for it to come back";
inline constexpr std::string_view SeriesPortBack = "Port %s reopened: the series goes on, %s";
inline constexpr std::string_view SeriesNoneMissed = "no measurement missed";
inline constexpr std::string_view SeriesOneMissed = "1 measurement missed";
inline constexpr std::string_view SeriesManyMissed = "%d measurements missed";
inline constexpr std::string_view Countdown = " %d";
inline constexpr std::string_view IntervalCaption = "Set current timer interval";
inline constexpr std::string_view IntervalPrompt = "Enter new value in seconds";
inline constexpr std::string_view IntervalSet = "Timer value set to %ds";
inline constexpr std::string_view IntervalNotSaved = "Timer value not saved in %s: %s";

// Calc CRC.
inline constexpr std::string_view CalculatedCrc = "Calculated CRC is %d [0x%0.2x]";
inline constexpr std::string_view ReturnedCrc = "Returned CRC is %d [0x%0.2x]";
inline constexpr std::string_view CheckCrcOk = "CRC OK [0x%0.2x]";
inline constexpr std::string_view CheckCrcNotOk = "CRC NOT OK! [D: 0x%0.2x <> C: 0x%0.2x]";

} // namespace text
} // namespace kv::device
