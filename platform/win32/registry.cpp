#include "platform/win32/registry.h"

#include "platform/win32/machine_impl.h"

#include <cstring>

namespace win32 {

namespace {

struct KeyObject : Object {
    const char* kindName() const override { return "key"; }
    std::string label() const override { return node->path(); }
    std::shared_ptr<RegNode> node;
    REGSAM access = 0;
};

int rootIndex(HKEY h) {
    auto v = reinterpret_cast<intptr_t>(h);
    for (int i = 0; i < 4; ++i)
        if (v == static_cast<intptr_t>(static_cast<LONG>(0x80000000u + static_cast<DWORD>(i))))
            return i;
    return -1;
}

// The key behind a handle, checked for the access the call needs. The
// machine's lock must be held.
LONG keyOf(ThreadCtx& t, HKEY h, REGSAM needed, std::shared_ptr<RegNode>* node) {
    int root = rootIndex(h);
    if (root >= 0) {
        *node = t.machine->registry.root(root);
        return ERROR_SUCCESS;
    }
    auto it = t.process->handles.find(handleValue(h));
    auto key =
        it == t.process->handles.end() ? nullptr : std::dynamic_pointer_cast<KeyObject>(it->second);
    if (!key) return ERROR_INVALID_HANDLE;
    if (key->node->deleted) return ERROR_KEY_DELETED;
    if ((key->access & needed) != needed) return ERROR_ACCESS_DENIED;
    *node = key->node;
    return ERROR_SUCCESS;
}

HKEY openHandle(ThreadCtx& t, std::shared_ptr<RegNode> node, REGSAM access) {
    auto key = std::make_shared<KeyObject>();
    key->node = std::move(node);
    key->access = access;
    return t.machine->addHandle(*t.process, key);
}

LONG copyData(const RegValue& v, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
    if (lpType) *lpType = v.type;
    auto size = static_cast<DWORD>(v.data.size());
    if (!lpcbData) return ERROR_SUCCESS;
    if (!lpData) {
        *lpcbData = size;
        return ERROR_SUCCESS;
    }
    if (*lpcbData < size) {
        *lpcbData = size;
        return ERROR_MORE_DATA;
    }
    if (size) std::memcpy(lpData, v.data.data(), size);
    *lpcbData = size;
    return ERROR_SUCCESS;
}

LONG copyName(const std::string& name, LPSTR buffer, LPDWORD cch) {
    if (!buffer || !cch) return ERROR_INVALID_PARAMETER;
    if (*cch <= name.size()) return ERROR_MORE_DATA;
    name.copy(buffer, name.size());
    buffer[name.size()] = 0;
    *cch = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

LONG deleteKey(HKEY hKey, LPCSTR lpSubKey, bool wholeTree) {
    ThreadCtx* t = currentThread();
    if (!t) return ERROR_INVALID_HANDLE;
    std::lock_guard g(t->machine->lock);
    std::shared_ptr<RegNode> parent;
    if (LONG e = keyOf(*t, hKey, 0, &parent)) return e;
    auto node = Registry::find(parent, lpSubKey ? lpSubKey : "");
    if (!node) return ERROR_FILE_NOT_FOUND;
    if (!node->parent) return ERROR_ACCESS_DENIED; // a root
    bool subtree = wholeTree || t->machine->self.isWin9x();
    if (!subtree && !node->subkeys.empty()) return ERROR_ACCESS_DENIED;
    Registry::removeSubtree(*node);
    return ERROR_SUCCESS;
}

} // namespace

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
    ThreadCtx* t = currentThread();
    if (!t) return ERROR_INVALID_HANDLE;
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    std::lock_guard g(t->machine->lock);
    std::shared_ptr<RegNode> parent;
    if (LONG e = keyOf(*t, hKey, 0, &parent)) return e;
    auto node = Registry::find(parent, lpSubKey ? lpSubKey : "");
    if (!node) return ERROR_FILE_NOT_FOUND;
    *phkResult = openHandle(*t, node, samDesired);
    return ERROR_SUCCESS;
}

LONG RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
    return RegOpenKeyExA(hKey, lpSubKey, 0, KEY_ALL_ACCESS, phkResult);
}

LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD, REGSAM samDesired,
                     LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
    ThreadCtx* t = currentThread();
    if (!t) return ERROR_INVALID_HANDLE;
    if (!phkResult || !lpSubKey) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    std::lock_guard g(t->machine->lock);
    std::shared_ptr<RegNode> parent;
    if (LONG e = keyOf(*t, hKey, 0, &parent)) return e;
    auto node = Registry::find(parent, lpSubKey);
    bool created = false;
    if (!node) {
        std::shared_ptr<RegNode> checked;
        if (LONG e = keyOf(*t, hKey, KEY_CREATE_SUB_KEY, &checked)) return e;
        node = Registry::create(parent, lpSubKey, &created);
        if (!node) return ERROR_INVALID_PARAMETER;
    }
    if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *phkResult = openHandle(*t, node, samDesired);
    return ERROR_SUCCESS;
}

LONG RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
    return RegCreateKeyExA(hKey, lpSubKey ? lpSubKey : "", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                           phkResult, nullptr);
}

