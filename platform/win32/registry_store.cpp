#include "platform/win32/registry_store.h"

#include "platform/win32/machine_impl.h"

namespace win32 {

namespace {

const char* const kRootNames[4] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                                   "HKEY_USERS"};
const char* const kShortNames[4] = {"HKCR", "HKCU", "HKLM", "HKU"};

std::vector<std::string> split(const std::string& path) {
    std::vector<std::string> parts;
    std::string cur;
    for (char c : path) {
        if (c == '\\') {
            if (!cur.empty()) parts.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(c);
        }
    }
    if (!cur.empty()) parts.push_back(cur);
    return parts;
}

} // namespace

RegValue* RegNode::findValue(const std::string& valueName) {
    std::string wanted = Registry::lower(valueName);
    for (auto& v : values)
        if (Registry::lower(v.name) == wanted) return &v;
    return nullptr;
}

std::string RegNode::path() const {
    std::string p = name;
    for (const RegNode* n = parent; n; n = n->parent)
        p = n->name + "\\" + p;
    return p;
}

Registry::Registry(std::recursive_mutex& lock) : lock_(lock) {
    for (int i = 0; i < 4; ++i) {
        roots_[i] = std::make_shared<RegNode>();
        roots_[i]->name = kRootNames[i];
    }
}

std::string Registry::lower(const std::string& s) {
    return lowerCase(s);
}

std::shared_ptr<RegNode> Registry::find(const std::shared_ptr<RegNode>& from,
                                        const std::string& subPath) {
    std::shared_ptr<RegNode> node = from;
    for (const std::string& part : split(subPath)) {
        auto it = node->subkeys.find(lower(part));
        if (it == node->subkeys.end() || it->second->deleted) return nullptr;
        node = it->second;
    }
    return node;
}

std::shared_ptr<RegNode> Registry::create(const std::shared_ptr<RegNode>& from,
                                          const std::string& subPath, bool* created) {
    std::shared_ptr<RegNode> node = from;
    bool last = false;
    for (const std::string& part : split(subPath)) {
        if (part.size() > 255) return nullptr;
        auto& slot = node->subkeys[lower(part)];
        last = !slot;
        if (!slot) {
            slot = std::make_shared<RegNode>();
            slot->name = part;
            slot->parent = node.get();
        }
        node = slot;
    }
    if (created) *created = last;
    return node;
}

void Registry::removeSubtree(RegNode& node) {
    std::vector<RegNode*> stack{&node};
    while (!stack.empty()) {
        RegNode* n = stack.back();
        stack.pop_back();
        n->deleted = true;
        for (auto& [k, child] : n->subkeys)
            stack.push_back(child.get());
    }
    if (node.parent) {
        node.parent->subkeys.erase(lower(node.name));
        node.parent = nullptr;
    }
}

std::shared_ptr<RegNode> Registry::resolve(const std::string& path, std::string* rest) const {
    auto slash = path.find('\\');
    std::string head = lower(path.substr(0, slash));
    *rest = slash == std::string::npos ? std::string() : path.substr(slash + 1);
    for (int i = 0; i < 4; ++i)
        if (head == lower(kRootNames[i]) || head == lower(kShortNames[i])) return roots_[i];
    return nullptr;
}

bool Registry::createKey(const std::string& path) {
    std::lock_guard g(lock_);
    std::string rest;
    auto root = resolve(path, &rest);
    return root && create(root, rest, nullptr);
}

bool Registry::keyExists(const std::string& path) const {
    std::lock_guard g(lock_);
    std::string rest;
    auto root = resolve(path, &rest);
    return root && find(root, rest);
}

bool Registry::deleteTree(const std::string& path) {
    std::lock_guard g(lock_);
    std::string rest;
    auto root = resolve(path, &rest);
    auto node = root ? find(root, rest) : nullptr;
    if (!node || node == root) return false;
    removeSubtree(*node);
    return true;
}

std::vector<std::string> Registry::subkeys(const std::string& path) const {
    std::lock_guard g(lock_);
    std::string rest;
    auto root = resolve(path, &rest);
    auto node = root ? find(root, rest) : nullptr;
    std::vector<std::string> names;
    if (node)
        for (auto& [k, child] : node->subkeys)
            names.push_back(child->name);
    return names;
}

std::vector<std::string> Registry::valueNames(const std::string& path) const {
    std::lock_guard g(lock_);
    std::string rest;
    auto root = resolve(path, &rest);
    auto node = root ? find(root, rest) : nullptr;
    std::vector<std::string> names;
    if (node)
        for (auto& v : node->values)
            names.push_back(v.name);
    return names;
}

void Registry::setValue(const std::string& path, const std::string& name, DWORD type,
                        std::vector<BYTE> data) {
    std::lock_guard g(lock_);
    std::string rest;
    auto root = resolve(path, &rest);
    auto node = root ? create(root, rest, nullptr) : nullptr;
    if (!node) return;
    if (RegValue* v = node->findValue(name)) {
        v->type = type;
        v->data = std::move(data);
    } else {
        node->values.push_back({name, type, std::move(data)});
    }
}

void Registry::setDword(const std::string& path, const std::string& name, DWORD value) {
    std::vector<BYTE> data(4);
    for (int i = 0; i < 4; ++i)
        data[i] = static_cast<BYTE>(value >> (8 * i));
    setValue(path, name, 4 /* REG_DWORD */, std::move(data));
}

void Registry::setString(const std::string& path, const std::string& name,
                         const std::string& value) {
    std::vector<BYTE> data(value.begin(), value.end());
    data.push_back(0);
    setValue(path, name, 1 /* REG_SZ */, std::move(data));
}

std::optional<RegValue> Registry::value(const std::string& path, const std::string& name) const {
    std::lock_guard g(lock_);
    std::string rest;
    auto root = resolve(path, &rest);
    auto node = root ? find(root, rest) : nullptr;
    if (!node) return std::nullopt;
    if (RegValue* v = node->findValue(name)) return *v;
    return std::nullopt;
}

std::optional<DWORD> Registry::getDword(const std::string& path, const std::string& name) const {
    auto v = value(path, name);
    if (!v || v->data.size() != 4) return std::nullopt;
    return static_cast<DWORD>(v->data[0] | v->data[1] << 8 | v->data[2] << 16 |
                              static_cast<DWORD>(v->data[3]) << 24);
}

std::optional<std::string> Registry::getString(const std::string& path,
                                               const std::string& name) const {
    auto v = value(path, name);
    if (!v) return std::nullopt;
    std::string s(v->data.begin(), v->data.end());
    auto nul = s.find('\0');
    return nul == std::string::npos ? s : s.substr(0, nul);
}

bool Registry::deleteValue(const std::string& path, const std::string& name) {
    std::lock_guard g(lock_);
    std::string rest;
    auto root = resolve(path, &rest);
    auto node = root ? find(root, rest) : nullptr;
    if (!node) return false;
    std::string wanted = lower(name);
    for (auto it = node->values.begin(); it != node->values.end(); ++it)
        if (lower(it->name) == wanted) {
            node->values.erase(it);
            return true;
        }
    return false;
}

} // namespace win32
