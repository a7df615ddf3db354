// Start-up probe for bench/startup.sh: runs the program's own start-up (settings, the five
// windows, the main window shown) and closes the main window as soon as it is on the
// screen. Prints the milliseconds from main() to the exposed, painted main window.
// Argument: an optional PNG file for a picture of the screen with the Device menu open, or
// --answer: message boxes are printed on standard error and answered with their first
// button instead of shown, so that a run whose port cannot be opened does not wait on one.
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QWindow>

#include <cstdio>
#include <string>

#include "app/program_path.h"
#include "gui/app_context.h"
#include "gui/application.h"
#include "gui/main_window.h"
#include "gui/qt_prompter.h"
#include "gui/startup.h"

namespace {

class AnsweringPrompter : public QtPrompter {
public:
    int Message(const std::string &caption, const std::string &text, kv::MsgIcon,
                kv::MsgButtons buttons) override {
        std::fprintf(stderr, "box %s: %s\n", caption.c_str(), text.c_str());
        return buttons == kv::MsgButtons::Ok ? kv::IdOk : kv::IdYes;
    }
};

} // namespace

int main(int argc, char **argv) {
    QElapsedTimer clock;
    clock.start();
    const kv::ProgramPaths paths = kv::ProgramPathsOfProcess(argv[0]);
    KorvaneApplication app(argc, argv);
    const bool answer = argc > 1 && std::string(argv[1]) == "--answer";
    QtPrompter shown;
    AnsweringPrompter answering;
    QtPrompter &prompter = answer ? answering : shown;
    app.setPrompter(&prompter);
    kv::AppContext ctx(prompter, paths);
    const QString shot = argc > 1 && !answer ? QString::fromLocal8Bit(argv[1]) : QString();

    const int rc = kv::RunProgram(app, ctx, [&](kv::Windows &w) {
        TForm1 *f = &w.main;
        QElapsedTimer wait;
        wait.start();
        while (!(f->windowHandle() && f->windowHandle()->isExposed()) && wait.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        f->repaint();
        std::printf("shown_ms=%lld\n", static_cast<long long>(clock.elapsed()));
        std::fflush(stdout);
        if (!shot.isEmpty()) {
            QMenu *device = f->findChild<QMenu *>("Device1");
            const QRect item = f->menuBar()->actionGeometry(device->menuAction());
            device->popup(f->menuBar()->mapToGlobal(item.bottomLeft()));
            QElapsedTimer t;
            t.start();
            while (t.elapsed() < 500)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QGuiApplication::primaryScreen()->grabWindow(0).save(shot);
            device->hide();
        }
        for (const std::string &line : f->LogLinesShown())
            std::printf("log: %s\n", line.c_str());
        f->close();
    });
    app.setPrompter(nullptr);
    return rc;
}
