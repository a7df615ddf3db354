// What each device operation's outcome tells the user, in the windows' terms: which boxes
// and which log lines, in order (app/notice.h). The one place that decides it; the windows
// show the notices, korvanectl shows their boxes and failure lines and prints its results
// from the outcomes' fields with the line functions below.
#pragma once

#include <cstdint>
#include <string>

#include "app/notice.h"
#include "device/operations.h"

namespace kv::device {

// "Get Last Values" / "Get Last Stored Values": the status report, or "GetStatus error!".
Notices NoticesOf(const StatusRead &read);
// Get Data: "GetStatus error!" when it failed (the fields show the rest).
Notices NoticesOf(const ParametersRead &read);
Notices NoticesOf(const SendOutcome &out);
Notices NoticesOf(const RelayOutcome &out);
// failureAs: the button shows "GetCurrent error!" in a box, the timer as a log line.
Notices NoticesOf(const Measurement &m, Notice::Kind failureAs = Notice::Kind::ErrorBox);
Notices NoticesOf(const TimedRecord &r);
Notices NoticesOf(const IntervalChange &c);
Notices NoticesOf(const RestartOutcome &r);
// Calc CRC's two steps: the conversion message or the "Calculated CRC" line; then the
// "Returned CRC" line and the box that compares them.
Notices CalculatedNotices(const CrcCheck &c);
Notices ComparedNotices(const CrcCheck &c);

// The report caption of a status command ("Last Values", "Last Stored Values").
std::string_view StatusCaption(link::Cmd command);
// Lines of the outcomes above, for a front end that prints them as results.
std::string SendCrcOkLine(std::uint8_t crc);
std::string CalculatedCrcLine(std::uint8_t crc);
std::string ReturnedCrcLine(std::uint8_t crc);
// The status bar's countdown to the next timed measurement.
std::string CountdownText(int secondsLeft);

} // namespace kv::device
