#pragma once
// Conversions between the program's wide text and byte encodings.

#include <string>

namespace scup {

std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

}  // namespace scup
