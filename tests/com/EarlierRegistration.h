#pragma once

#include <span>
#include <string>

// What an earlier build's registration of PelkoWebLoader.dll left in the registry: both of its
// registry scripts run in registration mode by the system's registrar, its type library and its
// class's implemented categories. Whatever is left of it is deleted at the end, so the shared
// prefix stays clean for other test programs.
class EarlierRegistration {
public:
    // Registers the DLL at dllPath; reports a test failure when any step fails.
    explicit EarlierRegistration(const std::wstring& dllPath);
    EarlierRegistration(const EarlierRegistration&) = delete;
    EarlierRegistration& operator=(const EarlierRegistration&) = delete;
    ~EarlierRegistration();

    // The keys below HKEY_CLASSES_ROOT that registration makes, in the order registration makes
    // them (ProgIDs, class, AppIDs, type library, interface).
    static std::span<const std::wstring> Keys();
    // Deletes every one of those keys with everything below it.
    static void DeleteAll();
};

namespace registry {

// Under HKEY_CLASSES_ROOT.
bool KeyExists(const std::wstring& path);
// A value as text: a string as it is, a number as "dword:N"; "(missing)" when there is none. An
// empty name reads the default value.
std::wstring Value(const std::wstring& path, const std::wstring& name);
// The number of direct subkeys; 0 when the key is missing.
size_t SubkeyCount(const std::wstring& path);

}  // namespace registry
