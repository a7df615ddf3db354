#include "gui/window_table_write.h"

#include <chrono>

#include "app/comm_state.h"
#include "app/settings_file.h"
#include "corrtable/backup_files.h"
#include "corrtable/transfer.h"
#include "corrtable/verified_write.h"
#include "history/outcome_records.h"
#include "link/link.h"

namespace ct = kv::corrtable;

std::string WindowBackupPath(const kv::AppContext &ctx) {
    const kv::PortSetting port = kv::ReadPortSetting(kv::IniFile(ctx.paths.IniFileName()));
    return ct::BackupPath(ct::DefaultBackupDir(ctx.paths.DataDir()),
                          ct::BackupFileName(ctx.unit ? ctx.unit() : std::string(), port.port,
                                             std::chrono::system_clock::now()));
}

bool WriteTableFromWindows(kv::AppContext &ctx, const std::string &file,
                           const std::function<void(const kv::Notices &)> &show) {
    if (!ctx.link)
        return false;
    const auto record = [&](const kv::history::Entry &e) {
        if (ctx.record)
            ctx.record(e);
    };
    if (!ctx.VerifyWrites) {
        const ct::TableTransfer written = ct::WriteCorrectionTable(*ctx.link, ctx.CorrTable);
        show(ct::NoticesOf(written));
        record(kv::history::TableWriteEntry(written, ctx.CorrTable, file));
        return written.complete();
    }
    const ct::VerifiedWrite v = ct::WriteTableVerified(
        *ctx.link, ctx.CorrTable,
        {.backupPath = WindowBackupPath(ctx), .askBeforeRestore = &ctx.prompter});
    show(ct::WindowNoticesOf(v));
    if (v.end != ct::VerifiedWriteEnd::DryRun)
        record(kv::history::VerifiedWriteEntry(v, ctx.CorrTable, file));
    if (const auto restore = kv::history::RestoreEntry(v))
        record(*restore);
    return v.ok();
}
