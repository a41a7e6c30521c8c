#pragma once
// The label editor's installed template packages, as their installers register them: one
// sub-key per package under the templates key, with "ID", "PackageVersion" and "Language".

#include <string>
#include <vector>

struct SInstalledTemplate {
    std::wstring strId;
    std::wstring strPackageVersion;
    std::wstring strLanguage;
};

inline constexpr const wchar_t* kTemplatesKeyPath =
    L"SOFTWARE\\Corvane Industries, Ltd.\\Scribo Editor Template\\Templates";

// From both registry views (template installers are 32-bit and write to the 32-bit view).
std::vector<SInstalledTemplate> ListInstalledTemplates();
