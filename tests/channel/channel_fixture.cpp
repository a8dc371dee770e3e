#include "channel_fixture.h"

#include <unistd.h>

namespace kvtest {

namespace {

std::filesystem::path FreshRoot() {
    static int serial = 0;
    auto path = std::filesystem::temp_directory_path() /
                ("kv-channel-" + std::to_string(getpid()) + "-" + std::to_string(++serial));
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
    return path;
}

} // namespace

ChannelFixture::ChannelFixture() : self(clock.attach("test")), root(FreshRoot()) {
    pc = std::make_unique<sim::Pc>(clock, win32::MachineKind::WinXP, root);
    EXPECT_TRUE(pc->installFilterDriver());
}

ChannelFixture::~ChannelFixture() {
    for (auto& [controller, port] : ports_)
        pc->unplug(port);
    ports_.clear();
    const auto report = pc->verifierReport();
    EXPECT_TRUE(report.empty()) << ::testing::PrintToString(report);
    pc.reset();
    std::filesystem::remove_all(root);
}

emu::Controller& ChannelFixture::plug(const std::string& name, emu::Geometry geometry) {
    controllers.push_back(std::make_unique<emu::Controller>(geometry, name));
    emu::Controller& controller = *controllers.back();
    const int port = pc->plug(controller);
    EXPECT_NE(port, 0) << name;
    ports_[&controller] = port;
    controller.clearCommandLog();
    return controller;
}

void ChannelFixture::unplug(emu::Controller& controller) {
    auto it = ports_.find(&controller);
    if (it == ports_.end()) return;
    pc->unplug(it->second);
    ports_.erase(it);
}

void ChannelFixture::run(const std::function<void()>& fn) {
    start_ = clock.now();
    pc->machine().run("KV7946AP.exe", [&] {
        fn();
        return 0;
    });
    end_ = clock.now();
}

} // namespace kvtest
