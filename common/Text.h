#pragma once
// Conversions between the program's wide text and byte encodings, and prefix tests.

#include <string>

namespace scup {

std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

bool StartsWith(const std::wstring& text, const wchar_t* prefix);
// Ordinal, without regard to case (as Windows compares file, driver and printer names).
bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix);

}  // namespace scup
