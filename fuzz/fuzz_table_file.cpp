// The table file reader on arbitrary content: it never reads past its buffer, ends with no
// message, "Data too long!" or a conversion message, and whatever it loads without a
// message is written back by the table file writer as a text that loads to the same table.
#include <cstdint>
#include <string>

#include "app/numbers.h"
#include "corrtable/table_file.h"
#include "fuzz_check.h"

using namespace kv::corrtable;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view content(reinterpret_cast<const char *>(data), size);

    const std::string_view line = FirstLine(content);
    FUZZ_CHECK(line.data() == content.data() && line.size() <= content.size());
    FUZZ_CHECK(line.find_first_of("\r\x1A") == std::string_view::npos);

    CorrTableData buffer;
    buffer.fill(0x55); // the reader clears it first
    const auto message = ParseTableText(content, buffer);
    if (message) {
        FUZZ_CHECK(*message == kDataTooLong ||
                   message->ends_with("' is not a valid integer value"));
        // Only "Data too long!" reaches the spare entry 224; nothing beyond it is touched.
        for (std::size_t n = kEntries + 1; n < buffer.size(); ++n)
            FUZZ_CHECK(buffer[n] == 0);
        if (*message != kDataTooLong)
            FUZZ_CHECK(buffer[kEntries] == 0);
        return 0;
    }
    for (std::size_t n = kEntries; n < buffer.size(); ++n)
        FUZZ_CHECK(buffer[n] == 0);

    const std::string text = TableFileText(buffer);
    FUZZ_CHECK(text.find_first_of("\r\n\x1A") == std::string::npos);
    CorrTableData again;
    FUZZ_CHECK(!ParseTableText(text, again));
    FUZZ_CHECK(again == buffer);

    // A field typed by hand goes through the same integer syntax.
    const auto field = ParseFieldText(content);
    if (field)
        FUZZ_CHECK(*field >= kFieldMinimum && *field <= kFieldMaximum);
    return 0;
}
