// The main window's table commands against the simulated fuse on a pseudo-terminal: the
// editor shown modally between reading and writing, and the include-file generator.
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

#include "corrtable/include_file.h"
#include "corrtable/table_file.h"
#include "fuse_sim.h"
#include "gui/application.h"
#include "gui/editor_window.h"
#include "gui/main_window.h"
#include "link/link.h"
#include "scripted_prompter.h"
#include "temp_dir.h"
#include "window_rig.h"

using namespace kv::corrtable;

class TableWindowTest : public QObject, protected kvtest::WindowRig {
    Q_OBJECT

private:
    std::unique_ptr<TForm4> editor;
    int editorShown = 0;

    // Runs action once the editor is up as the modal window, then lets it close.
    void WhenEditorShown(std::function<void(TForm4 &)> action) {
        QTimer::singleShot(10, editor.get(), [this, action] {
            if (QApplication::activeModalWidget() != editor.get()) {
                WhenEditorShown(action);
                return;
            }
            ++editorShown;
            action(*editor);
        });
    }

    std::vector<kv::sim::Frame> Frames() const { return sim->Frames(); }

private slots:
    void init() {
        StartFuse();
        MakeWindow();
        editor = std::make_unique<TForm4>(*ctx);
        form->UseWindows(nullptr, editor.get(), nullptr, nullptr);
        form->show();
        QVERIFY(form->OpenComPort());
        sim->ClearFrames();
        prompter.clear();
        editorShown = 0;
    }

    void cleanup() {
        editor.reset();
        CloseAll();
    }

    void writeThenCancelSendsNothing() {
        ctx->CorrTable[0] = 5;
        QString shown;
        WhenEditorShown([&](TForm4 &e) {
            shown = e.Edit[0]->text();
            e.BitBtn1->click();
        });
        kvtest::Trigger(*form, "Correctiontable1");
        QCOMPARE(editorShown, 1);
        QCOMPARE(shown, QString("5"));
        QVERIFY(Frames().empty());
        QVERIFY(prompter.prompts().empty());
    }

    void editorIsCentredOnTheMainWindow() {
        form->setGeometry(100, 80, 900, 700);
        QPoint editorCentre;
        WhenEditorShown([&](TForm4 &e) {
            editorCentre = e.frameGeometry().center();
            e.BitBtn1->click();
        });
        kvtest::Trigger(*form, "Correctiontable1");
        QVERIFY((editorCentre - form->frameGeometry().center()).manhattanLength() <= 2);
    }

    void readShowsTheDeviceTableAndWritesItBack() {
        kv::sim::Table device{};
        device[0] = 0x81;
        device[1] = 0x7F;
        device[150] = 0x90;
        device[223] = 0xC8;
        sim->SetTable(device);
        QStringList shown;
        WhenEditorShown([&](TForm4 &e) {
            for (int n : {0, 1, 150, 223})
                shown << e.Edit[static_cast<std::size_t>(n)]->text();
            e.Edit[2]->setText("3");
            e.BitBtn2->click();
        });
        kvtest::Trigger(*form, "ReadCorrectionTable1");
        QCOMPARE(editorShown, 1);
        QCOMPARE(shown, (QStringList{"-1", "127", "-16", "-56"}));
        // The blocks read show in hexadecimal (the last one is still in the pane).
        const auto lines = form->LogLinesShown();
        QVERIFY(std::find(lines.begin(), lines.end(), "R: 00 00 00 00 00 00 00 C8 0D 0A") !=
                lines.end());
        QCOMPARE(prompter.messageTexts(), std::vector<std::string>{"Done"});
        device[2] = 3;
        QCOMPARE(sim->GetTable(), device);
        QCOMPARE(Frames().size(), std::size_t(56));
    }

    void readFromADeviceThatStopsAnswering() {
        kv::sim::Table device{};
        device.fill(0x02);
        sim->SetTable(device);
        sim->SetTableSilentFrom(5);
        ctx->CorrTable.fill(9);
        QStringList shown;
        WhenEditorShown([&](TForm4 &e) {
            for (int n : {39, 40, 223})
                shown << e.Edit[static_cast<std::size_t>(n)]->text();
            e.BitBtn1->click();
        });
        kvtest::Trigger(*form, "ReadCorrectionTable1");
        QCOMPARE(editorShown, 1);
        QCOMPARE(shown, (QStringList{"2", "0", "0"}));
        QCOMPARE(ctx->CorrTable[39], 2);
        QCOMPARE(ctx->CorrTable[40], 0);
        QCOMPARE(ctx->CorrTable[256], 0);
        QCOMPARE(Frames().size(), std::size_t(6));
        QVERIFY(prompter.prompts().empty());
    }

    void generatorUsesTheEditorsLoader() {
        kvtest::TempDir::Write(dir->File("corrtbl.epr"), "-1 5 x");
        ctx->CorrTable[0] = 42;
        editor->ShowTable();
        editor->Edit[0]->setText("7");
        kvtest::Trigger(*form, "GenerateCORRTABLEINCFile1");
        const std::string out = dir->File("corrtable.inc");
        QCOMPARE(prompter.messageTexts(),
                 (std::vector<std::string>{"'x' is not a valid integer value",
                                           "File " + out + " created!"}));
        CorrTableData expected{};
        expected[0] = -1;
        expected[1] = 5;
        QCOMPARE(kvtest::TempDir::Read(out), IncludeFileText(expected));
        // The generator's table is its own: CorrTable is untouched, the fields show it.
        QCOMPARE(ctx->CorrTable[0], 42);
        QCOMPARE(editor->Edit[0]->text(), QString("42"));
    }
};

KORVANE_QTEST_MAIN(TableWindowTest)
#include "window_test.moc"