LONG RegCloseKey(HKEY hKey) {
    ThreadCtx* t = currentThread();
    if (!t) return ERROR_INVALID_HANDLE;
    if (rootIndex(hKey) >= 0) return ERROR_SUCCESS;
    auto key = lookupAs<KeyObject>(hKey);
    if (!key) return ERROR_INVALID_HANDLE;
    auto& m = *t->machine;
    m.finalClose(m.detachHandle(*t->process, handleValue(hKey)));
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData) {
    ThreadCtx* t = currentThread();
    if (!t) return ERROR_INVALID_HANDLE;
    std::lock_guard g(t->machine->lock);
    std::shared_ptr<RegNode> node;
    if (LONG e = keyOf(*t, hKey, KEY_QUERY_VALUE, &node)) return e;
    RegValue* v = node->findValue(lpValueName ? lpValueName : "");
    if (!v) return ERROR_FILE_NOT_FOUND;
    return copyData(*v, lpType, lpData, lpcbData);
}

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                    DWORD cbData) {
    ThreadCtx* t = currentThread();
    if (!t) return ERROR_INVALID_HANDLE;
    if (cbData && !lpData) return ERROR_INVALID_PARAMETER;
    std::lock_guard g(t->machine->lock);
    std::shared_ptr<RegNode> node;
    if (LONG e = keyOf(*t, hKey, KEY_SET_VALUE, &node)) return e;
    std::vector<BYTE> data(lpData, lpData + cbData);
    std::string name = lpValueName ? lpValueName : "";
    if (RegValue* v = node->findValue(name)) {
        v->type = dwType;
        v->data = std::move(data);
    } else {
        node->values.push_back({name, dwType, std::move(data)});
    }
    return ERROR_SUCCESS;
}

LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    ThreadCtx* t = currentThread();
    if (!t) return ERROR_INVALID_HANDLE;
    std::lock_guard g(t->machine->lock);
    std::shared_ptr<RegNode> node;
    if (LONG e = keyOf(*t, hKey, KEY_SET_VALUE, &node)) return e;
    std::string wanted = Registry::lower(lpValueName ? lpValueName : "");
    for (auto it = node->values.begin(); it != node->values.end(); ++it)
        if (Registry::lower(it->name) == wanted) {
            node->values.erase(it);
            return ERROR_SUCCESS;
        }
    return ERROR_FILE_NOT_FOUND;
}

LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    return deleteKey(hKey, lpSubKey, false);
}

DWORD SHDeleteKeyA(HKEY hkey, LPCSTR pszSubKey) {
    return static_cast<DWORD>(deleteKey(hkey, pszSubKey, true));
}

LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD,
                   LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
    ThreadCtx* t = currentThread();
    if (!t) return ERROR_INVALID_HANDLE;
    std::lock_guard g(t->machine->lock);
    std::shared_ptr<RegNode> node;
    if (LONG e = keyOf(*t, hKey, KEY_ENUMERATE_SUB_KEYS, &node)) return e;
    if (dwIndex >= node->subkeys.size()) return ERROR_NO_MORE_ITEMS;
    auto it = node->subkeys.begin();
    std::advance(it, dwIndex);
    if (LONG e = copyName(it->second->name, lpName, lpcchName)) return e;
    if (lpClass && lpcchClass && *lpcchClass > 0) {
        lpClass[0] = 0;
        *lpcchClass = 0;
    }
    if (lpftLastWriteTime) *lpftLastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

LONG RegEnumKeyA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD cchName) {
    return RegEnumKeyExA(hKey, dwIndex, lpName, &cchName, nullptr, nullptr, nullptr, nullptr);
}

LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD,
                   LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    ThreadCtx* t = currentThread();
    if (!t) return ERROR_INVALID_HANDLE;
    std::lock_guard g(t->machine->lock);
    std::shared_ptr<RegNode> node;
    if (LONG e = keyOf(*t, hKey, KEY_QUERY_VALUE, &node)) return e;
    if (dwIndex >= node->values.size()) return ERROR_NO_MORE_ITEMS;
    const RegValue& v = node->values[dwIndex];
    if (LONG e = copyName(v.name, lpValueName, lpcchValueName)) return e;
    return copyData(v, lpType, lpData, lpcbData);
}

LONG RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD, LPDWORD lpcSubKeys,
                      LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                      LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                      LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
    ThreadCtx* t = currentThread();
    if (!t) return ERROR_INVALID_HANDLE;
    std::lock_guard g(t->machine->lock);
    std::shared_ptr<RegNode> node;
    if (LONG e = keyOf(*t, hKey, KEY_QUERY_VALUE, &node)) return e;
    DWORD maxSub = 0, maxName = 0, maxData = 0;
    for (auto& [k, child] : node->subkeys)
        maxSub = std::max(maxSub, static_cast<DWORD>(child->name.size()));
    for (auto& v : node->values) {
        maxName = std::max(maxName, static_cast<DWORD>(v.name.size()));
        maxData = std::max(maxData, static_cast<DWORD>(v.data.size()));
    }
    if (lpClass && lpcchClass && *lpcchClass > 0) lpClass[0] = 0;
    if (lpcchClass) *lpcchClass = 0;
    if (lpcSubKeys) *lpcSubKeys = static_cast<DWORD>(node->subkeys.size());
    if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = maxSub;
    if (lpcbMaxClassLen) *lpcbMaxClassLen = 0;
    if (lpcValues) *lpcValues = static_cast<DWORD>(node->values.size());
    if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = maxName;
    if (lpcbMaxValueLen) *lpcbMaxValueLen = maxData;
    if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = 0;
    if (lpftLastWriteTime) *lpftLastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

} // namespace win32
