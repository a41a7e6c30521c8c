#pragma once
// The program's profile: its registry key text and profile name, the per-user "Settings" values
// under HKCU\Software\<key>\<profile>\<section>, the machine-wide settings key under HKLM, and the
// policy key that IT's administrative template writes (HKLM\Software\Policies\<key>\<profile>),
// which comes before both.

#include <windows.h>

#include <optional>
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
// The policy's value when IT set one, else the machine-wide setting's ("" when neither is set).
std::wstring ReadMachineSettingText(const wchar_t* name);

// "Software\Policies\<key>\<profile>" under HKLM.
std::wstring PolicyKeyPath();
// The value IT's policy sets (a text, or a number as its decimal text); nothing when it sets none.
std::optional<std::wstring> ReadPolicyText(const wchar_t* name);

}  // namespace scup
