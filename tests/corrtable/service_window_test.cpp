// The main window's table safety items (menu Service) against the simulated fuse: the
// comparison with the editor's table, the device table's backup file, and "Verify Table
// Writes" around the editor's Write.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "corrtable/table_file.h"
#include "corrtable/verified_write.h"
#include "fuse_sim.h"
#include "gui/application.h"
#include "gui/calib_window.h"
#include "gui/editor_window.h"
#include "gui/main_window.h"
#include "history/recorder.h"
#include "history/store.h"
#include "scripted_prompter.h"
#include "sim_table.h"
#include "temp_dir.h"
#include "window_rig.h"

using namespace kv::corrtable;
using Times = kv::sim::Faults::Times;

namespace {

CorrTableData Table(int step) {
    CorrTableData t{};
    for (int n = 0; n < kCorrections; ++n)
        t[static_cast<std::size_t>(n)] = static_cast<std::int8_t>(n % 9 * step - 20);
    t[kCheckIndex] = static_cast<std::int8_t>(TableCrc(t));
    return t;
}

} // namespace

class ServiceWindowTest : public QObject, protected kvtest::WindowRig {
    Q_OBJECT

private:
    std::unique_ptr<TForm4> editor;

    void Open(const std::string &extraSettings = "") {
        editor.reset();
        form.reset();
        MakeWindow(extraSettings);
        editor = std::make_unique<TForm4>(*ctx);
        form->UseWindows(nullptr, editor.get(), nullptr, nullptr);
        form->show();
        QVERIFY(form->OpenComPort());
        sim->ClearFrames();
        prompter.clear();
    }

    // Presses Write in the editor once it is up as the modal window.
    void WriteWhenEditorShown() {
        QTimer::singleShot(10, editor.get(), [this] {
            if (QApplication::activeModalWidget() != editor.get())
                return WriteWhenEditorShown();
            editor->BitBtn2->click();
        });
    }

    std::vector<std::string> Backups() const {
        std::vector<std::string> out;
        std::error_code ec;
        for (const auto &e : std::filesystem::directory_iterator(dir->File("backups"), ec))
            out.push_back(e.path().string());
        return out;
    }

private slots:
    void init() {
        StartFuse();
        sim->SetTable(kvtest::DeviceBytes(Table(1)));
        Open();
    }

    void cleanup() {
        editor.reset();
        CloseAll();
    }

    void itemsComeAfterASeparatorInService() {
        const QList<QAction *> items = kvtest::Named<QMenu>(*form, "Service1")->actions();
        const qsizetype at = items.indexOf(kvtest::Named<QAction>(*form, "VerifyTableWrites1"));
        QVERIFY(at >= 3);
        QVERIFY(items[at - 3]->isSeparator());
        QCOMPARE(items[at - 2], kvtest::Named<QAction>(*form, "VerifyCorrectionTable1"));
        QCOMPARE(items[at - 1], kvtest::Named<QAction>(*form, "BackUpDeviceTable1"));
        QCOMPARE(kvtest::Named<QAction>(*form, "VerifyCorrectionTable1")->text(),
                 QString("Verify Correction Table"));
        QCOMPARE(kvtest::Named<QAction>(*form, "BackUpDeviceTable1")->text(),
                 QString("Back Up Device Table..."));
        QVERIFY(!kvtest::Named<QAction>(*form, "VerifyTableWrites1")->isChecked());

        const QString shots = qEnvironmentVariable("KORVANE_SCREENSHOT_DIR");
        if (shots.isEmpty())
            return;
        kvtest::Named<QAction>(*form, "VerifyTableWrites1")->setChecked(true);
        kvtest::Named<QMenu>(*form, "Service1")->popup(form->mapToGlobal(QPoint(0, 0)));
        QVERIFY(kvtest::Named<QMenu>(*form, "Service1")
                    ->grab()
                    .save(shots + "/service-menu-table-items.png"));
        kvtest::Named<QMenu>(*form, "Service1")->hide();
    }

    void verifyComparesTheDeviceWithTheEditorsTable() {
        struct Row {
            int changed; // entry of the editor's table changed, -1: none
            std::string box;
        } rows[] = {
            {-1, kDeviceTableMatches},
            {3, "Device table differs in 1 entry (device -> editor):\n3: -17 -> 40"},
        };
        for (const Row &r : rows) {
            ctx->CorrTable = Table(1);
            if (r.changed >= 0)
                ctx->CorrTable[static_cast<std::size_t>(r.changed)] = 40;
            prompter.clear();
            kvtest::Trigger(*form, "VerifyCorrectionTable1");
            QCOMPARE(prompter.messageTexts(), std::vector<std::string>{r.box});
        }
        QCOMPARE(sim->FrameCount(0x06), std::size_t(0));
    }

