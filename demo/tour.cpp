// korvane_tour: the program's windows, built in-process as the program builds them, walked
// through a short tour against a fuse on a serial port (the simulated one in scripts/demo),
// with a screenshot of each step.
//   korvane_tour --port DEVICE --out FOLDER --sample FILE.sav
// The program itself takes no arguments; this driver gives it a settings file of its own in
// a temporary folder and answers its dialogs from a script, so the tour runs unattended on
// a virtual display.
#include <QDialog>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/text_files.h"
#include "by_name.h"
#include "gui/adc_calculator_window.h"
#include "gui/app_context.h"
#include "gui/application.h"
#include "gui/calib_window.h"
#include "gui/editor_window.h"
#include "gui/last_adc_window.h"
#include "gui/main_window.h"
#include "gui/startup.h"
#include "scripted_prompter.h"
#include "temp_dir.h"

namespace {

struct Options {
    std::string port, out, sample;
};

bool ParseOptions(int argc, char **argv, Options &o) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        if (name == "--port")
            o.port = argv[i + 1];
        else if (name == "--out")
            o.out = argv[i + 1];
        else if (name == "--sample")
            o.sample = argv[i + 1];
        else
            return false;
    }
    return !o.port.empty() && !o.out.empty() && !o.sample.empty();
}

// Lets the windows run (timers, the receive thread's hand-overs) for ms milliseconds.
void Wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs then once dialog is shown: for the modal windows, whose exec() the caller is in.
void WhenShown(QDialog *dialog, std::function<void()> then) {
    auto *poll = new QTimer(dialog);
    QObject::connect(poll, &QTimer::timeout, dialog, [dialog, poll, then] {
        if (!dialog->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        then();
    });
    poll->start(50);
}

class Tour {
public:
    Tour(const Options &o, kvtest::ScriptedPrompter &p) : opt_(o), prompter_(p) {}

    void Run(kv::AppContext &ctx, kv::Windows &w) {
        TForm1 &main = w.main;
        Step("Open COM port (Device menu): the simulated fuse on " + opt_.port);
        kvtest::Trigger(main, "Open1");
        Wait(300);

        Step("Get Last Values (Ctrl+L): the status report in the log pane");
        kvtest::Trigger(main, "GetLastValues1");
        Shot(&main, "01-get-last-values");

        Step("Get Data: the fuse parameters in the fields");
        kvtest::Named<QPushButton>(main, "BitBtn2")->click();
        Shot(&main, "02-get-data");

        Step("Read Correction Table (Data menu): 28 blocks read, shown in the editor");
        WhenShown(&w.editor, [&] {
            Shot(&w.editor, "03-read-correction-table");
            w.editor.done(2); // closed without Write
        });
        kvtest::Trigger(main, "ReadCorrectionTable1");

        Step("Graph (Ctrl+G), then Data > Load: the sample calibration and its graph");
        kvtest::Trigger(main, "data1");
        prompter_.AnswerFile(opt_.sample, 1);
        w.calibration.Load1Click();
        Wait(200);
        Shot(&w.calibration, "04-calibration-graph");

        Step("Calc Correction Table: multiplier 85, zero offset 0, saved as corrtbl.epr; "
             "the editor's second page");
        prompter_.AnswerInput("85");
        prompter_.AnswerInput("0");
        prompter_.AnswerFile(ctx.paths.dir + "corrtbl.epr", 2);
        WhenShown(&w.editor, [&] {
            w.editor.pg1->setCurrentIndex(1); // the entries for 10.0 A and up
            Shot(&w.editor, "05-calculated-table");
            w.editor.pg1->setCurrentIndex(0);
            w.editor.done(2);
        });
        w.calibration.CalcCorrectionTable1Click();
        w.calibration.hide();

        Step("Calc ADC (Data menu): the ADC reading of 5.1 A");
        WhenShown(&w.calculator, [&] {
            w.calculator.i->setText("5.1");
            Shot(&w.calculator, "06-adc-calculator");
            w.calculator.done(0);
        });
        kvtest::Trigger(main, "Calc1");

        Step("Last ADC measure (Device menu), started: the reading refreshed every second");
        WhenShown(&w.lastAdc, [&] {
            w.lastAdc.BitBtn2Click(); // Start
            Wait(2500);
            Shot(&w.lastAdc, "07-last-adc-measure");
            w.lastAdc.BitBtn1Click(); // Close
        });
        kvtest::Trigger(main, "LastADCmeasure1");

        for (const auto &p : prompter_.prompts())
            if (p.kind == kvtest::Prompt::Kind::Message)
                std::printf("  (message box \"%s\": %s)\n", p.caption.c_str(), p.text.c_str());
        ok_ = prompter_.unscripted() == 0;
        main.close();
    }

    bool ok() const { return ok_ && failedShots_ == 0; }

private:
    void Step(const std::string &text) {
        std::printf("tour %d. %s\n", ++step_, text.c_str());
        std::fflush(stdout);
    }

    void Shot(QWidget *w, const std::string &name) {
        Wait(150); // the last repaint
        const std::string file = opt_.out + "/" + name + ".png";
        if (w->grab().save(QString::fromStdString(file))) {
            std::printf("  screenshot: %s\n", file.c_str());
        } else {
            std::printf("  screenshot FAILED: %s\n", file.c_str());
            ++failedShots_;
        }
        std::fflush(stdout);
    }

    const Options &opt_;
    kvtest::ScriptedPrompter &prompter_;
    int step_ = 0;
    int failedShots_ = 0;
    bool ok_ = false;
};

} // namespace

int main(int argc, char **argv) {
    Options opt;
    if (!ParseOptions(argc, argv, opt)) {
        std::fprintf(stderr, "usage: korvane_tour --port DEVICE --out FOLDER --sample FILE.sav\n");
        return 2;
    }
    std::error_code ec;
    std::filesystem::create_directories(opt.out, ec);
    opt.out = std::filesystem::absolute(opt.out).string();
    opt.sample = std::filesystem::absolute(opt.sample).string();

    // The program's files in a folder of the tour's own; the port opened from the menu.
    kvtest::TempDir files;
    if (const kv::FileResult r = kv::WriteTextFile(
            "[init]\r\nport=" + opt.port + "\r\nAutoOpen=0\r\n", files.File("korvane.ini"));
        !r) {
        std::fprintf(stderr, "tour: the settings file: %s\n", r.error.c_str());
        return 1;
    }

    KorvaneApplication app(argc, argv);
    kvtest::ScriptedPrompter prompter;
    app.setPrompter(&prompter);
    kv::AppContext ctx(prompter, kv::ProgramPaths{"korvane", files.path()});
    Tour tour(opt, prompter);
    const int rc = kv::RunProgram(app, ctx, [&](kv::Windows &w) { tour.Run(ctx, w); });
    app.setPrompter(nullptr);
    if (rc != 0 || !tour.ok()) {
        std::fprintf(stderr, "korvane_tour: the tour did not go as planned (%d)\n", rc);
        return 1;
    }
    return 0;
}
