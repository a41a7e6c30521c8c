#pragma once
// The single-byte texts of firmware files, printer records and the port library, in the system
// code page (or a given one), and the program's wide texts.

#include <windows.h>

#include <string>

namespace scup {

std::wstring FromAnsi(const std::string& text, UINT codePage = CP_ACP);
std::string ToAnsi(const std::wstring& text, UINT codePage = CP_ACP);

}  // namespace scup
