#pragma once
// The version of the running system as the system itself has it.

#include <windows.h>

namespace scup {

// Fills version with the system's own version. GetVersionExW answers 6.2 on every later system to
// a program whose manifest does not name that system; the kernel's own call is not held back so.
// False when it could not be read.
bool ReadSystemVersion(OSVERSIONINFOEXW& version);

}  // namespace scup
