#pragma once
// Starting a program as the user who sits at the PC. The elevated step of a self-upgrade may run
// under another account, the one whose credentials were typed into the elevation prompt; the
// updater it starts afterwards must run as the desktop's user again, or that user's configuration
// and history would seem lost.

#include <string>

namespace scup {

// Starts the program with the token of the desktop shell's process (its user, not elevated).
// False when there is no shell window or its token cannot be had; the caller then starts the
// program the ordinary way.
bool StartAsDesktopUser(const std::wstring& program, const std::wstring& parameters);

}  // namespace scup
