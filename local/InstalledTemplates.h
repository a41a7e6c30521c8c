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

// From both registry views, the 64-bit view's first: template installers are 32-bit programs, so
// where one template is in both views the 32-bit view's entry comes last and is the one that counts
// for a reader keeping the last entry of each template.
std::vector<SInstalledTemplate> ListInstalledTemplates();
