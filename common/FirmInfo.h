#pragma once
// The record of one offered or installed component and the lists built from it.

#include <map>
#include <string>

// The categories and identifier prefixes of components as the server, the history file and the
// local state write them.
inline constexpr wchar_t kFirmwareCategory[] = L"FIRM";
inline constexpr wchar_t kSoftwareCategory[] = L"PCS";
// Firmware packages ("FP-MAIN" is the printer's main firmware) and printer content (templates).
inline constexpr wchar_t kFirmwarePrefix[] = L"FP-";
inline constexpr wchar_t kMainFirmwareId[] = L"FP-MAIN";
inline constexpr wchar_t kPrinterContentPrefix[] = L"FC-";

struct SAUExtFirmInfo {
    int nSequence = 0;
    int nNewInstall = 0;
    std::wstring strName;
    std::wstring strId;
    std::wstring strSpec;
    std::wstring strInstalledVersion;
    std::wstring strFilePath;
    std::wstring strCategory;
    std::wstring strURL;
    // The version the description package's signed statement gives (or, where signatures are turned
    // off, its own "Version"): the package fetched at install time must be that version.
    std::wstring strOfferedVersion;
};

// Key "%s_%s" of strId and strSpec, compared as plain case-sensitive text.
using ComponentList = std::map<std::wstring, SAUExtFirmInfo>;
// Printer driver name to that printer's component list.
using RefinedList = std::map<std::wstring, ComponentList>;
using PrinterMap = std::map<std::wstring, ComponentList>;
