#pragma once
// The serial line rate: the environment variable SCFILO_BAUD_RATE, else the DWORD "BaudRate" under
// HKEY_CURRENT_USER, then HKEY_LOCAL_MACHINE, "Software\Corvane Industries, Ltd.\scfilo", else
// 115200. Values outside 300 to 4000000 are ignored.

#include <windows.h>

#include <optional>
#include <string>

namespace scfilo {

inline constexpr DWORD kDefaultBaudRate = 115200;

DWORD ConfiguredBaudRate();
// The rate a text gives, when it is a plain decimal number in range.
std::optional<DWORD> ParseBaudRate(const std::wstring& text);

}  // namespace scfilo
