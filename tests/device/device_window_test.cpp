// The main window's device handlers against the simulated fuse on a pseudo-terminal: each
// runs its operation (the frames the fuse received), shows its notices and records its
// entry; and what only the window does: the fields read and filled, the settings file Send
// Data writes, the timer's countdown, buttons, current log, series record and plot.
#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/program_path.h"
#include "device/current_plot.h"
#include "fuse_sim.h"
#include "gui/application.h"
#include "gui/current_plot_window.h"
#include "gui/main_window.h"
#include "history/store.h"
#include "link/crc8.h"
#include "link/link.h"
#include "scripted_prompter.h"
#include "temp_dir.h"
#include "window_rig.h"

using kv::sim::Frame;
using Lines = std::vector<std::string>;

namespace {

Frame F(std::initializer_list<std::uint8_t> bytes) {
    Frame f{};
    std::copy(bytes.begin(), bytes.end(), f.begin());
    return f;
}

// Upper-case hexadecimal, two digits, or as few as needed when !pad.
std::string Hex(std::uint8_t v, bool pad = true) {
    const char *d = "0123456789ABCDEF";
    if (!pad && v < 16)
        return {d[v]};
    return {d[v >> 4], d[v & 15]};
}

std::uint8_t Crc(std::initializer_list<std::uint8_t> bytes) {
    return kv::Crc8(std::span<const std::uint8_t>(bytes.begin(), bytes.size()));
}

constexpr const char *kCurrentLogHeader =
    "Date       Time      ADC  Hi  Lo  Zo Mul   Volt   Curr Relay";

} // namespace

class DeviceWindowTest : public QObject, protected kvtest::WindowRig {
    Q_OBJECT

private:
    std::string adcFile() const { return dir->File("korvane.adc"); }

    // The window on a fresh settings file naming the simulated fuse's port; the port is
    // opened and the log cleared, so each test sees only its own lines.
    void Start(const std::string &extraIni = "") {
        MakeWindow(extraIni);
        QVERIFY(form->OpenComPort());
        Reset();
    }

    void Reset() {
        kvtest::Named<QPlainTextEdit>(*form, "m")->clear();
        sim->ClearFrames();
        prompter.clear();
    }

    void SetEntries(const char *fuse, const char *offset, const char *overload,
                    const char *multiply, const char *count, bool avg = false, bool vref = false) {
        kvtest::Named<QLineEdit>(*form, "fusecurrent")->setText(fuse);
        kvtest::Named<QLineEdit>(*form, "zerooffset")->setText(offset);
        kvtest::Named<QLineEdit>(*form, "overloadtimer")->setText(overload);
        kvtest::Named<QLineEdit>(*form, "multiply")->setText(multiply);
        kvtest::Named<QLineEdit>(*form, "avgi")->setText(count);
        kvtest::Named<QCheckBox>(*form, "average")->setChecked(avg);
        kvtest::Named<QCheckBox>(*form, "vref")->setChecked(vref);
    }

    Lines log() const { return form->LogLinesShown(); }
    // The command codes of the frames the fuse received, in order.
    std::vector<int> Codes() const {
        std::vector<int> codes;
        for (const Frame &f : sim->Frames())
            codes.push_back(f[0]);
        return codes;
    }
    // The history file's records, oldest first.
    std::vector<kv::history::Record> Records() const {
        if (!std::filesystem::exists(dir->File("korvane.db")))
            return {}; // none made yet
        kv::history::Store store(dir->File("korvane.db"));
        const kv::history::QueryResult r = store.Read({});
        if (!r.status)
            qWarning("%s", r.status.message.c_str());
        return r.records;
    }
    Lines adcLines() const {
        const std::string text = kvtest::TempDir::Read(adcFile());
        Lines out;
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t end = text.find("\r\n", at);
            if (end == std::string::npos) {
                out.push_back(text.substr(at) + "<no CR LF>");
                break;
            }
            out.push_back(text.substr(at, end - at));
            at = end + 2;
        }
        return out;
    }
    // A record line: a valid time stamp, then exactly `rest`.
    static bool IsRecord(const std::string &line, const std::string &rest) {
        static const QRegularExpression stamp(
            "^(0[1-9]|[12][0-9]|3[01])\\.(0[1-9]|1[0-2])\\.20[0-9][0-9] "
            "([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9]$");
        return line.size() == 19 + rest.size() &&
               stamp.match(QString::fromStdString(line.substr(0, 19))).hasMatch() &&
               line.substr(19) == rest;
    }
    void Screenshot(const char *name) {
        const QByteArray shots = qgetenv("KORVANE_SCREENSHOT_DIR");
        if (shots.isEmpty())
            return;
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QVERIFY(form->grab().save(QString::fromLocal8Bit(shots) + "/" + name));
    }

