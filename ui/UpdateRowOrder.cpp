#include "UpdateRowOrder.h"

#include <windows.h>

#include "common/DirectionMark.h"

namespace scup {
namespace {

// Titles are read by people: compared in the user's locale, ignoring case.
int CompareTitleText(const std::wstring& a, const std::wstring& b) {
    const int rc = CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), static_cast<int>(a.size()),
                                  b.c_str(), static_cast<int>(b.size()));
    return rc == 0 ? a.compare(b) : rc - CSTR_EQUAL;
}

}  // namespace

STitleParts SplitTitlePrefix(const std::wstring& title) {
    const std::wstring text = WithoutEmbeddingMark(title);
    STitleParts parts;
    const size_t close = text.find(L')');
    if (text.empty() || text.front() != L'(' || close == std::wstring::npos) {
        parts.rest = text;
        return parts;
    }
    parts.prefix = text.substr(0, close + 1);
    const size_t start = text.find_first_not_of(L' ', close + 1);
    parts.rest = start == std::wstring::npos ? std::wstring() : text.substr(start);
    return parts;
}

int CompareUpdateRows(const std::wstring& code1, const std::wstring& title1, const std::wstring& code2,
                      const std::wstring& title2) {
    const int kind = code1.substr(0, 2).compare(code2.substr(0, 2));
    if (kind != 0) return kind;
    const STitleParts a = SplitTitlePrefix(title1);
    const STitleParts b = SplitTitlePrefix(title2);
    const int rest = CompareTitleText(a.rest, b.rest);
    return rest != 0 ? rest : CompareTitleText(a.prefix, b.prefix);
}

}  // namespace scup
