#pragma once
// printf-style formatting of wide text with the Windows meaning of the conversions: "%s" takes a
// wide string, "%d" an int, "%X" an unsigned in hexadecimal.

#include <cstdarg>
#include <string>
#include <vector>

namespace scup {

std::wstring FormatTextV(const wchar_t* format, va_list args);
std::wstring FormatText(const wchar_t* format, ...);

// A translated text with its "%s" placeholders filled in turn by the values, each once: neither the
// text nor a value (which may hold "%s" itself) is ever read as a format.
std::wstring FillPlaceholders(std::wstring text, const std::vector<std::wstring>& values);
// Every occurrence of from replaced by to, left to right; what was put in is never searched again.
std::wstring ReplaceEvery(std::wstring text, const std::wstring& from, const std::wstring& to);

// Wide text of a number in decimal ("%d").
std::wstring DecimalText(long long value);

// Reads a whole text as a decimal or hexadecimal number; text that is not a number gives 0.
long ParseDecimal(const std::wstring& text);
unsigned long ParseHex(const std::wstring& text);

}  // namespace scup
