// Fault drills of the program against a misbehaving simulated fuse on a pseudo-terminal:
// the real main window and table editor (offscreen), the real link and receive thread.
// Each drill prints what it measured (CPU, peak memory) as a "DRILL" line.
#include "corrtable/transfer.h"
#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/format.h"
#include "app/program_path.h"
#include "corrtable/table.h"
#include "drill_meter.h"
#include "fake_host.h"
#include "fuse_sim.h"
#include "gui/application.h"
#include "gui/editor_window.h"
#include "gui/main_window.h"
#include "link/port_name.h"
#include "scripted_prompter.h"
#include "sim_fixture.h"
#include "sim_table.h"
#include "window_rig.h"

using Lines = std::vector<std::string>;
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kUnderAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kUnderAddressSanitizer = true;
#else
constexpr bool kUnderAddressSanitizer = false;
#endif
#else
constexpr bool kUnderAddressSanitizer = false;
#endif

namespace ct = kv::corrtable;

namespace {

// Counts the ticks of a 20 ms timer while the program waits: a window whose events are
// processed keeps ticking; a hung one does not.
class Probe {
public:
    Probe() {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.elapsed();
            maxGap_ = std::max(maxGap_, now - last_);
            last_ = now;
            ++ticks_;
        });
        clock_.start();
        timer_.start();
    }
    int ticks() const { return ticks_; }
    qint64 maxGapMs() const { return maxGap_; }
    std::string Text() const {
        return std::to_string(ticks_) + " UI ticks, longest gap " + std::to_string(maxGap_) + " ms";
    }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 maxGap_ = 0;
    int ticks_ = 0;
};

int Count(const Lines &lines, const std::string &text) {
    return static_cast<int>(std::count(lines.begin(), lines.end(), text));
}

bool Has(const Lines &lines, const std::string &text) {
    return Count(lines, text) > 0;
}

int CountHaving(const Lines &lines, const std::string &part) {
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const auto &l) {
        return l.find(part) != std::string::npos;
    }));
}

// The current log's records (header left out): the time of day in seconds and the ADC.
std::vector<std::pair<int, int>> AdcRecords(const std::string &text) {
    std::vector<std::pair<int, int>> records;
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line); // the header
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string date, time;
        int adc = -1;
        fields >> date >> time >> adc;
        if (time.size() < 8)
            continue;
        const int seconds = std::stoi(time.substr(0, 2)) * 3600 +
                            std::stoi(time.substr(3, 2)) * 60 + std::stoi(time.substr(6, 2));
        records.emplace_back(seconds, adc);
    }
    return records;
}

std::string Joined(const Lines &lines) {
    std::string s;
    for (const auto &l : lines)
        s += "[" + l + "] ";
    return s;
}

ct::CorrTableData Pattern() {
    ct::CorrTableData t{};
    for (int n = 0; n < ct::kCorrections; ++n)
        t[static_cast<std::size_t>(n)] = static_cast<std::int8_t>((n * 37) % 255 - 127);
    t[ct::kCheckIndex] = static_cast<std::int8_t>(ct::TableCrc(t));
    return t;
}

} // namespace

class DrillDevice : public QObject, protected kvtest::WindowRig {
    Q_OBJECT

private:
    std::unique_ptr<TForm4> editor;

    std::string adcFile() const { return dir->File("korvane.adc"); }
    Lines log() const { return form->LogLinesShown(); }
    // The line a timed series logs when its port goes.
    std::string Unplugged() const {
        return "Port " + kv::link::PortShown(sim->PortPath()) + " unplugged (" +
               std::strerror(EIO) + "): the series waits for it to come back";
    }

    void Start(const std::string &extraIni = "", int logLines = 2000) {
        StartLinkedFuse();
        MakeWindow("LogLines=" + std::to_string(logLines) + "\r\n" + extraIni);
        editor = std::make_unique<TForm4>(*ctx);
        form->UseWindows(nullptr, editor.get(), nullptr, nullptr);
        form->show();
        QVERIFY(form->OpenComPort());
        kvtest::Named<QPlainTextEdit>(*form, "m")->clear();
        prompter.clear();
    }

