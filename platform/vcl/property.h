// Properties: a value that tells its control when it changes.
#pragma once

#include <functional>
#include <utility>

namespace vcl {

// What changed on a control; frontends and transcripts read the new value.
enum class Prop {
    Caption,
    Text,
    Visible,
    Enabled,
    MaxLength,
    PasswordChar,
    ReadOnly,
    Checked,
    Items,
    ItemIndex,
    Position,
    Min,
    Max,
    Lines,
    Left,
    Top,
    Width,
    Height,
    FormStyle,
    WindowState,
    Parent,
    Focus,
    SelStart,
    Handle,
    Color,
    Drive,
    FileName,
    Picture,
};

// Receives the changes of the properties it owns.
class PropertyOwner {
  public:
    virtual ~PropertyOwner() = default;
    virtual void PropertyChanged(Prop which) = 0;
};

// Assigning a different value stores it and tells the owner. A filter, when
// set, adjusts the wanted value first (clamping a position, say).
template <class T> class Property {
  public:
    Property(PropertyOwner* owner, Prop id, T initial = T{})
        : owner_(owner), id_(id), value_(std::move(initial)) {}
    Property(const Property&) = delete;

    Property& operator=(const T& v) {
        set(v);
        return *this;
    }
    Property& operator=(const Property& other) {
        set(other.value_);
        return *this;
    }
    operator const T&() const { return value_; }
    const T& get() const { return value_; }
    const T* operator->() const { return &value_; }
    bool operator==(const T& other) const { return value_ == other; }

    void set(const T& wanted) {
        T v = filter_ ? filter_(wanted) : wanted;
        if (v == value_) return;
        value_ = std::move(v);
        if (owner_) owner_->PropertyChanged(id_);
    }
    // Stores without telling the owner (initial setup inside the toolkit).
    void setQuietly(const T& v) { value_ = v; }
    void setFilter(std::function<T(const T&)> f) { filter_ = std::move(f); }
    Prop id() const { return id_; }

  private:
    PropertyOwner* owner_;
    Prop id_;
    T value_;
    std::function<T(const T&)> filter_;
};

} // namespace vcl
