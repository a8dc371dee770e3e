// A QApplication on the offscreen platform, a frontend, and an application
// on its own simulated thread, as the desktop program has them.
#pragma once

#include "frontend/qt/form_window.h"
#include "frontend/qt/frontend.h"
#include "platform/clock/clock.h"
#include "platform/vcl/transcript.h"
#include "platform/vcl/vcl.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <mutex>

namespace qttest {

// Where screenshots go: the build folder.
inline std::filesystem::path shotDir() {
    std::filesystem::path d = std::filesystem::path(KV_SHOT_DIR) / "screenshots";
    std::filesystem::create_directories(d);
    return d;
}

class QtFixture : public ::testing::Test {
  protected:
    QtFixture() {
        clock_.setExternalInput(true);
        desktop_.addObserver(&transcript_);
    }
    ~QtFixture() override {
        post([] { vcl::Application->Terminate(); });
        if (ui_) ui_->join();
        QCoreApplication::processEvents();
    }
    // Runs setup (CreateForm calls) then the loop on a simulated thread.
    void start(std::function<void()> setup) {
        ui_ = clock_.spawn("ui", [this, setup] {
            vcl::TApplication app(desktop_);
            setup();
            app_ = &app;
            app.Run();
            app_ = nullptr;
        });
        ASSERT_TRUE(
            QTest::qWaitFor([this] { return app_.load() != nullptr || ui_->finished(); }, 5000));
    }
    // Runs fn on the application's thread, unless it has ended.
    void post(std::function<void()> fn) {
        frontend_.input(reinterpret_cast<uintptr_t>(app_.load()),
                        [fn](vcl::TApplication&) { fn(); });
    }
    std::vector<std::string> lines() {
        std::lock_guard<std::mutex> g(lock_);
        return lines_;
    }
    bool waitForLine(const std::string& line, int ms = 5000) {
        return QTest::qWaitFor(
            [&] {
                auto l = lines();
                return std::find(l.begin(), l.end(), line) != l.end();
            },
            ms);
    }

    vt::Clock clock_;
    vcl::Desktop desktop_;
    kvqt::Frontend frontend_{desktop_};
    std::mutex lock_;
    std::vector<std::string> lines_;
    vcl::TranscriptObserver transcript_{[this](const std::string& s) {
        std::lock_guard<std::mutex> g(lock_);
        lines_.push_back(s);
    }};
    std::shared_ptr<vt::Thread> ui_;
    std::atomic<vcl::TApplication*> app_{nullptr};
};

} // namespace qttest