    // The editor opened from the menu, its Write button pressed inside the modal loop.
    void WriteTableFromEditor() {
        QTimer::singleShot(0, editor.get(), [this] { editor->BitBtn2->click(); });
        kvtest::Trigger(*form, "Correctiontable1");
    }

    // The status report of a working link, after whatever went before.
    void VerifyNextTransactionWorks() {
        prompter.clear();
        kvtest::Named<QPlainTextEdit>(*form, "m")->clear();
        kvtest::Trigger(*form, "GetLastValues1");
        QCOMPARE(prompter.messageTexts(), std::vector<std::string>{});
        QVERIFY(Has(log(), "  Last Values [Relay is currently Off]"));
    }

private slots:
    void init() { prompter.clear(); }

    void cleanup() {
        editor.reset();
        CloseAll();
    }

    // The device is pulled out after the tenth of 28 table blocks.
    void hangUpDuringTableWrite() {
        Start();
        kvdrill::Meter meter("hang-up during table write");
        const ct::CorrTableData table = Pattern();
        ctx->CorrTable = table;
        sim->ClearFrames();
        sim->HangUpAfterFrames(10);

        Probe probe;
        WriteTableFromEditor();
        QCOMPARE(prompter.messageTexts(), std::vector<std::string>{ct::kWriteError});
        QVERIFY(Has(log(), "Receive error!"));
        QVERIFY(sim->FrameCount() <= 11);
        QVERIFY2(probe.ticks() > 0, "no window events were processed during the write");
        // The device stays away for a while; the program must neither spin nor hang.
        const double cpuBefore = meter.CpuSeconds();
        QTest::qWait(1000);
        const double idleCpu = meter.CpuSeconds() - cpuBefore;

        // Plugged in again: "Open COM port", and the same table (kept whole) goes out.
        Replug();
        prompter.clear();
        kvtest::Trigger(*form, "Open1");
        QCOMPARE(log().front(), std::string("COM port opened"));
        WriteTableFromEditor();
        QCOMPARE(prompter.messageTexts(), std::vector<std::string>{ct::kWriteDone});
        QVERIFY(ctx->CorrTable == table);
        QVERIFY(sim->GetTable() == kvtest::DeviceBytes(table));
        meter.Report("\"Error on write!\" after block 10, " + probe.Text() +
                         ", idle CPU while hung " + std::to_string(idleCpu).substr(0, 4) +
                         " s/s; reopened, table written whole",
                     "none (table kept, written after reopening)");
    }

    // A timed measurement every second; the device hangs up after two records.
    void hangUpDuringTimedMeasurement() {
        Start("Timer=1\r\n");
        kvdrill::Meter meter("hang-up during timed measurement");
        auto records = [this] {
            const std::string t = kvtest::TempDir::Read(adcFile());
            return static_cast<int>(std::count(t.begin(), t.end(), '\n'));
        };
        const int header = records();
        Probe probe;
        kvtest::Trigger(*form, "Enabletimer1");
        QTRY_VERIFY_WITH_TIMEOUT(records() >= header + 2, 15000);
        const std::string before = kvtest::TempDir::Read(adcFile());

        sim->HangUpNow();
        QTRY_VERIFY_WITH_TIMEOUT(Has(log(), Unplugged()), 15000);
        const int ticksHung = probe.ticks();
        QTest::qWait(2500);
        QVERIFY2(probe.ticks() > ticksHung, "the window stopped processing events while hung");
        // Nothing was appended while the port was gone, nothing earlier was lost.
        const std::string during = kvtest::TempDir::Read(adcFile());
        QCOMPARE(during.substr(0, before.size()), before);
        QCOMPARE(records(), static_cast<int>(std::count(during.begin(), during.end(), '\n')));

        // Plugged back in on the same path: the series opens the port again by itself.
        Replug();
        const int afterReopen = records();
        QTRY_VERIFY_WITH_TIMEOUT(records() > afterReopen, 15000);
        kvtest::Trigger(*form, "Enabletimer1"); // off
        QVERIFY(!kvtest::Named<QTimer>(*form, "Timer1")->isActive());
        const std::string after = kvtest::TempDir::Read(adcFile());
        QCOMPARE(after.substr(0, during.size()), during);
        QVERIFY(after.ends_with("\r\n"));
        // One line when it went, one when it came back; no box for the frames of a series.
        QCOMPARE(prompter.messageTexts(), Lines{});
        QCOMPARE(Count(log(), Unplugged()), 1);
        QCOMPARE(CountHaving(log(), "reopened: the series goes on"), 1);
        meter.Report("one line for the hang-up, " + probe.Text() +
                         "; reopened by the series itself, records resumed",
                     "none (earlier records intact)");
    }

