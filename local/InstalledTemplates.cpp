#include "InstalledTemplates.h"

#include <windows.h>

#include "common/Handles.h"

namespace {

std::wstring ReadText(HKEY key, const wchar_t* name) {
    wchar_t buffer[261] = {};
    DWORD size = sizeof(buffer) - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return {};
    return buffer;
}

void AddTemplatesOfView(REGSAM view, std::vector<SInstalledTemplate>& templates) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTemplatesKeyPath, 0, KEY_READ | view, &opened) != ERROR_SUCCESS)
        return;
    scup::UniqueRegKey root(opened);
    for (DWORD index = 0;; ++index) {
        wchar_t name[256] = {};
        DWORD length = 256;
        if (RegEnumKeyExW(root.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        HKEY child = nullptr;
        if (RegOpenKeyExW(root.get(), name, 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
        scup::UniqueRegKey owner(child);
        templates.push_back(
            {ReadText(child, L"ID"), ReadText(child, L"PackageVersion"), ReadText(child, L"Language")});
    }
}

}  // namespace

std::vector<SInstalledTemplate> ListInstalledTemplates() {
    std::vector<SInstalledTemplate> templates;
    AddTemplatesOfView(KEY_WOW64_64KEY, templates);
    AddTemplatesOfView(KEY_WOW64_32KEY, templates);
    return templates;
}
