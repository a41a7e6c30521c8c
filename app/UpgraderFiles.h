#pragma once
// The files of a self-upgrade on the side of the running updater: where the new package is
// stored, unpacking it, the staging copy in the download folder, and starting that copy with the
// "-UPDATE" command line that completes the upgrade.

#include <string>
#include <vector>

#include "install/TrustPolicy.h"

struct CUnzipHolder;

namespace scup {

// Results of the staging steps, as the self-upgrade reports them.
inline constexpr int kStagingDone = 0;
inline constexpr int kStagingFailed = 6;

// The path up to, not including, its last backslash or slash; a separator right after the root
// ("C:\", "\") stays. A path without separator gives an empty text.
std::wstring GetFolderOfPath(const std::wstring& path);

// The file name a download is stored under: the address's text after its last "/". Empty when
// that text is no plain file name (empty, "." or "..", a folder or drive part, a character that
// file names cannot hold), so that no address can place a file outside the download folder.
std::wstring PackageFileName(const std::wstring& url);

// One argument quoted so that the command-line parser gives it back unchanged, also when it ends
// in a backslash or holds quotes.
std::wstring QuoteArgument(const std::wstring& argument);

// -UPDATE "<installed folder>" "<unpacked folder>" "<version>" [-EDITOR]
// followUp: the arguments the installed updater is started with at the end, after "-N".
std::wstring BuildUpdateParameters(const std::wstring& installedFolder, const std::wstring& unpackedFolder,
                                   const std::wstring& version, bool editor,
                                   const std::vector<std::wstring>& followUp = {});

// Unpacks the package into a new temporary folder and lists its files. The package must hold the
// updater itself, "ScUpdater.exe": without it the staging copy could not be started. On failure
// nothing is left behind and the folder is empty.
// Why the unpacked updater must not be staged (its Authenticode signature is not the publisher's),
// or empty where it may; always empty where the PC's policy turns signatures off.
std::wstring UnpackedUpdaterRefusal(const std::wstring& unpackedFolder, const STrustPolicy& policy);

int UnpackUpdaterPackage(const CUnzipHolder* unzip, const std::wstring& package, std::wstring& unpackedFolder,
                         std::vector<std::wstring>& files);

// Copies the listed files from the unpacked folder into the staging folder, overwriting.
int CopyToStaging(const std::wstring& unpackedFolder, const std::vector<std::wstring>& files,
                  const std::wstring& stagingFolder);

// The staging copy loads its libraries (resources, port library, unzip library) from its own
// folder and cannot start without them: each one that the package does not bring is copied there
// from the installed folder.
int AddCompanionLibraries(const std::wstring& installedFolder, const std::vector<std::wstring>& packageFiles,
                          const std::wstring& stagingFolder);

// Starts "ScUpdater.exe" of the staging folder with the parameters, elevated where the system has
// elevation. False when it could not be started (the user refused the elevation, for one).
bool StartStagingCopy(const std::wstring& stagingFolder, const std::wstring& parameters);

}  // namespace scup
