#pragma once
// The system's open dialog for firmware packages on disk ("*.pdz"), several at a time.

#include <windows.h>

#include <string>
#include <vector>

namespace scup {

// The paths of the packages the user chose; none when the dialog was cancelled.
std::vector<std::wstring> ChooseFirmwarePackages(HWND owner, LANGID language);

}  // namespace scup
