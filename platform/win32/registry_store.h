// The machine's registry tree, with direct access for installation steps
// and tests. Paths start with a root: "HKEY_LOCAL_MACHINE\Software\X" or
// the short "HKLM\Software\X" (HKCR, HKCU, HKLM, HKU). Names compare
// ignoring case and keep the case they were created with.
#pragma once

#include "platform/win32/types.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace win32 {

struct RegValue {
    std::string name;
    DWORD type = 0;
    std::vector<BYTE> data;
};

struct RegNode {
    std::string name;
    RegNode* parent = nullptr;
    bool deleted = false;
    std::map<std::string, std::shared_ptr<RegNode>> subkeys; // by lower-case name
    std::vector<RegValue> values;                            // in creation order

    RegValue* findValue(const std::string& valueName);
    std::string path() const; // full path with the root's long name
};

class Registry {
  public:
    explicit Registry(std::recursive_mutex& lock);

    bool createKey(const std::string& path);
    bool keyExists(const std::string& path) const;
    // Removes a key and everything below it; false when it does not exist.
    bool deleteTree(const std::string& path);
    std::vector<std::string> subkeys(const std::string& path) const;
    std::vector<std::string> valueNames(const std::string& path) const;

    // The setters create the key when it is missing.
    void setValue(const std::string& path, const std::string& name, DWORD type,
                  std::vector<BYTE> data);
    void setDword(const std::string& path, const std::string& name, DWORD value);
    void setString(const std::string& path, const std::string& name, const std::string& value);
    std::optional<RegValue> value(const std::string& path, const std::string& name) const;
    std::optional<DWORD> getDword(const std::string& path, const std::string& name) const;
    std::optional<std::string> getString(const std::string& path, const std::string& name) const;
    bool deleteValue(const std::string& path, const std::string& name);

    // For the API: the node of a root (index 0..3 = HKCR, HKCU, HKLM, HKU).
    std::shared_ptr<RegNode> root(int index) const { return roots_[index]; }
    // Walks from a node along a backslash path; null when a key is missing.
    static std::shared_ptr<RegNode> find(const std::shared_ptr<RegNode>& from,
                                         const std::string& subPath);
    // Walks and creates what is missing; *created tells whether the last
    // key was new. Null for an invalid path.
    static std::shared_ptr<RegNode> create(const std::shared_ptr<RegNode>& from,
                                           const std::string& subPath, bool* created);
    static void removeSubtree(RegNode& node);
    static std::string lower(const std::string& s);

  private:
    std::shared_ptr<RegNode> resolve(const std::string& path, std::string* rest) const;
    std::recursive_mutex& lock_;
    std::shared_ptr<RegNode> roots_[4];
};

} // namespace win32
