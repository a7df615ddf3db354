// The windows' unit history against the simulated fuse and a real history file: the unit
// set from the Service menu, the records the main window's operations make, the history
// window and its CSV export, the calibration record's refusals, and a history that cannot
// be written beside the operation that was done.
#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/numbers.h"
#include "app/program_path.h"
#include "fuse_sim.h"
#include "gui/application.h"
#include "gui/calib_window.h"
#include "gui/history_window.h"
#include "gui/main_window.h"
#include "history/recorder.h"
#include "history/render.h"
#include "scripted_prompter.h"
#include "temp_dir.h"
#include "window_rig.h"

namespace hi = kv::history;

class HistoryWindowTest : public QObject, protected kvtest::WindowRig {
    Q_OBJECT

private:
    void Start(const std::string &extraIni = "") {
        MakeWindow(extraIni);
        QVERIFY(form->OpenComPort());
        prompter.clear();
    }
    std::vector<hi::Record> Records() {
        hi::Store store(dir->File("korvane.db"));
        hi::QueryResult r = store.Read({});
        if (!r.status)
            qWarning("%s", r.status.message.c_str());
        return r.records;
    }
    bool LogHas(const std::string &part) const {
        for (const std::string &l : form->LogLinesShown())
            if (l.find(part) != std::string::npos)
                return true;
        return false;
    }
    void SetUnit(const std::string &typed) {
        prompter.AnswerInput(typed);
        kvtest::Trigger(*form, "Unit1");
    }

private slots:
    void init() { StartFuse(); }
    void cleanup() { CloseAll(); }

    void operationsAreRecordedUnderTheUnitSet() {
        Start();
        kvtest::Named<QAction>(*form, "GetLastValues1")
            ->trigger(); // before any unit: recorded without one
        QCOMPARE(kvtest::Named<QAction>(*form, "Unit1")->text(), QString("Unit..."));

        SetUnit(" SN-7\t"); // as a scanner types it
        QCOMPARE(kvtest::Named<QAction>(*form, "Unit1")->text(), QString("Unit: SN-7..."));
        const QByteArray shots = qgetenv("KORVANE_SCREENSHOT_DIR");
        if (!shots.isEmpty()) {
            form->show();
            QVERIFY(QTest::qWaitForWindowExposed(form.get()));
            kvtest::Named<QMenu>(*form, "Service1")->popup(form->mapToGlobal(QPoint(0, 0)));
            QVERIFY(QTest::qWaitForWindowExposed(kvtest::Named<QMenu>(*form, "Service1")));
            QVERIFY(kvtest::Named<QMenu>(*form, "Service1")
                        ->grab()
                        .save(QString::fromLocal8Bit(shots) + "/service_menu_unit.png"));
            kvtest::Named<QMenu>(*form, "Service1")->hide();
        }
        SetUnit("SN\t8"); // refused: the unit stays
        QCOMPARE(prompter.messageTexts().back().rfind("Not a serial number: ", 0), 0u);
        QCOMPARE(kvtest::Named<QAction>(*form, "Unit1")->text(), QString("Unit: SN-7..."));

        struct Row {
            std::function<void()> act;
            const char *operation;
        };
        const std::vector<Row> rows = {
            {[&] { kvtest::Named<QPushButton>(*form, "BitBtn2")->click(); }, "params-read"},
            {[&] { kvtest::Trigger(*form, "GetLastStoredValues1"); }, "status-read"},
            {[&] {
                 prompter.AnswerMessage(kv::IdYes);
                 kvtest::Named<QPushButton>(*form, "BitBtn3")->click();
             },
             "relay"},
            {[&] { kvtest::Named<QPushButton>(*form, "BitBtn4")->click(); }, "current-read"},
            {[&] { kvtest::Trigger(*form, "CalcCRC1"); }, "params-crc"},
            {[&] { kvtest::Trigger(*form, "VerifyCorrectionTable1"); }, "table-verify"},
            {[&] {
                 prompter.AnswerFile(dir->File("backup.epr"));
                 kvtest::Trigger(*form, "BackUpDeviceTable1");
             },
             "table-backup"},
            {[&] {
                 kvtest::Named<QLineEdit>(*form, "fusecurrent")->setText("42");
                 prompter.AnswerMessage(kv::IdYes);
                 kvtest::Named<QPushButton>(*form, "BitBtn1")->click();
             },
             "params-send"},
            {[&] {
                 prompter.AnswerMessage(kv::IdYes);
                 kvtest::Trigger(*form, "Restart1");
             },
             "restart"},
        };
        for (const Row &row : rows) {
            const std::size_t before = Records().size();
            row.act();
            const std::vector<hi::Record> recs = Records();
            QCOMPARE(recs.size(), before + 1);
            QCOMPARE(recs.back().operation, std::string(row.operation));
            QVERIFY2(recs.back().ok, recs.back().message.c_str());
            QCOMPARE(recs.back().unit, std::string("SN-7"));
            QCOMPARE(recs.back().port, sim->PortPath());
            QCOMPARE(recs.back().info, kv::Trim(sim->InfoText()));
        }
        const std::vector<hi::Record> recs = Records();
        QCOMPARE(recs.front().unit, std::string());
        QCOMPARE(recs.front().info, std::string()); // no exchange made for it
        const hi::Record &send = recs[recs.size() - 2];
        QVERIFY(!send.data["before"].is_null()); // read before sending, for a named unit
        QCOMPARE(send.data["sent"]["fuse_current"].get<long long>(), 42);
    }

