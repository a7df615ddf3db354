// The korvane program: the service tool for the Korvane electronic fuse.
#include "app/program_path.h"
#include "gui/app_context.h"
#include "gui/application.h"
#include "gui/qt_prompter.h"
#include "gui/startup.h"

int main(int argc, char **argv) {
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
