// The controls on their own: key handling, checking, lists, clamping.
#include "app_fixture.h"

#include <gtest/gtest.h>

namespace {

using namespace vcl;
using vcltest::TTestForm;

struct Owner {
    Owner() : form(nullptr) { form.Visible = true; }
    TTestForm form;
};

// Gives keys to an edit: '<' left, '>' right, '#' Delete, '\b' Backspace,
// anything else as a character.
void keys(TEdit& e, const String& script) {
    for (char c : script) {
        if (c == '<')
            e.UserKeyDown(VK_LEFT);
        else if (c == '>')
            e.UserKeyDown(VK_RIGHT);
        else if (c == '#')
            e.UserKeyDown(VK_DELETE);
        else {
            e.UserKeyDown(0);
            e.UserChar(c);
        }
    }
}

TEST(Edit, KeyHandling) {
    struct Case {
        const char* name;
        int maxLength;
        String initial;
        String script;
        String expected;
    } cases[] = {
        {"typing appends", 0, "", "abc", "abc"},
        {"max length stops the ninth", 8, "", "123456789", "12345678"},
        {"max length counts existing text", 3, "ab", "cd", "abc"},
        {"backspace removes before the caret", 0, "", "abc\b", "ab"},
        {"backspace on empty does nothing", 0, "", "\b\b", ""},
        {"delete at the end does nothing", 0, "abc", "#", "abc"},
        {"delete removes after the caret", 0, "abc", "<<#", "ac"},
        {"characters go in at the caret", 0, "ac", "<b", "abc"},
        {"backspace frees room under max length", 2, "", "ab\bc", "ac"},
        {"control characters are not inserted", 0, "",
         "a\r\x1b"
         "b",
         "ab"},
    };
    for (const Case& c : cases) {
        Owner o;
        o.form.edt->MaxLength = c.maxLength;
        o.form.edt->Text = c.initial;
        keys(*o.form.edt, c.script);
        EXPECT_EQ(o.form.edt->Text.get(), c.expected) << c.name;
    }
}

TEST(Edit, KeyPressHandlerSeesAndCanDiscardKeys) {
    Owner o;
    String seen;
    o.form.edt->OnKeyPress = [&](TObject* sender, char& key) {
        EXPECT_EQ(sender, o.form.edt);
        seen += key;
        if (key == 'x') key = 0;
        if (key == 'u') key = 'U';
    };
    keys(*o.form.edt, "axu\r");
    EXPECT_EQ(seen, "axu\r");
    EXPECT_EQ(o.form.edt->Text.get(), "aU");
}

TEST(Edit, ReadOnlyAndHiddenOrDisabledTakeNothing) {
    Owner o;
    o.form.edt->ReadOnly = true;
    keys(*o.form.edt, "ab");
    EXPECT_EQ(o.form.edt->Text.get(), "");
    o.form.edt->ReadOnly = false;
    o.form.edt->Enabled = false;
    EXPECT_FALSE(o.form.edt->UserChar('a'));
    o.form.edt->Enabled = true;
    o.form.Visible = false;
    EXPECT_FALSE(o.form.edt->UserChar('a'));
    EXPECT_EQ(o.form.edt->Text.get(), "");
}

TEST(CheckBox, SettingCheckedRunsOnClickOnlyOnChange) {
    Owner o;
    int clicks = 0;
    o.form.chk->OnClick = [&](TObject*) { ++clicks; };
    o.form.chk->Checked = false; // no change
    EXPECT_EQ(clicks, 0);
    o.form.chk->Checked = true;
    EXPECT_EQ(clicks, 1);
    o.form.chk->Click(); // a click toggles
    EXPECT_FALSE(o.form.chk->Checked);
    EXPECT_EQ(clicks, 2);
}

TEST(RadioButton, GroupedByParent) {
    Owner o;
    int clicksA = 0;
    o.form.rbA->OnClick = [&](TObject*) { ++clicksA; };
    o.form.rbOther->Checked = true;
    o.form.rbA->Click();
    EXPECT_TRUE(o.form.rbA->Checked);
    o.form.rbB->Click();
    EXPECT_FALSE(o.form.rbA->Checked);
    EXPECT_TRUE(o.form.rbB->Checked);
    // Another parent is another group.
    EXPECT_TRUE(o.form.rbOther->Checked);
    o.form.rbA->Click();
    o.form.rbA->Click(); // already checked: no second OnClick
    EXPECT_EQ(clicksA, 2);
}

TEST(ComboBox, ItemIndexFollowsItemsAndSetsText) {
    Owner o;
    TComboBox& c = *o.form.cbox;
    EXPECT_EQ(c.ItemIndex, -1);
    c.Items.Add("USB DISK");
    c.Items.Add("SECOND");
    c.ItemIndex = 1;
    EXPECT_EQ(c.Text.get(), "SECOND");
    c.ItemIndex = 5; // out of range: no selection
    EXPECT_EQ(c.ItemIndex, -1);
    EXPECT_EQ(c.Text.get(), "");
    c.ItemIndex = 0;
    c.Items.Clear();
    EXPECT_EQ(c.ItemIndex, -1);
    EXPECT_EQ(c.Text.get(), "");
    EXPECT_EQ(c.Items.Count(), 0);
}

TEST(ComboBox, UserSelectRunsEventsAndRefusesUnknown) {
    Owner o;
    TComboBox& c = *o.form.cbox;
    c.Items.Assign({"A", "B"});
    int changes = 0;
    c.OnChange = [&](TObject*) { ++changes; };
    EXPECT_TRUE(c.UserSelect("B"));
    EXPECT_EQ(c.ItemIndex, 1);
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(c.UserSelect("C"));
    EXPECT_EQ(c.ItemIndex, 1);
}

TEST(ProgressBar, PositionStaysWithinRange) {
    Owner o;
    TProgressBar& b = *o.form.bar;
    b.Position = 150;
    EXPECT_EQ(b.Position, 100);
    b.Position = -3;
    EXPECT_EQ(b.Position, 0);
    b.Position = 95;
    b.StepIt();
    EXPECT_EQ(b.Position, 100);
}

TEST(Strings, OutOfRangeIsSafe) {
    TStrings s(nullptr, Prop::Lines);
    EXPECT_EQ(s[0], "");
    s.Delete(3);
    s.Insert(7, "x");
    EXPECT_EQ(s.Count(), 0);
    s.Assign({"a", "b"});
    EXPECT_EQ(s.Text(), "a\r\nb\r\n");
}

TEST(Form, SelectNextFollowsCreationOrderAndSkipsDisabled) {
    Owner o;
    o.form.btn->Enabled = false;
    o.form.edt->SetFocus();
    o.form.SelectNext();
    EXPECT_EQ(o.form.ActiveControl(), o.form.chk);
    o.form.SelectNext(false);
    EXPECT_EQ(o.form.ActiveControl(), o.form.edt);
}

TEST(Form, HiddenOrDisabledControlsCannotTakeFocus) {
    Owner o;
    o.form.edt->Visible = false;
    EXPECT_FALSE(o.form.edt->SetFocus());
    o.form.edt->Visible = true;
    o.form.grp->Enabled = false;
    EXPECT_FALSE(o.form.rbA->SetFocus());
    EXPECT_TRUE(o.form.edt->SetFocus());
    EXPECT_TRUE(o.form.edt->Focused());
}

} // namespace
