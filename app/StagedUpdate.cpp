#include "StagedUpdate.h"

#include <windows.h>
// After windows.h, which they build on.
#include <sddl.h>
#include <shellapi.h>

#include <vector>

#include "DesktopUserStart.h"
#include "UpgraderFiles.h"
#include "common/AppFiles.h"
#include "common/Handles.h"
#include "common/LangResources.h"
#include "common/Profile.h"
#include "common/Trace.h"
#include "install/PackageFiles.h"
#include "install/PackageVerifier.h"
#include "install/SignedStatement.h"
#include "install/TrustPolicy.h"
#include "res/resource_ids.h"

namespace scup {
namespace {

// Staged and set-aside copies lie beside the installed files, on the same volume, so that putting
// them in place is a rename and never a copy that can fail half way.
constexpr wchar_t kStagedSuffix[] = L".scup-new";
constexpr wchar_t kSetAsideSuffix[] = L".scup-old";

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void DeleteAnyway(const std::wstring& path) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
}

// Copies every new file beside its installed counterpart. False, with no staged file left, when
// any copy fails.
bool StageBesideInstalled(const std::wstring& source, const std::wstring& target,
                          const std::vector<std::wstring>& files) {
    for (size_t i = 0; i < files.size(); ++i) {
        const std::wstring staged = JoinPath(target, files[i]) + kStagedSuffix;
        if (CopyFileContents(JoinPath(source, files[i]), staged)) continue;
        AUTrace(L"Failed: copy of %s", files[i].c_str());
        for (size_t j = 0; j <= i; ++j) DeleteAnyway(JoinPath(target, files[j]) + kStagedSuffix);
        return false;
    }
    return true;
}

// Puts the staged files in place, each old file set aside until all are in. When one cannot be
// put in place, every file goes back to the one that was installed.
bool SwapInStaged(const std::wstring& target, const std::vector<std::wstring>& files) {
    struct Swap {
        std::wstring installed;
        bool setAside = false;
        bool placed = false;
    };
    std::vector<Swap> swaps;
    bool ok = true;
    for (const std::wstring& name : files) {
        Swap swap{JoinPath(target, name)};
        const std::wstring staged = swap.installed + kStagedSuffix;
        const std::wstring aside = swap.installed + kSetAsideSuffix;
        if (Exists(swap.installed)) {
            DeleteAnyway(aside);
            swap.setAside = MoveFileExW(swap.installed.c_str(), aside.c_str(), 0) != FALSE;
            ok = swap.setAside;
        }
        if (ok) ok = swap.placed = MoveFileExW(staged.c_str(), swap.installed.c_str(), 0) != FALSE;
        swaps.push_back(swap);
        if (!ok) {
            AUTrace(L"Failed: %s could not be replaced (error %lu).", name.c_str(), GetLastError());
            break;
        }
    }
    for (auto it = swaps.rbegin(); it != swaps.rend(); ++it) {
        const std::wstring aside = it->installed + kSetAsideSuffix;
        if (ok) {
            if (it->setAside) {
                DeleteAnyway(aside);
                // The running program set aside by its own elevated step cannot go before it ends.
                if (Exists(aside)) MoveFileExW(aside.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
            }
            continue;
        }
        if (it->placed) DeleteAnyway(it->installed);
        if (it->setAside) MoveFileExW(aside.c_str(), it->installed.c_str(), 0);
    }
    if (!ok)
        for (const std::wstring& name : files) DeleteAnyway(JoinPath(target, name) + kStagedSuffix);
    return ok;
}

// The elevated step's own folder beside the installed files: made anew, with a protected list that
// gives SYSTEM and the administrators alone any access, so that no program of the user can change
// the package between its check and its use.
constexpr wchar_t kStagingFolder[] = L"Staging.scup";
constexpr wchar_t kAdministratorsOnly[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

bool IsPlainFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool MakeAdministratorsFolder(const std::wstring& folder) {
    RemoveFolder(folder);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsOnly, SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        return false;
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
    // Fails where the folder is still there: a folder someone else made is never taken.
    const bool made = CreateDirectoryW(folder.c_str(), &attributes) != FALSE;
    if (!made)
        AUTrace(L"Failed: the staging folder %s could not be made (error %lu).", folder.c_str(),
                GetLastError());
    LocalFree(descriptor);
    return made;
}

bool ReadStatement(const std::wstring& path, std::string& bytes) {
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 ||
        size.QuadPart > static_cast<LONGLONG>(kMaxStatementBytes))
        return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    return ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
           read == bytes.size();
}

// Why the package copied into the staging folder is not the one the maker signed for this version;
// empty when it is, or where the PC's policy turns signatures off.
std::wstring PackageRefusal(const std::wstring& package, const std::wstring& version,
                            const STrustPolicy& policy) {
    if (!policy.signaturesRequired) return {};
    std::string bytes;
    if (!ReadStatement(package + L".sig", bytes)) return CPackageVerifier::Reason(VerifyFailure::NoStatement);
    const std::wstring name = package.substr(package.find_last_of(L'\\') + 1);
    const SExpectedFile expected{kUpdaterPackageCode, kUpdaterPackageSpec, L"", name, version};
    SSignedStatement statement;
    std::wstring detail;
    VerifyFailure failure = CPackageVerifier(policy.keys, CPackageVerifier::Now())
                                .CheckStatement(bytes, expected, statement, detail);
    if (failure == VerifyFailure::None) failure = CPackageVerifier::CheckFile(package, statement);
    return failure == VerifyFailure::None ? std::wstring() : CPackageVerifier::Reason(failure, detail);
}

// Takes the package and its statement from the user's download folder into the staging folder,
// checks them there and unpacks them there. The folder of the unpacked files, or empty when the
// package is refused or any step failed.
std::wstring StageCheckedPackage(const std::wstring& staging, const std::wstring& package,
                                 const std::wstring& version) {
    if (!MakeAdministratorsFolder(staging)) return {};
    const std::wstring name = package.substr(package.find_last_of(L"\\/") + 1);
    const std::wstring staged = JoinPath(staging, name);
    if (!CopyFileContents(package, staged) ||
        (IsPlainFile(package + L".sig") && !CopyFileContents(package + L".sig", staged + L".sig"))) {
        AUTrace(L"Failed: the package could not be copied into the staging folder.");
        return {};
    }
    const STrustPolicy policy = LoadTrustPolicy();
    std::wstring refusal = PackageRefusal(staged, version, policy);
    const std::wstring unpacked = JoinPath(staging, L"files");
    std::vector<std::wstring> files;
    if (refusal.empty()) {
        CUnzipHolder unzip(ModuleFolder());
        if (!CreateDirectoryW(unpacked.c_str(), nullptr) ||
            UnpackUpdaterPackageInto(&unzip, staged, unpacked, files) != kStagingDone)
            return {};
        refusal = UnpackedUpdaterRefusal(unpacked, policy);
    }
    if (refusal.empty()) return unpacked;
    AUTrace(L"Failed: the new updater is refused: %s.", refusal.c_str());
    return {};
}

// The new files are in, but every later start would offer the same upgrade again: the user (or, for
// an unattended task, the trace) is told, so that the settings' permissions can be mended.
void TellVersionNotRecorded(const std::wstring& version, const std::vector<std::wstring>& followUp) {
    AUTrace(L"Failed: the new version %s could not be recorded as PackageVersion (error %lu).", version.c_str(),
            GetLastError());
    if (followUp.empty())
        ShowLangMessage(nullptr, IDS_MSG_UPDATER_VERSION_NOT_RECORDED, GetUserDefaultUILanguage(),
                        MB_OK | MB_ICONERROR);
}

// Installs all new files or none of them.
bool InstallFiles(const std::wstring& source, const std::wstring& target,
                  const std::vector<std::wstring>& files) {
    return StageBesideInstalled(source, target, files) && SwapInStaged(target, files);
}

}  // namespace

void FinishSelfUpdate(const std::wstring& target, const std::wstring& source, const std::wstring& version,
                      bool editor, const std::vector<std::wstring>& followUp) {
    TraceScope scope(L"CAUManager::FinishSelfUpdate()");
    if (target.empty()) {
        // Without the installed folder there is nothing to install into and nothing to start.
        AUTrace(L"Failed: the update command line names no target folder.");
        return;
    }
    // The package form: the package is checked again and unpacked where only administrators can
    // write, and its files installed from there.
    const std::wstring staging = JoinPath(target, kStagingFolder);
    const bool fromPackage = IsPlainFile(source);
    const std::wstring unpacked = fromPackage ? StageCheckedPackage(staging, source, version) : source;
    // An empty source would list the current folder: nothing is copied from it.
    const std::vector<std::wstring> files =
        unpacked.empty() ? std::vector<std::wstring>() : PlainFilesOf(unpacked);
    if (!files.empty()) {
        if (InstallFiles(unpacked, target, files)) {
            if (!WriteMachineSettingText(L"PackageVersion", version)) TellVersionNotRecorded(version, followUp);
            Sleep(500);
            RemoveFolder(unpacked);
        } else {
            AUTrace(L"Failed: the new files were not installed; the installed updater is kept as it was.");
        }
    }
    if (fromPackage) RemoveFolder(staging);
    const std::wstring program = JoinPath(target, L"ScUpdater.exe");
    std::wstring parameters = editor ? L"-N -EDITOR" : L"-N";
    for (const std::wstring& argument : followUp) parameters += L" " + QuoteArgument(argument);
    // A task handed over (an IT run's switches) keeps the account and rights that started it; the
    // updater the user sees goes back to the user at the PC.
    if (followUp.empty() && StartAsDesktopUser(program, parameters)) return;
    AUTrace(L"The updater is started under the account of this step.");
    ShellExecuteW(nullptr, nullptr, program.c_str(), parameters.c_str(), nullptr, SW_SHOWNORMAL);
}

}  // namespace scup
