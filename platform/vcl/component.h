// Components and controls: names, ownership, parents, the common properties.
#pragma once

#include "platform/vcl/property.h"
#include "platform/vcl/types.h"

#include <memory>
#include <vector>

namespace vcl {

// The kinds a frontend renders.
enum class Kind {
    Application,
    Form,
    Label,
    Edit,
    Button,
    BitBtn,
    CheckBox,
    RadioButton,
    GroupBox,
    ComboBox,
    ProgressBar,
    Memo,
    Image,
    PopupMenu,
    MenuItem,
    DriveComboBox,
    SaveDialog,
};
const char* kindName(Kind k);

// A named object owned by another; the owner destroys what it owns, last
// created first.
class TComponent : public TObject {
  public:
    explicit TComponent(TComponent* AOwner);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    String Name;
    int Tag = 0;

    TComponent* Owner() const { return owner_; }
    int ComponentCount() const { return static_cast<int>(owned_.size()); }
    TComponent* Components(int index) const;
    // A directly owned component by name, or null.
    TComponent* FindComponent(const String& name) const;
    virtual Kind kind() const = 0;
    // The form this component belongs to (itself for a form), or null.
    TForm* OwnerForm() const;
    // The application that owns it, or null.
    TApplication* OwnerApplication() const;

  protected:
    // Destroys the owned components, last first (for owners that must run
    // their own teardown before the members go).
    void DestroyComponents();

  private:
    TComponent* owner_;
    std::vector<std::unique_ptr<TComponent>> owned_;
};

// A visible element with a position inside a parent.
class TControl : public TComponent, public PropertyOwner {
  public:
    explicit TControl(TComponent* AOwner);
    ~TControl() override;

    Property<String> Caption{this, Prop::Caption};
    Property<String> Text{this, Prop::Text};
    Property<bool> Visible{this, Prop::Visible, true};
    Property<bool> Enabled{this, Prop::Enabled, true};
    Property<int> Left{this, Prop::Left};
    Property<int> Top{this, Prop::Top};
    Property<int> Width{this, Prop::Width};
    Property<int> Height{this, Prop::Height};
    TNotifyEvent OnClick;

    TWinControl* Parent() const { return parent_; }
    void SetParent(TWinControl* parent);
    void Show() { Visible = true; }
    void Hide() { Visible = false; }
    // Runs OnClick (what the toolkit does for a click on the control).
    virtual void Click();

    // Visible here and in every parent up to a visible form.
    bool Showing() const;
    // Enabled here and in every parent.
    bool EffectivelyEnabled() const;
    // The text a user reads on it: Caption, or Text for the text kinds.
    virtual String DisplayText() const { return Caption; }

    void PropertyChanged(Prop which) override;

  protected:
    // Side effects of a change, before observers hear of it.
    virtual void Changed(Prop) {}

  private:
    friend class TWinControl;
    void detachQuietly();
    TWinControl* parent_ = nullptr;
};

// A control that can hold the focus, take keys and contain other controls.
class TWinControl : public TControl {
  public:
    explicit TWinControl(TComponent* AOwner) : TControl(AOwner) {}
    ~TWinControl() override;

    bool TabStop = true;
    TKeyPressEvent OnKeyPress;
    TKeyEvent OnKeyDown;
    TKeyEvent OnKeyUp;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;

    // The children in creation order (also the tab order).
    const std::vector<TControl*>& Controls() const { return children_; }
    int ControlCount() const { return static_cast<int>(children_.size()); }

    bool CanFocus() const;
    // Moves the focus here; false when the control cannot take it.
    bool SetFocus();
    bool Focused() const;

    // Keys as a user gives them: KeyDown, KeyPress (for characters), KeyUp.
    // Returns false when the control is not showing or disabled.
    bool UserKeyDown(WORD key);
    bool UserChar(char c);

  protected:
    // Default handling of a character that OnKeyPress let through.
    virtual void KeyPressed(char) {}
    // Default handling of a virtual key after OnKeyDown.
    virtual void KeyDowned(WORD) {}

  private:
    friend class TControl;
    std::vector<TControl*> children_;
};

// Creates a component owned by owner, named, inside parent (the owner form
// when parent is null and the owner is a form).
template <class T> T* create(TComponent* owner, const String& name, TWinControl* parent = nullptr);

} // namespace vcl