    // The adapter pulled out in the middle of a timed series (the device and its link path
    // gone) and plugged back in on the same path: the series says so once, takes no slot
    // meanwhile, opens the port again by itself and goes on in its slots.
    void unplugDuringTimedSeries() {
        Start("Timer=1\r\n");
        kvdrill::Meter meter("unplug during a timed series");
        sim->SetAdc(512);
        auto records = [this] { return AdcRecords(kvtest::TempDir::Read(adcFile())); };
        Probe probe;
        kvtest::Trigger(*form, "Enabletimer1");
        QTRY_VERIFY_WITH_TIMEOUT(records().size() >= 2, 15000);

        sim->Unplug();
        QVERIFY(::access(sim->PortPath().c_str(), F_OK) != 0);
        QTRY_VERIFY_WITH_TIMEOUT(Has(log(), Unplugged()), 5000);
        const std::size_t taken = records().size();
        QTest::qWait(2500);
        QCOMPARE(records().size(), taken); // no slot is measured while it is gone
        const int ticksGone = probe.ticks();

        std::string error;
        QVERIFY2(sim->PlugIn(&error), error.c_str());
        QTRY_VERIFY_WITH_TIMEOUT(records().size() >= taken + 2, 15000);
        kvtest::Trigger(*form, "Enabletimer1"); // off
        QVERIFY(probe.ticks() > ticksGone);

        const Lines l = log();
        QCOMPARE(prompter.messageTexts(), Lines{});
        QCOMPARE(Count(l, Unplugged()), 1);
        QCOMPARE(CountHaving(l, "GetCurrent error!"), 0);
        QCOMPARE(CountHaving(l, "reopened: the series goes on, "), 1);
        int missed = 0;
        for (const auto &line : l)
            if (const auto at = line.find("the series goes on, "); at != std::string::npos)
                missed = std::atoi(line.c_str() + at + 20);
        QVERIFY2(missed >= 2 && missed <= 4, Joined(l).c_str());
        // The file holds each slot taken, with the device's reading, and nothing else.
        const auto all = records();
        for (const auto &[seconds, adc] : all)
            QCOMPARE(adc, 512);
        int widest = 0;
        for (std::size_t i = 1; i < all.size(); ++i)
            widest = std::max(widest, (all[i].first - all[i - 1].first + 86400) % 86400);
        QVERIFY2(widest >= missed, "the gap is not in the file's times");
        meter.Report("one line when unplugged, one when reopened (" + std::to_string(missed) +
                         " slots missed), " + probe.Text(),
                     "none: " + std::to_string(all.size()) + " records, each measured");
    }

