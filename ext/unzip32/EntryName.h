#pragma once
// Turns an archive entry's stored name into a path relative to the target folder, or refuses it.
// Refused: names that are empty, absolute ("/x", "\\x", "\\\\?\\..."), carry a drive, device or stream
// part (any ":"), hold characters Windows file names cannot hold, have an empty, "." or ".." part or
// a part that ends in a dot or space (Windows would drop those and so change the name), or name a
// reserved device (CON, NUL, COM1, LPT1, ... with or without an extension).

#include <optional>
#include <string>
#include <string_view>

namespace unzip32 {

struct EntryPath {
    std::wstring relative;  // parts joined by backslashes; empty only for a folder left out
    bool directory = false;
};

// The stored name as text: UTF-8 when the entry says so, else code page 437. Empty when the
// bytes are not valid in that encoding.
std::wstring DecodeEntryName(const std::string& raw, bool utf8);

// keepFolders false keeps only the last part of the name; directory entries then give an empty
// path (there is no folder to make).
std::optional<EntryPath> SafeEntryPath(const std::wstring& name, bool keepFolders, bool spaceToUnderscore);

bool IsReservedDeviceName(const std::wstring& part);

// Matches a name against a pattern in which "*" stands for any run of characters and "?" for one.
bool MatchesPattern(std::wstring_view pattern, std::wstring_view name, bool ignoreCase);

}  // namespace unzip32
