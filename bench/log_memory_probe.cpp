// Memory probe for bench/log_memory.sh: runs the program's own start-up (the five windows,
// the main window shown, the port opened from the settings file) in a folder of the
// caller's, and samples the resident memory while the log pane fills: either from a device
// that floods the line (started by the script) or from the timed measurement, which this
// probe switches on as the menu item "Get Current - Timer" does.
//
// usage: log_memory_probe DIR flood|timer SECONDS [SAMPLE_SECONDS [WARMUP_SECONDS]]
// DIR holds korvane.ini (the port and the other settings) and gets korvane.adc. Prints one
// line "t=<s> rss_kib=<n> log_lines=<n>" per sample, the first after the warm-up.
#include <QAction>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/program_path.h"
#include "gui/app_context.h"
#include "gui/application.h"
#include "gui/main_window.h"
#include "gui/qt_prompter.h"
#include "gui/startup.h"

namespace {

long ResidentKiB() {
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s DIR flood|timer SECONDS [SAMPLE_SECONDS [WARMUP]]\n",
                     argv[0]);
        return 2;
    }
    std::string dir = argv[1];
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    const std::string mode = argv[2];
    const int seconds = std::atoi(argv[3]);
    const int sample = argc > 4 ? std::atoi(argv[4]) : 30;
    const int warmup = argc > 5 ? std::atoi(argv[5]) : 30;

    KorvaneApplication app(argc, argv);
    QtPrompter prompter;
    app.setPrompter(&prompter);
    kv::AppContext ctx(prompter, kv::ProgramPaths{"korvane", dir});

    QTimer sampler;
    int elapsed = 0;
    const int rc = kv::RunProgram(app, ctx, [&](kv::Windows &w) {
        TForm1 *f = &w.main;
        if (mode == "timer")
            f->findChild<QAction *>("Enabletimer1")->trigger();
        auto print = [&, f] {
            std::printf("t=%d rss_kib=%ld log_lines=%zu\n", elapsed, ResidentKiB(),
                        f->LogLinesShown().size());
            std::fflush(stdout);
        };
        QObject::connect(&sampler, &QTimer::timeout, f, [&, f, print] {
            elapsed += sample;
            print();
            if (elapsed >= seconds)
                f->close();
        });
        sampler.setInterval(sample * 1000);
        QTimer::singleShot(warmup * 1000, f, [&, print] {
            print();
            sampler.start();
        });
    });
    app.setPrompter(nullptr);
    return rc;
}
