#pragma once
// The record of one offered or installed component and the lists built from it.

#include <map>
#include <string>

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
};

// Key "%s_%s" of strId and strSpec, compared as plain case-sensitive text.
using ComponentList = std::map<std::wstring, SAUExtFirmInfo>;
// Printer driver name to that printer's component list.
using RefinedList = std::map<std::wstring, ComponentList>;
using PrinterMap = std::map<std::wstring, ComponentList>;
