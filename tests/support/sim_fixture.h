// A simulated fuse for integration tests: started in-process on a pseudo-terminal, reached
// through a symbolic link in a temporary folder (so it keeps its path across a hang-up and
// restart), with a settings file whose "port" names it.
#pragma once

#include <memory>
#include <string>

#include "fuse_sim.h"
#include "link/link.h"
#include "temp_dir.h"

namespace kvtest {

// A link whose port and speed are read from the settings file at each opening, as the
// programs' links are.
std::unique_ptr<kv::link::Link> LinkOnSettings(kv::link::LinkHost &host, const std::string &ini,
                                               kv::link::Timing timing = {});

class SimFixture {
public:
    // Starts the simulator; throws std::runtime_error when the pseudo-terminal cannot be made.
    explicit SimFixture(kv::sim::Options options = {});
    ~SimFixture();

    kv::sim::FuseSim &sim() { return *sim_; }
    TempDir &dir() { return dir_; }
    // The path the program opens (the link in the temporary folder).
    std::string port() const { return sim_->PortPath(); }
    // The settings file written at start: "[init]", "port=<port()>", "AutoOpen=0".
    const std::string &iniFile() const { return ini_; }
    // Writes a settings file with port=<port()> and the extra lines (each "key=value").
    void WriteSettings(const std::string &file, const std::string &extraLines = "") const;

    // A link on the simulator's port, reading the port settings from iniFile().
    std::unique_ptr<kv::link::Link> MakeLink(kv::link::LinkHost &host,
                                             kv::link::Timing timing = {}) const;

    // The device is plugged in again after a hang-up (same path).
    void Replug();

private:
    TempDir dir_;
    std::string ini_;
    std::unique_ptr<kv::sim::FuseSim> sim_;
};

} // namespace kvtest
