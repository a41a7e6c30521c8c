#include "Text.h"

#include <windows.h>

namespace scup {

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring FromUtf8(const std::string& text) {
    if (text.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

bool StartsWith(const std::wstring& text, const wchar_t* prefix) { return text.rfind(prefix, 0) == 0; }

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix) {
    const int length = static_cast<int>(wcslen(prefix));
    return static_cast<int>(text.size()) >= length &&
           CompareStringOrdinal(text.c_str(), length, prefix, length, TRUE) == CSTR_EQUAL;
}

std::wstring TrimBlanks(const std::wstring& text) {
    constexpr wchar_t kBlanks[] = L" \t\r\n";
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::wstring::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::vector<std::wstring> SplitList(const std::wstring& text, wchar_t separator) {
    std::vector<std::wstring> items;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        std::wstring item =
            TrimBlanks(text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        if (!item.empty()) items.push_back(std::move(item));
        if (end == std::wstring::npos) return items;
        start = end + 1;
    }
}

}  // namespace scup
