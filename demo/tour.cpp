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
#include <QTabWidget>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/text_files.h"
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

    void Run(kv::AppContext &ctx) {
        TForm1 &main = *ctx.form1;
        Step("Open COM port (Device menu): the simulated fuse on " + opt_.port);
        main.Open1Click();
        Wait(300);

        Step("Get Last Values (Ctrl+L): the status report in the log pane");
        main.GetLastValues1Click();
        Shot(&main, "01-get-last-values");

        Step("Get Data: the fuse parameters in the fields");
        main.BitBtn2Click();
        Shot(&main, "02-get-data");

        Step("Read Correction Table (Data menu): 28 blocks read, shown in the editor");
        WhenShown(ctx.form4, [&] {
            Shot(ctx.form4, "03-read-correction-table");
            ctx.form4->done(2); // closed without Write
        });
        main.ReadCorrectionTable1Click();

        Step("Graph (Ctrl+G), then Data > Load: the sample calibration and its graph");
        main.data1Click();
        prompter_.AnswerFile(opt_.sample, 1);
        ctx.form2->Load1Click();
        Wait(200);
        Shot(ctx.form2, "04-calibration-graph");

        Step("Calc Correction Table: multiplier 85, zero offset 0, saved as corrtbl.epr; "
             "the editor's second page");
        prompter_.AnswerInput("85");
        prompter_.AnswerInput("0");
        prompter_.AnswerFile(ctx.paths.dir + "corrtbl.epr", 2);
        WhenShown(ctx.form4, [&] {
            ctx.form4->pg1->setCurrentIndex(1); // the entries for 10.0 A and up
            Shot(ctx.form4, "05-calculated-table");
            ctx.form4->pg1->setCurrentIndex(0);
            ctx.form4->done(2);
        });
        ctx.form2->CalcCorrectionTable1Click();
        ctx.form2->hide();

        Step("Calc ADC (Data menu): the ADC reading of 5.1 A");
        WhenShown(ctx.form3, [&] {
            ctx.form3->i->setText("5.1");
            Shot(ctx.form3, "06-adc-calculator");
            ctx.form3->done(0);
        });
        main.Calc1Click();

        Step("Last ADC measure (Device menu), started: the reading refreshed every second");
        WhenShown(ctx.form5, [&] {
            ctx.form5->BitBtn2Click(); // Start
            Wait(2500);
            Shot(ctx.form5, "07-last-adc-measure");
            ctx.form5->BitBtn1Click(); // Close
        });
        main.LastADCmeasure1Click();

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
    const int rc = kv::RunProgram(app, ctx, [&](kv::AppContext &c) { tour.Run(c); });
    app.setPrompter(nullptr);
    if (rc != 0 || !tour.ok()) {
        std::fprintf(stderr, "korvane_tour: the tour did not go as planned (%d)\n", rc);
        return 1;
    }
    return 0;
}
