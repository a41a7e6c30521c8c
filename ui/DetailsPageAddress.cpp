#include "DetailsPageAddress.h"

#include "common/Format.h"
#include "common/Profile.h"
#include "common/SystemVersion.h"

namespace scup {
namespace {

constexpr size_t kLocaleTextMax = 15;

std::wstring UserLocaleText(LCTYPE type) {
    wchar_t buffer[kLocaleTextMax + 1] = {};
    if (!GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buffer, kLocaleTextMax + 1)) return {};
    return buffer;
}

}  // namespace

std::wstring DetailsPageEndpoint() {
    const std::wstring host =
        GetProfileText(kSettingsSection, kDetailsPageHostSetting, kDefaultDetailsPageHost);
    return L"http://" + (host.empty() ? std::wstring(kDefaultDetailsPageHost) : host) + kDetailsPagePath;
}

std::wstring SystemVersionText(DWORD major, DWORD minor, DWORD platformId, bool workstation) {
    const wchar_t* suffix = L"";
    if (platformId == VER_PLATFORM_WIN32_NT && major == 4)
        suffix = L"_NT";
    else if (major == 5 && minor == 2 && workstation)
        // Version 5.2 on a workstation is only ever the x64 edition of XP; the portal reads it so.
        suffix = L"_x64";
    return FormatText(L"W%d_%d%s", static_cast<int>(major), static_cast<int>(minor), suffix);
}

std::wstring CurrentSystemVersionText() {
    OSVERSIONINFOEXW version{};
    if (!ReadSystemVersion(version)) return {};
    return SystemVersionText(version.dwMajorVersion, version.dwMinorVersion, version.dwPlatformId,
                             version.wProductType == VER_NT_WORKSTATION);
}

std::wstring DetailsPageAddress(const std::wstring& endpoint, int modelId, const std::wstring& country,
                                const std::wstring& language, const std::wstring& system, int flag) {
    const unsigned model = modelId < 0 ? 0u : static_cast<unsigned>(modelId) & 0xFFFFu;
    return FormatText(L"%s?model=%X&country=%s&gengo=%s&os=%s&c=%d&m=0&y=0&k=0", endpoint.c_str(), model,
                      country.substr(0, kLocaleTextMax).c_str(), language.substr(0, kLocaleTextMax).c_str(),
                      system.c_str(), flag);
}

std::wstring DetailsPageAddressForModel(int modelId, int flag) {
    return DetailsPageAddress(DetailsPageEndpoint(), modelId, UserLocaleText(LOCALE_SABBREVCTRYNAME),
                              UserLocaleText(LOCALE_SABBREVLANGNAME), CurrentSystemVersionText(), flag);
}

bool IsWebPageAddress(const std::wstring& address) {
    for (const wchar_t* scheme : {L"http://", L"https://"}) {
        const size_t length = wcslen(scheme);
        if (address.size() > length && _wcsnicmp(address.c_str(), scheme, length) == 0 &&
            address[length] != L'/' && address[length] != L'\\')
            return true;
    }
    return false;
}

}  // namespace scup
