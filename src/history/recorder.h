// What a front end keeps to record its operations: the history file, the context stamped
// on every record (who, where, which unit, which port and adapter, the device's Info
// text) and the check that the unit has not moved to another adapter. One per front end
// and port: korvanectl's Session owns one, so does the main window.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "history/outcome_records.h"
#include "history/record.h"
#include "history/record_batcher.h"
#include "history/store.h"

namespace kv::history {

// False in a build without the history file (no SQLite for the platform).
bool StoreAvailable();
inline constexpr const char *kNoHistoryInBuild = "history not available in this build";

// The default history file: korvane.db in the folder of the program's other files.
std::string DefaultHistoryPath(const std::string &dataDir);
inline constexpr const char *kHistoryFileName = "korvane.db";

class Recorder {
public:
    Recorder(std::string path, Context context, StoreOptions options = {});

    const Context &context() const { return context_; }
    const std::string &unit() const { return context_.unit; }
    void SetUnit(std::string unit); // cleaned by CleanUnit
    Store &store() { return store_; }

    // The port was opened: its name and adapter, and how to read the device's Info text,
    // which is done once for this opening, at the first record made for a named unit (an
    // exchange that records without a unit do not need). Closed: no port on the records.
    void PortOpened(const std::string &port, std::function<std::string()> readInfo,
                    const link::PortRoots &roots = {});
    void PortClosed();

    struct Result {
        Status status;       // the append's
        std::string warning; // the unit moved to another adapter; shown once per opening
    };
    Result Add(const Entry &entry);
    // Records are written through batcher (shared with the other ports of one run, for the
    // same file) instead of this recorder's own connection; reads stay on its own.
    void WriteThrough(RecordBatcher *batcher) { batcher_ = batcher; }
    Result Add(const std::optional<Entry> &entry) { return entry ? Add(*entry) : Result{}; }

private:
    std::string AdapterWarning();

    Store store_;
    RecordBatcher *batcher_ = nullptr;
    Context context_;
    std::function<std::string()> readInfo_;
    bool infoRead_ = false;
    bool adapterChecked_ = false;
};

} // namespace kv::history
