// The korvane program: the service tool for the Korvane electronic fuse.
#include "app/app_context.h"
#include "app/application.h"
#include "app/program_path.h"
#include "app/qt_prompter.h"
#include "app/startup.h"

int main(int argc, char **argv) {
    // The program's name and folder come first: every file beside the program is named
    // after them.
    const kv::ProgramPaths paths = kv::ProgramPathsOfProcess(argc > 0 ? argv[0] : nullptr);

    KorvaneApplication app(argc, argv);
    QtPrompter prompter;
    app.setPrompter(&prompter);
    kv::AppContext ctx(prompter, paths);
    const int rc = kv::RunProgram(app, ctx);
    app.setPrompter(nullptr);
    return rc;
}
