#include "StagedUpdate.h"

#include <windows.h>
#include <shellapi.h>

#include <vector>

#include "UpgraderFiles.h"
#include "common/AppFiles.h"
#include "common/Profile.h"
#include "common/Trace.h"

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
            if (it->setAside) DeleteAnyway(aside);
            continue;
        }
        if (it->placed) DeleteAnyway(it->installed);
        if (it->setAside) MoveFileExW(aside.c_str(), it->installed.c_str(), 0);
    }
    if (!ok)
        for (const std::wstring& name : files) DeleteAnyway(JoinPath(target, name) + kStagedSuffix);
    return ok;
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
    // An empty source would list the current folder: nothing is copied from it.
    const std::vector<std::wstring> files =
        source.empty() ? std::vector<std::wstring>() : PlainFilesOf(source);
    if (!files.empty()) {
        if (InstallFiles(source, target, files)) {
            WriteMachineSettingText(L"PackageVersion", version);
            Sleep(500);
            RemoveFolder(source);
        } else {
            AUTrace(L"Failed: the new files were not installed; the installed updater is kept as it was.");
        }
    }
    const std::wstring program = JoinPath(target, L"ScUpdater.exe");
    std::wstring parameters = editor ? L"-N -EDITOR" : L"-N";
    for (const std::wstring& argument : followUp) parameters += L" " + QuoteArgument(argument);
    ShellExecuteW(nullptr, nullptr, program.c_str(), parameters.c_str(), nullptr, SW_SHOWNORMAL);
}

}  // namespace scup
