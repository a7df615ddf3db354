// The korvane program: the service tool for the Korvane electronic fuse.
#include "app/program_path.h"
#include "app/version.h"
#include "gui/app_context.h"
#include "gui/application.h"
#include "gui/qt_prompter.h"
#include "gui/startup.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// --help and --version answer on the terminal before any window or display is needed (Qt
// would abort without a display, or open the window).
bool AnsweredOnTerminal(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-V") == 0) {
            std::printf("korvane %s\n", std::string(kv::ProgramVersion()).c_str());
            return true;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("usage: korvane [--help] [--version] [Qt options]\n"
                        "The service tool for the Korvane electronic fuse: its main window.\n"
                        "korvanectl runs the same operations from the command line "
                        "(korvanectl --help).\n");
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char **argv) {
    if (AnsweredOnTerminal(argc, argv))
        return 0;
    // The program's name and the folder of its files come first: every file of the program
    // is named after them. The main window's creation writes the current log's header, so an
    // installed program's data folder is needed from the start.
    const kv::ProgramPaths paths = kv::ProgramPathsOfProcess(argc > 0 ? argv[0] : nullptr);
    paths.DataDir();

    KorvaneApplication app(argc, argv);
    QtPrompter prompter;
    app.setPrompter(&prompter);
    kv::AppContext ctx(prompter, paths);
    const int rc = kv::RunProgram(app, ctx);
    app.setPrompter(nullptr);
    return rc;
}
