#pragma once
// The resource library that holds every text, template and image, and reading texts out of it.

#include <windows.h>

#include <optional>
#include <string>

namespace scup {

HMODULE ResourceModule();
void SetResourceModule(HMODULE module);

// The string with exactly this identifier (no language adjustment); nothing when the library lacks it.
std::optional<std::wstring> FindResString(UINT id);
// The same, empty when the library lacks it.
std::wstring LoadResString(UINT id);

}  // namespace scup
