#include "UpgraderFiles.h"

#include <windows.h>
// After windows.h, which they build on.
#include <shellapi.h>

#include "common/AppFiles.h"
#include "common/Trace.h"
#include "install/DownloadName.h"
#include "install/PackageFiles.h"
#include "install/PackageVerifier.h"
#include "install/PublisherCheck.h"

namespace scup {
namespace {

constexpr wchar_t kUpdaterProgram[] = L"ScUpdater.exe";

bool Holds(const std::vector<std::wstring>& files, const wchar_t* wanted) {
    for (const std::wstring& name : files)
        if (CompareStringOrdinal(name.c_str(), -1, wanted, -1, TRUE) == CSTR_EQUAL) return true;
    return false;
}

}  // namespace

std::wstring GetFolderOfPath(const std::wstring& path) {
    const size_t last = path.find_last_of(L"\\/");
    if (last == std::wstring::npos) return {};
    // "C:\x" keeps "C:\", "\x" keeps "\": the folder is the root itself.
    const bool rootSeparator = last == 0 || (last == 2 && path[1] == L':');
    return path.substr(0, rootSeparator ? last + 1 : last);
}

std::wstring PackageFileName(const std::wstring& url) {
    const size_t slash = url.find_last_of(L'/');
    const std::wstring name = slash == std::wstring::npos ? url : url.substr(slash + 1);
    if (name.find(L'\\') != std::wstring::npos) return {};
    // Refused rather than repaired: a name the downloads' rule would change (a device name, a
    // trailing dot, a character Windows refuses) is not the name the package was published under.
    return SafeDownloadName(name) == name ? name : std::wstring();
}

std::wstring QuoteArgument(const std::wstring& argument) {
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count only in front of a quote: there each one is doubled and the quote escaped.
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(backslashes * 2, L'\\');
    quoted.push_back(L'"');
    return quoted;
}

std::wstring BuildUpdateParameters(const std::wstring& installedFolder, const std::wstring& source,
                                   const std::wstring& version, bool editor,
                                   const std::vector<std::wstring>& followUp) {
    std::wstring parameters = L"-UPDATE " + QuoteArgument(installedFolder) + L" " + QuoteArgument(source) +
                              L" " + QuoteArgument(version);
    if (editor) parameters += L" -EDITOR";
    for (const std::wstring& argument : followUp) parameters += L" " + QuoteArgument(argument);
    return parameters;
}

std::wstring UnpackedUpdaterRefusal(const std::wstring& unpackedFolder, const STrustPolicy& policy) {
    if (!policy.signaturesRequired) return {};
    const SPublisherCheck publisher =
        CheckPublisher(JoinPath(unpackedFolder, kUpdaterProgram), policy.publishers);
    if (publisher.Passed()) {
        AUTrace(L"Authenticode signer of the new updater : %s", publisher.signer.c_str());
        return {};
    }
    return CPackageVerifier::Reason(VerifyFailure::NotPublisherSigned, publisher.detail);
}

int UnpackUpdaterPackageInto(const CUnzipHolder* unzip, const std::wstring& package,
                             const std::wstring& folder, std::vector<std::wstring>& files) {
    files.clear();
    if (UnzipPackage(unzip, package, files, folder) == 1 && Holds(files, kUpdaterProgram))
        return kStagingDone;
    AUTrace(files.empty() ? L"Failed: the updater package could not be unpacked or is empty."
                          : L"Failed: the updater package holds no ScUpdater.exe.");
    files.clear();
    return kStagingFailed;
}

std::unique_ptr<CTemporaryFolder> UnpackUpdaterPackage(const CUnzipHolder* unzip, const std::wstring& package,
                                                       std::vector<std::wstring>& files) {
    files.clear();
    auto folder = std::make_unique<CTemporaryFolder>();
    if (folder->Path().empty()) return nullptr;
    if (UnpackUpdaterPackageInto(unzip, package, folder->Path(), files) != kStagingDone) return nullptr;
    return folder;
}

bool StartElevatedStep(const std::wstring& installedFolder, const std::wstring& parameters) {
    const std::wstring program = JoinPath(installedFolder, kUpdaterProgram);
    AUTrace(L"Starting the installed updater to complete the upgrade : %s %s", program.c_str(),
            parameters.c_str());
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;  // 0x500
    info.hwnd = nullptr;
    info.lpVerb = L"runas";
    info.lpFile = program.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExW(&info)) return true;
    AUTrace(L"Failed: the installed updater could not be started (error %lu).", GetLastError());
    return false;
}

}  // namespace scup
