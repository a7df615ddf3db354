// Fault drills of the program's files: the current log written by timed measurements and
// the calibration file, on a full disk and in a read-only folder. The failure must be
// reported where the user would otherwise believe the data saved, and what the files held
// before must stay whole. Runs the real main window and calibration window (offscreen)
// against the simulated fuse.
#include <QAction>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/program_path.h"
#include "app/text_files.h"
#include "drill_meter.h"
#include "fuse_sim.h"
#include "gui/application.h"
#include "gui/calib_window.h"
#include "gui/editor_window.h"
#include "gui/main_window.h"
#include "scripted_prompter.h"
#include "sim_fixture.h"
#include "window_rig.h"

using Lines = std::vector<std::string>;
namespace fs = std::filesystem;

namespace {

constexpr const char *kHeader = "Date       Time      ADC  Hi  Lo  Zo Mul   Volt   Curr Relay\r\n";
constexpr const char *kRecord = "01.02.2024 10:00:00  512   2   0   0  10   2.50  51.20 Off\r\n";

// An earlier current log that fills its last page of the file system to the byte, so that
// once the disk is full no later append finds room in it.
std::string EarlierLog() {
    std::string s = kHeader;
    while (s.size() + std::strlen(kRecord) <= 4096)
        s += kRecord;
    s.insert(s.size() - 2, std::string(4096 - s.size(), ' ')); // pad the last record
    return s;
}

bool Has(const Lines &lines, const std::string &prefix) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string &l) { return l.starts_with(prefix); });
}

} // namespace

class DrillFiles : public QObject, protected kvtest::WindowRig {
    Q_OBJECT

private:
    std::unique_ptr<TForm2> calib;
    std::string program; // the program's folder: the files under test live here
    std::string mounted;

    std::string adcFile() const { return program + "/korvane.adc"; }
    Lines log() const { return form->LogLinesShown(); }

    // The program's folder on a fresh tmpfs of `bytes` (or in the fixture's folder for 0),
    // with its settings file and the earlier current log.
    bool Start(long bytes) {
        StartLinkedFuse();
        program = dir->File("program");
        if (bytes > 0) {
            std::string error;
            if (!kvdrill::MountTmpfs(program, bytes, "", &error)) {
                qWarning("tmpfs: %s", error.c_str());
                return false;
            }
            mounted = program;
        } else {
            fs::create_directories(program);
        }
        WriteSettings(program + "/korvane.ini", "AutoOpen=0\r\nTimer=1\r\nGridLines=20\r\n");
        kvtest::TempDir::Write(adcFile(), EarlierLog());
        MakeWindowIn(program + "/");
        calib = std::make_unique<TForm2>(*ctx);
        form->UseWindows(calib.get(), nullptr, nullptr, nullptr);
        if (!form->OpenComPort())
            return false;
        prompter.clear();
        return true;
    }

    // Timed measurements until the log shows `lines` reports of a failed record, then off.
    int RunTimerUntilReported(int reports) {
        kvtest::Named<QPlainTextEdit>(*form, "m")->clear();
        kvtest::Trigger(*form, "Enabletimer1");
        auto failures = [this] {
            const Lines l = log();
            return static_cast<int>(std::count_if(l.begin(), l.end(), [](const std::string &s) {
                return s.starts_with("Cannot write the current log");
            }));
        };
        QElapsedTimer t;
        t.start();
        while (failures() < reports && t.elapsed() < 20000)
            QTest::qWait(100);
        kvtest::Trigger(*form, "Enabletimer1");
        return failures();
    }

    void FillCalibrationGrid() {
        const char *rows[][3] = {{"0", "512", "510"}, {"1.0", "597", "600"}, {"5", "937", "940"}};
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                calib->SetCellText(2 + c, r + 1, rows[r][c]);
    }

