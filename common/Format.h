#pragma once
// printf-style formatting of wide text with the Windows meaning of the conversions: "%s" takes a
// wide string, "%d" an int, "%X" an unsigned in hexadecimal.

#include <cstdarg>
#include <string>

namespace scup {

std::wstring FormatTextV(const wchar_t* format, va_list args);
std::wstring FormatText(const wchar_t* format, ...);

// Wide text of a number in decimal ("%d").
std::wstring DecimalText(long long value);

// Reads a whole text as a decimal or hexadecimal number; text that is not a number gives 0.
long ParseDecimal(const std::wstring& text);
unsigned long ParseHex(const std::wstring& text);

}  // namespace scup
