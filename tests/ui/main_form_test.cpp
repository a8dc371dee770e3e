// What the scenarios cannot see of KV7946AP: the order of its forms, its
// window title, the notification icon it registers, and the registry error
// of a missing "Pop" value.
#include "app/ui/main_form.h"
#include "platform/vcl/application.h"
#include "platform/win32/desktop.h"
#include "platform/win32/machine.h"
#include "platform/win32/registry_store.h"
#include "platform/win32/shell.h"
#include "tools/kv7946-sim/scenario/sim_world.h"

#include <gtest/gtest.h>

namespace {

using namespace scenario;

constexpr const char* kKey = "HKEY_LOCAL_MACHINE\\Software\\KV7946\\V1.0";

class Boxes : public Answerer {
  public:
    std::string answerMessage(const MessageBoxInfo& info) override {
        shown.push_back(info);
        return info.buttons.front();
    }
    std::optional<std::string> answerSave(const std::string&) override { return std::nullopt; }
    std::vector<MessageBoxInfo> shown;
};

class MainFormTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto dir = std::filesystem::path(KV_BUILD_DIR) /
                   ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(dir);
        world_ = std::make_unique<SimWorld>(transcript_, dir, dir / "machine");
        world_->setAnswerer(&boxes_);
        std::string error;
        ASSERT_TRUE(world_->setMachine("xp", error)) << error;
    }
    void TearDown() override {
        world_->finish();
        world_.reset();
    }

    void start() {
        std::string error;
        ASSERT_TRUE(world_->start("KV7946AP.exe", error)) << error;
        app_ = world_->desktop()->findApplication("KV7946AP");
        ASSERT_NE(app_, nullptr);
        main_ = dynamic_cast<kv::ui::TMainForm*>(app_->FindForm("TMainForm"));
        ASSERT_NE(main_, nullptr);
    }
    void click(const char* path) {
        Step step;
        step.verb = Verb::Click;
        std::string p = path;
        step.target = {p.substr(0, p.find('.')), p.substr(p.find('.') + 1)};
        std::string error;
        ASSERT_TRUE(world_->act(step, error)) << error;
    }
    std::vector<win32::TrayIcon> icons() { return world_->machine()->desktop().trayIcons(); }

    Transcript transcript_;
    Boxes boxes_;
    std::unique_ptr<SimWorld> world_;
    vcl::TApplication* app_ = nullptr;
    kv::ui::TMainForm* main_ = nullptr;
};

TEST_F(MainFormTest, FormsAreCreatedOnceInOrderAndOnlyTheMainWindowShows) {
    start();
    const std::vector<std::string> order = {
        "TMainForm",        "TJUtilityForm",        "TJSFormatForm",   "TChgPwdForm",
        "TChkPwdForm",      "TClearPasswdForm",     "TJDFormatForm",   "TJFormatChkPwdForm",
        "TJSaveDialogForm", "TSetPwdForm",          "TChgDevNameForm", "TPartitionForm",
        "TCopyFileForm",    "TJPartitionChkPwdForm"};
    std::vector<std::string> created, visible;
    for (vcl::TForm* f : app_->Forms()) {
        created.push_back(f->ClassName());
        if (f->Visible) visible.push_back(f->ClassName());
    }
    EXPECT_EQ(created, order);
    EXPECT_EQ(visible, std::vector<std::string>{"TMainForm"});
    EXPECT_EQ(app_->MainForm(), main_);

    bool titled = false;
    for (const win32::WindowInfo& w : world_->machine()->desktop().windows())
        titled = titled || w.title == "KV7946AP";
    EXPECT_TRUE(titled) << "the launcher looks for a window titled KV7946AP";
    EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(MainFormTest, TheIconFollowsTheWindowHandleAndGoesWithTheApplication) {
    start();
    auto first = icons();
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].id, kv::ui::kTrayIconId);
    EXPECT_EQ(first[0].callbackMessage, 0x8064u);
    EXPECT_EQ(first[0].tip, "SECURITY");
    EXPECT_EQ(first[0].flags, win32::NIF_MESSAGE | win32::NIF_ICON | win32::NIF_TIP);
    EXPECT_EQ(first[0].owner, main_->Handle());

    // The first unlock attempt (here: no device to select) leaves the
    // stay-on-top style: a new window, and the icon registered for it.
    click("TMainForm.btnOk");
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].text, "Please select the device!");
    EXPECT_EQ(boxes_.shown[0].icon, "warning");
    auto second = icons();
    ASSERT_EQ(second.size(), 1u);
    EXPECT_NE(second[0].owner, first[0].owner);
    EXPECT_EQ(second[0].owner, main_->Handle());
    EXPECT_EQ(second[0].tip, "SECURITY");

    click("TMainForm.btnOk");
    ASSERT_EQ(icons().size(), 1u);
    EXPECT_EQ(icons()[0].owner, second[0].owner);

    click("TMainForm.btnCancel");
    EXPECT_EQ(world_->program("KV7946AP.exe", true), ProgramState::Ended);
    EXPECT_TRUE(icons().empty());
}

TEST_F(MainFormTest, AMissingPopValueIsTheRegistryErrorAndNothingIsWritten) {
    ASSERT_TRUE(world_->machine()->registry().deleteValue(kKey, "Pop"));
    start();
    ASSERT_EQ(boxes_.shown.size(), 1u) << "the registry error at creation";
    EXPECT_TRUE(icons().empty()) << "creation stopped before the icon";

    click("TMainForm.rbtnAutoPopUp");
    EXPECT_EQ(boxes_.shown.size(), 2u) << "the registry error on the click";
    EXPECT_FALSE(world_->machine()->registry().getDword(kKey, "Pop").has_value());

    click("TMainForm.btnOk"); // the first unlock attempt brings the icon
    EXPECT_EQ(icons().size(), 1u);
}

} // namespace
