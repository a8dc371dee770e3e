// What the scenarios cannot see of KV7946AP: the order of its forms, its
// window title, the notification icon it registers, its owner-drawn icons
// and the registry error of a missing "Pop" value.
#include "app/ui/icons.h"
#include "app/ui/main_form.h"
#include "app/ui/utility_form.h"
#include "platform/vcl/application.h"
#include "platform/win32/desktop.h"
#include "platform/win32/icons.h"
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

TEST_F(MainFormTest, TheTrayShowsTheMainIconAt32PixelsAndTheProgramFreesIt) {
    start();
    auto shown = icons();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].icon, nullptr);
    EXPECT_EQ(shown[0].icon, main_->ImgICON->Icon);
    EXPECT_EQ(shown[0].image.resource, "MAINICON");
    EXPECT_EQ(shown[0].image.width, 32);
    EXPECT_EQ(shown[0].image.height, 32);

    click("TMainForm.btnCancel");
    EXPECT_EQ(world_->program("KV7946AP.exe", true), ProgramState::Ended);
    EXPECT_TRUE(world_->machine()->handleLeaks().empty());
}

TEST_F(MainFormTest, DrawItemDrawsTheIconOfTheControlIdAtTheTopLeftOfTheItem) {
    start();
    auto* utility = dynamic_cast<kv::ui::TJUtilityForm*>(app_->FindForm("TJUtilityForm"));
    ASSERT_NE(utility, nullptr);
    struct Case {
        const char* what;
        vcl::TForm* window; // receives WM_DRAWITEM and is drawn into
        win32::UINT ctlId;
        bool drawn;
    } cases[] = {
        {"a known id", main_, kv::ui::kItemIconLocked, true},
        {"an id without an icon", main_, 777, false},
        {"id 0", main_, 0, false},
        {"passed on by the utility menu", utility, kv::ui::kItemIconDevice, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        win32::HWND hwnd = c.window->Handle();
        std::vector<win32::DrawnIcon> before = world_->machine()->desktop().drawnIcons(hwnd);
        ASSERT_TRUE(app_->Invoke([&] {
            win32::DRAWITEMSTRUCT item{};
            item.CtlType = win32::ODT_BUTTON;
            item.CtlID = c.ctlId;
            item.itemAction = win32::ODA_DRAWENTIRE;
            item.hDC = win32::GetDC(hwnd);
            item.rcItem = {40, 12, 120, 36};
            win32::SendMessageA(hwnd, win32::WM_DRAWITEM, c.ctlId,
                                reinterpret_cast<win32::LPARAM>(&item));
            win32::ReleaseDC(hwnd, item.hDC);
        }));
        std::vector<win32::DrawnIcon> after = world_->machine()->desktop().drawnIcons(hwnd);
        ASSERT_EQ(after.size(), before.size() + (c.drawn ? 1 : 0));
        if (!c.drawn) continue;
        const win32::DrawnIcon& icon = after.back();
        EXPECT_EQ(icon.image.resource, "#" + std::to_string(c.ctlId));
        EXPECT_EQ(icon.x, 40);
        EXPECT_EQ(icon.y, 12);
        EXPECT_EQ(icon.width, 16);
        EXPECT_EQ(icon.height, 16);
        EXPECT_EQ(icon.image.width, 16);
    }
    click("TMainForm.btnCancel");
    EXPECT_TRUE(world_->machine()->handleLeaks().empty()) << "each drawn icon is destroyed";
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