    std::string SaveCalibration(const std::string &file) {
        prompter.AnswerFile(file);
        calib->Save1Click();
        const auto boxes = prompter.messageTexts();
        return boxes.empty() ? std::string() : boxes.back();
    }

    // The program's start-up in a fresh folder beside whatever `neighbour` makes there, with
    // no device: the window must appear.
    void StartBeside(const std::function<void(const std::string &program)> &neighbour) {
        StartLinkedFuse();
        program = dir->File("program");
        fs::create_directories(program);
        neighbour(program);
        MakeWindowIn(program + "/");
        calib = std::make_unique<TForm2>(*ctx);
        form->UseWindows(calib.get(), nullptr, nullptr, nullptr);
        form->show();
    }

private slots:
    // The windows close their files first, then the tmpfs goes, then the folder it was
    // mounted in: removed with a file system still on it, the folder would stay behind.
    void cleanup() {
        calib.reset();
        form.reset();
        if (!mounted.empty())
            kvdrill::Unmount(mounted);
        mounted.clear();
        CloseAll();
    }

    // The disk fills up under a running timed measurement and a calibration save.
    void fullDisk() {
        if (!kvdrill::PrivateMounts())
            QSKIP("needs a private tmpfs (root with the right to mount); see currentLogOnDevFull");
        kvdrill::Meter meter("full disk: current log and calibration file");
        QVERIFY(Start(256 * 1024));
        const std::string sav = program + "/cal.sav";
        FillCalibrationGrid();
        QCOMPARE(SaveCalibration(sav), std::string());
        const std::string savBefore = kvtest::TempDir::Read(sav);
        const std::string adcBefore = kvtest::TempDir::Read(adcFile());

        QVERIFY(kvdrill::FillUp(program) > 0);
        QVERIFY(RunTimerUntilReported(2) >= 2);
        QVERIFY(prompter.beeps() >= 2);
        QCOMPARE(kvtest::TempDir::Read(adcFile()), adcBefore);

        calib->SetCellText(3, 2, "601");         // typed: the grid holds the text
        calib->sgSetEditText(3, 2, "601", true); // ended with Enter
        const std::string box = SaveCalibration(sav);
        QVERIFY2(box.starts_with("Cannot write file " + sav) &&
                     box.find(std::strerror(ENOSPC)) != std::string::npos,
                 box.c_str());
        QVERIFY(calib->DataModified()); // still unsaved: the close query will ask
        QCOMPARE(kvtest::TempDir::Read(sav), savBefore);
        QVERIFY(!fs::exists(sav + ".tmp~"));

        // Room again: both files take their data.
        fs::remove(program + "/filler");
        prompter.clear();
        QCOMPARE(SaveCalibration(sav), std::string());
        QVERIFY(!calib->DataModified());
        QVERIFY(kvtest::TempDir::Read(sav).find("601\r\n") != std::string::npos);
        kvtest::Named<QPlainTextEdit>(*form, "m")->clear();
        kvtest::Trigger(*form, "Enabletimer1");
        QTRY_VERIFY_WITH_TIMEOUT(kvtest::TempDir::Read(adcFile()).size() > adcBefore.size(), 10000);
        kvtest::Trigger(*form, "Enabletimer1");
        QVERIFY(kvtest::TempDir::Read(adcFile()).starts_with(adcBefore));
        meter.Report("current log: \"Cannot write the current log ...: " +
                         std::string(std::strerror(ENOSPC)) +
                         "\" in the log and a beep per record; calibration: error box, "
                         "old file whole, still marked unsaved; both resume when room is made",
                     "none (earlier log and .sav byte for byte)");
    }

    // Without a tmpfs: the current log is the full device itself.
    void currentLogOnDevFull() {
        kvdrill::Meter meter("current log on /dev/full");
        QVERIFY(Start(0));
        fs::remove(adcFile());
        fs::create_symlink("/dev/full", adcFile());
        QVERIFY(RunTimerUntilReported(2) >= 2);
        QVERIFY(
            Has(log(), "Cannot write the current log " + adcFile() + ": " + std::strerror(ENOSPC)));
        meter.Report("each record reported in the log (" + std::string(std::strerror(ENOSPC)) +
                         ") with a beep",
                     "none (nothing could be kept; nothing claimed saved)");
    }

