#pragma once
// Conversions between the program's wide text and byte encodings, prefix tests, and the trimming
// and splitting of the short lists that settings hold.

#include <string>
#include <vector>

namespace scup {

std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

bool StartsWith(const std::wstring& text, const wchar_t* prefix);
// Ordinal, without regard to case (as Windows compares file, driver and printer names).
bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix);

// The text without blanks, tabs and line breaks at either end.
std::wstring TrimBlanks(const std::wstring& text);
// The items of a list such as "a; b;c", each trimmed; empty items are left out.
std::vector<std::wstring> SplitList(const std::wstring& text, wchar_t separator);

}  // namespace scup
