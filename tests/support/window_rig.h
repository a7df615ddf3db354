// What the main window's tests share: the window on a settings file of its own that names a
// simulated fuse on a real pseudo-terminal, the scripted prompter answering its questions,
// and a temporary folder that is the program's folder. A Qt test class derives from QObject
// first and from this, and calls StartFuse() in init() and CloseAll() in cleanup().
#pragma once

#include <QTest>

#include <memory>
#include <string>

#include "app/program_path.h"
#include "by_name.h"
#include "fuse_sim.h"
#include "gui/application.h"
#include "gui/main_window.h"
#include "scripted_prompter.h"
#include "temp_dir.h"

namespace kvtest {

class WindowRig {
protected:
    ScriptedPrompter prompter;
    std::unique_ptr<TempDir> dir;
    std::unique_ptr<kv::sim::FuseSim> sim;
    std::unique_ptr<kv::AppContext> ctx;
    std::unique_ptr<TForm1> form;

    std::string iniFile() const { return dir->File("korvane.ini"); }

    // A fresh folder and a running fuse; the prompter answers the application's questions.
    void StartFuse() {
        KorvaneApplication::instance()->setPrompter(&prompter);
        prompter.clear();
        dir = std::make_unique<TempDir>();
        sim = std::make_unique<kv::sim::FuseSim>();
        std::string error;
        QVERIFY2(sim->Start(&error), error.c_str());
    }

    // The settings file naming the fuse's port (AutoOpen=0, then extraIni), and the context
    // and main window made on it (a window made before goes first: it uses its context).
    void MakeWindow(const std::string &extraIni = "") {
        form.reset();
        TempDir::Write(iniFile(),
                       "[init]\r\nport=" + sim->PortPath() + "\r\nAutoOpen=0\r\n" + extraIni);
        ctx = std::make_unique<kv::AppContext>(prompter, kv::ProgramPaths{"korvane", dir->path()});
        form = std::make_unique<TForm1>(*ctx);
    }

    // The window goes before the context it uses, the fuse before its folder.
    void CloseAll() {
        form.reset();
        ctx.reset();
        sim.reset();
        dir.reset();
    }
};

} // namespace kvtest
