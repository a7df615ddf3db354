#include "sim_fixture.h"

#include <stdexcept>

#include "app/comm_state.h"
#include "app/settings_file.h"

namespace kvtest {

SimFixture::SimFixture(kv::sim::Options options) {
    if (options.linkPath.empty())
        options.linkPath = dir_.File("ttyFUSE");
    sim_ = std::make_unique<kv::sim::FuseSim>(std::move(options));
    std::string error;
    if (!sim_->Start(&error))
        throw std::runtime_error("simulated fuse: " + error);
    ini_ = dir_.File("korvane.ini");
    WriteSettings(ini_, "AutoOpen=0\r\n");
}

SimFixture::~SimFixture() {
    sim_->Stop();
}

void SimFixture::WriteSettings(const std::string &file, const std::string &extraLines) const {
    TempDir::Write(file, "[init]\r\nport=" + port() + "\r\n" + extraLines);
}

std::unique_ptr<kv::link::Link> LinkOnSettings(kv::link::LinkHost &host, const std::string &ini,
                                               kv::link::Timing timing) {
    return std::make_unique<kv::link::Link>(
        host,
        [ini] {
            const kv::PortSetting p = kv::ReadPortSetting(kv::IniFile(ini));
            return kv::link::PortSettings{p.port, p.baud};
        },
        timing);
}

std::unique_ptr<kv::link::Link> SimFixture::MakeLink(kv::link::LinkHost &host,
                                                     kv::link::Timing timing) const {
    return LinkOnSettings(host, ini_, timing);
}

void SimFixture::Replug() {
    std::string error;
    if (!sim_->Restart(&error))
        throw std::runtime_error("simulated fuse: " + error);
}

} // namespace kvtest
