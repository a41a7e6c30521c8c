#include "DescriptionPackage.h"

#include "common/AUXMLParser.h"
#include "common/AppFiles.h"
#include "common/Format.h"
#include "common/Handles.h"
#include "common/Trace.h"
#include "install/PackageFiles.h"
#include "install/TemporaryFolder.h"

namespace scup {
namespace {

constexpr DWORD kReadPiece = 4096;
constexpr wchar_t kEnglishDescription[] = L"data_ENG.xml";

bool SameName(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

const std::wstring* FindName(const std::vector<std::wstring>& names, const std::wstring& wanted) {
    for (const std::wstring& name : names)
        if (SameName(name, wanted)) return &name;
    return nullptr;
}

std::wstring ElementText(const CAUXMLParser& parser, const wchar_t* path) {
    ComPtr<IXMLDOMNode> node;
    std::wstring text;
    if (CAUXMLParser::SelectFirstNode(parser, path, node) == CAUXMLParser::kSuccess)
        parser.GetNodeValue(node.get(), text);
    return text;
}

bool IsRightToLeftLocale(LCID locale) {
    const WORD language = PRIMARYLANGID(LANGIDFROMLCID(locale));
    return language == LANG_ARABIC || language == LANG_HEBREW;
}

// The whole file, in pieces; empty when it cannot be read or is too large to show.
std::vector<BYTE> ReadWholeFile(const std::wstring& path) {
    std::vector<BYTE> bytes;
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return bytes;
    BYTE piece[kReadPiece];
    DWORD read = 0;
    while (ReadFile(file.get(), piece, kReadPiece, &read, nullptr) && read > 0) {
        if (bytes.size() + read > kMaxThumbnailBytes) return {};
        bytes.insert(bytes.end(), piece, piece + read);
    }
    return bytes;
}

}  // namespace

std::wstring LanguageAbbreviation(LCID locale) {
    wchar_t buffer[16] = {};
    if (!GetLocaleInfoW(locale, LOCALE_SABBREVLANGNAME, buffer, 16)) return {};
    return buffer;
}

std::wstring ChooseDescriptionFile(const std::vector<std::wstring>& names, const std::wstring& language) {
    if (!language.empty())
        if (const std::wstring* found = FindName(names, FormatText(L"data_%s.xml", language.c_str())))
            return *found;
    if (const std::wstring* found = FindName(names, L"data.xml")) return *found;
    if (const std::wstring* found = FindName(names, kEnglishDescription)) return *found;
    return {};
}

DescriptionRead ReadDescriptionPackage(const CUnzipHolder* unzip, const std::wstring& archive, LCID locale,
                                       SAUItemRecord& record) {
    if (archive.empty()) return DescriptionRead::Damaged;
    if (!HasUnzipEntryPoint(unzip)) return DescriptionRead::NoUnzipLibrary;
    CTemporaryFolder folder;
    if (folder.Path().empty()) {
        AUTrace(L"Failed: no temporary folder to unpack the description package %s into", archive.c_str());
        return DescriptionRead::NoTemporaryFolder;
    }
    std::vector<std::wstring> names;
    if (!UnzipPackage(unzip, archive, names, folder.Path())) {
        AUTrace(L"Failed: the description package %s could not be unpacked", archive.c_str());
        return DescriptionRead::Damaged;
    }
    const std::wstring chosen = ChooseDescriptionFile(names, LanguageAbbreviation(locale));
    if (chosen.empty()) {
        AUTrace(L"Failed: the description package %s holds no description", archive.c_str());
        return DescriptionRead::Damaged;
    }
    CAUXMLParser parser;
    if (parser.Load(folder.Path() + L"\\" + chosen) != CAUXMLParser::kSuccess) {
        AUTrace(L"Failed: %s of %s is not a readable document", chosen.c_str(), archive.c_str());
        return DescriptionRead::Damaged;
    }
    record.strTitle = ElementText(parser, L"ScriboUpdater/Title");
    record.strVersion = ElementText(parser, L"ScriboUpdater/Version");
    record.strSize = ElementText(parser, L"ScriboUpdater/Size");
    record.strLink = ElementText(parser, L"ScriboUpdater/URL");
    record.strDescription = ElementText(parser, L"ScriboUpdater/Description");
    record.bRightToLeft = IsRightToLeftLocale(locale) && !SameName(chosen, kEnglishDescription) ? 1 : 0;
    // Only a file of the package itself is read: the name comes from the package and could point
    // anywhere else.
    const std::wstring thumbnail = ElementText(parser, L"ScriboUpdater/Thumbnail");
    if (const std::wstring* file = thumbnail.empty() ? nullptr : FindName(names, thumbnail))
        record.thumbnail = ReadWholeFile(folder.Path() + L"\\" + *file);
    return DescriptionRead::Read;
}

}  // namespace scup
