#pragma once
// Writes results to stdout and messages to stderr: UTF-16 to a console, UTF-8 to a pipe or file
// so that the scripts that read them under Wine get readable text.

#include <windows.h>

#include <string>

namespace scdrive {

void PrintLine(const std::wstring& line);
void PrintError(const std::wstring& line);

std::wstring FormatHandle(HWND window);

}  // namespace scdrive
