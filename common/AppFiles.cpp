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

FilePtr OpenFile(const std::wstring& path, const wchar_t* mode) {
    return FilePtr(_wfopen(path.c_str(), mode), fclose);
}

bool WriteAll(FILE* file, const char* data, size_t size) {
    while (size > 0) {
        size_t written = fwrite(data, 1, size, file);
        if (written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}
}  // namespace

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

bool FileExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring FileNameOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
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

namespace {

// Deletes the folder and everything below it, one entry at a time; false when something stays.
bool DeleteTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found{};
    UniqueFind find(FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (find) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
                SetFileAttributesW(path.c_str(), found.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
            // A link to a folder is removed, never followed.
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                DeleteTree(path);
            else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirectoryW(path.c_str());
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(find.get(), &found));
    }
    find.reset();
    return RemoveDirectoryW(folder.c_str()) || GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES;
}

}  // namespace

int RemoveFolder(const std::wstring& folder) {
    std::wstring from = folder;
    from.push_back(L'\0');  // the shell takes a list ended by two nulls
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    // Clean-up never asks the user anything, nor shows the shell's own error boxes: what it cannot
    // remove is taken down by hand below, or left.
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;
    int rc = SHFileOperationW(&op);
    if (rc == 0 && !op.fAnyOperationsAborted) return 1;
    // The shell gives up on some names a server may give a download (one that begins with "..",
    // say); what it left is taken down by hand.
    if (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) return 0;
    return DeleteTree(folder) ? 1 : 0;
}

bool WriteFileWhole(const std::wstring& path, const std::string& bytes) {
    const std::wstring temporary = FormatText(L"%s.%lu.tmp", path.c_str(), GetCurrentProcessId());
    bool written = false;
    {
        UniqueFile file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD count = 0;
        written = file &&
                  WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &count, nullptr) &&
                  count == bytes.size() && FlushFileBuffers(file.get());
    }
    if (written &&
        MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileW(temporary.c_str());
    return false;
}

std::wstring AbsolutePath(const std::wstring& path) {
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return path;
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return path;
    full.resize(length);
    return full;
}

}  // namespace scup
