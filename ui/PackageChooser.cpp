#include "PackageChooser.h"

// After windows.h, which it builds on.
#include <commdlg.h>

#include <algorithm>

#include "common/LangResources.h"
#include "res/updater_ids.h"

namespace scup {

namespace {

constexpr wchar_t kPackageExtension[] = L"pdz";
constexpr UINT kMaxOpenBuffer = 32 * 1024;

}  // namespace

std::vector<std::wstring> ChooseFirmwarePackages(HWND owner, LANGID language) {
    std::wstring filter = LoadLangString(IDS_UPD_OPEN_FILTER, language);
    std::replace(filter.begin(), filter.end(), L'|', L'\0');
    filter.push_back(L'\0');
    std::vector<wchar_t> buffer(kMaxOpenBuffer, L'\0');
    OPENFILENAMEW open{};
    open.lStructSize = sizeof(open);
    open.hwndOwner = owner;
    open.lpstrFilter = filter.c_str();
    open.lpstrFile = buffer.data();
    open.nMaxFile = kMaxOpenBuffer;
    open.lpstrDefExt = kPackageExtension;
    open.Flags =
        OFN_ALLOWMULTISELECT | OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;
    if (!GetOpenFileNameW(&open)) return {};
    // One file comes as its path; several as the folder followed by the names, each null-ended.
    std::vector<std::wstring> parts;
    for (const wchar_t* p = buffer.data(); *p; p += wcslen(p) + 1) parts.emplace_back(p);
    if (parts.size() <= 1) return parts;
    std::vector<std::wstring> files;
    for (size_t i = 1; i < parts.size(); ++i) files.push_back(parts[0] + L"\\" + parts[i]);
    return files;
}

}  // namespace scup
