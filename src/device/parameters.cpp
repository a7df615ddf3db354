#include "device/parameters.h"

#include <type_traits>
#include <utility>

#include "app/comm_state.h"
#include "app/format.h"
#include "app/numbers.h"
#include "device/texts.h"
#include "link/commands.h"
#include "link/crc8.h"

namespace kv::device {

namespace {

// An entry as the checks see it: trimmed, converted, the low 16 bits.
std::uint16_t EntryValue(const std::string &text) {
    return static_cast<std::uint16_t>(StrToInt(Trim(text)));
}

std::uint8_t Bit(bool b) {
    return b ? 1 : 0;
}

} // namespace

FuseParameters ValidateForSend(const ParameterEntries &e,
                               const std::function<void(const std::string &)> &report) {
    using namespace text;
    auto check = [&](std::uint16_t value, bool bad, const std::string &message,
                     std::uint16_t replacement) {
        if (!bad)
            return value;
        report(message);
        return replacement;
    };

    FuseParameters p;
    p.UseAverage = e.UseAverage;
    p.UseVref = e.UseVref;

    std::uint16_t v = EntryValue(e.FuseCurrent);
    p.FuseCurrent = static_cast<std::uint8_t>(check(v, v > kFuseCurrentLimit - 1,
                                                    Format(FuseCurrentTooHigh, {kFuseCurrentLimit}),
                                                    kFuseCurrentLimit - 1));
    v = EntryValue(e.ZeroOffset);
    p.ZeroOffset = static_cast<std::uint8_t>(check(v, v > 255, std::string(OffsetTooHigh), 255));
    v = EntryValue(e.OverloadTime);
    p.OverloadTime = static_cast<std::uint8_t>(check(v, v > 255, std::string(TimerTooHigh), 255));
    v = EntryValue(e.MeasureCount);
    p.MeasureCount = static_cast<std::uint8_t>(
        check(v, v > kMaxMeasureCount || v == 0, std::string(CountOutOfRange), kMaxMeasureCount));
    v = EntryValue(e.CurrentMultiply);
    v = check(v, v > kMultiplyLimit, Format(MultiplyTooHigh, {kMultiplyLimit}), kMultiplyLimit);
    v = check(v, v == 0, std::string(MultiplyZero), 1);
    p.CurrentMultiply = static_cast<std::uint8_t>(v);
    return p;
}

std::string ConfirmationText(const FuseParameters &p) {
    return Format(text::SendConfirmation,
                  {p.FuseCurrent, p.ZeroOffset, p.OverloadTime, p.CurrentMultiply, p.MeasureCount,
                   YesNoText[Bit(p.UseAverage)], YesNoText[Bit(p.UseVref)]});
}

std::array<std::uint8_t, 8> SetStatusRequest(const FuseParameters &p) {
    return {static_cast<std::uint8_t>(link::Cmd::SetStatus),
            p.FuseCurrent,
            p.ZeroOffset,
            p.CurrentMultiply,
            p.OverloadTime,
            Bit(p.UseAverage),
            Bit(p.UseVref),
            p.MeasureCount};
}

std::array<std::uint8_t, 7> CrcInput(const FuseParameters &p) {
    return {p.FuseCurrent,  p.ZeroOffset,      p.CurrentMultiply, p.OverloadTime,
            Bit(p.UseVref), Bit(p.UseAverage), p.MeasureCount};
}

std::uint8_t ParametersCrc(const FuseParameters &p) {
    return Crc8(CrcInput(p));
}

bool ReadBackMatches(const DeviceStatus &s, const FuseParameters &p) {
    return s.FuseCurrent == p.FuseCurrent && s.ZeroOffset == p.ZeroOffset &&
           s.CurrentMultiply == p.CurrentMultiply && s.OverloadTime == p.OverloadTime &&
           s.UseVref == Bit(p.UseVref) && s.MeasureCount == p.MeasureCount &&
           s.UseAverage == Bit(p.UseAverage);
}

FuseParameters ParametersFromStatus(const DeviceStatus &s) {
    FuseParameters p;
    p.FuseCurrent = s.FuseCurrent;
    p.ZeroOffset = s.ZeroOffset;
    p.OverloadTime = s.OverloadTime;
    p.CurrentMultiply = s.CurrentMultiply;
    p.MeasureCount = s.MeasureCount;
    p.UseAverage = s.UseAverage != 0;
    p.UseVref = s.UseVref != 0;
    return p;
}

FuseParameters CalcCrcParameters(const ParameterEntries &e) {
    auto limited = [](const std::string &text, std::uint16_t limit) {
        const std::uint16_t v = EntryValue(text);
        return static_cast<std::uint8_t>(v > limit ? limit : v);
    };
    FuseParameters p;
    p.FuseCurrent = limited(e.FuseCurrent, kFuseCurrentLimit - 1);
    p.ZeroOffset = limited(e.ZeroOffset, 255);
    p.CurrentMultiply = limited(e.CurrentMultiply, 255);
    if (p.CurrentMultiply == 0)
        p.CurrentMultiply = 1;
    p.OverloadTime = limited(e.OverloadTime, 255);
    p.UseVref = e.UseVref;
    p.UseAverage = e.UseAverage;
    p.MeasureCount = static_cast<std::uint8_t>(StrToInt(Trim(e.MeasureCount)));
    return p;
}

ParameterEntries EntriesOf(const FuseParameters &p) {
    ParameterEntries e;
    e.FuseCurrent = std::to_string(p.FuseCurrent);
    e.ZeroOffset = std::to_string(p.ZeroOffset);
    e.OverloadTime = std::to_string(p.OverloadTime);
    e.CurrentMultiply = std::to_string(p.CurrentMultiply);
    e.MeasureCount = std::to_string(p.MeasureCount);
    e.UseAverage = p.UseAverage;
    e.UseVref = p.UseVref;
    return e;
}

ParameterEntries EntriesFromSettings(const StartupSettings &s) {
    ParameterEntries e;
    e.FuseCurrent = std::to_string(s.FuseCurrent);
    e.ZeroOffset = std::to_string(s.ZeroOffset);
    e.OverloadTime = std::to_string(s.OverloadTimer);
    e.CurrentMultiply = std::to_string(s.ADCcurrentMultiply);
    e.MeasureCount = std::to_string(s.MeasureCount);
    e.UseAverage = s.UseAverage;
    e.UseVref = s.UseVref;
    return e;
}

BackupRead ParametersFromBackup(std::string_view content) {
    BackupRead r;
    FuseParameters p;
    // The ranges of Send Data's checks: a value it would replace is no backup of a device.
    const auto range = [](std::string_view key) -> std::pair<int, int> {
        if (key == "FuseCurrent")
            return {0, kFuseCurrentLimit - 1};
        if (key == "ADCcurrentMultiply")
            return {1, kMultiplyLimit};
        if (key == "MeasureCount")
            return {1, kMaxMeasureCount};
        return {0, 255};
    };
    ForEachParameter(p, [&](const ParameterName &name, auto &field) {
        const std::string key(name.settingsKey);
        bool found = false;
        const std::string text = Trim(IniFile::Lookup(content, kIniSection, key, &found));
        if (!found) {
            r.problems.push_back(key + " is missing");
            return;
        }
        const std::optional<int> v = TryStrToInt(text);
        constexpr bool kSwitch = std::is_same_v<std::decay_t<decltype(field)>, bool>;
        const auto [lo, hi] = kSwitch ? std::pair{0, 1} : range(key);
        if (!v || *v < lo || *v > hi) {
            r.problems.push_back(
                Format("%s=%s is not a value of %d..%d", {key, QuoteText(text), lo, hi}));
            return;
        }
        if constexpr (kSwitch)
            field = *v == 1;
        else
            field = static_cast<std::uint8_t>(*v);
    });
    if (r.problems.empty())
        r.parameters = p;
    return r;
}

std::string ParametersText(const FuseParameters &p) {
    std::string text;
    ForEachParameter(p, [&](const ParameterName &name, const auto &field) {
        text = IniFile::Update(text, kIniSection, name.settingsKey,
                               std::to_string(static_cast<int>(field)));
    });
    return text;
}

FileResult SaveParameters(const IniFile &ini, const FuseParameters &p) {
    FileResult r = ini.WriteInteger(kIniSection, "FuseCurrent", p.FuseCurrent);
    if (r)
        r = ini.WriteInteger(kIniSection, "ZeroOffset", p.ZeroOffset);
    if (r)
        r = ini.WriteInteger(kIniSection, "OverloadTimer", p.OverloadTime);
    if (r)
        r = ini.WriteInteger(kIniSection, "ADCcurrentMultiply", p.CurrentMultiply);
    if (r)
        r = ini.WriteBool(kIniSection, "UseAverage", p.UseAverage);
    if (r)
        r = ini.WriteBool(kIniSection, "UseVref", p.UseVref);
    if (r)
        r = ini.WriteInteger(kIniSection, "MeasureCount", p.MeasureCount);
    return r;
}

} // namespace kv::device
