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

std::wstring ServerAddress(UINT stringId) {
    if (const wchar_t* setting = ServerAddressSettingName(stringId)) {
        std::wstring configured = GetProfileText(kSettingsSection, setting, L"");
        if (!configured.empty()) return configured;
    }
    return LoadResString(stringId);
}

}  // namespace scup
