#include "platform/vcl/strings.h"

namespace vcl {

namespace {
const String kEmpty;
}

const String& TStrings::operator[](int index) const {
    if (index < 0 || index >= Count()) return kEmpty;
    return items_[static_cast<size_t>(index)];
}

int TStrings::Add(const String& s) {
    items_.push_back(s);
    changed();
    return Count() - 1;
}

void TStrings::Insert(int index, const String& s) {
    if (index < 0 || index > Count()) return;
    items_.insert(items_.begin() + index, s);
    changed();
}

void TStrings::Delete(int index) {
    if (index < 0 || index >= Count()) return;
    items_.erase(items_.begin() + index);
    changed();
}

void TStrings::Clear() {
    if (items_.empty()) return;
    items_.clear();
    changed();
}

int TStrings::IndexOf(const String& s) const {
    for (int i = 0; i < Count(); ++i)
        if (items_[static_cast<size_t>(i)] == s) return i;
    return -1;
}

void TStrings::Assign(std::initializer_list<String> lines) {
    Assign(std::vector<String>(lines));
}

void TStrings::Assign(const std::vector<String>& lines) {
    if (lines == items_) return;
    items_ = lines;
    changed();
}

String TStrings::Text() const {
    String out;
    for (const String& s : items_)
        out += s + "\r\n";
    return out;
}

void TStrings::changed() {
    if (owner_) owner_->PropertyChanged(id_);
}

} // namespace vcl
