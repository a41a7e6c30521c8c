#pragma once
// A signed statement: what the maker vouches for about one file the program fetches (a description
// package, an installer, a firmware package or the updater's own package). It lies beside the file,
// at the file's address with ".sig" added, as UTF-8 lines "name: value" in one fixed order:
//
//   ScUpdater statement 1
//   key: <16 hex digits: the first 8 bytes of SHA-256 over the signing key's point X||Y>
//   package, spec, version, model, file, size, sha256, expires (YYYY-MM-DDTHH:MM:SSZ), replaces
//   signature: <Base64 of the ECDSA P-256 signature r||s over SHA-256 of every byte before this line>
//
// Reading is strict (StatementForm.h reads the bytes): another first line, a field missing, added,
// repeated or out of order, a value that is not of its form, or anything after the signature line
// refuses the whole statement.

#include <windows.h>

#include <array>
#include <string>
#include <vector>

#include "StatementForm.h"

struct SSignedStatement {
    std::wstring keyId;
    std::wstring package;
    std::wstring spec;
    std::wstring version;
    // The printer model, for firmware; empty for the PC's packages.
    std::wstring model;
    std::wstring file;
    unsigned long long size = 0;
    std::array<BYTE, 32> sha256{};
    // UTC, in FILETIME units.
    ULONGLONG expires = 0;
    // A withdrawn version that this older one may replace; empty for none.
    std::wstring replaces;
    // The bytes the signature covers, and the signature (r||s, 32 bytes each).
    std::string signedPart;
    std::array<BYTE, 64> signature{};
};

// False, with the reason in English, when the bytes are not exactly one statement of this form.
bool ParseSignedStatement(const std::string& bytes, SSignedStatement& statement, std::wstring& why);
