#pragma once
// The maker's applications this updater knows, in one table: each one's package code, its
// settings key in the machine hive, its resource library, and what its installer needs (its kind,
// the programs that must not run while it installs, its folder and shortcut).

#include <windows.h>

#include <span>
#include <string>

#include "common/Handles.h"

namespace scup {

enum class InstallerKind { Editor50, Editor5x, AddressBook, DeviceSetup, WireMarker };

struct SMakerApplication {
    const wchar_t* code;
    // The settings key below "SOFTWARE\Corvane Industries, Ltd.".
    const wchar_t* product;
    // Null: the application has no languages.
    const wchar_t* resourceLibrary;
    InstallerKind kind;
    const wchar_t* running[3];
    // Null: the row's title names the application in a message.
    const wchar_t* displayName;
    // What the installer's silent switches name; null for an installer that takes none.
    const wchar_t* folder;
    const wchar_t* shortcut;
};

std::span<const SMakerApplication> MakerApplications();
// Null for a code of no application of the table (a template, firmware, an installer package).
const SMakerApplication* FindMakerApplication(const std::wstring& code);

// "SOFTWARE\Corvane Industries, Ltd.\" and the product.
std::wstring MakerKey(const wchar_t* product);
// The maker's applications are 32-bit programs: their keys are looked up in the 32-bit view of
// the hive first, then in the 64-bit view.
UniqueRegKey OpenMakerKey(HKEY root, const std::wstring& path, REGSAM access = KEY_READ);

}  // namespace scup