    // The program's folder becomes read-only (as a write-protected share or card would).
    void readOnlyFolder() {
        if (!kvdrill::PrivateMounts() && geteuid() == 0)
            QSKIP("root without the right to mount: a folder cannot be made read-only here");
        kvdrill::Meter meter("read-only folder: current log and calibration file");
        const bool useMount = kvdrill::PrivateMounts();
        QVERIFY(Start(useMount ? 256 * 1024 : 0));
        const std::string sav = program + "/cal.sav";
        FillCalibrationGrid();
        QCOMPARE(SaveCalibration(sav), std::string());
        const std::string savBefore = kvtest::TempDir::Read(sav);
        const std::string adcBefore = kvtest::TempDir::Read(adcFile());

        std::string error;
        if (useMount)
            QVERIFY2(kvdrill::RemountReadOnly(program, &error), error.c_str());
        else
            fs::permissions(
                program, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                fs::perm_options::remove);
        const std::string reason = std::strerror(useMount ? EROFS : EACCES);

        QVERIFY(RunTimerUntilReported(2) >= 2);
        QVERIFY(Has(log(), "Cannot write the current log " + adcFile() + ": " + reason));
        QCOMPARE(kvtest::TempDir::Read(adcFile()), adcBefore);

        calib->SetCellText(3, 2, "601");         // typed: the grid holds the text
        calib->sgSetEditText(3, 2, "601", true); // ended with Enter
        const std::string box = SaveCalibration(sav);
        QVERIFY2(box.starts_with("Cannot write file " + sav) &&
                     box.find(reason) != std::string::npos,
                 box.c_str());
        QVERIFY(calib->DataModified());
        QCOMPARE(kvtest::TempDir::Read(sav), savBefore);

        if (!useMount)
            fs::permissions(program, fs::perms::owner_write, fs::perm_options::add);
        meter.Report("current log: \"Cannot write the current log ...: " + reason +
                         "\" in the log per record; calibration: error box \"" + reason +
                         "\", still marked unsaved",
                     "none (earlier log and .sav byte for byte)");
    }

    // A settings file or current log beside the program that is no file: a device that never
    // ends, a FIFO (which must never be waited on) or a folder. The window appears with the
    // defaults and says which file it cannot use.
    void startUpBesideOddFiles() {
        struct Row {
            const char *file;
            std::function<void(const std::string &)> make;
            std::string message; // what the log says, after the file name
        };
        const std::string ini = "Cannot read the settings file ";
        const std::string adc = "Cannot write the current log ";
        const std::string notFile = std::string(": ") + kv::kNotARegularFile;
        const std::vector<Row> rows{
            {"korvane.ini", [](const std::string &f) { fs::create_symlink("/dev/zero", f); },
             notFile},
            {"korvane.ini", [](const std::string &f) { ::mkfifo(f.c_str(), 0600); }, notFile},
            {"korvane.ini", [](const std::string &f) { fs::create_directory(f); },
             ": Is a directory"},
            {"korvane.adc", [](const std::string &f) { ::mkfifo(f.c_str(), 0600); }, notFile},
            {"korvane.adc", [](const std::string &f) { fs::create_directory(f); },
             ": Is a directory"},
        };
        kvdrill::Meter meter("start-up beside a device, FIFO or folder as .ini or .adc");
        double slowestMs = 0;
        for (const Row &r : rows) {
            QElapsedTimer t;
            t.start();
            StartBeside([&](const std::string &d) { r.make(d + "/" + r.file); });
            QVERIFY(QTest::qWaitForWindowExposed(form.get()));
            slowestMs = std::max(slowestMs, static_cast<double>(t.elapsed()));
            const std::string path = program + "/" + r.file;
            const std::string expected =
                (std::string(r.file).ends_with(".ini") ? ini : adc) + path + r.message;
            QVERIFY2(Has(log(), expected), expected.c_str());
            QCOMPARE(form->commState().TimerInterval, 5); // the defaults
            cleanup();
        }
        meter.Report("the window appears with the defaults, the log naming the file and why "
                     "(slowest start-up " +
                         std::to_string(static_cast<int>(slowestMs)) + " ms)",
                     "none");
    }

