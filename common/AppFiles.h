#pragma once
// Files and folders of the program: its own folder, the per-user data folder, listing, copying
// and removing.

#include <string>
#include <vector>

namespace scup {

// The folder of the running module, with its trailing backslash.
const std::wstring& ProgramFolder();
void SetProgramFolder(const std::wstring& folder);
std::wstring ModuleFolder();

// The company word of the data folder: the registry-key text, cut at the first of " ,." when it
// holds a comma or a full stop.
std::wstring CompanyWord(const std::wstring& registryKey);
// <per-user application data>\<company word>\<profile name>\<leaf>
std::wstring GetDataFolder(const std::wstring& leaf);

// 1 on success, 0 on failure.
int CopyFileContents(const std::wstring& source, const std::wstring& target);
int RemoveFolder(const std::wstring& folder);

// The names of the files (not folders) directly in the folder.
std::vector<std::wstring> PlainFilesOf(const std::wstring& folder);

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);
// Whether the path names a file (not a folder) that is there.
bool FileExists(const std::wstring& path);
// The last part of a path ("C:\\dl\\FP-MAIN.pdz" -> "FP-MAIN.pdz"); the path itself without a folder.
std::wstring FileNameOf(const std::wstring& path);
// The path from the current folder's point of view made whole ("report.json" -> "C:\\jobs\\report.json").
std::wstring AbsolutePath(const std::wstring& path);

// Writes the bytes to a file beside the path, flushes it to the disk and puts it in the path's
// place in one rename: whoever reads the path finds the earlier file or the whole new one, never
// half of it. False (and nothing left beside) when any step failed.
bool WriteFileWhole(const std::wstring& path, const std::string& bytes);

}  // namespace scup