private slots:
    void init() { StartFuse(); }
    void cleanup() { CloseAll(); }

    // Each handler runs its operation: the frames the fuse received, the one notice that
    // reaches the user (a box, or the log's newest lines) and the history record it made.
    // The texts and outcomes themselves are pinned by the operation tests.
    void handlersRunTheirOperations() {
        struct Row {
            const char *item;              // the button clicked or the menu item chosen
            std::function<void()> arrange; // the fuse's faults, the fields, the answers
            std::vector<int> codes;        // the commands the fuse received
            Lines boxes;                   // every message box, questions included
            Lines logTop;                  // the log's newest lines, newest first
            const char *operation;         // the record made; nullptr: none
            bool ok;
        };
        auto yes = [this] { prompter.AnswerMessage(kv::IdYes); };
        auto held = [this](std::uint8_t multiply) {
            return [this, multiply] { sim->SetHeldParams({99, 5, multiply, 0, 0, 0, 20}); };
        };
        auto longStatus = [this] { sim->SetReplyLength(0x15, 26); };
        auto manualOff = [this] { sim->SetManualSwitchOff(true); };
        auto crcFields = [this] {
            sim->SetHeldParams({10, 0, 150, 0, 0, 0, 0});
            SetEntries("10", "0", "0", "150", "0");
        };
        auto emptyField = [this] { SetEntries("10", "0", "", "150", "0"); };
        auto silentRestart = [this, yes] {
            yes();
            sim->SetSilent(0x02, true);
        };
        const std::uint8_t crc = Crc({10, 0, 150, 0, 0, 0, 0});
        const std::string both = std::to_string(crc) + " [0x" + Hex(crc) + "]";
        const std::string crcOk = "CRC OK [0x" + Hex(crc) + "]";
        const std::string returned = "Returned CRC is " + both,
                          calculated = "Calculated CRC is " + both;
        const std::string live = "  Last Values [Relay is currently Off]";
        const std::string stored = "  Last Stored Values [Relay is currently Off]";
        const std::string measured = "  Actual ADC measure [Relay is Off]";
        const std::string info = "R: " + sim->InfoText() + "<CR><LF>";
        const std::vector<Row> rows{
            {"GetLastValues1", {}, {0x15}, {}, {live}, "status-read", true},
            {"GetLastStoredValues1", {}, {0x14}, {}, {stored}, "status-read", true},
            {"GetLastValues1", longStatus, {0x15}, {"GetStatus error!"}, {}, "status-read", false},
            {"BitBtn3", yes, {0x15, 0x08}, {"Relay ON?"}, {}, "relay", true},
            {"BitBtn3", manualOff, {0x15}, {"Manual switch is OFF!"}, {}, nullptr, false},
            {"BitBtn4", held(100), {0x1B}, {}, {measured}, "current-read", true},
            {"BitBtn4", held(0), {0x1B}, {"GetCurrent error!"}, {}, "current-read", false},
            {"CalcCRC1", crcFields, {0x15}, {crcOk}, {returned, calculated}, "params-crc", true},
            {"CalcCRC1", emptyField, {}, {"'' is not a valid integer value"}, {}, nullptr, false},
            {"Info1", {}, {0x01}, {}, {info}, nullptr, true},
            {"Restart1", yes, {0x02}, {"Are you sure?"}, {}, "restart", true},
            {"Restart1",
             silentRestart,
             {0x02},
             {"Are you sure?", "Restart error!"},
             {},
             "restart",
             false},
        };
        Start();
        for (const Row &r : rows) {
            Reset();
            sim->SetFaults({});
            sim->SetManualSwitchOff(false);
            sim->SetRelay(false);
            if (r.arrange)
                r.arrange();
            const std::size_t before = Records().size();
            if (auto *button = form->findChild<QPushButton *>(r.item))
                button->click();
            else
                kvtest::Trigger(*form, r.item);
            const QByteArray name = QByteArray::number(int(&r - rows.data())) + " " + r.item;
            QVERIFY2(Codes() == r.codes, name.constData());
            QVERIFY2(prompter.messageTexts() == r.boxes, name.constData());
            Lines top = log();
            top.resize(std::min(top.size(), r.logTop.size()));
            QVERIFY2(top == r.logTop, name.constData());
            // A failure's box is the only notice: no report reaches the log.
            if (!r.ok)
                for (const std::string &line : log())
                    QVERIFY2(line.empty() || line[0] != '>', name.constData());
            const std::vector<kv::history::Record> recs = Records();
            QVERIFY2(recs.size() == before + (r.operation ? 1 : 0), name.constData());
            if (r.operation) {
                QVERIFY2(recs.back().operation == r.operation, name.constData());
                QVERIFY2(recs.back().ok == r.ok, name.constData());
            }
        }
    }

    // The report of a status read goes to the log above the transaction's own lines.
    void statusReportAboveItsTransaction() {
        Start();
        kvtest::Trigger(*form, "GetLastValues1");
        QCOMPARE(log().at(0), std::string("  Last Values [Relay is currently Off]"));
        QCOMPARE(log().at(12), std::string(">"));
        QCOMPARE(log().at(13).substr(0, 3), std::string("R: "));
        QVERIFY(prompter.prompts().empty());
        Screenshot("device_get_last_values.png");
    }

    // Send Data reads the seven fields, sends them, saves them to the settings file and
    // records what it sent; the fields keep what was typed where a value was replaced.
    void sendDataReadsTheFieldsAndSaves() {
        Start();
        SetEntries("150", "3", "40", "10", "20", true, false);
        prompter.AnswerMessage(kv::IdOk); // "Current must be < 100!"
        prompter.AnswerMessage(kv::IdYes);
        kvtest::Named<QPushButton>(*form, "BitBtn1")->click();
        QCOMPARE(prompter.messageTexts().size(), std::size_t(2));
        QCOMPARE(sim->Frames(),
                 (std::vector<Frame>{F({0x16, 99, 3, 10, 40, 1, 0, 20}), F({0x15}), F({0x17})}));
        QCOMPARE(log().at(0), "CRC OK [0x" + Hex(Crc({99, 3, 10, 40, 0, 1, 20}), false) + "]");
        QCOMPARE(kvtest::Named<QLineEdit>(*form, "fusecurrent")->text(), QString("150"));
        kv::IniFile ini(iniFile());
        QCOMPARE(ini.ReadInteger("init", "FuseCurrent", -1), 99);
        QCOMPARE(ini.ReadInteger("init", "ADCcurrentMultiply", -1), 10);
        QCOMPARE(ini.ReadInteger("init", "MeasureCount", -1), 20);
        QCOMPARE(ini.ReadString("init", "UseAverage", ""), std::string("1"));
        QCOMPARE(ini.ReadString("init", "UseVref", ""), std::string("0"));
        const kv::history::Record rec = Records().back();
        QCOMPARE(rec.operation, std::string("params-send"));
        QVERIFY(rec.ok);
        QCOMPARE(rec.data["sent"]["fuse_current"].get<long long>(), 99);
        Screenshot("device_send_data.png");

        // A device failure: its box, and a failed record.
        Reset();
        sim->SetReplyLength(0x16, 3);
        prompter.AnswerMessage(kv::IdOk);
        prompter.AnswerMessage(kv::IdYes);
        kvtest::Named<QPushButton>(*form, "BitBtn1")->click();
        QCOMPARE(prompter.messageTexts().back(), std::string("SetStatus error!"));
        QCOMPARE(Codes(), std::vector<int>{0x16});
        QCOMPARE(Records().back().operation, std::string("params-send"));
        QVERIFY(!Records().back().ok);

        // Declined: nothing sent, nothing recorded.
        Reset();
        const std::size_t records = Records().size();
        prompter.AnswerMessage(kv::IdOk);
        prompter.AnswerMessage(kv::IdNo);
        kvtest::Named<QPushButton>(*form, "BitBtn1")->click();
        QVERIFY(sim->Frames().empty());
        QCOMPARE(Records().size(), records);
    }

    // AutoSaveData off: the settings file is not touched even by a send that succeeds.
    void sendDataWithoutAutoSaveLeavesTheSettingsFile() {
        Start("AutoSaveData=0\r\n");
        const std::string iniBefore = kvtest::TempDir::Read(iniFile());
        SetEntries("12", "3", "40", "10", "20", true, false);
        prompter.AnswerMessage(kv::IdYes);
        kvtest::Named<QPushButton>(*form, "BitBtn1")->click();
        QCOMPARE(Codes(), (std::vector<int>{0x16, 0x15, 0x17}));
        QCOMPARE(sim->StoredParams().fuseCurrent, 12);
        QCOMPARE(kvtest::TempDir::Read(iniFile()), iniBefore);
    }

    void getDataFillsTheFields() {
        Start();
        sim->SetHeldParams({12, 7, 55, 200, 0, 1, 9});
        sim->OverrideStatusByte(8, 2); // UseVref
        SetEntries("", "", "", "", "");
        kvtest::Named<QPushButton>(*form, "BitBtn2")->click();
        QCOMPARE(sim->Frames(), std::vector<Frame>{F({0x15})});
        QCOMPARE(kvtest::Named<QLineEdit>(*form, "fusecurrent")->text(), QString("12"));
        QCOMPARE(kvtest::Named<QLineEdit>(*form, "zerooffset")->text(), QString("7"));
        QCOMPARE(kvtest::Named<QLineEdit>(*form, "multiply")->text(), QString("55"));
        QCOMPARE(kvtest::Named<QLineEdit>(*form, "overloadtimer")->text(), QString("200"));
        QCOMPARE(kvtest::Named<QLineEdit>(*form, "avgi")->text(), QString("9"));
        QVERIFY(kvtest::Named<QCheckBox>(*form, "vref")->isChecked());
        QVERIFY(kvtest::Named<QCheckBox>(*form, "average")->isChecked());
        QVERIFY(prompter.prompts().empty());
        QCOMPARE(Records().back().operation, std::string("params-read"));
        QVERIFY(Records().back().ok);

        // A failed read leaves the fields alone.
        Reset();
        sim->SetReplyLength(0x15, 26);
        SetEntries("1", "2", "3", "4", "5");
        kvtest::Named<QPushButton>(*form, "BitBtn2")->click();
        QCOMPARE(prompter.messageTexts(), Lines{"GetStatus error!"});
        QCOMPARE(kvtest::Named<QLineEdit>(*form, "fusecurrent")->text(), QString("1"));
        QCOMPARE(kvtest::Named<QLineEdit>(*form, "avgi")->text(), QString("5"));
        QVERIFY(!kvtest::Named<QCheckBox>(*form, "vref")->isChecked());
        QCOMPARE(Records().back().operation, std::string("params-read"));
        QVERIFY(!Records().back().ok);
    }

    // Get Current shows only its report (the exchange stays out of the log, which takes
    // lines again after it) on the reference the check box chooses.
    void getCurrentFollowsTheCheckBox() {
        Start();
        sim->SetAdc(500);
        sim->SetHeldParams({99, 5, 100, 0, 0, 0, 20});
        kvtest::Named<QPushButton>(*form, "BitBtn4")->click();
        QCOMPARE(log().size(), std::size_t(5));
        QCOMPARE(log().at(1), std::string("> Current:5.00A, Voltage: 2.44379V"));
        form->AddLog("log on again");
        QCOMPARE(log().front(), std::string("log on again"));

        Reset();
        kvtest::Named<QCheckBox>(*form, "vref")->setChecked(true);
        kvtest::Named<QPushButton>(*form, "BitBtn4")->click();
        QCOMPARE(log().at(1), std::string("> Current:5.00A, Voltage: 0.87977V"));
        QVERIFY(Records().back().data["vref"].get<bool>());
    }

    void timedMeasurementEverySecond() {
        Start("Timer=1\r\n");
        sim->SetAdc(500);
        sim->SetRelay(true);
        // The device uses its reference: the timer follows the device, not the check box.
        sim->SetHeldParams({99, 5, 100, 0, 1, 0, 20});
        kvtest::Named<QCheckBox>(*form, "vref")->setChecked(false);

        kvtest::Trigger(*form, "Enabletimer1");
        QVERIFY(kvtest::Named<QAction>(*form, "Enabletimer1")->isChecked());
        QVERIFY(kvtest::Named<QTimer>(*form, "Timer1")->isActive());
        kvtest::Named<QTimer>(*form, "Timer1")->stop(); // ticks are driven by the test
        for (QPushButton *b : {kvtest::Named<QPushButton>(*form, "BitBtn1"),
                               kvtest::Named<QPushButton>(*form, "BitBtn2"),
                               kvtest::Named<QPushButton>(*form, "BitBtn3"),
                               kvtest::Named<QPushButton>(*form, "BitBtn4")})
            QVERIFY(!b->isEnabled());

        for (int i = 0; i < 3; ++i) {
            kvtest::Tick(*form);
            QCOMPARE(kvtest::Named<QLabel>(*form, "sb1Panel0")->text(), QString(" 1"));
        }
        QCOMPARE(sim->FrameCount(), std::size_t(6)); // 0x15 then 0x1B, each time
        QCOMPARE(sim->Frames().at(4), F({0x15}));
        QCOMPARE(sim->Frames().at(5), F({0x1B}));
        const Lines lines = adcLines();
        QCOMPARE(lines.size(), std::size_t(4));
        QCOMPARE(lines[0], std::string(kCurrentLogHeader));
        for (int i = 1; i <= 3; ++i)
            QVERIFY2(IsRecord(lines[i], "  500   1 244   5 100   0.88   5.00 On"),
                     lines[i].c_str());

        // The ticks make no records; stopping makes one of the whole series.
        QVERIFY(Records().empty());
        kvtest::Trigger(*form, "Enabletimer1");
        QVERIFY(!kvtest::Named<QTimer>(*form, "Timer1")->isActive());
        for (QPushButton *b : {kvtest::Named<QPushButton>(*form, "BitBtn1"),
                               kvtest::Named<QPushButton>(*form, "BitBtn2"),
                               kvtest::Named<QPushButton>(*form, "BitBtn3"),
                               kvtest::Named<QPushButton>(*form, "BitBtn4")})
            QVERIFY(b->isEnabled());
        const std::vector<kv::history::Record> recs = Records();
        QCOMPARE(recs.size(), std::size_t(1));
        QCOMPARE(recs[0].operation, std::string("current-series"));
        QCOMPARE(recs[0].data["count"].get<long long>(), 3);
        QCOMPARE(recs[0].data["log"].get<std::string>(), adcFile());
    }

    void timedMeasurementCountdownAndFailures() {
        Start("Timer=5\r\n");
        sim->SetAdc(1023);
        sim->SetHeldParams({99, 0, 10, 0, 0, 0, 20});
        kvtest::Trigger(*form, "Enabletimer1");
        kvtest::Named<QTimer>(*form, "Timer1")->stop();
        QStringList shown;
        for (int i = 0; i < 6; ++i) {
            kvtest::Tick(*form);
            shown << kvtest::Named<QLabel>(*form, "sb1Panel0")->text();
        }
        QCOMPARE(shown, (QStringList{" 5", " 4", " 3", " 2", " 1", " 5"}));
        Lines lines = adcLines();
        QCOMPARE(lines.size(), std::size_t(3));
        QVERIFY2(IsRecord(lines[2], " 1023   3 255   0  10   5.00 102.30 Off"), lines[2].c_str());

        // A tick reaching the interval while a measurement runs is dropped.
        Reset();
        form->commState().TimerTicks = 4;
        {
            const kv::BusyGuard running(form->commState().TimerBusy);
            kvtest::Tick(*form);
        }
        QVERIFY(sim->Frames().empty());
        QCOMPARE(kvtest::Named<QLabel>(*form, "sb1Panel0")->text(), QString(" 5"));
        QCOMPARE(form->commState().TimerTicks, 0);

        // A failed measurement: its notice in the log, its line (of zeros) in the file.
        form->commState().TimerTicks = 4;
        sim->SetHeldParams({99, 0, 0, 0, 0, 0, 20});
        kvtest::Tick(*form);
        QCOMPARE(log(), Lines{"GetCurrent error!"});
        QCOMPARE(adcLines().size(), std::size_t(4));
        form->AddLog("log on again");
        QCOMPARE(log().front(), std::string("log on again"));
        kvtest::Trigger(*form, "Enabletimer1");
        QCOMPARE(Records().back().data["failures"].get<long long>(), 1);
    }

    // The largest interval the settings file or "Set Interval" can hold: the first tick
    // measures at once and the countdown starts from the interval.
    void timerOfTheLargestInterval() {
        for (const bool fromDialog : {false, true}) {
            Start(fromDialog ? "Timer=5\r\n" : "Timer=2147483647\r\n");
            if (fromDialog) {
                prompter.AnswerInput("$7FFFFFFF");
                kvtest::Trigger(*form, "SetCurrentTimerInterval1");
            }
            QCOMPARE(form->commState().TimerInterval, 2147483647);
            std::filesystem::remove(adcFile());
            kvtest::Trigger(*form, "Enabletimer1");
            kvtest::Named<QTimer>(*form, "Timer1")->stop();
            kvtest::Tick(*form);
            QCOMPARE(kvtest::Named<QLabel>(*form, "sb1Panel0")->text(), QString(" 2147483647"));
            QCOMPARE(sim->Frames(), (std::vector<Frame>{F({0x15}), F({0x1B})}));
            kvtest::Tick(*form);
            QCOMPARE(kvtest::Named<QLabel>(*form, "sb1Panel0")->text(), QString(" 2147483646"));
            QCOMPARE(sim->FrameCount(), std::size_t(2));
            QCOMPARE(adcLines().size(), std::size_t(2)); // header and one record
            kvtest::Trigger(*form, "Enabletimer1");
            cleanup();
            init();
        }
    }

    // A current log emptied or deleted during a series starts again with its header.
    void currentLogHeaderComesBack() {
        Start("Timer=1\r\n");
        kvtest::Trigger(*form, "Enabletimer1");
        kvtest::Named<QTimer>(*form, "Timer1")->stop();
        kvtest::Tick(*form);
        QCOMPARE(adcLines().size(), std::size_t(2));
        for (const bool deleted : {true, false}) {
            if (deleted)
                std::filesystem::remove(adcFile());
            else
                kvtest::TempDir::Write(adcFile(), "");
            kvtest::Tick(*form);
            const Lines lines = adcLines();
            QCOMPARE(lines.size(), std::size_t(2));
            QCOMPARE(lines[0], std::string(kCurrentLogHeader));
        }
        kvtest::Trigger(*form, "Enabletimer1");
    }

    // "Set Interval" sets the interval the timer uses; a non-integer answer goes to the
    // general error report, run through the event loop as a menu click is.
    void setInterval() {
        Start("Timer=5\r\n");
        prompter.AnswerInput(" 0x0A");
        kvtest::Trigger(*form, "SetCurrentTimerInterval1");
        QCOMPARE(prompter.prompts().at(0).initial, std::string("5"));
        QCOMPARE(form->commState().TimerInterval, 10);
        QCOMPARE(log(), Lines{"Timer value set to 10s"});
        QCOMPARE(kv::IniFile(iniFile()).ReadInteger("init", "Timer", 0), 10);

        Reset();
        prompter.AnswerInput("7 ");
        QMetaObject::invokeMethod(
            form.get(), [this] { kvtest::Trigger(*form, "SetCurrentTimerInterval1"); },
            Qt::QueuedConnection);
        QCoreApplication::processEvents();
        QCOMPARE(prompter.messageTexts(), Lines{"'7 ' is not a valid integer value."});
        QCOMPARE(prompter.prompts().at(1).caption, std::string("<Korvane>"));
        QCOMPARE(form->commState().TimerInterval, 10);
        QVERIFY(log().empty());
    }

    // The plot takes each measurement the timed series writes to the current log, and those
    // of "Get Current"; its window, pause and exports send nothing to the device.
    void currentPlotTakesTheMeasurements() {
        Start("Timer=1\r\n");
        sim->SetAdc(500);
        sim->SetHeldParams({99, 5, 100, 0, 1, 0, 20});
        kvtest::Trigger(*form, "CurrentPlot1");
        QVERIFY(form->findChild<TCurrentPlotWindow *>() &&
                form->findChild<TCurrentPlotWindow *>()->isVisible());
        QVERIFY(sim->Frames().empty());

        kvtest::Named<QPushButton>(*form, "BitBtn4")->click();
        kvtest::Trigger(*form, "Enabletimer1");
        kvtest::Named<QTimer>(*form, "Timer1")->stop(); // ticks are driven by the test
        kvtest::Tick(*form);
        kv::device::PlotView v = form->plot().View();
        QCOMPARE(v.points.size(), std::size_t(2));
        QCOMPARE(v.points[1].adc, 500);
        QCOMPARE(v.points[1].amps, 5.0);
        QVERIFY2(IsRecord(adcLines().at(1), "  500   1 244   5 100   0.88   5.00 Off"),
                 adcLines().at(1).c_str());

        // Paused: measurements are kept, the view stays; the exports add no frames.
        form->findChild<TCurrentPlotWindow *>()->pause->click();
        QVERIFY(form->plot().paused());
        const std::size_t frames = sim->FrameCount();
        sim->SetAdc(700);
        kvtest::Tick(*form);
        QCOMPARE(form->plot().size(), std::size_t(3));
        v = form->plot().View();
        QCOMPARE(v.points.size(), std::size_t(2));
        QVERIFY(sim->FrameCount() > frames);

        const std::size_t before = sim->FrameCount();
        prompter.AnswerFile(dir->File("shown.csv"));
        form->findChild<TCurrentPlotWindow *>()->exportCsv->click();
        QCOMPARE(kvtest::TempDir::Read(dir->File("shown.csv")), kv::device::PlotCsv(v));
        prompter.AnswerFile(dir->File("shown.png"));
        form->findChild<TCurrentPlotWindow *>()->savePng->click();
        QImage png(QString::fromStdString(dir->File("shown.png")));
        QCOMPARE(png.size(), form->findChild<TCurrentPlotWindow *>()->area->size() *
                                 form->findChild<TCurrentPlotWindow *>()->devicePixelRatio());
        QCOMPARE(sim->FrameCount(), before);
        kvtest::Trigger(*form, "Enabletimer1");

        // Resumed, it shows the newest point again.
        form->findChild<TCurrentPlotWindow *>()->pause->click();
        QCOMPARE(form->plot().View().points.back().adc, 700);
        const QByteArray shots = qgetenv("KORVANE_SCREENSHOT_DIR");
        if (!shots.isEmpty())
            QVERIFY(form->findChild<TCurrentPlotWindow *>()->grab().save(
                QString::fromLocal8Bit(shots) + "/current_plot.png"));
    }
};

KORVANE_QTEST_MAIN(DeviceWindowTest)
#include "device_window_test.moc"
