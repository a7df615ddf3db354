// The windows' shared history against the simulated fuse and a real PostgreSQL server: the
// forwarder thread sends what the main window records, the Unit History window reads this
// station's or all stations' records and shows what waits, and Service > "Shared
// History..." tests, clears and saves the connection string, its password masked.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <memory>

#include "gui/application.h"
#include "gui/history_window.h"
#include "gui/main_window.h"
#include "gui/shared_history_dialog.h"
#include "history/background_forwarder.h"
#include "history/forwarder.h"
#include "history/record_data.h"
#include "history/recorder.h"
#include "pg_server.h"
#include "window_rig.h"

namespace hi = kv::history;

class SharedHistoryWindowTest : public QObject, protected kvtest::WindowRig {
    Q_OBJECT

    std::unique_ptr<kvtest::PgServer> pg;

    // The shared records; -1 before the forwarder has made the table.
    long long Count() {
        try {
            return std::stoll(pg->Query("SELECT count(*) FROM korvane_record")[0][0]);
        } catch (const std::runtime_error &) {
            return -1;
        }
    }

private slots:
    void initTestCase() { pg = std::make_unique<kvtest::PgServer>(); }
    void cleanupTestCase() { pg.reset(); }
    void init() {
        pg->Query("DROP TABLE IF EXISTS korvane_record, korvane_schema");
        StartFuse();
    }
    void cleanup() { CloseAll(); }

    void recordsAreForwardedAndAllStationsRead() {
        MakeWindow("SharedHistory=" + pg->Uri() + "\r\n");
        QVERIFY(form->OpenComPort());
        prompter.AnswerInput("SN-11");
        kvtest::Trigger(*form, "Unit1");
        kvtest::Named<QPushButton>(*form, "BitBtn2")
            ->click(); // Get Data, recorded, then sent by the forwarder thread
        QTRY_COMPARE_WITH_TIMEOUT(Count(), 1LL, 15000);

        // Another station's record of the unit, forwarded from its own file.
        {
            hi::Context other = hi::DefaultContext();
            other.station = "bench-9";
            other.unit = "SN-11";
            hi::Store file(dir->File("other.db"));
            hi::Record r = hi::MakeRecord(other, hi::RelayData{true}, {});
            QVERIFY(file.Append(r));
            hi::SharedStore shared(pg->Uri());
            QVERIFY(hi::Forward(file, shared).status);
        }
        hi::BackgroundForwarder forwarder(form->history().store().Path(), pg->Uri());
        QTRY_VERIFY_WITH_TIMEOUT(forwarder.Snapshot().passes > 0, 15000);
        THistoryWindow w(*ctx, form->history().store(), "SN-11", pg->Uri(), &forwarder);
        QVERIFY(!w.stations->isHidden());
        QCOMPARE(w.table->rowCount(), 1);
        w.stations->setCurrentIndex(1); // All stations
        QCOMPARE(w.table->rowCount(), 2);
        QCOMPARE(w.table->item(0, 5)->text(), QString("bench-9"));
        w.ShowWaiting();
        QCOMPARE(w.waiting->text(), QString("All records sent to the shared history."));

        // Without a shared history the choice is not offered.
        THistoryWindow plain(*ctx, form->history().store(), "SN-11");
        QVERIFY(plain.stations->isHidden());
        QVERIFY(plain.waiting->isHidden());
    }

    void dialogTestsClearsAndSaves() {
        MakeWindow();
        TSharedHistoryDialog d(pg->Uri("Wrong-pw-Q81"));
        d.test->click();
        QVERIFY(d.result->text().contains("password authentication failed"));
        QVERIFY(d.result->text().contains("korvane:****@"));
        QVERIFY(!d.result->text().contains("Wrong-pw-Q81"));
        d.conninfo->setText(QString::fromStdString(pg->Uri()));
        d.test->click();
        QVERIFY2(d.result->text().startsWith("Connected to postgresql://korvane:****@"),
                 qPrintable(d.result->text()));
        d.clear->click();
        QVERIFY(d.conninfo->text().isEmpty());

        // The menu item: what the dialog is given is saved, and forwarding starts.
        QTimer::singleShot(0, [&] {
            auto *dlg = qobject_cast<TSharedHistoryDialog *>(QApplication::activeModalWidget());
            QVERIFY(dlg);
            dlg->conninfo->setText(QString::fromStdString(pg->Uri()));
            dlg->accept();
        });
        kvtest::Trigger(*form, "SharedHistory1");
        QVERIFY(kvtest::TempDir::Read(iniFile()).find("SharedHistory=" + pg->Uri()) !=
                std::string::npos);
        QVERIFY(form->OpenComPort());
        kvtest::Named<QPushButton>(*form, "BitBtn2")->click();
        QTRY_COMPARE_WITH_TIMEOUT(Count(), 1LL, 15000);
    }
};

KORVANE_QTEST_MAIN(SharedHistoryWindowTest)
#include "app_shared_history_test.moc"
