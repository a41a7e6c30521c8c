#include "Profile.h"

#include <mutex>
#include <optional>
#include <vector>

#include "Format.h"
#include "Handles.h"

namespace scup {
namespace {

std::mutex& IdentityMutex() {
    static std::mutex m;
    return m;
}
AppIdentity& Identity() {
    static AppIdentity identity{L"", L"ScUpdater"};
    return identity;
}

std::wstring IniFileName(const AppIdentity& id) { return id.profileName + L".ini"; }

std::wstring UserSectionPath(const AppIdentity& id, const wchar_t* section) {
    return FormatText(L"Software\\%s\\%s\\%s", id.registryKey.c_str(), id.profileName.c_str(), section);
}

UniqueRegKey OpenKey(HKEY root, const std::wstring& path, bool create) {
    UniqueRegKey key;
    LONG rc = create ? RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, key.put(),
                                       nullptr)
                     : RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put());
    if (rc != ERROR_SUCCESS) key.release();
    return key;
}

bool ReadText(HKEY key, const wchar_t* name, std::wstring& out) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS)
        return false;
    out.assign(buffer.data());
    return true;
}

// A policy's number (an administrative template's decimal) reads as the text the setting takes.
bool ReadTextOrNumber(HKEY key, const wchar_t* name, std::wstring& out) {
    DWORD type = 0, number = 0, size = sizeof(number);
    const LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&number), &size);
    if (rc == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(number)) {
        out = std::to_wstring(number);
        return true;
    }
    return ReadText(key, name, out);
}

bool WriteText(HKEY key, const wchar_t* name, const std::wstring& value) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

}  // namespace

void SetAppIdentity(const AppIdentity& identity) {
    std::lock_guard lock(IdentityMutex());
    Identity() = identity;
}

AppIdentity GetAppIdentity() {
    std::lock_guard lock(IdentityMutex());
    return Identity();
}

int GetProfileInt(const wchar_t* section, const wchar_t* name, int defaultValue) {
    AppIdentity id = GetAppIdentity();
    if (id.registryKey.empty())
        return static_cast<int>(GetPrivateProfileIntW(section, name, defaultValue, IniFileName(id).c_str()));
    UniqueRegKey key = OpenKey(HKEY_CURRENT_USER, UserSectionPath(id, section), false);
    if (!key) return defaultValue;
    DWORD type = 0, value = 0, size = sizeof(value);
    if (RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD)
        return defaultValue;
    return static_cast<int>(value);
}

bool WriteProfileInt(const wchar_t* section, const wchar_t* name, int value) {
    AppIdentity id = GetAppIdentity();
    if (id.registryKey.empty())
        return WritePrivateProfileStringW(section, name, DecimalText(value).c_str(), IniFileName(id).c_str());
    UniqueRegKey key = OpenKey(HKEY_CURRENT_USER, UserSectionPath(id, section), true);
    if (!key) return false;
    DWORD data = static_cast<DWORD>(value);
    return RegSetValueExW(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data)) ==
           ERROR_SUCCESS;
}

std::wstring GetProfileText(const wchar_t* section, const wchar_t* name, const std::wstring& defaultValue) {
    AppIdentity id = GetAppIdentity();
    if (id.registryKey.empty()) {
        std::vector<wchar_t> buffer(4096);
        GetPrivateProfileStringW(section, name, defaultValue.c_str(), buffer.data(),
                                 static_cast<DWORD>(buffer.size()), IniFileName(id).c_str());
        return buffer.data();
    }
    UniqueRegKey key = OpenKey(HKEY_CURRENT_USER, UserSectionPath(id, section), false);
    std::wstring value;
    if (!key || !ReadText(key.get(), name, value)) return defaultValue;
    return value;
}

bool WriteProfileText(const wchar_t* section, const wchar_t* name, const std::wstring& value) {
    AppIdentity id = GetAppIdentity();
    if (id.registryKey.empty())
        return WritePrivateProfileStringW(section, name, value.c_str(), IniFileName(id).c_str());
    UniqueRegKey key = OpenKey(HKEY_CURRENT_USER, UserSectionPath(id, section), true);
    return key && WriteText(key.get(), name, value);
}

std::wstring MachineSettingsKeyPath() {
    AppIdentity id = GetAppIdentity();
    return FormatText(L"%s\\%s\\%s\\%s", L"Software", id.registryKey.c_str(), id.profileName.c_str(), kSettingsSection);
}

bool WriteMachineSettingText(const wchar_t* name, const std::wstring& value) {
    AppIdentity id = GetAppIdentity();
    if (id.registryKey.empty())
        return WritePrivateProfileStringW(kSettingsSection, name, value.c_str(), IniFileName(id).c_str());
    UniqueRegKey key = OpenKey(HKEY_LOCAL_MACHINE, MachineSettingsKeyPath(), true);
    return key && WriteText(key.get(), name, value);
}

std::wstring PolicyKeyPath() {
    AppIdentity id = GetAppIdentity();
    return FormatText(L"%s\\%s\\%s", L"Software\\Policies", id.registryKey.c_str(), id.profileName.c_str());
}

std::optional<std::wstring> ReadPolicyText(const wchar_t* name) {
    if (GetAppIdentity().registryKey.empty()) return std::nullopt;
    UniqueRegKey key = OpenKey(HKEY_LOCAL_MACHINE, PolicyKeyPath(), false);
    std::wstring value;
    if (!key || !ReadTextOrNumber(key.get(), name, value) || value.empty()) return std::nullopt;
    return value;
}

std::wstring ReadMachineSettingText(const wchar_t* name) {
    AppIdentity id = GetAppIdentity();
    if (id.registryKey.empty()) return GetProfileText(kSettingsSection, name, L"");
    if (std::optional<std::wstring> set = ReadPolicyText(name)) return *set;
    UniqueRegKey key = OpenKey(HKEY_LOCAL_MACHINE, MachineSettingsKeyPath(), false);
    std::wstring value;
    if (key) ReadText(key.get(), name, value);
    return value;
}

}  // namespace scup
