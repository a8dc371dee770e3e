// A list of strings owned by a control (combo box items, memo lines).
#pragma once

#include "platform/vcl/property.h"
#include "platform/vcl/types.h"

#include <initializer_list>
#include <vector>

namespace vcl {

class TStrings {
  public:
    TStrings(PropertyOwner* owner, Prop id) : owner_(owner), id_(id) {}
    TStrings(const TStrings&) = delete;
    TStrings& operator=(const TStrings&) = delete;

    int Count() const { return static_cast<int>(items_.size()); }
    // Out of range: an empty string.
    const String& operator[](int index) const;
    const String& Strings(int index) const { return (*this)[index]; }
    int Add(const String& s);
    void Insert(int index, const String& s);
    void Delete(int index);
    void Clear();
    // Index of the first equal string, or -1.
    int IndexOf(const String& s) const;
    void Assign(std::initializer_list<String> lines);
    void Assign(const std::vector<String>& lines);
    // The lines joined with CR LF after each (a memo's text).
    String Text() const;
    const std::vector<String>& items() const { return items_; }

  private:
    void changed();
    PropertyOwner* owner_;
    Prop id_;
    std::vector<String> items_;
};

} // namespace vcl