    void backUpSavesTheDeviceTableUnderThePortAndTime() {
        const std::string file = dir->File("saved.epr");
        prompter.AnswerFile(file);
        kvtest::Trigger(*form, "BackUpDeviceTable1");
        QCOMPARE(kvtest::TempDir::Read(file), TableFileText(Table(1)));
        const auto dialog = prompter.prompts().at(0).dialog;
        QCOMPARE(dialog.initialDir, DefaultBackupDir(dir->path()));
        const std::string port = std::filesystem::path(sim->PortPath()).filename().string();
        QVERIFY2(dialog.fileName.rfind(port + "-", 0) == 0, dialog.fileName.c_str());
        QVERIFY(dialog.fileName.ends_with("Z.epr"));
    }

    void verifyTableWritesIsKeptInTheSettings() {
        kvtest::Trigger(*form, "VerifyTableWrites1");
        QVERIFY(ctx->VerifyWrites);
        QVERIFY(kvtest::TempDir::Read(dir->File("korvane.ini")).find("VerifyWrites=1") !=
                std::string::npos);
        Open("VerifyWrites=1\r\n");
        QVERIFY(kvtest::Named<QAction>(*form, "VerifyTableWrites1")->isChecked());
        QVERIFY(ctx->VerifyWrites);
    }

    // The history's table records since `from`: "table-write failed verified=false backup
    // before", as korvanectl's drills read them.
    std::vector<std::string> Records(std::size_t from) {
        kv::history::Store store(kv::history::DefaultHistoryPath(ctx->paths.DataDir()));
        const auto result = store.Read({});
        std::vector<std::string> out;
        for (std::size_t i = from; i < result.records.size(); ++i) {
            const auto &r = result.records[i];
            if (r.operation.rfind("table-", 0) != 0)
                continue;
            std::string line = r.operation + (r.ok ? " ok" : " failed");
            const auto &v = kv::json::At(r.data, "verified");
            line += " verified=" + std::string(v.is_null()         ? "null"
                                               : kv::json::Bool(v) ? "true"
                                                                   : "false");
            if (!kv::json::Str(kv::json::At(r.data, "backup")).empty())
                line += " backup";
            if (!kv::json::At(r.data, "before").is_null())
                line += " before";
            out.push_back(line);
        }
        return out;
    }

    std::size_t RecordCount() {
        kv::history::Store store(kv::history::DefaultHistoryPath(ctx->paths.DataDir()));
        return store.Read({}).records.size();
    }

    // The windows' Write goes through korvanectl's checked write: the same drills, the same
    // records. The texts are pinned at the operation level; here the boxes' order and kind.
    void checkedWriteDrills() {
        Open("VerifyWrites=1\r\n");
        const auto oldBytes = kvtest::DeviceBytes(Table(1));
        const auto newBytes = kvtest::DeviceBytes(Table(2));
        const std::string written = "table-write ok verified=true backup before";
        const std::string failed = "table-write failed verified=false backup before";
        struct Row {
            const char *fault;
            std::function<void()> set;
            int answer; // to the restore question; 0: none asked
            std::optional<kv::sim::Table> after;
            std::vector<std::string> boxes; // each box's start
            std::vector<std::string> records;
        } rows[] = {
            {"none", [] {}, 0, newBytes, {"Done"}, {written}},
            {"block 2 stored wrong once",
             [this] { sim->SetCorruptBlock(2, Times::Once); },
             0,
             newBytes,
             {"Done"},
             {written}},
            {"block 2 never stored, old table written back",
             [this] { sim->SetIgnoreBlock(2, Times::Always); },
             kv::IdYes,
             oldBytes,
             {"The table write failed (entry 16: sent ", "Table write failed: entry 16: sent "},
             {failed, "table-restore ok verified=true"}},
            {"block 2 never stored, left as it is",
             [this] { sim->SetIgnoreBlock(2, Times::Always); },
             kv::IdNo,
             std::nullopt,
             {"The table write failed (entry 16: sent ", "Table write failed: entry 16: sent "},
             {failed}},
            {"unplugged after 10 blocks",
             [this] { sim->HangUpAfterFrames(28 + 10); },
             0,
             std::nullopt,
             {"Table write failed: block 11 of 28 (entries 80..87) got no reply; the device "
              "does not answer"},
             {failed}},
        };
        for (const Row &r : rows) {
            sim->SetTable(oldBytes);
            r.set();
            prompter.clear();
            if (r.answer)
                prompter.AnswerMessage(r.answer);
            ctx->CorrTable = Table(2);
            const std::size_t before = RecordCount();
            WriteWhenEditorShown();
            kvtest::Trigger(*form, "Correctiontable1");
            const auto texts = prompter.messageTexts();
            // The link's own box of a port that went away may come first; ours is the last.
            QVERIFY2(texts.size() >= r.boxes.size(), r.fault);
            for (std::size_t i = 0; i < r.boxes.size(); ++i) {
                const std::string &text = texts[texts.size() - r.boxes.size() + i];
                QVERIFY2(text.rfind(r.boxes[i], 0) == 0,
                         (std::string(r.fault) + ": " + text).c_str());
            }
            if (r.after)
                QCOMPARE(sim->GetTable(), *r.after);
            QCOMPARE(Records(before), r.records);
            sim->SetIgnoreBlock(2, std::nullopt); // the unplug is the last row
        }
        // Each write kept the device's table before it, checked, in a file of its own.
        const auto backups = Backups();
        QCOMPARE(backups.size(), std::size_t(5));
        for (const auto &b : backups)
            QCOMPARE(kvtest::TempDir::Read(b), TableFileText(Table(1)));
    }

