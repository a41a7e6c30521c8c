#pragma once
// Packages on disk: unpacking a package archive through the unzip library, and the fresh
// temporary folders the packages are unpacked into.

#include <string>
#include <vector>

#include "common/Handles.h"

// The unzip library, loaded at run time from the program folder; a failed load leaves it empty.
// The main thread loads it at start; after that the main and update threads only read it.
struct CUnzipHolder {
    explicit CUnzipHolder(const std::wstring& programFolder);
    scup::UniqueModule m_hUnzip;
};

namespace scup {

// Whether the holder's library was loaded and has the entry point that unpacks.
bool HasUnzipEntryPoint(const CUnzipHolder* unzip);

// Unpacks the archive into the folder through the holder's "unzip32.dll" and fills files with the
// names of the plain files found directly in the folder afterwards. 1 on success, 0 on failure
// (no library, no entry point, or the library refused or could not unpack the archive).
int UnzipPackage(const CUnzipHolder* unzip, const std::wstring& archive, std::vector<std::wstring>& files,
                 const std::wstring& folder);

// A newly made folder "SU<automation date><number>" in the system temporary folder (made with its
// missing parents); empty when none could be made.
std::wstring MakeTempFolder();

}  // namespace scup
