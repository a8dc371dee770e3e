// The standard controls.
#pragma once

#include "platform/vcl/component.h"
#include "platform/vcl/strings.h"

namespace vcl {

class TLabel : public TControl {
  public:
    explicit TLabel(TComponent* AOwner) : TControl(AOwner) {}
    Kind kind() const override { return Kind::Label; }
};

// A one-line text field. Characters are inserted at the caret (SelStart);
// MaxLength 0 means no limit; Backspace and Delete remove one character.
class TEdit : public TWinControl {
  public:
    explicit TEdit(TComponent* AOwner);
    Kind kind() const override { return Kind::Edit; }

    Property<int> MaxLength{this, Prop::MaxLength};
    Property<char> PasswordChar{this, Prop::PasswordChar};
    Property<bool> ReadOnly{this, Prop::ReadOnly};
    // Caret position, 0..length of Text.
    Property<int> SelStart{this, Prop::SelStart};
    TNotifyEvent OnChange;

    void Clear() { Text = ""; }
    String DisplayText() const override { return Text; }

  protected:
    void KeyPressed(char c) override;
    void KeyDowned(WORD key) override;
    void Changed(Prop which) override;
};

class TButton : public TWinControl {
  public:
    explicit TButton(TComponent* AOwner) : TWinControl(AOwner) {}
    Kind kind() const override { return Kind::Button; }
    // Enter on a default button clicks it.
    bool Default = false;

  protected:
    void KeyPressed(char c) override;
};

// A button with a picture; the picture is a resource name only.
class TBitBtn : public TButton {
  public:
    explicit TBitBtn(TComponent* AOwner) : TButton(AOwner) {}
    Kind kind() const override { return Kind::BitBtn; }
    String Glyph;
};

// Setting Checked to a new value runs OnClick, as a click does.
class TCheckBox : public TWinControl {
  public:
    explicit TCheckBox(TComponent* AOwner) : TWinControl(AOwner) {}
    Kind kind() const override { return Kind::CheckBox; }
    Property<bool> Checked{this, Prop::Checked};
    // A click toggles Checked (which runs OnClick).
    void Click() override;

  protected:
    void KeyPressed(char c) override;
    void Changed(Prop which) override;
};

// Radio buttons with the same parent form one group: checking one unchecks
// the others. Becoming checked runs OnClick; a click on a checked one does
// nothing.
class TRadioButton : public TWinControl {
  public:
    explicit TRadioButton(TComponent* AOwner) : TWinControl(AOwner) {}
    Kind kind() const override { return Kind::RadioButton; }
    Property<bool> Checked{this, Prop::Checked};
    void Click() override;

  protected:
    void KeyPressed(char c) override;
    void Changed(Prop which) override;
};

class TGroupBox : public TWinControl {
  public:
    explicit TGroupBox(TComponent* AOwner) : TWinControl(AOwner) { TabStop = false; }
    Kind kind() const override { return Kind::GroupBox; }
};

enum TComboBoxStyle { csDropDown, csDropDownList };

// A list with one selected entry. ItemIndex -1 is no selection; Text is the
// selected entry's text (csDropDownList) and follows ItemIndex.
class TComboBox : public TWinControl {
  public:
    explicit TComboBox(TComponent* AOwner);
    Kind kind() const override { return Kind::ComboBox; }
    TStrings Items{this, Prop::Items};
    Property<int> ItemIndex{this, Prop::ItemIndex, -1};
    TComboBoxStyle Style = csDropDownList;
    TNotifyEvent OnChange;
    void Clear();
    String DisplayText() const override { return Text; }
    // A user picking the entry with this text; false if there is none.
    bool UserSelect(const String& item);

  protected:
    void Changed(Prop which) override;
};

// The drives of the system as a list; Drive is the selected letter
// (lower case), 0 when there is none.
class TDriveComboBox : public TComboBox {
  public:
    explicit TDriveComboBox(TComponent* AOwner);
    Kind kind() const override { return Kind::DriveComboBox; }
    Property<char> Drive{this, Prop::Drive};
    // Refills the list from the desktop's drives.
    void Refresh();

  protected:
    void Changed(Prop which) override;
};

class TProgressBar : public TWinControl {
  public:
    explicit TProgressBar(TComponent* AOwner);
    Kind kind() const override { return Kind::ProgressBar; }
    Property<int> Min{this, Prop::Min, 0};
    Property<int> Max{this, Prop::Max, 100};
    // Kept within Min..Max.
    Property<int> Position{this, Prop::Position, 0};
    int Step = 10;
    void StepIt() { Position = Position + Step; }
    void StepBy(int delta) { Position = Position + delta; }
};

class TMemo : public TWinControl {
  public:
    explicit TMemo(TComponent* AOwner) : TWinControl(AOwner) {}
    Kind kind() const override { return Kind::Memo; }
    TStrings Lines{this, Prop::Lines};
    Property<bool> ReadOnly{this, Prop::ReadOnly};
    // 0xRRGGBB of the text.
    Property<int> Color{this, Prop::Color, 0x000000};
    String DisplayText() const override { return Lines.Text(); }
};

// A picture: an icon resource of the running program, named by Picture
// and loaded at 32x32 when Picture is set.
class TImage : public TControl {
  public:
    explicit TImage(TComponent* AOwner) : TControl(AOwner) {}
    ~TImage() override;
    Kind kind() const override { return Kind::Image; }
    Property<String> Picture{this, Prop::Picture};
    // The icon the picture stands for (e.g. for a notification icon); owned
    // by the image, null while Picture names no icon of the program.
    win32::HICON Icon = nullptr;

  protected:
    void Changed(Prop which) override;
};

} // namespace vcl
