#pragma once
// The update server's addresses: strings 503 (version check), 504 (notice) and 505 (file update)
// of the resource library, each overridable by a text value in the profile's "Settings":
// "VersionCheckURL", "NoticeURL", "FileUpdateURL".

#include <windows.h>

#include <string>

namespace scup {

// The profile value that overrides the address of the string, or nullptr for other strings.
const wchar_t* ServerAddressSettingName(UINT stringId);
// The override when set and non-empty, else the resource library's default.
std::wstring ServerAddress(UINT stringId);

}  // namespace scup
