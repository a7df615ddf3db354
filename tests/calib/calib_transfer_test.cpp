// "Calc Correction Table" from the grid to the device: the calculated table goes through
// the real editor window and the link to the simulated fuse on a pseudo-terminal.
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

#include "calib/cal_grid.h"
#include "calib/correction_calc.h"
#include "corrtable/table.h"
#include "fake_host.h"
#include "gui/application.h"
#include "gui/calib_window.h"
#include "gui/editor_window.h"
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
            t.pollMs = 20;
            t.gapMs = 10;
            t.limitMs = 600;
            link = sim.MakeLink(host, t);
            ctx.link = link.get();
            form = std::make_unique<TForm2>(ctx);
            editor = std::make_unique<TForm4>(ctx);
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
