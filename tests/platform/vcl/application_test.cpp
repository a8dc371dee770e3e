// The application: form creation, the loop, closing, messages, modal boxes.
#include "app_fixture.h"

#include "platform/vcl/transcript.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace vcl;
using vcltest::AppFixture;
using vcltest::TTestForm;

class TSecondForm : public TTestForm {
  public:
    explicit TSecondForm(TComponent* owner) : TTestForm(owner, "TSecondForm") {}
};

TTestForm* First = nullptr;
TSecondForm* Second = nullptr;

struct Log : Observer {
    std::vector<String> lines;
    TranscriptObserver transcript{[this](const String& s) { lines.push_back(s); }};
};

class ApplicationTest : public AppFixture {
  protected:
    void SetUp() override { desktop_.addObserver(&log_.transcript); }
    // Two forms; the second's OnCreate hides itself and shows the first.
    void startTwoForms(std::vector<String>* events = nullptr) {
        start([this, events] {
            app_->SetTitle("KV7946AP");
            app_->CreateForm(First);
            app_->CreateForm(Second);
            if (events) {
                First->OnDestroy = [events](TObject*) { events->push_back("destroy first"); };
                Second->OnDestroy = [events](TObject*) { events->push_back("destroy second"); };
            }
        });
    }
    Log log_;
};

TEST_F(ApplicationTest, FormsAreCreatedInOrderAndTheFirstIsTheMainForm) {
    std::vector<String> order;
    start([&] {
        First = nullptr;
        struct TA : TForm {
            TA(TComponent* o, std::vector<String>& order) : TForm(o, "TA") {
                OnCreate = [&order, this](TObject*) {
                    order.push_back(String("A created, main form ") +
                                    (Application->MainForm() ? "set" : "not yet set"));
                };
            }
        };
        struct TB : TForm {
            TB(TComponent* o, std::vector<String>& order) : TForm(o, "TB") {
                OnCreate = [&order](TObject*) {
                    order.push_back("B created, main form " + Application->MainForm()->ClassName());
                    Application->MainForm()->Show();
                };
            }
        };
        // CreateForm needs a one-argument constructor.
        struct A2 : TA {
            explicit A2(TComponent* o) : TA(o, *orderOf()) {}
            static std::vector<String>*& orderOf() {
                static std::vector<String>* p;
                return p;
            }
        };
        struct B2 : TB {
            explicit B2(TComponent* o) : TB(o, *A2::orderOf()) {}
        };
        A2::orderOf() = &order;
        A2* a = nullptr;
        B2* b = nullptr;
        app_->CreateForm(a);
        app_->CreateForm(b);
        EXPECT_EQ(app_->MainForm(), a);
        EXPECT_EQ(app_->Forms().size(), 2u);
    });
    onUi([] {});
    EXPECT_EQ(order,
              (std::vector<String>{"A created, main form not yet set", "B created, main form TA"}));
    EXPECT_EQ(log_.lines, (std::vector<String>{"shown TA"}));
}

TEST_F(ApplicationTest, ClosingTheMainFormEndsTheApplicationAndDestroysFormsLastFirst) {
    std::vector<String> events;
    startTwoForms(&events);
    onUi([] { Second->Show(); });
    EXPECT_TRUE(act([] { return user::close(*Second); }).ok);
    EXPECT_FALSE(Second->Visible);
    EXPECT_FALSE(app_->Ended());
    EXPECT_TRUE(act([] { return user::close(*First); }).ok);
    ui_->join();
    EXPECT_EQ(events, (std::vector<String>{"destroy second", "destroy first"}));
}

TEST_F(ApplicationTest, OnCloseCanRefuse) {
    startTwoForms();
    onUi([] { First->OnClose = [](TObject*, TCloseAction& a) { a = caNone; }; });
    EXPECT_TRUE(act([] { return user::close(*First); }).ok);
    EXPECT_FALSE(app_->Ended());
    EXPECT_TRUE(First->Visible);
}

