// The main window's device operations against the simulated fuse on a pseudo-terminal:
// what the log, the boxes, the fields, the settings file and the current log show, and
// which frames the device received.
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
#include <memory>
#include <string>
#include <vector>

#include "app/program_path.h"
#include "device/current_plot.h"
#include "fuse_sim.h"
#include "gui/application.h"
#include "gui/current_plot_window.h"
#include "gui/main_window.h"
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

Lines Reversed(Lines v) {
    std::reverse(v.begin(), v.end());
    return v;
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
    Lines top(std::size_t n) const {
        Lines l = log();
        l.resize(std::min(n, l.size()));
        return l;
    }
    bool logHas(const std::string &line) const {
        const Lines l = log();
        return std::find(l.begin(), l.end(), line) != l.end();
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

    void statusReports() {
        Start();
        for (int i = 0; i < kv::sim::kRecordSize; ++i)
            sim->OverrideStatusByte(i, 0);
        kvtest::Trigger(*form, "GetLastValues1");
        QCOMPARE(sim->Frames(), std::vector<Frame>{F({0x15})});
        QCOMPARE(top(13), Reversed({
                              ">",
                              "> Device port A:00000000 B:00000000 C:00000000",
                              "> Flags: 00000000 []",
                              ">",
                              "> Average/Peak ADC:0 [Hi:0, Lo:0, count 0]",
                              "> Last ADC:0 [Hi:0, Lo:0]",
                              "> Last relay offtime:0ms [0m0s0ms]",
                              "> Used current:0, Measured current:0",
                              ">",
                              "> Use Vref=0, Use average current=0",
                              "> Overload time=0, Current multiply=0",
                              "> Fuse current=0, Zero offset=0",
                              "  Last Values [Relay is currently Off]",
                          }));
        // The transaction's own lines stay below the report.
        QCOMPARE(log().at(13).substr(0, 3), std::string("R: "));
        QVERIFY(logHas("S: 10B"));
        QVERIFY(prompter.prompts().empty());
        Screenshot("device_get_last_values.png");

        // The stored record, with flags 0x81, the relay bit and a relay off count of 1000.
        Reset();
        sim->OverrideStatusByte(0, 0x08);
        sim->OverrideStatusByte(3, 0x81);
        sim->OverrideStatusByte(19, 0x03);
        sim->OverrideStatusByte(20, 0xE8);
        kvtest::Trigger(*form, "GetLastStoredValues1");
        QCOMPARE(sim->Frames(), std::vector<Frame>{F({0x14})});
        const Lines stored = top(13);
        QCOMPARE(stored[0], std::string("  Last Stored Values [Relay is currently On]"));
        QCOMPARE(stored[6], std::string("> Last relay offtime:1024ms [0m1s24ms]"));
        QCOMPARE(stored[10], std::string("> Flags: 10000001 [CurOver CRCError]"));
        QCOMPARE(stored[11], std::string("> Device port A:00000000 B:00000000 C:00001000"));

        Reset();
        sim->OverrideStatusByte(19, 0xFF);
        sim->OverrideStatusByte(20, 0xFF);
        kvtest::Trigger(*form, "GetLastValues1");
        QCOMPARE(top(13).at(6), std::string("> Last relay offtime:66845ms [1m6s845ms]"));
    }

    void statusOfWrongLengthGivesOnlyTheBox() {
        Start();
        for (int length : {24, 26}) {
            Reset();
            sim->SetReplyLength(0x15, length);
            kvtest::Trigger(*form, "GetLastValues1");
            QCOMPARE(prompter.messageTexts(), Lines{"GetStatus error!"});
            for (const std::string &line : log())
                QVERIFY2(line.empty() || line[0] != '>', line.c_str());
        }
    }

    void sendDataValidatesConfirmsSavesAndStores() {
        Start();
        struct Case {
            const char *fuse, *multiply, *count;
            Lines boxes; // before the confirmation
            std::uint8_t fuseSent, multiplySent, countSent;
        };
        const std::vector<Case> cases{
            {"150", "10", "20", {"Current must be < 100!"}, 99, 10, 20},
            {"-1", "10", "20", {"Current must be < 100!"}, 99, 10, 20},
            {"12", "10", "0", {"Count must be > 0 and <= 20!"}, 12, 10, 20},
            {"12", "0", "5", {"I to ADC multiply must be > 0!"}, 12, 1, 5},
            {"12", "200", "5", {"I to ADC multiply must be <= 103!"}, 12, 103, 5},
        };
        for (const Case &c : cases) {
            Reset();
            SetEntries(c.fuse, "3", "40", c.multiply, c.count, true, false);
            prompter.AnswerMessage(kv::IdOk);
            prompter.AnswerMessage(kv::IdYes);
            kvtest::Named<QPushButton>(*form, "BitBtn1")->click();

            const std::string confirm =
                "Fuse current: " + std::to_string(c.fuseSent) +
                "\r\nZero offset: 3\r\nOverload timer: 40\r\nI to ADC multiply: " +
                std::to_string(c.multiplySent) +
                "\r\nCurrent measure count: " + std::to_string(c.countSent) +
                "\r\nUse average current: Yes\r\nUse voltage reference: No";
            Lines expected = c.boxes;
            expected.push_back(confirm);
            QCOMPARE(prompter.messageTexts(), expected);
            QCOMPARE(
                sim->Frames(),
                (std::vector<Frame>{F({0x16, c.fuseSent, 3, c.multiplySent, 40, 1, 0, c.countSent}),
                                    F({0x15}), F({0x17})}));
            const std::uint8_t crc = Crc({c.fuseSent, 3, c.multiplySent, 40, 0, 1, c.countSent});
            QCOMPARE(log().at(0), "CRC OK [0x" + Hex(crc, false) + "]");
            QCOMPARE(sim->StoredParams().fuseCurrent, c.fuseSent);
            // The edit keeps what was typed; the replacement is what is saved.
            QCOMPARE(kvtest::Named<QLineEdit>(*form, "fusecurrent")->text(), QString(c.fuse));
            kv::IniFile ini(iniFile());
            QCOMPARE(ini.ReadInteger("init", "FuseCurrent", -1), int(c.fuseSent));
            QCOMPARE(ini.ReadInteger("init", "ADCcurrentMultiply", -1), int(c.multiplySent));
            QCOMPARE(ini.ReadInteger("init", "MeasureCount", -1), int(c.countSent));
            QCOMPARE(ini.ReadString("init", "UseAverage", ""), std::string("1"));
            QCOMPARE(ini.ReadString("init", "UseVref", ""), std::string("0"));
        }
        QVERIFY(sim->StoredParams() == sim->HeldParams());
        Screenshot("device_send_data.png");
    }

    void sendDataThatEndsEarlySendsNothingMore() {
        Start();
        const std::string iniBefore = kvtest::TempDir::Read(iniFile());

        // Not an integer: the conversion message only; nothing asked, saved or sent.
        SetEntries("abc", "3", "40", "10", "20");
        kvtest::Named<QPushButton>(*form, "BitBtn1")->click();
        QCOMPARE(prompter.messageTexts(), Lines{"'abc' is not a valid integer value"});
        QVERIFY(sim->Frames().empty());
        QCOMPARE(kvtest::TempDir::Read(iniFile()), iniBefore);

        // Answer No.
        Reset();
        SetEntries("12", "3", "40", "10", "20");
        prompter.AnswerMessage(kv::IdNo);
        kvtest::Named<QPushButton>(*form, "BitBtn1")->click();
        QCOMPARE(prompter.messageTexts().size(), std::size_t(1));
        QVERIFY(sim->Frames().empty());
        QCOMPARE(kvtest::TempDir::Read(iniFile()), iniBefore);

        // A settings file that cannot be written is reported, and nothing is sent.
        Reset();
        std::filesystem::permissions(iniFile(), std::filesystem::perms::owner_read |
                                                    std::filesystem::perms::group_read);
        prompter.AnswerMessage(kv::IdYes);
        kvtest::Named<QPushButton>(*form, "BitBtn1")->click();
        const Lines boxes = prompter.messageTexts();
        QCOMPARE(boxes.size(), std::size_t(2));
        QCOMPARE(boxes[1],
                 "Cannot write the settings file " + iniFile() + ": The file is read-only");
        QVERIFY(sim->Frames().empty());
        std::filesystem::permissions(iniFile(), std::filesystem::perms::owner_all);
    }

    void sendDataDeviceFailures() {
        Start("AutoSaveData=0\r\n");
        const std::string iniBefore = kvtest::TempDir::Read(iniFile());
        SetEntries("12", "3", "40", "10", "20", true, false);

        // The device reports a different use-average byte: WriteData is not sent.
        sim->SetReadBackMismatch(9);
        prompter.AnswerMessage(kv::IdYes);
        kvtest::Named<QPushButton>(*form, "BitBtn1")->click();
        QCOMPARE(prompter.messageTexts().at(1), std::string("Data set error!"));
        QCOMPARE(sim->Frames(),
                 (std::vector<Frame>{F({0x16, 12, 3, 10, 40, 1, 0, 20}), F({0x15})}));
        sim->SetReadBackMismatch(-1);

        // The CRC the device returns after storing is wrong.
        Reset();
        sim->SetWrongWriteCrc(true);
        prompter.AnswerMessage(kv::IdYes);
        kvtest::Named<QPushButton>(*form, "BitBtn1")->click();
        const std::uint8_t crc = Crc({12, 3, 10, 40, 0, 1, 20});
        QCOMPARE(prompter.messageTexts().at(1), "CRC NOT OK!\r\n\r\nCalculated 0x" +
                                                    Hex(crc, false) + "\r\nReturned 0x" +
                                                    Hex(static_cast<std::uint8_t>(~crc), false));
        QCOMPARE(sim->Frames().size(), std::size_t(3));
        QVERIFY(!logHas("CRC OK [0x" + Hex(crc, false) + "]"));

        // SetStatus unanswered in full.
        Reset();
        sim->SetWrongWriteCrc(false);
        sim->SetReplyLength(0x16, 3);
        prompter.AnswerMessage(kv::IdYes);
        kvtest::Named<QPushButton>(*form, "BitBtn1")->click();
        QCOMPARE(prompter.messageTexts().at(1), std::string("SetStatus error!"));
        QCOMPARE(sim->Frames().size(), std::size_t(1));

        // AutoSaveData off: the settings file was never touched.
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

        // A failed read leaves the fields alone.
        Reset();
        sim->SetReplyLength(0x15, 26);
        SetEntries("1", "2", "3", "4", "5");
        kvtest::Named<QPushButton>(*form, "BitBtn2")->click();
        QCOMPARE(prompter.messageTexts(), Lines{"GetStatus error!"});
        QCOMPARE(kvtest::Named<QLineEdit>(*form, "fusecurrent")->text(), QString("1"));
        QVERIFY(!kvtest::Named<QCheckBox>(*form, "vref")->isChecked());
    }

    void relayDecisions() {
        Start();
        // Manual switch off blocks both directions.
        sim->SetManualSwitchOff(true);
        sim->SetRelay(true);
        kvtest::Named<QPushButton>(*form, "BitBtn3")->click();
        QCOMPARE(prompter.messageTexts(), Lines{"Manual switch is OFF!"});
        QCOMPARE(sim->Frames(), std::vector<Frame>{F({0x15})});

        // Relay on: switched off without a question.
        Reset();
        sim->SetManualSwitchOff(false);
        kvtest::Named<QPushButton>(*form, "BitBtn3")->click();
        QVERIFY(prompter.prompts().empty());
        QCOMPARE(sim->Frames(), (std::vector<Frame>{F({0x15}), F({0x09})}));
        QVERIFY(!sim->Relay());

        // Relay off: asked; No sends nothing, Yes switches it on.
        Reset();
        prompter.AnswerMessage(kv::IdNo);
        kvtest::Named<QPushButton>(*form, "BitBtn3")->click();
        QCOMPARE(prompter.messageTexts(), Lines{"Relay ON?"});
        QCOMPARE(sim->Frames(), std::vector<Frame>{F({0x15})});
        Reset();
        prompter.AnswerMessage(kv::IdYes);
        kvtest::Named<QPushButton>(*form, "BitBtn3")->click();
        QCOMPARE(sim->Frames(), (std::vector<Frame>{F({0x15}), F({0x08})}));
        QVERIFY(sim->Relay());

        // Only bit 3 counts: PortA 0xF7 does not block, PortC 0xF7 is relay off.
        Reset();
        sim->OverrideStatusByte(0, 0xF7);
        sim->OverrideStatusByte(2, 0xF7);
        kvtest::Named<QPushButton>(*form, "BitBtn3")->click();
        QCOMPARE(prompter.messageTexts(), Lines{"Relay ON?"});
    }

    void getCurrentReport() {
        Start();
        sim->SetAdc(500);
        sim->SetHeldParams({99, 5, 100, 0, 0, 0, 20});
        sim->SetRelay(true);
        kvtest::Named<QPushButton>(*form, "BitBtn4")->click();
        QCOMPARE(sim->Frames(), std::vector<Frame>{F({0x1B})});
        // Only the report: the transaction's lines are kept out of the log.
        QCOMPARE(log(),
                 Reversed({">", "> Zero offset:5, I to ADC current multiply:100",
                           "> ADC 500 [ADCHi 1, ADCLo 244]", "> Current:5.00A, Voltage: 2.44379V",
                           "  Actual ADC measure [Relay is On]"}));
        form->AddLog("log on again");
        QCOMPARE(log().front(), std::string("log on again"));

        // The check box chooses the reference voltage for the button.
        Reset();
        kvtest::Named<QCheckBox>(*form, "vref")->setChecked(true);
        kvtest::Named<QPushButton>(*form, "BitBtn4")->click();
        QCOMPARE(log().at(1), std::string("> Current:5.00A, Voltage: 0.87977V"));

        // A multiply of 0 cannot give a current: a failed measurement.
        Reset();
        sim->SetHeldParams({99, 5, 0, 0, 0, 0, 20});
        kvtest::Named<QPushButton>(*form, "BitBtn4")->click();
        QCOMPARE(prompter.messageTexts(), Lines{"GetCurrent error!"});
        QVERIFY(log().empty());
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

        kvtest::Trigger(*form, "Enabletimer1");
        QVERIFY(!kvtest::Named<QTimer>(*form, "Timer1")->isActive());
        for (QPushButton *b : {kvtest::Named<QPushButton>(*form, "BitBtn1"),
                               kvtest::Named<QPushButton>(*form, "BitBtn2"),
                               kvtest::Named<QPushButton>(*form, "BitBtn3"),
                               kvtest::Named<QPushButton>(*form, "BitBtn4")})
            QVERIFY(b->isEnabled());
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

        // A failed measurement after a good status read: the line holds zeros.
        form->commState().TimerTicks = 4;
        sim->SetHeldParams({99, 0, 0, 0, 0, 0, 20});
        kvtest::Tick(*form);
        QCOMPARE(log(), Lines{"GetCurrent error!"});
        lines = adcLines();
        QCOMPARE(lines.size(), std::size_t(4));
        QVERIFY2(IsRecord(lines[3], "    0   0   0   0   0   0.00   0.00 Off"), lines[3].c_str());

        // A failed status read: the log line and no file line.
        Reset();
        form->commState().TimerTicks = 4;
        sim->SetSilent(0x15, true);
        kvtest::Tick(*form);
        QCOMPARE(log(), Lines{"GetCurrent error!"});
        QCOMPARE(adcLines().size(), std::size_t(4));
        QCOMPARE(sim->Frames(), std::vector<Frame>{F({0x15})});
        QVERIFY(!form->commState().TimerBusy.IsSet());
        form->AddLog("log on again");
        QCOMPARE(log().front(), std::string("log on again"));
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

    void setInterval() {
        Start("Timer=5\r\n");
        kv::IniFile ini(iniFile());
        prompter.AnswerInput(" 0x0A");
        kvtest::Trigger(*form, "SetCurrentTimerInterval1");
        const auto asked = prompter.prompts().at(0);
        QCOMPARE(asked.caption, std::string("Set current timer interval"));
        QCOMPARE(asked.text, std::string("Enter new value in seconds"));
        QCOMPARE(asked.initial, std::string("5"));
        QCOMPARE(form->commState().TimerInterval, 10);
        QCOMPARE(log(), Lines{"Timer value set to 10s"});
        QCOMPARE(ini.ReadInteger("init", "Timer", 0), 10);

        // The same value again, or Cancel: nothing logged or saved.
        Reset();
        prompter.AnswerInput("10");
        kvtest::Trigger(*form, "SetCurrentTimerInterval1");
        prompter.AnswerInput(std::nullopt);
        kvtest::Trigger(*form, "SetCurrentTimerInterval1");
        QVERIFY(log().empty());

        // Below 1 becomes 1.
        prompter.AnswerInput("-3");
        kvtest::Trigger(*form, "SetCurrentTimerInterval1");
        QCOMPARE(form->commState().TimerInterval, 1);
        QCOMPARE(ini.ReadInteger("init", "Timer", 0), 1);

        // Not an integer (a trailing blank included): the general error report, run
        // through the event loop as a menu click is.
        Reset();
        prompter.AnswerInput("7 ");
        QMetaObject::invokeMethod(
            form.get(), [this] { kvtest::Trigger(*form, "SetCurrentTimerInterval1"); },
            Qt::QueuedConnection);
        QCoreApplication::processEvents();
        QCOMPARE(prompter.messageTexts(), Lines{"'7 ' is not a valid integer value."});
        QCOMPARE(prompter.prompts().at(1).caption, std::string("<Korvane>"));
        QCOMPARE(form->commState().TimerInterval, 1);
        QVERIFY(log().empty());

        // A settings file that cannot be written: said in the log, the value still used.
        Reset();
        std::filesystem::permissions(iniFile(), std::filesystem::perms::owner_read);
        prompter.AnswerInput("4");
        kvtest::Trigger(*form, "SetCurrentTimerInterval1");
        QCOMPARE(form->commState().TimerInterval, 4);
        QCOMPARE(log().at(0), "Timer value not saved in " + iniFile() + ": The file is read-only");
        QCOMPARE(log().at(1), std::string("Timer value set to 4s"));
        std::filesystem::permissions(iniFile(), std::filesystem::perms::owner_all);
    }

    void calcCrc() {
        Start();
        // Multiply 150 enters the CRC as 150 and count 0 as 0, silently.
        sim->SetHeldParams({10, 0, 150, 0, 0, 0, 0});
        SetEntries("10", "0", "0", "150", "0");
        kvtest::Trigger(*form, "CalcCRC1");
        const std::uint8_t crc = Crc({10, 0, 150, 0, 0, 0, 0});
        const std::string both = std::to_string(crc) + " [0x" + Hex(crc) + "]";
        QCOMPARE(log(), (Lines{"Returned CRC is " + both, "Calculated CRC is " + both}));
        QCOMPARE(prompter.messageTexts(), Lines{"CRC OK [0x" + Hex(crc) + "]"});
        QCOMPARE(sim->Frames(), std::vector<Frame>{F({0x15})});

        // Count 300 enters as its low byte 44 and differs from the device's 0.
        Reset();
        SetEntries("10", "0", "0", "150", "300");
        kvtest::Trigger(*form, "CalcCRC1");
        const std::uint8_t mine = Crc({10, 0, 150, 0, 0, 0, 44});
        QCOMPARE(prompter.messageTexts(),
                 Lines{"CRC NOT OK! [D: 0x" + Hex(crc) + " <> C: 0x" + Hex(mine) + "]"});

        // An empty field: the conversion message, nothing logged or sent.
        Reset();
        SetEntries("10", "0", "", "150", "0");
        kvtest::Trigger(*form, "CalcCRC1");
        QCOMPARE(prompter.messageTexts(), Lines{"'' is not a valid integer value"});
        QVERIFY(log().empty());
        QVERIFY(sim->Frames().empty());
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
