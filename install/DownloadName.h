#pragma once
// Local names for files the server names by address. The server chooses the address, so its
// last segment is reduced to a plain file name that can only land inside the download folder.

#include <string>

namespace scup {

// The text after the last "/" of the address (the whole address without one), made safe: no
// folder separators, no drive, no "..", no device name, no characters Windows refuses, no
// trailing dots or spaces. Empty when nothing usable is left.
std::wstring SafeDownloadName(const std::wstring& url);

}  // namespace scup
