#include "ServerAddress.h"

#include "common/Profile.h"
#include "common/Resources.h"
#include "res/resource_ids.h"

namespace scup {

const wchar_t* ServerAddressSettingName(UINT stringId) {
    switch (stringId) {
        case IDS_URL_VERSIONCHECK: return L"VersionCheckURL";
        case IDS_URL_NOTICE: return L"NoticeURL";
        case IDS_URL_FILEUPDATE: return L"FileUpdateURL";
        default: return nullptr;
    }
}

// IT's policy first, then the user's own setting, then the one the installer left for every user
// of the PC (the IT department's server, given to the .msi), then the program's built-in address.
std::wstring ServerAddress(UINT stringId) {
    if (const wchar_t* setting = ServerAddressSettingName(stringId)) {
        if (std::optional<std::wstring> set = ReadPolicyText(setting)) return *set;
        std::wstring configured = GetProfileText(kSettingsSection, setting, L"");
        if (!configured.empty()) return configured;
        configured = ReadMachineSettingText(setting);
        if (!configured.empty()) return configured;
    }
    return LoadResString(stringId);
}

}  // namespace scup
