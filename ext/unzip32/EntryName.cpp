#include "EntryName.h"

#include <algorithm>
#include <cwctype>
#include <string_view>
#include <vector>

namespace unzip32 {
namespace {

bool IsSeparator(wchar_t c) { return c == L'/' || c == L'\\'; }

// Control characters, and those Windows keeps out of file names; ":" also marks drives and streams.
bool HasForbiddenCharacter(const std::wstring& name) {
    return std::any_of(name.begin(), name.end(), [](wchar_t c) {
        return c < 0x20 || std::wstring_view(L"<>:\"|?*").find(c) != std::wstring_view::npos;
    });
}

std::vector<std::wstring> SplitParts(const std::wstring& name) {
    std::vector<std::wstring> parts(1);
    for (wchar_t c : name) {
        if (IsSeparator(c))
            parts.emplace_back();
        else
            parts.back().push_back(c);
    }
    return parts;
}

bool IsAcceptablePart(const std::wstring& part) {
    if (part.empty() || part == L"." || part == L"..") return false;
    if (part.back() == L'.' || part.back() == L' ') return false;
    return !IsReservedDeviceName(part);
}

}  // namespace

bool IsReservedDeviceName(const std::wstring& part) {
    // The device is meant whatever follows the first dot, and trailing spaces before it are dropped.
    std::wstring base = part.substr(0, part.find(L'.'));
    while (!base.empty() && base.back() == L' ') base.pop_back();
    std::transform(base.begin(), base.end(), base.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(towupper(c)); });
    static const wchar_t* const kDevices[] = {L"CON",    L"PRN",     L"AUX",   L"NUL",
                                              L"CONIN$", L"CONOUT$", L"CLOCK$"};
    for (const wchar_t* device : kDevices)
        if (base == device) return true;
    if (base.size() == 4 && (base.starts_with(L"COM") || base.starts_with(L"LPT"))) {
        const wchar_t digit = base[3];
        return (digit >= L'0' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' ||
               digit == L'\u00B3';
    }
    return false;
}

std::optional<EntryPath> SafeEntryPath(const std::wstring& name, bool keepFolders, bool spaceToUnderscore) {
    if (name.empty() || IsSeparator(name.front()) || HasForbiddenCharacter(name)) return std::nullopt;
    std::vector<std::wstring> parts = SplitParts(name);
    EntryPath path;
    if (parts.back().empty()) {
        path.directory = true;
        parts.pop_back();
    }
    if (!std::all_of(parts.begin(), parts.end(), IsAcceptablePart)) return std::nullopt;
    if (!keepFolders) {
        if (path.directory) return path;
        parts.erase(parts.begin(), parts.end() - 1);
    }
    for (const std::wstring& part : parts) {
        if (!path.relative.empty()) path.relative.push_back(L'\\');
        path.relative += part;
    }
    if (spaceToUnderscore) std::replace(path.relative.begin(), path.relative.end(), L' ', L'_');
    return path;
}

bool MatchesPattern(std::wstring_view pattern, std::wstring_view name, bool ignoreCase) {
    auto same = [ignoreCase](wchar_t a, wchar_t b) {
        return ignoreCase ? towupper(a) == towupper(b) : a == b;
    };
    size_t p = 0, n = 0;
    size_t starAt = std::wstring_view::npos, resumeAt = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == L'*') {
            starAt = p++;
            resumeAt = n;
        } else if (p < pattern.size() && (pattern[p] == L'?' || same(pattern[p], name[n]))) {
            ++p;
            ++n;
        } else if (starAt != std::wstring_view::npos) {
            // Let the last star take one more character and try again from there.
            p = starAt + 1;
            n = ++resumeAt;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*') ++p;
    return p == pattern.size();
}

}  // namespace unzip32
