// The forms in real Qt widgets: both ways bound, modal boxes, screenshots.
#include "qt_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace {

using namespace vcl;
using qttest::QtFixture;

// A password window of the usual shape, without a fixed layout.
class TPwdForm : public TForm {
  public:
    explicit TPwdForm(TComponent* owner) : TForm(owner, "TPwdForm") {
        Caption = "USB Flash Disk Password Check";
        BorderStyle = bsDialog;
        BorderIcons = biSystemMenu | biMinimize;
        const char* doc[] = {
            "Please select the device and input", "the password. If the device doesn't",
            "appear in the box, please check the ", "device and click the Refresh button."};
        for (int i = 0; i < 4; ++i)
            create<TLabel>(this, "labDocLine" + std::to_string(i + 1))->Caption = doc[i];
        create<TLabel>(this, "labDevice")->Caption = "Device:";
        cbox = create<TComboBox>(this, "cboxDeviceList");
        create<TLabel>(this, "labPassword")->Caption = "Password:";
        edt = create<TEdit>(this, "edtPwd");
        edt->MaxLength = 8;
        edt->PasswordChar = '*';
        chk = create<TCheckBox>(this, "rbtnAutoPopUp");
        chk->Caption = "Auto Pop-Up";
        ok = create<TButton>(this, "btnOk");
        ok->Caption = "OK";
        create<TButton>(this, "btnCancel")->Caption = "CANCEL";
        create<TButton>(this, "btnRefresh")->Caption = "Refresh";
        more = create<TButton>(this, "btnMore");
        more->Caption = "More";
        more->Visible = false;
        OnShow = [this](TObject*) {
            cbox->Items.Assign({"USB DISK", "SECOND DISK"});
            cbox->ItemIndex = 0;
            edt->SetFocus();
        };
    }
    TComboBox* cbox;
    TEdit* edt;
    TCheckBox* chk;
    TButton* ok;
    TButton* more;
};

TPwdForm* PwdForm = nullptr;

class FrontendTest : public QtFixture {
  protected:
    void startPwdForm() {
        start([this] {
            Application->SetTitle("KV7946AP");
            Application->CreateForm(PwdForm);
            PwdForm->edt->OnKeyPress = [this](TObject*, char& key) {
                {
                    std::lock_guard<std::mutex> g(keysLock_);
                    keys_ += key;
                }
                if (key == '\r') {
                    typed_ = PwdForm->edt->Text.get();
                    PwdForm->edt->Clear();
                    PwdForm->more->Show();
                    MessageBox(nullptr, "Password Correct!!", "OK", MB_OK);
                }
            };
            PwdForm->chk->OnClick = [this](TObject*) { ++clicks_; };
        });
        ASSERT_TRUE(QTest::qWaitFor(
            [this] {
                QWidget* w = frontend_.window("TPwdForm");
                return w && w->isVisible();
            },
            5000));
    }
    std::string keys() {
        std::lock_guard<std::mutex> g(keysLock_);
        return keys_;
    }
    std::mutex keysLock_;
    std::string keys_;
    std::string typed_;
    std::atomic<int> clicks_{0};
};

// Not a blank picture: more than a few colours.
bool looksDrawn(const QImage& img) {
    if (img.isNull() || img.width() < 50 || img.height() < 50) return false;
    std::set<QRgb> colours;
    for (int y = 0; y < img.height(); y += 3)
        for (int x = 0; x < img.width(); x += 3)
            colours.insert(img.pixel(x, y));
    return colours.size() > 4;
}

TEST_F(FrontendTest, TheFormIsAWindowWithItsControlsAndAScreenshotIsSaved) {
    startPwdForm();
    QWidget* win = frontend_.window("TPwdForm");
    EXPECT_EQ(win->windowTitle(), "USB Flash Disk Password Check");
    auto* combo = qobject_cast<QComboBox*>(frontend_.widget("TPwdForm.cboxDeviceList"));
    ASSERT_NE(combo, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return combo->count() == 2; }, 5000));
    EXPECT_EQ(combo->currentText(), "USB DISK");
    EXPECT_FALSE(frontend_.widget("TPwdForm.btnMore")->isVisible());
    EXPECT_TRUE(frontend_.widget("TPwdForm.edtPwd")->hasFocus());
    QImage shot = win->grab().toImage();
    EXPECT_TRUE(looksDrawn(shot));
    EXPECT_TRUE(shot.save(QString::fromStdString((qttest::shotDir() / "form.png").string())));
}

