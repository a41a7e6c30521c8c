#pragma once
// The files of a self-upgrade on the side of the running updater: where the new package is
// stored, unpacking it, and starting the installed updater elevated with the "-UPDATE" command line
// that checks the package again and completes the upgrade.

#include <memory>
#include <string>
#include <vector>

#include "install/TemporaryFolder.h"
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

// -UPDATE "<installed folder>" "<source>" "<version>" [-EDITOR], the source being the verified
// package (the form this updater starts) or the folder of unpacked files (the form updaters before
// it started their staging copies with).
// followUp: the arguments the installed updater is started with at the end, after "-N".
std::wstring BuildUpdateParameters(const std::wstring& installedFolder, const std::wstring& source,
                                   const std::wstring& version, bool editor,
                                   const std::vector<std::wstring>& followUp = {});

// The package code and region the maker's statement gives the updater's own package.
inline constexpr wchar_t kUpdaterPackageCode[] = L"SCUPDATER";
inline constexpr wchar_t kUpdaterPackageSpec[] = L"ALL_ALL";

// Why the unpacked updater must not be installed (its Authenticode signature is not the
// publisher's), or empty where it may; always empty where the PC's policy turns signatures off.
std::wstring UnpackedUpdaterRefusal(const std::wstring& unpackedFolder, const STrustPolicy& policy);

// Unpacks the package into a new temporary folder, which goes with its owner, and lists its files
// (the Into form unpacks into a folder that exists). The package must hold the updater itself,
// "ScUpdater.exe". On failure nothing is left behind, the list is empty and no folder is given.
std::unique_ptr<CTemporaryFolder> UnpackUpdaterPackage(const CUnzipHolder* unzip, const std::wstring& package,
                                                       std::vector<std::wstring>& files);
int UnpackUpdaterPackageInto(const CUnzipHolder* unzip, const std::wstring& package,
                             const std::wstring& folder, std::vector<std::wstring>& files);

// Starts the installed "ScUpdater.exe" with the parameters, elevated where the system has
// elevation: the program in the installed folder, which only administrators can change, is the one
// that checks the package again before anything of it runs with their rights. False when it could
// not be started (the user refused the elevation, for one).
bool StartElevatedStep(const std::wstring& installedFolder, const std::wstring& parameters);

}  // namespace scup