    // Long values in the table file "Generate CORRTABLE.INC File" reads: a 60 KB non-number
    // is quoted as its first 40 characters, a 10 MB line is refused by its length; neither
    // stalls the window.
    void longBadValuesInTheTableFile() {
        struct Row {
            std::string content;
            std::string message;
        };
        StartBeside([](const std::string &) {});
        const std::string epr = program + "/corrtbl.epr";
        const std::vector<Row> rows{
            {"1 " + std::string(60'000, 'x') + " 3",
             "'" + std::string(40, 'x') + "...' is not a valid integer value"},
            {std::string(10'000'000, '7'),
             "Cannot read file " + epr + ": the first line is longer than 65536 bytes"},
        };
        kvdrill::Meter meter("long bad values in corrtbl.epr");
        std::string times;
        for (const Row &r : rows) {
            kvtest::TempDir::Write(epr, r.content);
            fs::remove(program + "/corrtable.inc");
            prompter.clear();
            QElapsedTimer t;
            t.start();
            kvtest::Trigger(*form, "GenerateCORRTABLEINCFile1");
            times += std::to_string(t.elapsed()) + " ms ";
            const auto boxes = prompter.messageTexts();
            QVERIFY(!boxes.empty());
            QCOMPARE(boxes.front(), r.message);
        }
        meter.Report("conversion message quotes 40 characters; a 10 MB line refused by length; "
                     "Generate took " +
                         times,
                     "none");
    }

    // The disk is full from the start: the current log's header cannot be written at
    // start-up, nor the first records; once there is room the log starts with its header.
    void headerOnAFullDisk() {
        if (!kvdrill::PrivateMounts())
            QSKIP("needs a private tmpfs (root with the right to mount)");
        kvdrill::Meter meter("full disk from start-up: the current log's header");
        StartLinkedFuse();
        program = dir->File("program");
        std::string error;
        QVERIFY2(kvdrill::MountTmpfs(program, 256 * 1024, "", &error), error.c_str());
        mounted = program;
        WriteSettings(program + "/korvane.ini", "AutoOpen=0\r\nTimer=1\r\n");
        QVERIFY(kvdrill::FillUp(program) > 0);
        MakeWindowIn(program + "/");
        QVERIFY(form->OpenComPort());
        QVERIFY(RunTimerUntilReported(2) >= 2);
        QCOMPARE(kvtest::TempDir::Read(adcFile()), std::string()); // no half header

        fs::remove(program + "/filler");
        kvtest::Trigger(*form, "Enabletimer1");
        QTRY_VERIFY_WITH_TIMEOUT(kvtest::TempDir::Read(adcFile()).size() > std::strlen(kHeader),
                                 10000);
        kvtest::Trigger(*form, "Enabletimer1");
        const std::string adc = kvtest::TempDir::Read(adcFile());
        QVERIFY2(adc.starts_with(kHeader) && adc.find(kHeader, 1) == std::string::npos,
                 adc.c_str());
        meter.Report("records refused while full (reported, no half header left); the first "
                     "record after room was made comes with the header",
                     "none (nothing claimed saved)");
    }
};

int main(int argc, char **argv) {
    // Before any thread starts: the tmpfs mounts stay private to this process.
    kvdrill::EnterPrivateMounts();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    KorvaneApplication app(argc, argv);
    DrillFiles tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "drill_files_test.moc"
