// The entry names' text, through the system's code pages.
#include <windows.h>

#include "EntryName.h"

namespace unzip32 {
namespace {

constexpr UINT kDosCodePage = 437;

std::wstring Decode(const std::string& raw, UINT codePage, DWORD flags) {
    if (raw.empty()) return {};
    const int size = static_cast<int>(raw.size());
    const int length = MultiByteToWideChar(codePage, flags, raw.data(), size, nullptr, 0);
    if (length <= 0) return {};
    std::wstring text(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, flags, raw.data(), size, text.data(), length);
    return text;
}

}  // namespace

std::wstring DecodeEntryName(const std::string& raw, bool utf8) {
    if (utf8) return Decode(raw, CP_UTF8, MB_ERR_INVALID_CHARS);
    std::wstring text = Decode(raw, kDosCodePage, 0);
    return text.empty() ? Decode(raw, CP_OEMCP, 0) : text;
}

}  // namespace unzip32