    // With "Verify Table Writes" off the write is the plain one: 28 frames, "Done", a record
    // that says it was not read back.
    void plainWriteIsRecordedAsNotReadBack() {
        const std::size_t before = RecordCount();
        WriteWhenEditorShown();
        ctx->CorrTable = Table(2);
        kvtest::Trigger(*form, "Correctiontable1");
        QCOMPARE(prompter.messageTexts(), std::vector<std::string>{"Done"});
        QCOMPARE(sim->FrameCount(), std::size_t(28));
        QCOMPARE(Records(before), std::vector<std::string>{"table-write ok verified=null"});
        QVERIFY(Backups().empty());
    }

    // Closing the main window while a write runs: the checked write stops after the block in
    // flight and puts the old table back, the plain one finishes; the window closes after its
    // message, not before.
    void closingTheWindowDuringAWriteStopsOrFinishesItFirst() {
        struct Row {
            const char *settings;
            bool calibrationWindow; // closed instead of the main window
            CorrTableData after;
            const char *box;
        } rows[] = {
            {"VerifyWrites=1\r\n", false, Table(1),
             "Table write stopped: stopped after 3 of the 28 blocks to write; the device holds "
             "its old table again"},
            {"VerifyWrites=1\r\n", true, Table(1), "Table write stopped: stopped after 3 of"},
            {"", false, Table(2), "Done"},
        };
        for (const Row &r : rows) {
            editor.reset();
            form.reset();
            kv::sim::Options paced;
            paced.baud = 4800; // a write lasts long enough to close the window in it
            sim = std::make_unique<kv::sim::FuseSim>(paced);
            QVERIFY(sim->Start());
            sim->SetTable(kvtest::DeviceBytes(Table(1)));
            Open(r.settings);
            ctx->CorrTable = Table(2);
            TForm2 calibration(*ctx);
            form->UseWindows(&calibration, editor.get(), nullptr, nullptr);
            calibration.show();
            QWidget *closing =
                r.calibrationWindow ? static_cast<QWidget *>(&calibration) : form.get();
            bool closed = false;
            QTimer closer;
            closer.setInterval(1);
            connect(&closer, &QTimer::timeout, [&] {
                if (!closed && sim->FrameCount(0x06) >= 3) {
                    closed = true;
                    closing->close();
                }
            });
            closer.start();
            WriteWhenEditorShown();
            kvtest::Trigger(*form, "Correctiontable1");
            closer.stop();
            QVERIFY2(closed, r.box);
            QVERIFY2(closing->isVisible(), r.box); // held back while the write ran
            QCOMPARE(sim->GetTable(), kvtest::DeviceBytes(r.after));
            const std::string last = prompter.messageTexts().back();
            QVERIFY2(last.rfind(r.box, 0) == 0, last.c_str());
            QTRY_VERIFY2(!closing->isVisible(), r.box);
        }
    }

    // A unit named for the history names the backups; its letters stay readable.
    void backupsOfCheckedWritesAreNamedByTheUnit() {
        Open("VerifyWrites=1\r\n");
        ctx->unit = [] {
            return std::string("SN-\xC3\xBC"
                               "7");
        };
        WriteWhenEditorShown();
        ctx->CorrTable = Table(2);
        kvtest::Trigger(*form, "Correctiontable1");
        const auto backups = Backups();
        QCOMPARE(backups.size(), std::size_t(1));
        const std::string name = std::filesystem::path(backups[0]).filename().string();
        QVERIFY2(name.rfind("SN-u7-", 0) == 0, name.c_str());
    }
};

KORVANE_QTEST_MAIN(ServiceWindowTest)
#include "service_window_test.moc"