TEST_F(ApplicationTest, ANewFormStyleMakesANewWindowHandle) {
    startTwoForms();
    HWND before = First->Handle();
    onUi([] { First->FormStyle = fsStayOnTop; });
    EXPECT_NE(First->Handle(), before);
    EXPECT_NE(First->Handle(), nullptr);
}

TEST_F(ApplicationTest, WindowMessagesReachTheFormsHandlerThenTheDefault) {
    startTwoForms();
    app_->PostMessage(First, 0x8064, 1006, WM_LBUTTONDBLCLK);
    app_->PostMessage(First, 0x8064, 1006, WM_RBUTTONUP);
    app_->WaitIdle();
    EXPECT_EQ(First->seen, (std::vector<LPARAM>{WM_LBUTTONDBLCLK, WM_RBUTTONUP}));
    // WM_CLOSE's default handling closes the form.
    onUi([] { Second->Show(); });
    app_->PostMessage(Second, WM_CLOSE, 0, 0);
    app_->WaitIdle();
    EXPECT_FALSE(Second->Visible);
}

TEST_F(ApplicationTest, ProcessMessagesRunsWorkPostedMeanwhile) {
    startTwoForms();
    int ran = 0;
    onUi([&] {
        app_->Post([&] { ++ran; });
        app_->ProcessMessages();
        EXPECT_EQ(ran, 1);
    });
}

TEST_F(ApplicationTest, ShowingAFormRunsOnShowBeforeObserversAndFocusWorksThere) {
    startTwoForms();
    onUi([] {
        Second->OnShow = [](TObject*) {
            Second->edt->Text = "";
            EXPECT_TRUE(Second->edt->SetFocus());
        };
        Second->Show();
    });
    EXPECT_EQ(Second->ActiveControl(), Second->edt);
    EXPECT_EQ(log_.lines.back(), "shown TSecondForm");
}

TEST_F(ApplicationTest, CentringRoundsTowardsZero) {
    desktop_.screenWidth = 1024;
    desktop_.screenHeight = 768;
    startTwoForms();
    onUi([] { First->CenterOnScreen(); }); // 300 x 201
    EXPECT_EQ(First->Left, 362);
    EXPECT_EQ(First->Top, 283);
}

TEST_F(ApplicationTest, TheDesktopFindsTheApplicationByTitle) {
    startTwoForms();
    EXPECT_EQ(desktop_.findApplication("KV7946AP"), app_);
    EXPECT_EQ(desktop_.findApplication("other"), nullptr);
}

TEST_F(ApplicationTest, UserInputIsRefusedWhereAUserCouldNotAct) {
    startTwoForms();
    struct Case {
        const char* name;
        std::function<void()> setup;
        std::function<user::Result()> act;
        const char* why;
    } cases[] = {
        {"hidden form", [] {}, [] { return user::click(*Second->btn); },
         "TSecondForm.btn is not visible"},
        {"disabled button", [] { First->btn->Enabled = false; },
         [] { return user::click(*First->btn); }, "TTestForm.btn is disabled"},
        {"disabled form", [] { First->Enabled = false; },
         [] { return user::type(*First->edt, "a"); }, "TTestForm.edt is disabled"},
        {"menu not open", [] {},
         [] { return user::chooseMenu(*Application.operator->(), "Show it"); }, "no menu is open"},
        {"unknown entry", [] { First->cbox->Items.Assign({"A"}); },
         [] { return user::select(*First->cbox, "B"); }, "TTestForm.cbox has no entry \"B\""},
    };
    for (const Case& c : cases) {
        onUi([] {
            First->Enabled = true;
            First->btn->Enabled = true;
        });
        onUi(c.setup);
        user::Result r = act(c.act);
        EXPECT_FALSE(r.ok) << c.name;
        EXPECT_EQ(r.why, c.why) << c.name;
    }
}

