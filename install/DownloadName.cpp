#include "DownloadName.h"

#include <cwchar>
#include <cwctype>

namespace scup {
namespace {

constexpr size_t kMaxNameLength = 200;

bool IsRefusedCharacter(wchar_t c) { return c < 0x20 || std::wcschr(L"<>:\"|?*", c) != nullptr; }

std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

// Windows opens the device instead of a file for these names, whatever the extension.
bool IsDeviceName(const std::wstring& name) {
    std::wstring stem = Upper(name.substr(0, name.find(L'.')));
    while (!stem.empty() && stem.back() == L' ') stem.pop_back();
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$", L"CLOCK$"})
        if (stem == device) return true;
    if (stem.size() == 4 && (stem.rfind(L"COM", 0) == 0 || stem.rfind(L"LPT", 0) == 0)) {
        const wchar_t digit = stem[3];
        return std::iswdigit(digit) || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3';
    }
    return false;
}

}  // namespace

std::wstring SafeDownloadName(const std::wstring& url) {
    const size_t separator = url.find_last_of(L"/\\");
    std::wstring name = separator == std::wstring::npos ? url : url.substr(separator + 1);
    // The file system drops trailing dots and spaces, so "a.exe." would be "a.exe" and ".." nothing.
    while (!name.empty() && (name.back() == L'.' || name.back() == L' ')) name.pop_back();
    if (name.empty() || name.size() > kMaxNameLength) return {};
    for (wchar_t c : name)
        if (IsRefusedCharacter(c)) return {};
    if (IsDeviceName(name)) return {};
    return name;
}

}  // namespace scup
