#include "AppFiles.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "common/Format.h"
#include "common/Handles.h"
#include "common/Profile.h"
#include "common/Trace.h"

namespace scup {
namespace {

std::wstring& ProgramFolderStorage() {
    static std::wstring folder;
    return folder;
}

using FilePtr = std::unique_ptr<FILE, int (*)(FILE*)>;

FilePtr OpenFile(const std::wstring& path, const wchar_t* mode) { return FilePtr(_wfopen(path.c_str(), mode), fclose); }

bool WriteAll(FILE* file, const char* data, size_t size) {
    while (size > 0) {
        size_t written = fwrite(data, 1, size, file);
        if (written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

// Staged and set-aside copies lie beside the installed files, on the same volume, so that putting
// them in place is a rename and never a copy that can fail half way.
constexpr wchar_t kStagedSuffix[] = L".scup-new";
constexpr wchar_t kSetAsideSuffix[] = L".scup-old";

std::vector<std::wstring> PlainFilesOf(const std::wstring& folder) {
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW found{};
    UniqueFind find(FindFirstFileW(JoinPath(folder, L"*").c_str(), &found));
    if (!find) return files;
    do {
        const std::wstring name = found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || name == L"." || name == L"..") continue;
        files.push_back(name);
    } while (FindNextFileW(find.get(), &found));
    return files;
}

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

const std::wstring& ProgramFolder() { return ProgramFolderStorage(); }
void SetProgramFolder(const std::wstring& folder) { ProgramFolderStorage() = folder; }

std::wstring ModuleFolder() {
    wchar_t path[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring full(path, n);
    size_t slash = full.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : full.substr(0, slash + 1);
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
    if (folder.empty() || folder.back() == L'\\' || folder.back() == L'/') return folder + name;
    return folder + L"\\" + name;
}

std::wstring CompanyWord(const std::wstring& registryKey) {
    if (registryKey.find_first_of(L",.") == std::wstring::npos) return registryKey;
    return registryKey.substr(0, registryKey.find_first_of(L" ,."));
}

std::wstring GetDataFolder(const std::wstring& leaf) {
    wchar_t appData[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData);
    AppIdentity id = GetAppIdentity();
    std::wstring folder =
        FormatText(L"%s\\%s\\%s", appData, CompanyWord(id.registryKey).c_str(), id.profileName.c_str());
    return folder + L"\\" + leaf;
}

int CopyFileContents(const std::wstring& source, const std::wstring& target) {
    FilePtr in = OpenFile(source, L"rb");
    if (!in) return 0;
    DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(target.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    FilePtr out = OpenFile(target, L"wb");
    if (!out) return 0;
    std::vector<char> block(4096);
    for (;;) {
        size_t n = fread(block.data(), 1, block.size(), in.get());
        if (n == 0) break;
        if (!WriteAll(out.get(), block.data(), n)) return 0;
    }
    if (ferror(in.get())) return 0;
    // A full disk shows only when the buffered data is flushed.
    return fflush(out.get()) == 0 ? 1 : 0;
}

int RemoveFolder(const std::wstring& folder) {
    std::wstring from = folder;
    from.push_back(L'\0');  // the shell takes a list ended by two nulls
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = 0x214;  // silent, no confirmation, no confirmation for folder creation
    int rc = SHFileOperationW(&op);
    return (rc == 0 && !op.fAnyOperationsAborted) ? 1 : 0;
}

void FinishSelfUpdate(const std::wstring& target, const std::wstring& source, const std::wstring& version,
                      bool editor) {
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
    ShellExecuteW(nullptr, nullptr, program.c_str(), editor ? L"-N -EDITOR" : L"-N", nullptr, SW_SHOWNORMAL);
}

}  // namespace scup
