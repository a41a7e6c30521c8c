#pragma once
// Completing a self-upgrade, elevated: the installed updater takes the verified package into a
// folder only administrators can write, checks it again there and unpacks it (or, as updaters before
// it did, a staging copy takes the unpacked files); the new files go in beside the installed ones
// and replace them all or none, then the installed updater starts again.

#include <string>
#include <vector>

namespace scup {

// source: the package file, or the folder of unpacked files. Copies the new files into the target
// folder, records the version and starts the installed updater
// with "-N", "-EDITOR" when editor is set, and the follow-up arguments (an unattended task).
void FinishSelfUpdate(const std::wstring& target, const std::wstring& source, const std::wstring& version,
                      bool editor, const std::vector<std::wstring>& followUp = {});

}  // namespace scup
