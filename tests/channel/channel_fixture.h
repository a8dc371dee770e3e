// A simulated XP machine with the filter driver installed and emulated
// controllers plugged into its USB bus. Product code runs inside a program
// of the machine (run()).
#pragma once

#include "emulator/controller.h"
#include "platform/clock/clock.h"
#include "tools/simpc/pc.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kvtest {

class ChannelFixture : public ::testing::Test {
  protected:
    ChannelFixture();
    ~ChannelFixture() override;

    // Plugs a new controller; its channel gets the lowest free device index.
    emu::Controller& plug(const std::string& name = "KV Disk", emu::Geometry geometry = {1, 1});
    void unplug(emu::Controller& controller);
    // Runs fn on the main thread of a program of the machine and waits for it.
    void run(const std::function<void()>& fn);
    // Virtual time taken by the last run().
    vt::Duration elapsed() const { return end_ - start_; }

    vt::Clock clock;
    vt::Clock::Attachment self;
    std::filesystem::path root;
    std::vector<std::unique_ptr<emu::Controller>> controllers; // outlive the PC
    std::unique_ptr<sim::Pc> pc;

  private:
    std::map<emu::Controller*, int> ports_;
    vt::TimePoint start_{};
    vt::TimePoint end_{};
};

} // namespace kvtest
