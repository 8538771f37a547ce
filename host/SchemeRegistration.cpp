#include "host/SchemeRegistration.h"

#include <windows.h>

#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

#include "host/SchemeRegistry.h"
#include "host/WideText.h"

namespace SchemeRegistration {

namespace {

using SchemeRegistry::Entry;

struct KeyCloser {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

using WideText::Wide;

std::wstring ValueLabel(const Entry& entry) {
    return L"HKCU\\" + Wide(entry.key) +
           (entry.name.empty() ? L" (default)" : L" [" + Wide(entry.name) + L"]");
}

UniqueKey OpenKey(const std::wstring& path, REGSAM access) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, access, &key) != ERROR_SUCCESS)
        return nullptr;
    return UniqueKey(key);
}

// A value as it stands: nothing when absent; a text value without its terminators; any other
// type counts as a value that differs from every text.
struct StoredValue {
    bool isText = false;
    std::wstring text;
};

std::optional<StoredValue> ReadValue(const Entry& entry) {
    const UniqueKey key = OpenKey(Wide(entry.key), KEY_QUERY_VALUE);
    if (!key) return std::nullopt;
    const std::wstring name = Wide(entry.name);
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    StoredValue stored;
    if (type != REG_SZ) return stored;
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return stored;
    stored.isText = true;
    stored.text.assign(data.data(), size / sizeof(wchar_t));
    while (!stored.text.empty() && stored.text.back() == L'\0') stored.text.pop_back();
    return stored;
}

bool IsOurs(const std::optional<StoredValue>& stored, const Entry& entry) {
    return stored && stored->isText && stored->text == Wide(entry.data);
}

bool WriteValue(const Entry& entry) {
    HKEY raw = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, Wide(entry.key).c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                        nullptr, &raw, nullptr) != ERROR_SUCCESS)
        return false;
    const UniqueKey key(raw);
    const std::wstring data = Wide(entry.data);
    const auto bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key.get(), Wide(entry.name).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(data.c_str()), bytes) == ERROR_SUCCESS;
}

bool DeleteValue(const Entry& entry) {
    const UniqueKey key = OpenKey(Wide(entry.key), KEY_SET_VALUE);
    return key && RegDeleteValueW(key.get(), Wide(entry.name).c_str()) == ERROR_SUCCESS;
}

// Removes the key when it holds neither values nor subkeys. False only when that failed.
bool RemoveKeyIfEmpty(const std::wstring& path, std::FILE* out) {
    DWORD subkeys = 0;
    DWORD values = 0;
    {
        const UniqueKey key = OpenKey(path, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS);
        if (!key) return true;
        if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                             &values, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return false;
    }
    if (subkeys != 0 || values != 0) return true;
    if (RegDeleteKeyW(HKEY_CURRENT_USER, path.c_str()) != ERROR_SUCCESS) {
        std::fwprintf(out, L"failed to remove key HKCU\\%ls\n", path.c_str());
        return false;
    }
    std::fwprintf(out, L"removed key HKCU\\%ls\n", path.c_str());
    return true;
}

}  // namespace

bool Register(const std::wstring& programPath, std::FILE* out) {
    bool ok = true;
    bool changed = false;
    for (const Entry& entry : SchemeRegistry::Entries(WideText::Utf16(programPath))) {
        if (IsOurs(ReadValue(entry), entry)) continue;
        if (WriteValue(entry)) {
            std::fwprintf(out, L"wrote %ls = %ls\n", ValueLabel(entry).c_str(),
                          Wide(entry.data).c_str());
            changed = true;
        } else {
            std::fwprintf(out, L"failed to write %ls\n", ValueLabel(entry).c_str());
            ok = false;
        }
    }
    if (ok)
        std::fwprintf(
            out,
            changed ? L"pelkoweb: registered for %ls\n" : L"pelkoweb: already registered for %ls\n",
            programPath.c_str());
    return ok;
}

bool Unregister(const std::wstring& programPath, std::FILE* out) {
    const std::vector<Entry> entries = SchemeRegistry::Entries(WideText::Utf16(programPath));
    const Entry& command = entries.back();
    const std::optional<StoredValue> stored = ReadValue(command);
    if (stored && !IsOurs(stored, command)) {
        std::fwprintf(out, L"pelkoweb: registered for another program (%ls), left as it is\n",
                      stored->isText ? stored->text.c_str() : L"not text");
        return true;
    }
    bool ok = true;
    bool changed = false;
    for (const Entry& entry : entries) {
        const std::optional<StoredValue> value = ReadValue(entry);
        if (!value) continue;
        if (!IsOurs(value, entry)) {
            std::fwprintf(out, L"left %ls: not written by this program\n",
                          ValueLabel(entry).c_str());
        } else if (DeleteValue(entry)) {
            std::fwprintf(out, L"removed %ls\n", ValueLabel(entry).c_str());
            changed = true;
        } else {
            std::fwprintf(out, L"failed to remove %ls\n", ValueLabel(entry).c_str());
            ok = false;
        }
    }
    // Keys go only with the values this run removed: an empty key found alone is not ours.
    if (changed)
        for (const std::u16string& key : SchemeRegistry::KeysDeepestFirst())
            ok = RemoveKeyIfEmpty(Wide(key), out) && ok;
    if (ok && !changed) std::fwprintf(out, L"pelkoweb: nothing to unregister\n");
    if (ok && changed) std::fwprintf(out, L"pelkoweb: unregistered\n");
    return ok;
}

}  // namespace SchemeRegistration