    // 115200 bit/s of unsolicited bytes for 10 s.
    void unsolicitedFlood() {
        // The fastest a serial line carries (115200 bit/s) into a log pane of 30 lines, full
        // within the warm-up; after it nothing may grow with the lines still coming.
        Start("", 30);
        constexpr int kBytesPerSecond = 11520;
        constexpr int kWarmUpMs = 20000;
        constexpr int kSampleMs = 15000;
        constexpr int kSamples = 4;
        kvdrill::Meter meter("flood 115200 bit/s for 80 s");
        Probe probe;
        sim->Flood(kBytesPerSecond, kWarmUpMs + kSamples * kSampleMs + 500);
        QTest::qWait(kWarmUpMs);
        std::vector<long> rss{meter.CurrentKiB()};
        for (int i = 0; i < kSamples; ++i) {
            QTest::qWait(kSampleMs);
            rss.push_back(meter.CurrentKiB());
        }
        QVERIFY(sim->WaitSent(5000));
        QTest::qWait(500);
        const Lines l = log();
        const int full = Count(l, "R: Buffer full");
        int received = 0;
        for (const auto &line : l)
            if (line.starts_with("R: 55 55"))
                ++received;
        QVERIFY2(full >= 5, ("only " + std::to_string(full) + " \"Buffer full\" lines").c_str());
        QVERIFY(received > full);
        QVERIFY(probe.ticks() > 0);
        // The receive buffer is fixed, the log pane keeps LogLines lines and no edit history
        // of them. AddressSanitizer keeps freed blocks in quarantine (up to 256 MiB), so under
        // it resident memory says nothing about what the program holds.
        const long growth = rss.back() - rss.front();
        std::string samples;
        for (long kib : rss)
            samples += kv::Format("%0.1f ", {kib / 1024.0});
        if (!kUnderAddressSanitizer)
            QVERIFY2(growth < 2048,
                     ("resident memory after the warm-up, MiB every 15 s: " + samples).c_str());
        VerifyNextTransactionWorks();
        meter.Report(std::to_string(full) + " \"R: Buffer full\" lines, " +
                         std::to_string(received) + " R: lines, " + probe.Text() +
                         "; resident MiB after a 20 s warm-up, every 15 s: " + samples +
                         "(growth " + kv::Format("%0.1f", {growth / 1024.0}) +
                         " MiB); next GetStatus reported",
                     "none");
    }

