// The link's own texts: log lines, status-bar texts and the error boxes of the port set-up.
#pragma once

#include "app/format.h"

#include <string>
#include <string_view>

namespace kv::link {

inline constexpr std::string_view kPortOpened = "COM port opened";
inline constexpr std::string_view kPortClosed = "COM port closed";
inline constexpr std::string_view kCmdInProgress = "Cmd in progress...";
inline constexpr std::string_view kReceiveError = "Receive error!";
inline constexpr std::string_view kSendingData = "Sending data...";
inline constexpr std::string_view kBufferFull = "Buffer full";
inline constexpr std::string_view kThreadErrorPrefix = "Thread ";
inline constexpr std::string_view kSentPrefix = "S: ";
inline constexpr std::string_view kReceivedPrefix = "R: ";

// The set-up steps of the port whose failure shows an error box.
enum class PortStep {
    CreateFile,
    GetCommState,
    SetCommState,
    GetCommTimeOuts,
    SetCommTimeOuts,
    SetCommMask
};

// The error box of a failed step; systemText is the system's text for the failure.
inline std::string PortStepError(PortStep step, const std::string &systemText) {
    std::string_view name;
    switch (step) {
    case PortStep::CreateFile:
        return "CreateFile INVALID_HANDLE_VALUE\r" + systemText;
    case PortStep::GetCommState:
        name = "GetCommState";
        break;
    case PortStep::SetCommState:
        name = "SetCommState";
        break;
    case PortStep::GetCommTimeOuts:
        name = "GetCommTimeOuts";
        break;
    case PortStep::SetCommTimeOuts:
        name = "SetCommTimeOuts";
        break;
    case PortStep::SetCommMask:
        name = "SetCommMask";
        break;
    }
    return "ComHandle " + std::string(name) + " " + systemText + "\r" + systemText;
}

// Follows an opening failure's text: the device that was tried and, when the settings named
// it otherwise ("COM1" on Linux), that name. shown is PortShown(name).
// A name from the settings or the command line is outside text: shown escaped.
inline std::string PortTriedLine(std::string_view shown) {
    return "Port tried: " + ShownText(shown);
}

// Follows "Receive error!" when other programs hold the port open for reading and may have
// taken the reply; readers are "minicom (pid 4242)".
inline std::string OtherReadersLine(std::string_view device, std::string_view readers) {
    return "Also reading " + std::string(device) + ": " + std::string(readers) +
           " (another program may have taken the reply)";
}

// Follows the system's text when a port may not be opened and the device's group could open
// it: the user is not in that group (dialout on most systems), or was added to it after
// this session began, which keeps the groups it started with.
inline std::string PortGroupHint(std::string_view group, std::string_view user,
                                 bool addedSinceLogin) {
    const std::string g(group), u(user);
    if (addedSinceLogin)
        return "User " + u + " was added to group " + g +
               ", which may open the port, after this session began: log out and in again.";
    return "The port belongs to group " + g + ", and user " + u +
           " is not in it: add the user to it (sudo usermod -a -G " + g + " " + u +
           "), then log out and in again.";
}

} // namespace kv::link
