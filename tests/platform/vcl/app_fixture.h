// Runs an application on its own simulated thread while the test thread
// drives it, as a runner does.
#pragma once

#include "platform/clock/clock.h"
#include "platform/vcl/user.h"
#include "platform/vcl/vcl.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace vcltest {

// A small form with one of each kind the tests need.
class TTestForm : public vcl::TForm {
  public:
    explicit TTestForm(vcl::TComponent* owner, const vcl::String& cls = "TTestForm")
        : TForm(owner, cls) {
        Width = 300;
        Height = 201;
        edt = vcl::create<vcl::TEdit>(this, "edt");
        btn = vcl::create<vcl::TButton>(this, "btn");
        chk = vcl::create<vcl::TCheckBox>(this, "chk");
        grp = vcl::create<vcl::TGroupBox>(this, "grp");
        rbA = vcl::create<vcl::TRadioButton>(this, "rbA", grp);
        rbB = vcl::create<vcl::TRadioButton>(this, "rbB", grp);
        rbOther = vcl::create<vcl::TRadioButton>(this, "rbOther");
        cbox = vcl::create<vcl::TComboBox>(this, "cbox");
        bar = vcl::create<vcl::TProgressBar>(this, "bar");
        menu = vcl::create<vcl::TPopupMenu>(this, "PopupMenu");
        menu->AddItem("ShowItem", "Show it", [this](vcl::TObject*) { ++menuClicks; });
    }
    void WndProc(vcl::TMessage& m) override {
        if (m.Msg == 0x8064) seen.push_back(m.LParam);
        TForm::WndProc(m);
    }
    vcl::TEdit* edt;
    vcl::TButton* btn;
    vcl::TCheckBox* chk;
    vcl::TGroupBox* grp;
    vcl::TRadioButton* rbA;
    vcl::TRadioButton* rbB;
    vcl::TRadioButton* rbOther;
    vcl::TComboBox* cbox;
    vcl::TProgressBar* bar;
    vcl::TPopupMenu* menu;
    int menuClicks = 0;
    std::vector<vcl::LPARAM> seen;
};

class AppFixture : public ::testing::Test {
  protected:
    // Starts an application whose entry is setup (CreateForm calls), then Run.
    void start(std::function<void()> setup) {
        ui_ = clock_.spawn("ui", [this, setup] {
            vcl::TApplication app(desktop_);
            app_ = &app;
            setup();
            app.Run();
            app_ = nullptr;
        });
        clock_.yield();
        while (!app_ && !ui_->finished())
            clock_.sleep(vt::Duration(1000000));
    }
    void TearDown() override {
        if (app_ && !app_->Ended()) app_->Invoke([this] { app_->Terminate(); });
        if (ui_) ui_->join();
    }
    // Runs on the application's thread and waits until it is idle.
    void onUi(std::function<void()> f) { ASSERT_TRUE(app_->Invoke(std::move(f))); }
    vcl::user::Result act(std::function<vcl::user::Result()> f) {
        vcl::user::Result r;
        onUi([&] { r = f(); });
        return r;
    }

    vt::Clock clock_;
    vt::Clock::Attachment self_ = clock_.attach("test");
    vcl::Desktop desktop_;
    std::shared_ptr<vt::Thread> ui_;
    vcl::TApplication* app_ = nullptr;
};

} // namespace vcltest
