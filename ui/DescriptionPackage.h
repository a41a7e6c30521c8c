#pragma once
// An update's description package: a zip archive with "data_<LNG>.xml" (the three-letter
// abbreviation of the region's language), "data.xml" or "data_ENG.xml", whose "ScriboUpdater"
// element gives the title, version, size, details address, thumbnail file and description that
// the main dialog shows for the update.

#include <windows.h>

#include <string>
#include <vector>

#include "install/UpdateItemRecord.h"

struct CUnzipHolder;

namespace scup {

// A thumbnail larger than this is left out: it would only be shrunk into the details pane.
inline constexpr size_t kMaxThumbnailBytes = 8u * 1024u * 1024u;

// The locale's three-letter abbreviated language name ("DEU"); empty when the system lacks it.
std::wstring LanguageAbbreviation(LCID locale);

// Of the names found in the package, the one to read (ignoring case): "data_<language>.xml",
// else "data.xml", else "data_ENG.xml"; empty when there is none.
std::wstring ChooseDescriptionFile(const std::vector<std::wstring>& names, const std::wstring& language);

// What reading a description package came to; the failures in the order a user can mend them.
enum class DescriptionRead {
    Read,
    // No unzip library, or one without its entry point: no package can be read.
    NoUnzipLibrary,
    // No temporary folder could be made to unpack into (a full or unwritable TEMP).
    NoTemporaryFolder,
    // The package is missing, could not be unpacked, or holds no readable description.
    Damaged,
};

// Unpacks the package into a temporary folder, reads the chosen description into the record (and
// the thumbnail file it names, when that is a file of the package) and removes the folder again.
// The record's right-to-left flag follows the locale when the text read is in the locale's language.
DescriptionRead ReadDescriptionPackage(const CUnzipHolder* unzip, const std::wstring& archive, LCID locale,
                                       SAUItemRecord& record);

}  // namespace scup
