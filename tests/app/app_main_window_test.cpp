// The main window: its layout, menus and names, what its creation reads, the log pane, the
// field hints, "All Data Change", the close query, and the program and port commands
// against the simulated fuse on a pseudo-terminal.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QSizeGrip>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/errors.h"
#include "fake_sysfs.h"
#include "gui/adc_calculator_window.h"
#include "gui/application.h"
#include "gui/calib_window.h"
#include "gui/editor_window.h"
#include "gui/last_adc_window.h"
#include "gui/main_window.h"
#include "gui/port_dialog.h"
#include "gui/startup.h"
#include "link/link.h"
#include "scripted_prompter.h"
#include "temp_dir.h"
#include "window_rig.h"

using Lines = std::vector<std::string>;

namespace {

constexpr const char *kHeader = "Date       Time      ADC  Hi  Lo  Zo Mul   Volt   Curr Relay\r\n";

QString ScreenshotDir() {
    return qEnvironmentVariable("KORVANE_SCREENSHOT_DIR");
}

} // namespace

class MainWindowTest : public QObject, protected kvtest::WindowRig {
    Q_OBJECT

private:
    std::unique_ptr<TForm2> form2;

    std::string adcFile() const { return dir->File("korvane.adc"); }

    // The main window on a settings file with these lines (none: no file at all).
    void Start(const char *iniLines = "AutoOpen=0\r\n", bool withForm2 = false) {
        if (iniLines)
            kvtest::TempDir::Write(iniFile(), std::string("[init]\r\n") + iniLines);
        MakeWindowIn(programDir);
        if (withForm2) {
            form2 = std::make_unique<TForm2>(*ctx);
            form->UseWindows(form2.get(), nullptr, nullptr, nullptr);
        }
    }

    void ShowActive() {
        form->show();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }

private slots:
    void init() { StartFolder(); }

    void cleanup() {
        form2.reset();
        CloseAll();
    }

    void captionSizesAndFont() {
        Start();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QCOMPARE(form->windowTitle(), QString("Korvane"));
        // The client area below the menu bar: the panel, the log pane and the status bar.
        QCOMPARE(form->centralWidget()->width(), 492);
        QCOMPARE(form->centralWidget()->height() +
                     kvtest::Named<QStatusBar>(*form, "sb1")->height(),
                 396);
        QCOMPARE(kvtest::Named(*form, "Panel1")->height(), 191);
        QVERIFY(form->minimumWidth() >= 492 && form->minimumWidth() <= 500);
        QVERIFY(form->minimumHeight() > 0 && form->minimumHeight() <= 300);
        QCOMPARE(form->font().family(), QString("Courier New"));
        QCOMPARE(form->font().pixelSize(), 16);
        QVERIFY(form->font().bold());
        QVERIFY(QFontInfo(kvtest::Named<QLineEdit>(*form, "fusecurrent")->font()).fixedPitch());
    }

