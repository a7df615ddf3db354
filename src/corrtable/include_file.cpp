#include "corrtable/include_file.h"

#include "app/text_files.h"
#include "corrtable/table_file.h"

namespace kv::corrtable {

namespace {
constexpr const char *kEol = "\r\n";
constexpr int kRetlwLines = 256; // one 256-word page
} // namespace

std::string IncludeFileText(const CorrTableData &table) {
    std::string text;
    text.reserve(5000);
    text += "corrtablecompute";
    text += kEol;
    text += "     addwf PCL,F";
    text += kEol;
    text += "corrtable";
    text += kEol;
    for (int n = 0; n < kRetlwLines; ++n) {
        if (n % 10 == 0) {
            text += "; " + std::to_string(n);
            text += kEol;
        }
        // The sign-magnitude byte as an unsigned decimal: -1 gives 129, -127 gives 255. An
        // entry of -128 gives 0, the byte the device would be sent, not an out-of-range 256.
        const int w = n < kCorrections ? ToSignMagnitude(table[static_cast<std::size_t>(n)]) : 0;
        text += "     retlw ." + std::to_string(w);
        text += kEol;
    }
    text += kEol;
    text += " IF ((HIGH ($-1)) != (HIGH (corrtable)))";
    text += kEol;
    text += "  ERROR \"TABLE CROSSES PAGE BOUNDARY!\"";
    text += kEol;
    text += " ENDIF";
    return text;
}

IncludeOutcome GenerateIncludeFile(const std::string &programDir, Prompter &prompter,
                                   const TableLoader &load) {
    return GenerateIncludeFile(programDir + kIncludeInputName, programDir + kIncludeOutputName,
                               prompter, load);
}

IncludeOutcome GenerateIncludeFile(const std::string &in, const std::string &out,
                                   Prompter &prompter, const TableLoader &load) {
    using Result = IncludeOutcome::Result;
    IncludeOutcome o;
    o.in = in;
    o.out = out;
    if (!FileExists(in)) {
        // A directory or device of that name is there, but no table file: said as such.
        o.inputReason = NotATextFile(in);
        return o;
    }
    CorrTableData table{};
    // Whatever the load reports, the generation goes on with what was loaded.
    o.loadMessage = load(in, table);

    if (FileExists(out) && AskQuestion(prompter, OverwriteQuestion(out)) != IdYes) {
        o.result = Result::Declined;
        return o;
    }
    // One text written at once, so a failed write leaves the old file whole instead of an
    // emptied or half-appended one.
    if (FileResult r = WriteTextFile(IncludeFileText(table), out, &prompter); !r) {
        o.result = Result::WriteFailed;
        o.writeError = r.error;
        return o;
    }
    o.result = Result::Written;
    return o;
}

Notices NoticesOf(const IncludeOutcome &o) {
    using Result = IncludeOutcome::Result;
    switch (o.result) {
    case Result::InputMissing:
        return {{Notice::Kind::ErrorBox, o.inputReason.empty()
                                             ? "File " + o.in + " not found!"
                                             : FileReadErrorText(o.in, o.inputReason)}};
    case Result::Declined:
        return {};
    case Result::WriteFailed:
        return {{Notice::Kind::ErrorBox, FileWriteErrorText(o.out, o.writeError)}};
    case Result::Written:
        return {{Notice::Kind::InfoBox, "File " + o.out + " created!"}};
    }
    return {};
}

} // namespace kv::corrtable
