// What the main window's tests share: the window on a settings file of its own that names a
// simulated fuse on a real pseudo-terminal, the scripted prompter answering its questions,
// and a temporary folder that is the program's folder. A Qt test class derives from QObject
// first and from this, and calls StartFuse() (or StartFolder() for no fuse) in init() and
// CloseAll() in cleanup().
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
    std::string programDir; // the program's folder: dir's unless MakeWindowIn named another

    std::string iniFile() const { return programDir + "korvane.ini"; }

    // A fresh folder, no fuse; the prompter answers the application's questions.
    void StartFolder() {
        KorvaneApplication::instance()->setPrompter(&prompter);
        prompter.clear();
        dir = std::make_unique<TempDir>();
        programDir = dir->path();
    }

    // A fresh folder and a running fuse.
    void StartFuse(kv::sim::Options options = {}) {
        StartFolder();
        sim = std::make_unique<kv::sim::FuseSim>(std::move(options));
        std::string error;
        QVERIFY2(sim->Start(&error), error.c_str());
    }

    // The same with the fuse's port a symbolic link in the folder (ttyFUSE), which Replug()
    // points at the new device: the settings go on naming it.
    void StartLinkedFuse() {
        StartFolder();
        kv::sim::Options options;
        options.linkPath = dir->File("ttyFUSE");
        sim = std::make_unique<kv::sim::FuseSim>(std::move(options));
        std::string error;
        QVERIFY2(sim->Start(&error), error.c_str());
    }

    // The fuse plugged in again after a hang-up, on the same path.
    void Replug() {
        std::string error;
        QVERIFY2(sim->Restart(&error), error.c_str());
    }

    // A settings file naming the fuse's port, with these lines after it.
    void WriteSettings(const std::string &file, const std::string &lines) const {
        TempDir::Write(file, "[init]\r\nport=" + sim->PortPath() + "\r\n" + lines);
    }

    // The settings file naming the fuse's port (AutoOpen=0, then extraIni), and the context
    // and main window made on it (a window made before goes first: it uses its context).
    void MakeWindow(const std::string &extraIni = "") {
        form.reset();
        WriteSettings(iniFile(), "AutoOpen=0\r\n" + extraIni);
        MakeWindowIn(programDir);
    }

    // The context and main window on a program folder as it is (folder ends in "/"): its
    // settings file, or none for the defaults.
    void MakeWindowIn(const std::string &folder) {
        form.reset();
        programDir = folder;
        ctx = std::make_unique<kv::AppContext>(prompter, kv::ProgramPaths{"korvane", folder});
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