    // Replies of every wrong length: the operation's error, no report made of the bytes,
    // and the next exchange works.
    void garbageReplies_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("length");
        auto add = [](int code, int length) {
            QTest::newRow((std::to_string(code) + "/" + std::to_string(length)).c_str())
                << code << length;
        };
        for (int n = 0; n <= 40; ++n)
            if (n != 25)
                add(0x15, n); // GetStatus
        for (int n : {0, 1, 5, 7, 9, 12, 30})
            add(0x1B, n); // GetCurrentCmd, 8
        for (int n : {0, 1, 3, 10})
            add(0x06, n); // WriteTableBlock, 2
    }

    void garbageReplies() {
        QFETCH(int, code);
        QFETCH(int, length);
        Start();
        kvdrill::Meter meter("garbage reply " + std::to_string(code) + "/" +
                             std::to_string(length));
        sim->SetReplyLength(static_cast<std::uint8_t>(code), length);
        Probe probe;
        std::string expected;
        if (code == 0x15) {
            kvtest::Trigger(*form, "GetLastValues1");
            expected = "GetStatus error!";
            QVERIFY(!Has(log(), "  Last Values [Relay is currently Off]"));
        } else if (code == 0x1B) {
            kvtest::Named<QPushButton>(*form, "BitBtn4")->click();
            expected = "GetCurrent error!";
        } else {
            ctx->CorrTable = Pattern();
            WriteTableFromEditor();
            expected = ct::kWriteError;
            QCOMPARE(sim->FrameCount(), std::size_t{1}); // stopped at the first block
        }
        QCOMPARE(prompter.messageTexts(), std::vector<std::string>{expected});
        QVERIFY(!form->link().CommandRunning());
        sim->SetReplyLength(static_cast<std::uint8_t>(code), std::nullopt);
        VerifyNextTransactionWorks();
        meter.Report("\"" + expected + "\", " + probe.Text() + ", next exchange fine", "none");
    }

    // A port that exists but cannot be opened: the system's reason in the box, and the
    // program opens the right port afterwards.
    void portCannotBeOpened_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("no-permission") << "no-permission";
        QTest::newRow("held-by-another") << "held-by-another";
        QTest::newRow("not-a-port") << "not-a-port";
        QTest::newRow("folder") << "folder";
    }

    void portCannotBeOpened() {
        QFETCH(QString, kind);
        Start();
        kvtest::Trigger(*form, "Close1");
        kvdrill::Meter meter("port cannot be opened: " + kind.toStdString());
        std::string path;
        std::string reason;
        std::string how;
        kvtest::FakeHost otherHost;
        std::unique_ptr<kv::link::Link> other;
        std::string mountDir;
        if (kind == "no-permission") {
            struct stat st {};
            QVERIFY(stat(sim->DevicePath().c_str(), &st) == 0);
            if (kvdrill::PrivateMounts()) {
                // The device's own node, on a file system mounted "nodev": open() is refused
                // with EACCES even to root.
                mountDir = dir->File("nodev");
                std::string error;
                QVERIFY2(kvdrill::MountTmpfs(mountDir, 65536, "nodev", &error), error.c_str());
                path = mountDir + "/ttyFUSE";
                QVERIFY(mknod(path.c_str(), S_IFCHR | 0666, st.st_rdev) == 0);
                how = "device node on a nodev mount";
            } else if (geteuid() != 0) {
                path = sim->DevicePath();
                QVERIFY(chmod(path.c_str(), 0) == 0);
                how = "device node without access rights";
            } else {
                QSKIP("root without the right to mount: no way to deny an open() here");
            }
            reason = std::strerror(EACCES);
        } else if (kind == "held-by-another") {
            // Another program has the port open.
            WriteSettings(iniFile(), "AutoOpen=0\r\n");
            other = kvtest::LinkOnSettings(otherHost, iniFile());
            QVERIFY(other->OpenComPort());
            path = sim->PortPath();
            reason = std::strerror(EBUSY);
            how = "held open by another program";
        } else if (kind == "not-a-port") {
            path = dir->File("plain-file");
            kvtest::TempDir::Write(path, "not a serial port");
            reason = std::strerror(ENOTTY);
            how = "a plain file";
        } else {
            path = dir->path();
            reason = std::strerror(EISDIR);
            how = "a folder";
        }
        WriteSettings(iniFile(), "AutoOpen=0\r\n");
        kvtest::TempDir::Write(iniFile(), "[init]\r\nport=" + path + "\r\nAutoOpen=0\r\n");
        kvtest::Trigger(*form, "Open1");
        const auto boxes = prompter.messageTexts();
        QCOMPARE(boxes.size(), std::size_t{1});
        QVERIFY2(boxes[0].find(reason) != std::string::npos, boxes[0].c_str());
        QVERIFY(!form->link().PortOpen());
        // A command now opens the port again, fails the same way and reports the exchange.
        prompter.clear();
        kvtest::Trigger(*form, "GetLastValues1");
        QVERIFY(!prompter.messageTexts().empty());
        QCOMPARE(prompter.messageTexts().back(), std::string("GetStatus error!"));

        if (other)
            other->ClosePort();
        other.reset();
        if (!mountDir.empty())
            kvdrill::Unmount(mountDir);
        WriteSettings(iniFile(), "AutoOpen=0\r\n");
        prompter.clear();
        kvtest::Trigger(*form, "Open1");
        QCOMPARE(prompter.messageTexts(), std::vector<std::string>{});
        QCOMPARE(log().front(), std::string("COM port opened"));
        VerifyNextTransactionWorks();
        meter.Report("box \"" + reason + "\" for " + how + "; right port opened after", "none");
    }
};

int main(int argc, char **argv) {
    // Before any thread starts: the mounts of the permission drill stay private.
    kvdrill::EnterPrivateMounts();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    KorvaneApplication app(argc, argv);
    DrillDevice tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "drill_device_test.moc"
