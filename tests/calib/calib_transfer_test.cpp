// "Calc Correction Table" from the grid to the device: the calculated table goes through
// the real editor window and the link to the simulated fuse on a pseudo-terminal.
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "calib/cal_grid.h"
#include "calib/correction_calc.h"
#include "corrtable/table.h"
#include "fake_host.h"
#include "gui/application.h"
#include "gui/calib_window.h"
#include "gui/editor_window.h"
#include "history/outcome_records.h"
#include "scripted_prompter.h"
#include "sim_fixture.h"
#include "temp_dir.h"

using namespace kv::corrtable;

class CalibTransferTest : public QObject {
    Q_OBJECT

    struct Rig {
        kvtest::ScriptedPrompter prompter;
        kvtest::SimFixture sim;
        kvtest::FakeHost host;
        std::unique_ptr<kv::link::Link> link;
        kv::AppContext ctx{prompter, kv::ProgramPaths{"korvane", sim.dir().path()}};
        std::unique_ptr<TForm2> form;
        std::unique_ptr<TForm4> editor;

        Rig() {
            KorvaneApplication::instance()->setPrompter(&prompter);
            kv::link::Timing t;
            t.poll = std::chrono::milliseconds(20);
            t.gap = std::chrono::milliseconds(10);
            t.limit = std::chrono::milliseconds(600);
            link = sim.MakeLink(host, t);
            ctx.link = link.get();
            form = std::make_unique<TForm2>(ctx);
            editor = std::make_unique<TForm4>(ctx);
            form->UseEditor(editor.get());
            form->SetCellText(2, 1, "0.00");
            form->SetCellText(3, 1, "3");
            form->SetCellText(2, 2, "1.00");
            form->SetCellText(3, 2, "90");
        }

        // Runs the calculation; while the editor is shown, inEditor acts in it and must
        // close it.
        void Calculate(const char *multiplier, const char *offset,
                       const std::function<void()> &inEditor) {
            prompter.AnswerInput(multiplier);
            prompter.AnswerInput(offset);
            prompter.AnswerFile(sim.dir().File("corrtbl.epr"), 2);
            QTimer::singleShot(0, editor.get(), inEditor);
            form->CalcCorrectionTable1Click();
        }
        // The editor answers with its Write button or Cancel.
        void Calculate(bool pressWrite) {
            Calculate("85", "0", [this, pressWrite] {
                (pressWrite ? editor->BitBtn2 : editor->BitBtn1)->click();
            });
        }
    };

private slots:
    void writeSendsTheCalculatedTable() {
        Rig rig;
        rig.sim.sim().ClearFrames();
        rig.Calculate(true);
        QCOMPARE(rig.prompter.messageTexts().back(), std::string("Done"));

        kv::calib::CalGrid grid(2);
        grid.SetCell(2, 1, "0.00");
        grid.SetCell(3, 1, "3");
        grid.SetCell(2, 2, "1.00");
        grid.SetCell(3, 2, "90");
        const auto expected = kv::calib::CalcCorrection(kv::calib::CollectPoints(grid, 3), 85, 0);
        const kv::sim::Table stored = rig.sim.sim().GetTable();
        for (int n = 0; n < kCorrections; ++n)
            QCOMPARE(int(stored[static_cast<std::size_t>(n)]),
                     int(ToSignMagnitude(
                         static_cast<std::int8_t>(expected.entries[static_cast<std::size_t>(n)]))));
        QCOMPARE(int(stored[kCheckIndex]), 46);
        QCOMPARE(rig.sim.sim().Frames().size(), std::size_t(28));
    }

    // With "Verify Table Writes" on the calculation's Write is the checked write: "Done" only
    // after the read-back agreed, and the records say what was read back.
    void checkedWriteOfTheCalculationIsRecordedAsReadBack() {
        struct Row {
            const char *fault;
            std::optional<kv::sim::Faults::Times> ignoreBlock2;
            int answer; // to the restore question; 0: none asked
            std::string lastBox;
            std::vector<std::string> records;
        } rows[] = {
            {"none",
             std::nullopt,
             0,
             "Done",
             {"calibration-calc ok", "table-write ok verified=true corrtbl.epr"}},
            {"block 2 not stored once, written again",
             kv::sim::Faults::Times::Once,
             0,
             "Done",
             {"calibration-calc ok", "table-write ok verified=true corrtbl.epr"}},
            {"block 2 never stored, old table back",
             kv::sim::Faults::Times::Always,
             kv::IdYes,
             "Table write failed: entry 16: sent ",
             {"calibration-calc ok", "table-write failed verified=false corrtbl.epr",
              "table-restore ok verified=true"}},
        };
        for (const Row &r : rows) {
            Rig rig;
            rig.ctx.VerifyWrites = true;
            std::vector<std::string> records;
            rig.ctx.record = [&](const kv::history::Entry &e) {
                std::string line = std::string(kv::history::OperationName(e.operation)) +
                                   (e.outcome.ok ? " ok" : " failed");
                if (!kv::json::At(e.data, "verified").is_null())
                    line += std::string(" verified=") +
                            (kv::json::Bool(kv::json::At(e.data, "verified")) ? "true" : "false");
                if (e.operation == kv::history::Operation::TableWrite)
                    line += " " + std::filesystem::path(kv::json::Str(kv::json::At(e.data, "file")))
                                      .filename()
                                      .string();
                records.push_back(line);
            };
            rig.sim.sim().SetIgnoreBlock(2, r.ignoreBlock2);
            if (r.answer)
                rig.prompter.AnswerMessage(r.answer);
            rig.Calculate(true);
            const std::string last = rig.prompter.messageTexts().back();
            QVERIFY2(last.rfind(r.lastBox, 0) == 0, (std::string(r.fault) + ": " + last).c_str());
            QCOMPARE(records, r.records);
        }
    }

    void cancelInTheEditorSendsNothing() {
        Rig rig;
        rig.sim.sim().ClearFrames();
        rig.Calculate(false);
        QVERIFY(rig.sim.sim().Frames().empty());
        QCOMPARE(int(rig.ctx.CorrTable[0]), -3); // loaded all the same
        QCOMPARE(int(rig.ctx.CorrTable[kCheckIndex]), 46);
    }

    // With M = 83 and Z = 8 the check value comes out as 128: the file holds 128, entry 223
    // -128, and the editor's Write refuses it, so the table is not sent from this run.
    void calculatedCheckValue128StopsAtTheEditorsWrite() {
        Rig rig;
        rig.sim.sim().ClearFrames();
        bool openAfterWrite = false;
        rig.Calculate("83", "8", [&] {
            rig.editor->BitBtn2->click();
            openAfterWrite = rig.editor->isVisible();
            rig.editor->BitBtn1->click();
        });
        QVERIFY(openAfterWrite);
        QCOMPARE(rig.prompter.messageTexts().back(),
                 std::string("Invalid value 223:-128! (-127..127)"));
        QVERIFY(kvtest::TempDir::Read(rig.sim.dir().File("corrtbl.epr")).ends_with(" 128"));
        QCOMPARE(int(rig.ctx.CorrTable[kCheckIndex]), -128);
        QVERIFY(rig.sim.sim().Frames().empty());
    }
};

KORVANE_QTEST_MAIN(CalibTransferTest)
#include "calib_transfer_test.moc"
