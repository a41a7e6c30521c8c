#pragma once
// Files and folders of the program: its own folder, the per-user data folder, copying and
// removing, and completing a self-upgrade in the staging copy.

#include <string>

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

// Copies the new files into the target folder, records the version and starts the installed updater.
void FinishSelfUpdate(const std::wstring& target, const std::wstring& source, const std::wstring& version,
                      bool editor);

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);

}  // namespace scup
