#pragma once
// The program's profile: its registry key text and profile name, the per-user "Settings" values
// under HKCU\Software\<key>\<profile>\<section>, and the machine-wide settings key under HKLM.

#include <windows.h>

#include <string>

namespace scup {

inline constexpr wchar_t kSettingsSection[] = L"Settings";

struct AppIdentity {
    std::wstring registryKey;  // empty: the profile lives in an .ini file instead of the registry
    std::wstring profileName;
};

void SetAppIdentity(const AppIdentity& identity);
AppIdentity GetAppIdentity();

int GetProfileInt(const wchar_t* section, const wchar_t* name, int defaultValue);
bool WriteProfileInt(const wchar_t* section, const wchar_t* name, int value);
std::wstring GetProfileText(const wchar_t* section, const wchar_t* name, const std::wstring& defaultValue);
bool WriteProfileText(const wchar_t* section, const wchar_t* name, const std::wstring& value);

// "Software\<key>\<profile>\Settings", the key under HKLM that holds the installed version.
std::wstring MachineSettingsKeyPath();
bool WriteMachineSettingText(const wchar_t* name, const std::wstring& value);
std::wstring ReadMachineSettingText(const wchar_t* name);

}  // namespace scup
