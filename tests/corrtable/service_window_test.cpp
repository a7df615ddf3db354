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
#include <memory>

#include "corrtable/table_file.h"
#include "corrtable/verified_write.h"
#include "fuse_sim.h"
#include "gui/application.h"
#include "gui/editor_window.h"
#include "gui/main_window.h"
#include "scripted_prompter.h"
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

kv::sim::Table DeviceBytes(const CorrTableData &t) {
    kv::sim::Table out{};
    for (int n = 0; n < kEntries; ++n)
        out[static_cast<std::size_t>(n)] = DeviceByte(t, n);
    return out;
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
        sim->SetTable(DeviceBytes(Table(1)));
        Open();
    }

    void cleanup() {
        editor.reset();
        CloseAll();
    }

    void itemsComeAfterASeparatorAtTheEndOfService() {
        const QList<QAction *> items = form->Service1->actions();
        QVERIFY(items.size() >= 4);
        QVERIFY(items[items.size() - 4]->isSeparator());
        QCOMPARE(items.back(), form->VerifyTableWrites1);
        QCOMPARE(form->VerifyCorrectionTable1->text(), QString("Verify Correction Table"));
        QCOMPARE(form->BackUpDeviceTable1->text(), QString("Back Up Device Table..."));
        QVERIFY(!form->VerifyTableWrites1->isChecked());

        const QString shots = qEnvironmentVariable("KORVANE_SCREENSHOT_DIR");
        if (shots.isEmpty())
            return;
        form->VerifyTableWrites1->setChecked(true);
        form->Service1->popup(form->mapToGlobal(QPoint(0, 0)));
        QVERIFY(form->Service1->grab().save(shots + "/service-menu-table-items.png"));
        form->Service1->hide();
    }

    void verifyComparesTheDeviceWithTheEditorsTable() {
        struct Row {
            int changed; // entry of the editor's table changed, -1: none
            std::string box;
        } rows[] = {
            {-1, kDeviceTableMatches},
            {3, "Device table differs in 1 entries (device -> editor):\n3: -17 -> 40"},
        };
        for (const Row &r : rows) {
            ctx->CorrTable = Table(1);
            if (r.changed >= 0)
                ctx->CorrTable[static_cast<std::size_t>(r.changed)] = 40;
            prompter.clear();
            form->VerifyCorrectionTable1->trigger();
            QCOMPARE(prompter.messageTexts(), std::vector<std::string>{r.box});
        }
        QCOMPARE(sim->FrameCount(0x06), std::size_t(0));
    }

    void backUpSavesTheDeviceTableUnderThePortAndTime() {
        const std::string file = dir->File("saved.epr");
        prompter.AnswerFile(file);
        form->BackUpDeviceTable1->trigger();
        QCOMPARE(kvtest::TempDir::Read(file), TableFileText(Table(1)));
        const auto dialog = prompter.prompts().at(0).dialog;
        QCOMPARE(dialog.initialDir, DefaultBackupDir(dir->path()));
        const std::string port = std::filesystem::path(sim->PortPath()).filename().string();
        QVERIFY2(dialog.fileName.rfind(port + "-", 0) == 0, dialog.fileName.c_str());
        QVERIFY(dialog.fileName.ends_with("Z.epr"));
    }

    void verifyTableWritesIsKeptInTheSettings() {
        form->VerifyTableWrites1->trigger();
        QVERIFY(ctx->VerifyWrites);
        QVERIFY(kvtest::TempDir::Read(dir->File("korvane.ini")).find("VerifyWrites=1") !=
                std::string::npos);
        Open("VerifyWrites=1\r\n");
        QVERIFY(form->VerifyTableWrites1->isChecked());
        QVERIFY(ctx->VerifyWrites);
    }

    void checkedWriteOffersTheBackupAfterAWrongReadBack() {
        Open("VerifyWrites=1\r\n");
        struct Row {
            const char *fault;
            int answer;
            kv::sim::Table after;
            std::string lastBox;
        } rows[] = {
            {"none", kv::IdNo, DeviceBytes(Table(2)), "Done"},
            {"block 2 not stored, backup written back", kv::IdYes, DeviceBytes(Table(1)),
             "The device holds its old table again (backup "},
            {"block 2 not stored, left as it is", kv::IdNo, {}, "The device's table differs"},
        };
        for (const Row &r : rows) {
            sim->SetTable(DeviceBytes(Table(1)));
            sim->SetIgnoreBlock(2, r.fault == std::string("none") ? std::nullopt
                                                                  : std::optional(Times::Always));
            prompter.clear();
            prompter.AnswerMessage(kv::IdOk);
            prompter.AnswerMessage(r.answer);
            ctx->CorrTable = Table(2);
            WriteWhenEditorShown();
            form->Correctiontable1Click();
            const auto texts = prompter.messageTexts();
            QVERIFY2(!texts.empty() && texts.back().rfind(r.lastBox, 0) == 0, r.fault);
            QCOMPARE(texts.front(), std::string("Done"));
            if (r.answer == kv::IdYes || std::string(r.fault) == "none")
                QCOMPARE(sim->GetTable(), r.after);
            if (std::string(r.fault) != "none")
                QVERIFY(texts[1].find("entry 16: sent") != std::string::npos);
        }
        // Each write kept the device's table before it.
        const auto backups = Backups();
        QCOMPARE(backups.size(), std::size_t(3));
        for (const auto &b : backups)
            QCOMPARE(kvtest::TempDir::Read(b), TableFileText(Table(1)));
    }
};

KORVANE_QTEST_MAIN(ServiceWindowTest)
#include "service_window_test.moc"
