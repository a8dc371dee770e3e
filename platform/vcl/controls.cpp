#include "platform/vcl/controls.h"

#include "platform/vcl/application.h"
#include "platform/vcl/desktop.h"
#include "platform/vcl/detail/port.h"
#include "platform/vcl/forms.h"

#include <algorithm>

namespace vcl {

TEdit::TEdit(TComponent* AOwner) : TWinControl(AOwner) {
    SelStart.setFilter(
        [this](const int& v) { return std::clamp(v, 0, static_cast<int>(Text->size())); });
}

void TEdit::Changed(Prop which) {
    if (which != Prop::Text) return;
    // Text set from outside puts the caret at its end.
    SelStart.setQuietly(static_cast<int>(Text->size()));
    if (OnChange) OnChange(this);
}

void TEdit::KeyPressed(char c) {
    const String& t = Text;
    const int caret = SelStart;
    if (c == '\b') {
        if (ReadOnly || caret == 0) return;
        String next = t;
        next.erase(static_cast<size_t>(caret - 1), 1);
        Text = next;
        SelStart = caret - 1;
        return;
    }
    if (c == '\r') {
        if (TForm* f = OwnerForm()) {
            for (TControl* b : f->Controls())
                if (auto* button = dynamic_cast<TButton*>(b); button && button->Default &&
                                                              button->Showing() &&
                                                              button->EffectivelyEnabled()) {
                    button->Click();
                    return;
                }
        }
        return;
    }
    if (static_cast<unsigned char>(c) < 0x20 || ReadOnly) return;
    if (MaxLength > 0 && static_cast<int>(t.size()) >= MaxLength) return;
    String next = t;
    next.insert(static_cast<size_t>(caret), 1, c);
    Text = next;
    SelStart = caret + 1;
}

void TEdit::KeyDowned(WORD key) {
    const int caret = SelStart;
    switch (key) {
    case VK_DELETE:
        if (!ReadOnly && caret < static_cast<int>(Text->size())) {
            String next = Text;
            next.erase(static_cast<size_t>(caret), 1);
            Text = next;
            SelStart = caret;
        }
        break;
    case VK_LEFT:
        SelStart = caret - 1;
        break;
    case VK_RIGHT:
        SelStart = caret + 1;
        break;
    case VK_HOME:
        SelStart = 0;
        break;
    case VK_END:
        SelStart = static_cast<int>(Text->size());
        break;
    default:
        break;
    }
}

void TButton::KeyPressed(char c) {
    if (c == ' ' || c == '\r') Click();
}

void TCheckBox::Click() {
    Checked = !Checked;
}

void TCheckBox::KeyPressed(char c) {
    if (c == ' ') Click();
}

void TCheckBox::Changed(Prop which) {
    if (which == Prop::Checked && OnClick) OnClick(this);
}

void TRadioButton::Click() {
    Checked = true;
}

void TRadioButton::KeyPressed(char c) {
    if (c == ' ') Click();
}

void TRadioButton::Changed(Prop which) {
    if (which != Prop::Checked || !Checked) return;
    if (TWinControl* p = Parent()) {
        for (TControl* c : p->Controls())
            if (auto* r = dynamic_cast<TRadioButton*>(c); r && r != this) r->Checked = false;
    }
    if (OnClick) OnClick(this);
}

TComboBox::TComboBox(TComponent* AOwner) : TWinControl(AOwner) {
    ItemIndex.setFilter([this](const int& v) { return v >= 0 && v < Items.Count() ? v : -1; });
}

void TComboBox::Clear() {
    Items.Clear();
    ItemIndex = -1;
    Text = "";
}

void TComboBox::Changed(Prop which) {
    if (which == Prop::Items) {
        if (ItemIndex >= Items.Count())
            ItemIndex = -1;
        else if (ItemIndex >= 0)
            Text = Items[ItemIndex];
    } else if (which == Prop::ItemIndex) {
        Text = ItemIndex >= 0 ? Items[ItemIndex] : String();
    }
}

bool TComboBox::UserSelect(const String& item) {
    if (!Showing() || !EffectivelyEnabled()) return false;
    int i = Items.IndexOf(item);
    if (i < 0) return false;
    SetFocus();
    ItemIndex = i;
    if (OnClick) OnClick(this);
    if (OnChange) OnChange(this);
    return true;
}

TDriveComboBox::TDriveComboBox(TComponent* AOwner) : TComboBox(AOwner) {
    Refresh();
}

void TDriveComboBox::Refresh() {
    std::vector<char> letters;
    if (TApplication* app = OwnerApplication()) letters = app->desktop().drives;
    if (letters.empty()) letters = detail::machineDrives();
    std::vector<String> items;
    for (char l : letters)
        items.push_back(String(1, static_cast<char>(std::tolower(l))) + ":");
    Items.Assign(items);
    if (ItemIndex < 0 && Items.Count() > 0) {
        // The current drive (c: when there is one).
        int c = Items.IndexOf("c:");
        ItemIndex = c >= 0 ? c : 0;
    }
}

void TDriveComboBox::Changed(Prop which) {
    TComboBox::Changed(which);
    if (which == Prop::ItemIndex) {
        Drive = ItemIndex >= 0 ? Items[ItemIndex][0] : '\0';
    } else if (which == Prop::Drive) {
        char d = static_cast<char>(std::tolower(static_cast<unsigned char>(Drive.get())));
        int i = Items.IndexOf(String(1, d) + ":");
        if (i >= 0) ItemIndex = i;
    }
}

TProgressBar::TProgressBar(TComponent* AOwner) : TWinControl(AOwner) {
    TabStop = false;
    Position.setFilter(
        [this](const int& v) { return std::clamp(v, Min.get(), std::max(Min.get(), Max.get())); });
}

namespace {
constexpr int kImageIconSize = 32;
} // namespace

TImage::~TImage() {
    detail::destroyIcon(Icon);
}

void TImage::Changed(Prop which) {
    if (which != Prop::Picture) return;
    detail::destroyIcon(Icon);
    Icon = Picture->empty() ? nullptr : detail::loadProgramIcon(Picture, kImageIconSize);
}

} // namespace vcl
