#pragma once
// The program's named events. The application makes them when it starts; the dialogs set them to
// wake the update thread, and the layers below open them by name to see a cancel or the end of
// the program.

namespace scup {

inline constexpr wchar_t kRefreshEventName[] = L"REFRESH_EVENT";
inline constexpr wchar_t kCheckEventName[] = L"CHECK_EVENT";
inline constexpr wchar_t kStartEventName[] = L"START_EVENT";
inline constexpr wchar_t kExitEventName[] = L"EXIT_EVENT";
inline constexpr wchar_t kResetServerEventName[] = L"RESETSERVER_EVENT";
inline constexpr wchar_t kCancelEventName[] = L"CANCEL_EVENT";

// Whether the named event exists and is set, seen with a zero wait (which takes the signal of an
// event that resets itself).
bool IsNamedEventSet(const wchar_t* name);

}  // namespace scup
