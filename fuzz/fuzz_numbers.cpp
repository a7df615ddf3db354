// The integer and floating-point syntaxes on arbitrary text: no crash or undefined
// behaviour, and the properties the callers rely on.
#include <cmath>
#include <cstdint>
#include <string>

#include "app/errors.h"
#include "app/format.h"
#include "app/numbers.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);

    // Integers: the throwing form agrees with the optional form and names the text.
    const auto i = kv::TryStrToInt(text);
    try {
        const std::int32_t v = kv::StrToInt(text);
        FUZZ_CHECK(i && *i == v);
    } catch (const kv::Error &e) {
        FUZZ_CHECK(!i);
        // The text is quoted as a short, visible piece: no control character (a NUL would
        // end what()), at most 40 characters of up to 4 bytes and "...".
        const std::string quoted = kv::QuoteText(text);
        FUZZ_CHECK(std::string_view(e.what()) == kv::IntegerErrorText(text));
        FUZZ_CHECK(quoted.size() <= 4 * kv::kQuoteLength + 3);
        for (const char c : quoted)
            FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
        FUZZ_CHECK(quoted == text || quoted.ends_with("...") ||
                   quoted.find('\\') != std::string::npos);
    }
    if (i) {
        // What the program prints reads back as the same number.
        FUZZ_CHECK(kv::TryStrToInt(std::to_string(*i)) == i);
        FUZZ_CHECK(kv::TryStrToInt(kv::Format("$%x", {*i})) == i);
        FUZZ_CHECK(kv::TryStrToInt(kv::Format("0x%0.8X", {*i})) == i);
    }

    // Floats: the same agreement, and every accepted value is finite and survives the
    // program's own output forms.
    const auto f = kv::TryStrToFloat(text);
    try {
        const double v = kv::StrToFloat(text);
        FUZZ_CHECK(f && (*f == v));
    } catch (const kv::Error &e) {
        FUZZ_CHECK(!f);
        FUZZ_CHECK(std::string_view(e.what()) == kv::FloatErrorText(text));
    }
    if (f) {
        FUZZ_CHECK(std::isfinite(*f));
        FUZZ_CHECK(kv::TryStrToFloat(kv::FloatToStr(*f)) == f);
        const std::string fixed = kv::FormatFixed(*f, 3);
        FUZZ_CHECK(kv::TryStrToFloat(fixed).has_value());
        (void)kv::Format("%6.2f %0.5f %f", {*f, *f, *f});
        // Extended precision accepts whatever double precision accepts.
        const auto x = kv::TryStrToExtended(text);
        FUZZ_CHECK(x.has_value());
        // Rounded twice (to 64 bits, then to 53), it may land one step away.
        const double xd = static_cast<double>(*x);
        FUZZ_CHECK(xd == *f || xd == std::nextafter(*f, HUGE_VAL) ||
                   xd == std::nextafter(*f, -HUGE_VAL));
        (void)kv::RoundHalfEven(*x);
    } else {
        (void)kv::TryStrToExtended(text);
    }

    // Trim is idempotent and removes only 0x00..0x20.
    const std::string t = kv::Trim(text);
    FUZZ_CHECK(kv::Trim(t) == t);
    FUZZ_CHECK(t.size() <= text.size());
    FUZZ_CHECK(text.find(t) != std::string_view::npos);
    (void)kv::UpperCase(text);
    return 0;
}
