// The command codes the program sends, with request and reply lengths, in one table.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace kv::link {

enum class Cmd : std::uint8_t {
    Info = 0x01,
    ReStart = 0x02,
    WriteTableBlock = 0x06,
    ReadTableBlock = 0x07,
    RelayOn = 0x08,
    RelayOff = 0x09,
    GetStoredStatus = 0x14,
    GetStatus = 0x15,
    SetStatus = 0x16,
    WriteData = 0x17,
    GetCurrentCmd = 0x1B,
};

struct CommandInfo {
    Cmd code;
    std::string_view name;
    std::uint8_t requestLength; // the code and its request bytes
    std::uint8_t replyLength;   // expected reply, terminator included
};

inline constexpr std::array<CommandInfo, 11> kCommands{{
    {Cmd::Info, "Info", 1, 16},
    {Cmd::ReStart, "ReStart", 1, 2},
    {Cmd::WriteTableBlock, "WriteTableBlock", 10, 2},
    {Cmd::ReadTableBlock, "ReadTableBlock", 2, 10},
    {Cmd::RelayOn, "RelayOn", 1, 2},
    {Cmd::RelayOff, "RelayOff", 1, 2},
    {Cmd::GetStoredStatus, "GetStoredStatus", 1, 25},
    {Cmd::GetStatus, "GetStatus", 1, 25},
    {Cmd::SetStatus, "SetStatus", 8, 2},
    {Cmd::WriteData, "WriteData", 1, 3},
    {Cmd::GetCurrentCmd, "GetCurrentCmd", 1, 8},
}};

constexpr const CommandInfo *FindCommand(std::uint8_t code) {
    for (const auto &c : kCommands)
        if (static_cast<std::uint8_t>(c.code) == code)
            return &c;
    return nullptr;
}

constexpr std::uint8_t ReplyLength(Cmd c) {
    return FindCommand(static_cast<std::uint8_t>(c))->replyLength;
}

inline constexpr std::size_t kFrameLength = 10;

} // namespace kv::link