TEST_F(ApplicationTest, TypingGoesThroughOnKeyPressAndKeysThroughTheEdit) {
    startTwoForms();
    String seen;
    onUi([&] {
        First->edt->MaxLength = 8;
        First->edt->OnKeyPress = [&](TObject*, char& k) { seen += k == '\r' ? '|' : k; };
    });
    EXPECT_TRUE(act([] { return user::type(*First->edt, "password1"); }).ok);
    EXPECT_TRUE(act([] { return user::key(*First->edt, VK_BACK); }).ok);
    EXPECT_TRUE(act([] { return user::key(*First->edt, VK_RETURN); }).ok);
    EXPECT_EQ(seen, "password1\b|");
    EXPECT_EQ(First->edt->Text.get(), "passwor");
}

TEST_F(ApplicationTest, APopupMenuItemIsChosenWhileTheMenuIsOpen) {
    startTwoForms();
    onUi([] {
        First->Hide();
        First->menu->Popup(10, 20);
    });
    EXPECT_TRUE(act([] { return user::chooseMenu(*Application.operator->(), "ShowItem"); }).ok);
    EXPECT_EQ(First->menuClicks, 1);
    EXPECT_FALSE(First->menu->IsOpen());
    EXPECT_EQ(log_.lines.back(), "menu closed");
}

// Answers boxes from a plain thread, as a GUI does.
class ThreadedAnswers : public MessageBoxService {
  public:
    explicit ThreadedAnswers(int answer) : answer_(answer) {}
    int Ask(TApplication& app, const MessageBoxRequest& r) override {
        asked.push_back(r);
        Reply<int> reply(app.clock());
        std::thread gui([&] { reply.give(answer_); });
        int a = reply.wait();
        gui.join();
        return a;
    }
    std::vector<MessageBoxRequest> asked;

  private:
    int answer_;
};

TEST_F(ApplicationTest, MessageBoxesBlockUntilTheServiceAnswers) {
    clock_.setExternalInput(true);
    ThreadedAnswers answers(IDCANCEL);
    desktop_.setMessageBoxService(&answers);
    startTwoForms();
    int got = 0;
    onUi([&] {
        got = MessageBox(nullptr, "Are you sure you want to set the password? Click OK to set.",
                         "WARNING", MB_OKCANCEL | MB_ICONWARNING);
    });
    EXPECT_EQ(got, IDCANCEL);
    ASSERT_EQ(answers.asked.size(), 1u);
    EXPECT_EQ(answers.asked[0].icon(), MbIcon::Warning);
    EXPECT_EQ(answers.asked[0].buttons(), MbButtons::OkCancel);
    EXPECT_EQ(log_.lines.back(), "message WARNING [warning] \"Are you sure you want to set the "
                                 "password? Click OK to set.\" -> Cancel");
    // An answer the box has no button for counts as closing it.
    onUi([&] { got = Application->MessageBox("Password Correct!!", "OK", MB_OK); });
    EXPECT_EQ(got, IDOK);
    EXPECT_EQ(log_.lines.back(), "message OK [none] \"Password Correct!!\" -> OK");
    desktop_.setMessageBoxService(nullptr);
}

TEST(MessageBoxRequest, FlagsGiveIconsAndButtons) {
    struct Case {
        UINT flags;
        MbIcon icon;
        std::vector<int> answers;
    } cases[] = {
        {MB_OK, MbIcon::None, {IDOK}},
        {MB_OK | MB_ICONWARNING, MbIcon::Warning, {IDOK}},
        {MB_OKCANCEL | MB_ICONERROR, MbIcon::Error, {IDOK, IDCANCEL}},
        {MB_YESNO | MB_ICONQUESTION, MbIcon::Question, {IDYES, IDNO}},
        {MB_ICONINFORMATION, MbIcon::Information, {IDOK}},
    };
    for (const Case& c : cases) {
        MessageBoxRequest r{nullptr, "t", "c", c.flags};
        EXPECT_EQ(r.icon(), c.icon) << c.flags;
        EXPECT_EQ(r.answers(), c.answers) << c.flags;
    }
    EXPECT_EQ(answerFromName("ok"), IDOK);
    EXPECT_EQ(answerFromName("Cancel"), IDCANCEL);
    EXPECT_EQ(answerFromName("maybe"), std::nullopt);
}

} // namespace