TEST_F(FrontendTest, TypingAndEnterInTheLineEditReachOnKeyPress) {
    startPwdForm();
    auto* edit = qobject_cast<QLineEdit*>(frontend_.widget("TPwdForm.edtPwd"));
    ASSERT_NE(edit, nullptr);
    QTest::keyClicks(edit, "secret123"); // one more than MaxLength
    ASSERT_TRUE(QTest::qWaitFor([&] { return edit->text() == "********"; }, 5000));
    QTest::keyClick(edit, Qt::Key_Backspace);
    ASSERT_TRUE(QTest::qWaitFor([&] { return edit->text() == "*******"; }, 5000));
    QTest::keyClick(edit, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return frontend_.openDialog() != nullptr; }, 5000));
    EXPECT_EQ(keys(), "secret123\b\r");
    EXPECT_TRUE(frontend_.answer(IDOK));
    EXPECT_TRUE(waitForLine("message OK [none] \"Password Correct!!\" -> OK"));
    EXPECT_EQ(typed_, "secret1");
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return frontend_.widget("TPwdForm.btnMore")->isVisible(); }, 5000));
    EXPECT_EQ(edit->text(), "");
}

TEST_F(FrontendTest, AMessageBoxIsARealModalDialogAndAScreenshotIsSaved) {
    startPwdForm();
    post([] {
        MessageBox(nullptr, "Are you sure you want to set the password? Click OK to set.",
                   "WARNING", MB_OKCANCEL | MB_ICONWARNING);
    });
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return frontend_.openDialog() && frontend_.openDialog()->isVisible(); }, 5000));
    auto* box = qobject_cast<QMessageBox*>(frontend_.openDialog());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowTitle(), "WARNING");
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    EXPECT_EQ(box->buttons().size(), 2);
    EXPECT_TRUE(box->isModal());
    QImage shot = box->grab().toImage();
    EXPECT_TRUE(looksDrawn(shot));
    EXPECT_TRUE(shot.save(QString::fromStdString((qttest::shotDir() / "message.png").string())));
    box->button(QMessageBox::Cancel)->click();
    EXPECT_TRUE(waitForLine("message WARNING [warning] \"Are you sure you want to set the "
                            "password? Click OK to set.\" -> Cancel"));
}

TEST_F(FrontendTest, ClicksGoToTheFormAndItsStateComesBack) {
    startPwdForm();
    auto* box = qobject_cast<QCheckBox*>(frontend_.widget("TPwdForm.rbtnAutoPopUp"));
    ASSERT_NE(box, nullptr);
    box->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return clicks_ == 1 && box->isChecked(); }, 5000));
    // The form disables a button: the widget follows.
    post([] { PwdForm->ok->Enabled = false; });
    QWidget* ok = frontend_.widget("TPwdForm.btnOk");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !ok->isEnabled(); }, 5000));
    // Picking another entry in the list.
    auto* combo = qobject_cast<QComboBox*>(frontend_.widget("TPwdForm.cboxDeviceList"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return combo->count() == 2; }, 5000));
    combo->activated(1);
    std::atomic<int> index{-1};
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            post([&] { index = PwdForm->cbox->ItemIndex; });
            QTest::qWait(5);
            return index == 1;
        },
        5000));
}

TEST_F(FrontendTest, ClosingTheMainWindowEndsTheApplication) {
    startPwdForm();
    frontend_.window("TPwdForm")->close();
    ui_->join();
    ASSERT_TRUE(QTest::qWaitFor([&] { return frontend_.window("TPwdForm") == nullptr; }, 5000));
}

} // namespace