    void fieldsButtonsAndTabOrder() {
        Start();
        const struct {
            const char *name;
            const char *label;
        } fields[] = {
            {"fusecurrent", "Fuse current (A x10)"}, {"zerooffset", "Zero offset (ADC div)"},
            {"overloadtimer", "Overload time (ms)"}, {"multiply", "I to ADC multiply"},
            {"avgi", "Current measure count"},
        };
        for (const auto &f : fields) {
            auto *e = form->findChild<QLineEdit *>(f.name);
            QVERIFY2(e, f.name);
            auto *l = form->findChild<QLabel *>(QString(f.name) + "Label");
            QVERIFY2(l, f.name);
            QCOMPARE(l->text(), QString(f.label));
            QCOMPARE(l->buddy(), e);
        }
        QCOMPARE(form->findChild<QCheckBox *>("average")->text(), QString("Use average current"));
        QCOMPARE(form->findChild<QCheckBox *>("vref")->text(), QString("Use voltage reference"));
        const std::pair<const char *, const char *> buttons[] = {{"BitBtn1", "Send Data"},
                                                                 {"BitBtn2", "Get Data"},
                                                                 {"BitBtn3", "Relay"},
                                                                 {"BitBtn4", "Get Current"}};
        for (const auto &[name, caption] : buttons) {
            auto *b = form->findChild<QPushButton *>(name);
            QVERIFY2(b, name);
            QCOMPARE(b->text(), QString(caption));
        }

        // Tab moves through the fields, the check boxes and the buttons in this order.
        const QStringList order = {"fusecurrent", "zerooffset", "overloadtimer", "multiply",
                                   "avgi",        "average",    "vref",          "BitBtn1",
                                   "BitBtn2",     "BitBtn3",    "BitBtn4"};
        ShowActive();
        kvtest::Named<QLineEdit>(*form, "fusecurrent")->setFocus(Qt::TabFocusReason);
        QStringList seen;
        for (int i = 0; i < order.size(); ++i) {
            seen << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(seen, order);

        auto *m = form->findChild<QPlainTextEdit *>("m");
        QVERIFY(m);
        QVERIFY(m->isReadOnly());
        QCOMPARE(m->lineWrapMode(), QPlainTextEdit::NoWrap);
        QCOMPARE(m->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(m->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QVERIFY(form->findChild<QStatusBar *>("sb1"));
        QCOMPARE(kvtest::Named<QLabel>(*form, "sb1Panel0")->width(), 100);
        QVERIFY(kvtest::Named<QLabel>(*form, "sb1Panel1")->width() >= 50);
        auto *t = form->findChild<QTimer *>("Timer1");
        QVERIFY(t);
        QVERIFY(!t->isActive());
        QCOMPARE(t->interval(), 1000);
    }

    void menusCaptionsSeparatorsAndShortcuts() {
        Start();
        struct Item {
            const char *name; // "-" for a separator
            const char *caption;
            const char *shortcut;
        };
        const std::vector<std::pair<QString, std::vector<Item>>> menus = {
            {"Program", {{"About1", "About", ""}, {"Exit1", "Exit", ""}}},
            {"Device",
             {{"Open1", "Open COM port", ""},
              {"Close1", "Close COM port", ""},
              {"-", "", ""},
              {"Info1", "Info", "Ctrl+I"},
              {"Enabletimer1", "Get Current - Timer", "Ctrl+Alt+T"},
              {"SetCurrentTimerInterval1", "Set Interval (Get Current - Timer)", ""},
              {"LastADCmeasure1", "Last ADC measure", ""},
              {"GetLastValues1", "Get Last Values", "Ctrl+L"},
              {"GetLastStoredValues1", "Get Last Stored Values", "Ctrl+Alt+L"},
              {"CalcCRC1", "Calc CRC", ""},
              {"-", "", ""},
              {"Restart1", "ReStart", ""}}},
            {"Data",
             {{"AllDataChange1", "All Data Change", ""},
              {"-", "", ""},
              {"data1", "Graph", "Ctrl+G"},
              {"Correctiontable1", "Write Correction Table", ""},
              {"ReadCorrectionTable1", "Read Correction Table", ""},
              {"GenerateCORRTABLEINCFile1", "Generate CORRTABLE.INC File", ""},
              {"-", "", ""},
              {"Calc1", "Calc ADC", ""}}},
            {"Service",
             {{"Port1", "Port...", ""},
              {"Unit1", "Unit...", ""},
              {"UnitHistory1", "Unit History", ""},
              {"CalibrationRecord1", "Calibration Record...", ""},
              {"SharedHistory1", "Shared History...", ""},
              {"-", "", ""},
              {"VerifyCorrectionTable1", "Verify Correction Table", ""},
              {"BackUpDeviceTable1", "Back Up Device Table...", ""},
              {"VerifyTableWrites1", "Verify Table Writes", ""},
              {"-", "", ""},
              {"CurrentPlot1", "Current Plot", ""},
              {"TimestampsInLog1", "Timestamps in Log", ""},
              {"SaveLog1", "Save Log...", ""}}},
        };
        const QList<QAction *> top = form->menuBar()->actions();
        QCOMPARE(int(top.size()), int(menus.size()));
        for (std::size_t i = 0; i < menus.size(); ++i) {
            QCOMPARE(top[int(i)]->text(), menus[i].first);
            const QList<QAction *> items = top[int(i)]->menu()->actions();
            QCOMPARE(int(items.size()), int(menus[i].second.size()));
            for (std::size_t j = 0; j < std::size_t(items.size()); ++j) {
                const Item &want = menus[i].second[j];
                QAction *a = items[int(j)];
                if (QString(want.name) == "-") {
                    QVERIFY(a->isSeparator());
                    continue;
                }
                QCOMPARE(a->objectName(), QString(want.name));
                QCOMPARE(form->findChild<QAction *>(want.name), a);
                QCOMPARE(a->text(), QString(want.caption));
                QCOMPARE(a->shortcut(), QKeySequence(QString(want.shortcut)));
                if (QString(want.name) == "AllDataChange1" ||
                    QString(want.name) == "TimestampsInLog1")
                    QVERIFY(a->isCheckable());
            }
        }
    }

    // No settings file: every default, the file is not created, the current log gets its
    // header line; an existing current log is left alone.
    void creationWithoutSettingsFile() {
        Start(nullptr);
        QCOMPARE(kvtest::Named<QLineEdit>(*form, "fusecurrent")->text(), QString("99"));
        QCOMPARE(kvtest::Named<QLineEdit>(*form, "zerooffset")->text(), QString("0"));
        QCOMPARE(kvtest::Named<QLineEdit>(*form, "overloadtimer")->text(), QString("0"));
        QCOMPARE(kvtest::Named<QLineEdit>(*form, "multiply")->text(), QString("10"));
        QCOMPARE(kvtest::Named<QLineEdit>(*form, "avgi")->text(), QString("20"));
        QVERIFY(!kvtest::Named<QCheckBox>(*form, "average")->isChecked() &&
                !kvtest::Named<QCheckBox>(*form, "vref")->isChecked());
        QVERIFY(kvtest::Named<QAction>(*form, "AllDataChange1")->isChecked());
        QVERIFY(kvtest::Named<QLineEdit>(*form, "zerooffset")->isEnabled() &&
                kvtest::Named<QCheckBox>(*form, "vref")->isEnabled());
        QCOMPARE(ctx->RefVoltage, 1.8);
        QCOMPARE(ctx->Voltage, 5.0);
        QCOMPARE(ctx->GridLines, 15);
        QCOMPARE(form->commState().LogLines, 100);
        QCOMPARE(form->commState().TimerInterval, 5);
        QVERIFY(form->commState().AutoOpen);
        QVERIFY(form->commState().AutoSaveData);
        QVERIFY(!std::filesystem::exists(iniFile()));
        QCOMPARE(kvtest::TempDir::Read(adcFile()), std::string(kHeader));
        QVERIFY(form->LogLinesShown().empty());

        form.reset();
        kvtest::TempDir::Write(adcFile(), "existing records\r\n");
        Start();
        QCOMPARE(kvtest::TempDir::Read(adcFile()), std::string("existing records\r\n"));
    }

    void creationReadsTheSettings() {
        Start("AutoOpen=0\r\nRefVoltage=2.048\r\nVoltage=3.3\r\nGridLines=30\r\nTimer=-5\r\n"
              "FuseCurrent=0x0C\r\nZeroOffset=3\r\nOverloadTimer=200\r\n"
              "ADCcurrentMultiply=85\r\nUseAverage=1\r\nUseVref=2\r\nMeasureCount=7\r\n"
              "AutoSaveData=0\r\nLogLines=-3\r\n");
        QCOMPARE(kvtest::Named<QLineEdit>(*form, "fusecurrent")->text(),
                 QString("12")); // written back as decimal
        QCOMPARE(kvtest::Named<QLineEdit>(*form, "zerooffset")->text(), QString("3"));
        QCOMPARE(kvtest::Named<QLineEdit>(*form, "overloadtimer")->text(), QString("200"));
        QCOMPARE(kvtest::Named<QLineEdit>(*form, "multiply")->text(), QString("85"));
        QCOMPARE(kvtest::Named<QLineEdit>(*form, "avgi")->text(), QString("7"));
        QVERIFY(kvtest::Named<QCheckBox>(*form, "average")->isChecked() &&
                kvtest::Named<QCheckBox>(*form, "vref")->isChecked());
        QCOMPARE(ctx->RefVoltage, 2.048);
        QCOMPARE(ctx->Voltage, 3.3);
        QCOMPARE(ctx->GridLines, 30);
        QCOMPARE(form->commState().TimerInterval, 1);
        QVERIFY(!form->commState().AutoOpen);
        QVERIFY(!form->commState().AutoSaveData);
    }

    // "AllDataChange"=0: only the fuse current and the overload time stay editable; the
    // menu item toggles the state and puts the focus on the fuse current, nothing selected.
    void allDataChangeRestrictsEditing() {
        Start("AutoOpen=0\r\nAllDataChange=0\r\n");
        QVERIFY(!kvtest::Named<QAction>(*form, "AllDataChange1")->isChecked());
        auto enabled = [&] {
            QStringList on;
            for (QWidget *w : kvtest::Named(*form, "Panel1")->findChildren<QWidget *>())
                if (!qobject_cast<QLabel *>(w) && w->isEnabled() && !qobject_cast<QPushButton *>(w))
                    on << w->objectName();
            on.sort();
            return on;
        };
        QCOMPARE(enabled(), QStringList({"fusecurrent", "overloadtimer"}));

        ShowActive();
        kvtest::Named<QLineEdit>(*form, "overloadtimer")->setFocus();
        kvtest::Trigger(*form, "AllDataChange1");
        QVERIFY(kvtest::Named<QAction>(*form, "AllDataChange1")->isChecked());
        QCOMPARE(enabled(), QStringList({"average", "avgi", "fusecurrent", "multiply",
                                         "overloadtimer", "vref", "zerooffset"}));
        QCOMPARE(QApplication::focusWidget(), kvtest::Named<QLineEdit>(*form, "fusecurrent"));
        QVERIFY(!kvtest::Named<QLineEdit>(*form, "fusecurrent")->hasSelectedText());

        kvtest::Trigger(*form, "AllDataChange1");
        QVERIFY(!kvtest::Named<QAction>(*form, "AllDataChange1")->isChecked());
        QCOMPARE(enabled(), QStringList({"fusecurrent", "overloadtimer"}));
        QCOMPARE(QApplication::focusWidget(), kvtest::Named<QLineEdit>(*form, "fusecurrent"));
        // The toggle is not written back.
        QCOMPARE(kvtest::TempDir::Read(iniFile()),
                 std::string("[init]\r\nAutoOpen=0\r\nAllDataChange=0\r\n"));
    }

    void enteringAFieldShowsItsHint() {
        Start();
        ShowActive();
        const std::pair<QLineEdit *, const char *> hints[] = {
            {kvtest::Named<QLineEdit>(*form, "zerooffset"), "Value 0-255"},
            {kvtest::Named<QLineEdit>(*form, "fusecurrent"), "Parameter example: 12 = 1,2A"},
            {kvtest::Named<QLineEdit>(*form, "overloadtimer"), "Value 0-255"},
            {kvtest::Named<QLineEdit>(*form, "multiply"), "Parameter example: 105 = 10,5"},
            {kvtest::Named<QLineEdit>(*form, "avgi"), "Value 1-20"},
        };
        for (const auto &[edit, hint] : hints) {
            kvtest::Named<QLabel>(*form, "sb1Panel1")->clear();
            QTest::mouseClick(edit, Qt::LeftButton);
            QCOMPARE(kvtest::Named<QLabel>(*form, "sb1Panel1")->text(), QString(hint));
        }
        // The hint stays until something else writes the panel; coming back to the window
        // is no entering of a field.
        form->SetStatusPanel(1, "Sending data...");
        QWidget other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QCOMPARE(kvtest::Named<QLabel>(*form, "sb1Panel1")->text(), QString("Sending data..."));
    }

    // At start-up the focus is in "Fuse current (A x10)", and its hint shows, whether the
    // window is activated or (without a window manager) only shown.
    void hintOfTheFocusedFieldAtFirstShow_data() {
        QTest::addColumn<bool>("activate");
        QTest::newRow("activated") << true;
        QTest::newRow("shown only") << false;
    }
    void hintOfTheFocusedFieldAtFirstShow() {
        QFETCH(bool, activate);
        Start();
        if (activate) {
            ShowActive();
        } else {
            form->show();
            QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        }
        QTRY_VERIFY(!form->commState().FirstActivate);
        QCOMPARE(form->focusWidget(), kvtest::Named<QLineEdit>(*form, "fusecurrent"));
        QCOMPARE(kvtest::Named<QLabel>(*form, "sb1Panel1")->text(),
                 QString("Parameter example: 12 = 1,2A"));
    }

    void logPaneKeepsLogLinesPlusTheNewest_data() {
        QTest::addColumn<QString>("logLines");
        QTest::addColumn<int>("written");
        QTest::addColumn<int>("shown");
        QTest::newRow("100 of 150") << "100" << 150 << 101;
        QTest::newRow("0 keeps the newest") << "0" << 3 << 1;
        QTest::newRow("negative as 0") << "-5" << 3 << 1;
        QTest::newRow("below the limit") << "10" << 4 << 4;
    }

    void logPaneKeepsLogLinesPlusTheNewest() {
        QFETCH(QString, logLines);
        QFETCH(int, written);
        QFETCH(int, shown);
        const std::string ini = "AutoOpen=0\r\nLogLines=" + logLines.toStdString() + "\r\n";
        Start(ini.c_str());
        for (int i = 0; i < written; ++i)
            form->AddLog("line " + std::to_string(i));
        const Lines lines = form->LogLinesShown();
        QCOMPARE(int(lines.size()), shown);
        QCOMPARE(kvtest::Named<QPlainTextEdit>(*form, "m")->document()->blockCount(), shown);
        for (int i = 0; i < shown; ++i) // newest on top, in order below it
            QCOMPARE(lines[std::size_t(i)], "line " + std::to_string(written - 1 - i));
    }

    void logLinesLoseTrailingBlanksAndControlCharacters() {
        Start();
        form->AddLog("S: 10B   ");
        form->AddLog("R: 0D 0A\r\n");
        form->AddLog("  caption\t\x01");
        form->AddLog("");
        QCOMPARE(form->LogLinesShown(), Lines({"", "  caption", "R: 0D 0A", "S: 10B"}));
        QCOMPARE(kvtest::Named<QPlainTextEdit>(*form, "m")->toPlainText(),
                 QString("\n  caption\nR: 0D 0A\nS: 10B"));
    }

    void aboutExitAndGraph() {
        Start("AutoOpen=0\r\n", true);
        kvtest::Trigger(*form, "About1");
        QCOMPARE(prompter.prompts().size(), std::size_t(1));
        const kvtest::Prompt about = prompter.prompts()[0];
        QCOMPARE(about.caption, std::string("Information"));
        QVERIFY(about.text.rfind("Korvane service\r\r", 0) == 0);
        QVERIFY(about.text.size() > std::string("Korvane service\r\r").size());

        ShowActive();
        QVERIFY(!form2->isVisible());
        QTest::keyClick(form.get(), Qt::Key_G, Qt::ControlModifier);
        QVERIFY(form2->isVisible());
        QVERIFY(!form2->isModal());

        kvtest::Trigger(*form, "Exit1");
        QVERIFY(!form->isVisible());
    }

    // The calibration window may refuse the closing while it holds unsaved data; the main
    // window then stays and the calibration window is shown.
    void closeQueryAsksTheCalibrationWindow() {
        Start("AutoOpen=0\r\nGridLines=5\r\n", true);
        ShowActive();
        // Nothing unsaved yet: nothing is asked.
        QVERIFY(form->close());
        QVERIFY(prompter.prompts().empty());
        ShowActive();

        form2->sgSetEditText(1, 1, "1.5", true);
        QVERIFY(form2->DataModified());
        for (int answer : {kv::IdCancel, kv::IdYes}) {
            form2->hide();
            prompter.AnswerMessage(answer);
            QVERIFY(!form->close());
            QVERIFY(form->isVisible());
            QVERIFY(form2->isVisible());
            QVERIFY(!form2->isModal());
        }
        const auto prompts = prompter.prompts();
        QCOMPARE(prompts.size(), std::size_t(2));
        QVERIFY(prompts[0].buttons == kv::MsgButtons::YesNoCancel);
        QCOMPARE(prompts[0].caption, std::string("Question"));

        // Giving the data up lets the window close; nothing was saved.
        prompter.AnswerMessage(kv::IdNo);
        QVERIFY(form->close());
        QVERIFY(!form->isVisible());
        QVERIFY(!std::filesystem::exists(dir->File("korvane.sav")));
    }

    // Time stamps come only while the item is checked; the saved log runs oldest first.
    void timestampsInLogAndSaveLog() {
        Start();
        QVERIFY(!kvtest::Named<QAction>(*form, "TimestampsInLog1")->isChecked());
        form->AddLog("S: 10B");
        kvtest::Trigger(*form, "TimestampsInLog1");
        form->AddLog("R: 00 01");
        kvtest::Trigger(*form, "TimestampsInLog1");
        form->AddLog("plain");
        const Lines lines = form->LogLinesShown();
        QCOMPARE(lines.size(), std::size_t(3));
        QCOMPARE(lines[0], std::string("plain"));
        QVERIFY2(QRegularExpression("^[0-2][0-9]:[0-5][0-9]:[0-5][0-9]\\.[0-9]{3} R: 00 01$")
                     .match(QString::fromStdString(lines[1]))
                     .hasMatch(),
                 lines[1].c_str());
        QCOMPARE(lines[2], std::string("S: 10B"));

        const std::string file = dir->File("saved.txt");
        prompter.AnswerFile(file);
        kvtest::Trigger(*form, "SaveLog1");
        QCOMPARE(kvtest::TempDir::Read(file), "S: 10B\r\n" + lines[1] + "\r\nplain\r\n");
        prompter.AnswerFile(std::nullopt); // cancelled: nothing written
        std::filesystem::remove(file);
        kvtest::Trigger(*form, "SaveLog1");
        QVERIFY(!std::filesystem::exists(file));
    }

    // A unit's "&" is shown, not taken for the item's access key.
    void unitNameWithAmpersandInTheMenu() {
        Start();
        form->SetUnit("R&D-7");
        QCOMPARE(kvtest::Named<QAction>(*form, "Unit1")->text(), QString("Unit: R&&D-7..."));
    }

    // The close refused for unsaved calibration data shows the calibration window, also
    // when it was minimised.
    void refusedCloseRestoresMinimisedCalibrationWindow() {
        Start("AutoOpen=0\r\nGridLines=5\r\n", true);
        ShowActive();
        form2->sgSetEditText(1, 1, "1.5", true);
        form2->showMinimized();
        QVERIFY(form2->isMinimized());
        prompter.AnswerMessage(kv::IdCancel);
        QVERIFY(!form->close());
        QVERIFY(form2->isVisible());
        QVERIFY(!form2->isMinimized());
    }

    void closeWithoutCalibrationWindowCloses() {
        Start();
        ShowActive();
        QVERIFY(form->close());
        QVERIFY(prompter.prompts().empty());
    }

    // An exception escaping a menu command run from the keyboard reaches the general error
    // report, and the window keeps working.
    void exceptionFromAShortcutIsReported() {
        Start();
        ShowActive();
        auto *a = new QAction(form.get());
        a->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
        form->addAction(a);
        connect(a, &QAction::triggered,
                [] { throw kv::Error("'x' is not a valid integer value"); });
        QTest::keyClick(form.get(), Qt::Key_K, Qt::ControlModifier);
        QCOMPARE(prompter.messageTexts(), Lines({"'x' is not a valid integer value."}));
        QCOMPARE(prompter.prompts()[0].caption, std::string("<Korvane>"));
        kvtest::Trigger(*form, "About1");
        QCOMPARE(prompter.prompts().size(), std::size_t(2));
    }

    void screenshot() {
        const QString out = ScreenshotDir();
        if (out.isEmpty())
            QSKIP("KORVANE_SCREENSHOT_DIR not set");
        Start("AutoOpen=0\r\nAllDataChange=0\r\n");
        ShowActive();
        form->AddLog("COM port opened");
        form->AddLog("S: 10B");
        form->AddLog("R: 46 75 73 65 20 73 69 6D 20 76 31 2E 30 30 0D 0A");
        form->SetStatusPanel(0, "5");
        form->SetStatusPanel(1, "Parameter example: 12 = 1,2A");
        QVERIFY(form->grab().save(out + "/main-window.png"));

        // The window with its menus opened beside it.
        const QList<QAction *> top = form->menuBar()->actions();
        QList<QPixmap> shots{form->grab()};
        for (QAction *t : top) {
            QMenu *mm = t->menu();
            if (mm->actions().isEmpty())
                continue; // an empty menu opens no window
            mm->popup(form->mapToGlobal(QPoint(0, 0)));
            QVERIFY(QTest::qWaitForWindowExposed(mm));
            shots << mm->grab();
            mm->hide();
        }
        int w = 0, h = 0;
        for (const QPixmap &p : shots) {
            w += p.width() + 8;
            h = std::max(h, p.height());
        }
        QPixmap all(w, h);
        all.fill(Qt::white);
        QPainter painter(&all);
        int x = 0;
        for (const QPixmap &p : shots) {
            painter.drawPixmap(x, 0, p);
            x += p.width() + 8;
        }
        painter.end();
        QVERIFY(all.save(out + "/main-window-menus.png"));
    }

    // ------------------------------------------------------------ against the simulated fuse

    void openAndCloseComPort() {
        StartFuse();
        MakeWindow();
        QVERIFY(!form->link().PortOpen());
        kvtest::Trigger(*form, "Open1");
        QVERIFY(form->link().PortOpen());
        QCOMPARE(form->LogLinesShown(), Lines({"COM port opened"}));
        kvtest::Trigger(*form, "Close1");
        QVERIFY(!form->link().PortOpen());
        QCOMPARE(form->LogLinesShown(), Lines({"COM port closed", "COM port opened"}));
        QVERIFY(prompter.prompts().empty());
        form.reset();
    }

    // With AutoOpen the first activation opens the port, later ones do nothing; a port that
    // cannot be opened shows its error box and the window stays usable.
    void firstActivationOpensThePort() {
        StartFuse();
        WriteSettings(iniFile(), "AutoOpen=1\r\n");
        MakeWindowIn(programDir);
        QVERIFY(!form->link().PortOpen());
        ShowActive();
        QTRY_VERIFY(form->link().PortOpen());
        QCOMPARE(form->LogLinesShown(), Lines({"COM port opened"}));
        QVERIFY(!form->commState().FirstActivate);
        kvtest::Trigger(*form, "Close1");

        // Activating again opens nothing.
        form->hide();
        ShowActive();
        QTest::qWait(50);
        QVERIFY(!form->link().PortOpen());
        form.reset();

        // A missing device: the error box, no log line, the window still usable.
        kvtest::TempDir::Write(iniFile(),
                               "[init]\r\nport=" + dir->File("nothing") + "\r\nAutoOpen=1\r\n");
        prompter.clear();
        MakeWindowIn(programDir);
        ShowActive();
        QTRY_VERIFY(!prompter.prompts().empty());
        QCOMPARE(prompter.prompts()[0].caption, std::string("Error"));
        QVERIFY(prompter.prompts()[0].text.rfind("CreateFile INVALID_HANDLE_VALUE\r", 0) == 0);
        // Then one question offers the port dialog (answered No here).
        QTRY_COMPARE(prompter.prompts().size(), std::size_t(2));
        QCOMPARE(prompter.prompts()[1].caption, std::string("Port"));
        QCOMPARE(prompter.prompts()[1].text,
                 "The port " + dir->File("nothing") +
                     " could not be opened. Choose the serial port now?");
        QVERIFY(form->LogLinesShown().empty());
        kvtest::Trigger(*form, "About1");
        QCOMPARE(prompter.prompts().size(), std::size_t(3));
        form.reset();
    }

    // The port item shows the open port; the dialog lists the system's ports, keeps the
    // by-id name of the adapter chosen and writes "port" and "baud", other lines kept. The
    // next opening uses them.
    void portItemAndDialog() {
        StartFuse();
        kvtest::FakeMachine machine;
        WriteSettings(iniFile(), "AutoOpen=0\r\nFuseCurrent=42\r\n");
        MakeWindowIn(programDir);
        form->SetPortRoots(machine.roots());
        QCOMPARE(kvtest::Named<QAction>(*form, "Port1")->text(), QString("Port..."));
        kvtest::Trigger(*form, "Open1");
        QCOMPARE(kvtest::Named<QAction>(*form, "Port1")->text(),
                 QString::fromStdString("Port: " + sim->PortPath() + "..."));
        kvtest::Trigger(*form, "Close1");
        QCOMPARE(kvtest::Named<QAction>(*form, "Port1")->text(), QString("Port..."));

        const std::string byId =
            machine.roots().dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BJ-if00-port0";
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto *dlg = qobject_cast<PortDialog *>(QApplication::activeModalWidget());
            QVERIFY(dlg);
            auto *table = dlg->findChild<QTableWidget *>("ports");
            QVERIFY(table);
            QStringList paths;
            for (int r = 0; r < table->rowCount(); ++r)
                paths << table->item(r, 0)->text();
            QVERIFY(paths.size() >= 4);
            const int row =
                int(paths.indexOf(QString::fromStdString(machine.roots().dev + "/ttyUSB2")));
            QVERIFY(row >= 0);
            QCOMPARE(table->item(row, 3)->text(), QString("A50285BJ"));
            table->selectRow(row);
            QCOMPARE(dlg->findChild<QLineEdit *>("port")->text(), QString::fromStdString(byId));
            dlg->findChild<QComboBox *>("baud")->setCurrentText("38400");
            const QString shots = ScreenshotDir();
            if (!shots.isEmpty()) {
                // On a real X server the screen's pixels, with the window manager's frame.
                QVERIFY(QTest::qWaitForWindowExposed(dlg));
                QTest::qWait(QGuiApplication::platformName() == "xcb" ? 500 : 0);
                const QPixmap shot = QGuiApplication::platformName() == "xcb"
                                         ? dlg->screen()->grabWindow(0, dlg->frameGeometry().x(),
                                                                     dlg->frameGeometry().y(),
                                                                     dlg->frameGeometry().width(),
                                                                     dlg->frameGeometry().height())
                                         : dlg->grab();
                QVERIFY(shot.save(shots + "/port-dialog.png"));
            }
            seen = true;
            dlg->accept();
        });
        kvtest::Trigger(*form, "Port1");
        QVERIFY(seen);
        QCOMPARE(kvtest::TempDir::Read(iniFile()),
                 "[init]\r\nport=" + byId + "\r\nAutoOpen=0\r\nFuseCurrent=42\r\nbaud=38400\r\n");
        form.reset();
    }

    // After a transaction the last panel shows the whole frame in hexadecimal: it reaches
    // to the bar's right edge and writes in the system's interface font.
    void statusBarShowsTheWholeFrame() {
        StartFuse();
        MakeWindow();
        ShowActive();
        kvtest::Trigger(*form, "GetLastValues1");
        const QString frame("0x15 0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00 ");
        QCOMPARE(kvtest::Named<QLabel>(*form, "sb1Panel1")->text(), frame);

        QLabel *last = kvtest::Named<QLabel>(*form, "sb1Panel1");
        const auto *grip = kvtest::Named<QStatusBar>(*form, "sb1")->findChild<QSizeGrip *>();
        QVERIFY(grip && grip->isVisible());
        QVERIFY(grip->geometry().left() - last->geometry().right() <= 8);
        QCOMPARE(last->font().family(), QApplication::font().family());
        QCOMPARE(last->font().pointSizeF(), QApplication::font().pointSizeF());
        QVERIFY(!last->font().bold());
        QVERIFY(last->fontMetrics().horizontalAdvance(frame) <= last->contentsRect().width());
        const QString out = ScreenshotDir();
        if (!out.isEmpty())
            QVERIFY(form->grab().save(out + "/main-window-status.png"));

        // A longer text is cut at the edge; it does not widen the window.
        const int width = form->width();
        form->SetStatusPanel(1, std::string(400, 'x'));
        QCoreApplication::processEvents();
        QCOMPARE(form->width(), width);
        QVERIFY(form->minimumSizeHint().width() <= 500);
        form.reset();
    }

    void infoShowsTheReplyAsText() {
        StartFuse();
        MakeWindow();
        QVERIFY(form->OpenComPort());
        kvtest::Trigger(*form, "Info1");
        QCOMPARE(sim->FrameCount(), std::size_t(1));
        QCOMPARE(int(sim->Frames()[0][0]), 0x01);
        const Lines lines = form->LogLinesShown();
        QVERIFY(lines.size() >= 3);
        QCOMPARE(lines.back(), std::string("COM port opened"));
        QCOMPARE(lines[lines.size() - 2], std::string("S: 10B"));
        // The reply is in the "R: " line as text, not as hexadecimal digits.
        bool found = false;
        for (const std::string &l : lines)
            if (l.rfind("R: ", 0) == 0 && l.find(sim->InfoText()) != std::string::npos)
                found = true;
        QVERIFY2(found, lines.front().c_str());
        QVERIFY(prompter.prompts().empty());
        // Text mode was Info's alone: bytes arriving afterwards show in hexadecimal again.
        sim->SendRaw({0x4F, 0x0D});
        QTRY_COMPARE(form->LogLinesShown().front(), std::string("R: 4F 0D"));
        form.reset();
    }

    void restartAsksAndReportsAMissingReply() {
        StartFuse();
        MakeWindow();
        QVERIFY(form->OpenComPort());

        prompter.AnswerMessage(kv::IdNo);
        kvtest::Trigger(*form, "Restart1");
        QCOMPARE(prompter.messageTexts(), Lines({"Are you sure?"}));
        QCOMPARE(sim->FrameCount(), std::size_t(0));

        prompter.AnswerMessage(kv::IdYes);
        kvtest::Trigger(*form, "Restart1");
        QCOMPARE(sim->FrameCount(), std::size_t(1));
        QCOMPARE(int(sim->Frames()[0][0]), 0x02);
        QCOMPARE(prompter.messageTexts().size(), std::size_t(2));

        // A silent device: "Receive error!" from the transaction, then the box.
        sim->SetSilent(0x02, true);
        prompter.AnswerMessage(kv::IdYes);
        kvtest::Trigger(*form, "Restart1");
        QCOMPARE(prompter.messageTexts(),
                 Lines({"Are you sure?", "Are you sure?", "Are you sure?", "Restart error!"}));
        QCOMPARE(form->LogLinesShown().front(), std::string("Receive error!"));
        form.reset();
    }

    // The program's run: five windows, only the main one shown; closing it ends the run
    // even with the calibration window open.
    void programRunEndsWithTheMainWindow() {
        kvtest::TempDir::Write(iniFile(), "[init]\r\nAutoOpen=0\r\n");
        kv::AppContext c(prompter, kv::ProgramPaths{"korvane", dir->path()});
        bool checked = false;
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        watchdog.start(10000);
        const int rc = kv::RunProgram(*KorvaneApplication::instance(), c, [&](kv::Windows &w) {
            checked = w.main.isVisible() && !w.calibration.isVisible() &&
                      !w.calculator.isVisible() && !w.editor.isVisible() && !w.lastAdc.isVisible();
            checked = checked && c.link != nullptr && c.mainWindow == &w.main;
            // "Graph" shows the calibration window the main window was given.
            kvtest::Trigger(w.main, "data1");
            checked = checked && w.calibration.isVisible();
            QTimer::singleShot(0, &w.main, [&w] { w.main.close(); });
        });
        QCOMPARE(rc, 0);
        QVERIFY(checked);
        QVERIFY(c.mainWindow == nullptr);
        QVERIFY(c.link == nullptr);
    }
};

KORVANE_QTEST_MAIN(MainWindowTest)
#include "app_main_window_test.moc"
