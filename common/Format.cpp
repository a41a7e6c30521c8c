#include "Format.h"

#include <cwchar>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace scup {

std::wstring FormatTextV(const wchar_t* format, va_list args) {
    // _vsnwprintf is the C runtime's own: "%s" means a wide string there, which the formats rely on.
    std::vector<wchar_t> buffer(256);
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        int n = _vsnwprintf(buffer.data(), buffer.size(), format, copy);
        va_end(copy);
        if (n >= 0 && static_cast<size_t>(n) < buffer.size()) return std::wstring(buffer.data(), n);
        if (buffer.size() >= (1u << 24)) return std::wstring(buffer.data(), buffer.size() - 1);
        buffer.resize(buffer.size() * 4);
    }
}

std::wstring FormatText(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::wstring text = FormatTextV(format, args);
    va_end(args);
    return text;
}

std::wstring DecimalText(long long value) { return std::to_wstring(value); }

long ParseDecimal(const std::wstring& text) { return std::wcstol(text.c_str(), nullptr, 10); }

unsigned long ParseHex(const std::wstring& text) { return std::wcstoul(text.c_str(), nullptr, 16); }

std::wstring FillPlaceholders(std::wstring text, const std::vector<std::wstring>& values) {
    std::size_t at = 0;
    for (const std::wstring& value : values) {
        at = text.find(L"%s", at);
        if (at == std::wstring::npos) break;
        text.replace(at, 2, value);
        at += value.size();
    }
    return text;
}

std::wstring ReplaceEvery(std::wstring text, const std::wstring& from, const std::wstring& to) {
    if (from.empty()) return text;
    for (std::size_t at = text.find(from); at != std::wstring::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

}  // namespace scup
