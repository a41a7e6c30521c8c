#pragma once
// The address of an update's details page on the maker's download portal, used when an update's
// description package names no page of its own:
//   <endpoint>?model=<model>&country=<country>&gengo=<language>&os=<system>&c=<flag>&m=0&y=0&k=0
// The portal's host is the profile text "DetailsPageHost" in "Settings".

#include <windows.h>

#include <string>

namespace scup {

inline constexpr wchar_t kDetailsPageHostSetting[] = L"DetailsPageHost";
inline constexpr wchar_t kDefaultDetailsPageHost[] = L"support.corvane-industries.example";
inline constexpr wchar_t kDetailsPagePath[] = L"/solutions/download.aspx";

// "http://<host>/solutions/download.aspx" with the host of the profile.
std::wstring DetailsPageEndpoint();

// "W<major>_<minor><suffix>": "_NT" for an NT 4 system, "_x64" for a version 5.2 workstation
// (Windows XP x64), else none; the download portal reads the text this way.
std::wstring SystemVersionText(DWORD major, DWORD minor, DWORD platformId, bool workstation);
// This system's text.
std::wstring CurrentSystemVersionText();

// modelId: the printer's model identifier (its low 16 bits are used; below 0 counts as 0).
std::wstring DetailsPageAddress(const std::wstring& endpoint, int modelId, const std::wstring& country,
                                const std::wstring& language, const std::wstring& system, int flag);

// True for an "http://" or "https://" address (any case) with a host: the only pages the details
// link opens. A description package comes from the server and may name a local program instead.
bool IsWebPageAddress(const std::wstring& address);

// The address for a printer's model with the user's country and language and this system.
std::wstring DetailsPageAddressForModel(int modelId, int flag);

}  // namespace scup