    void calculationInTheCalibrationWindowIsRecorded() {
        Start();
        SetUnit("SN-5");
        TForm2 graph(*ctx); // no table editor: the calculation ends with the saved file
        const std::string sav = dir->File("cal.sav"), epr = dir->File("corrtbl.epr");
        kvtest::TempDir::Write(sav, "0.00\r\n3\r\n\r\n1.00\r\n90\r\n\r\n");
        prompter.AnswerFile(sav);
        graph.Load1Click();
        struct Row {
            std::optional<std::string> file; // the save dialog's answer
            bool ok;
        };
        for (const Row &row : {Row{epr, true}, Row{std::nullopt, false}}) {
            prompter.AnswerInput("85");
            prompter.AnswerInput("0");
            prompter.AnswerFile(row.file);
            graph.CalcCorrectionTable1Click();
            const hi::Record rec = Records().back();
            QCOMPARE(rec.operation, std::string("calibration-calc"));
            QCOMPARE(rec.unit, std::string("SN-5"));
            QCOMPARE(rec.ok, row.ok);
            QCOMPARE(rec.data["points"].size(), std::size_t(2));
            QCOMPARE(rec.data["multiplier"].get<long long>(), 85);
            QCOMPARE(rec.data["file"].get<std::string>(), row.file ? epr : std::string());
        }
        QCOMPARE(Records().back().message, std::string("the table file was not saved"));
    }

    void historyWindowListsNewestFirstAndExports() {
        Start();
        kvtest::Trigger(*form, "GetLastValues1");
        SetUnit("SN-7");
        kvtest::Named<QPushButton>(*form, "BitBtn2")->click();
        prompter.AnswerMessage(kv::IdYes);
        kvtest::Named<QPushButton>(*form, "BitBtn3")->click();

        THistoryWindow w(*ctx, form->history().store(), "SN-7");
        QVERIFY(!w.allUnits->isChecked());
        QCOMPARE(w.table->rowCount(), 2);
        QCOMPARE(w.table->item(0, 2)->text(), QString("relay"));
        QCOMPARE(w.table->item(1, 2)->text(), QString("params-read"));
        QCOMPARE(w.table->item(0, 3)->text(), QString("ok"));
        w.table->selectRow(1);
        QVERIFY(w.data->toPlainText().contains("\"operation\":\"params-read\""));
        QVERIFY(w.data->toPlainText().contains("Parameters read"));
        w.allUnits->setChecked(true);
        QCOMPARE(w.table->rowCount(), 3);
        QCOMPARE(w.table->item(2, 1)->text(), QString("-"));

        const std::string csv = dir->File("out.csv");
        prompter.AnswerFile(csv);
        w.exportCsv->click();
        QCOMPARE(kvtest::TempDir::Read(csv), hi::Render(w.records(), hi::ListingFormat::Csv));
        QCOMPARE(prompter.prompts().back().dialog.fileName, std::string("history.csv"));

        const QByteArray shots = qgetenv("KORVANE_SCREENSHOT_DIR");
        if (!shots.isEmpty()) {
            w.table->selectRow(0);
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            QVERIFY(w.grab().save(QString::fromLocal8Bit(shots) + "/history_window.png"));
        }
    }

    void calibrationRecordRefusesWithItsReason() {
        Start();
        kvtest::Trigger(*form, "CalibrationRecord1");
        QCOMPARE(prompter.messageTexts().back(),
                 std::string("Set the unit first (Service > Unit...)"));
        SetUnit("SN-9");
        kvtest::Named<QPushButton>(*form, "BitBtn2")->click();
        kvtest::Trigger(*form, "CalibrationRecord1");
        QCOMPARE(prompter.messageTexts().back(),
                 std::string("Unit SN-9 has no calibration in the history"));
        for (const kvtest::Prompt &p : prompter.prompts())
            QVERIFY(p.kind != kvtest::Prompt::Kind::File); // no file offered
    }

    void historyThatCannotBeWrittenIsLoggedBesideTheResult() {
        const std::string db = dir->File("no-such-folder/korvane.db");
        Start("HistoryDb=" + db + "\r\n");
        sim->ClearFrames();
        kvtest::Named<QPushButton>(*form, "BitBtn2")->click();
        QCOMPARE(kvtest::Named<QLineEdit>(*form, "fusecurrent")->text(),
                 QString("99")); // the operation's own result
        QCOMPARE(sim->Frames().size(), std::size_t(1));
        QVERIFY(LogHas("Cannot write the history " + db + ": "));
        QVERIFY(prompter.messageTexts().empty()); // a log line, no box
    }
};

KORVANE_QTEST_MAIN(HistoryWindowTest)
#include "app_history_window_test.moc"
